#include "commands.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "common/csv_loader.h"
#include "common/options.h"
#include "common/text.h"

namespace virk::cfgtool {
namespace {

int Transfer(const std::string& from, bool fromScrambled, const std::string& to, bool toScrambled,
             std::ostream& out) {
  std::u16string text;
  std::string error;
  if (!ReadConfigText(from, fromScrambled, text, error)) {
    out << from << ": " << error << '\n';
    return 1;
  }
  if (!fromScrambled) {
    // The plain form may come with CR LF line ends; the scrambled one has LF only.
    std::u16string lf;
    lf.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i)
      if (!(text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')) lf += text[i];
    text.swap(lf);
  }
  if (!WriteConfigText(to, text, toScrambled, error)) {
    out << to << ": " << error << '\n';
    return 1;
  }
  return 0;
}

bool IsScrambledName(const std::string& path) {
  if (path.size() < 4) return false;
  std::string extension = path.substr(path.size() - 4);
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return char(std::tolower(c)); });
  return extension == ".cfg";
}

// Items of each kind 1..4 below `item`.
void CountItems(const CItem& item, std::array<size_t, 5>& counts) {
  for (const auto& [name, child] : item.Children()) {
    ++counts[size_t(child->Kind())];
    CountItems(*child, counts);
  }
}

// What the server will make of the options and users sections, with a
// warning for every text it would replace by its default.
void ReportStartOptions(const std::string& path, bool scrambled, std::ostream& out) {
  std::u16string text;
  std::string error;
  std::vector<std::string> values;
  if (!ReadConfigText(path, scrambled, text, error)) return;  // the loader said why
  if (ParseStartParameters(Utf16ToUtf8(text), values) != 0) {
    out << path << ": options: the options and users sections cannot be parsed\n";
    return;
  }
  const std::string prefix = path + ": options: ";
  const std::string& port = values[kStartPort];
  const std::string& log = values[kStartLog];
  const std::string& anonymous = values[kStartAllowAnonymous];
  if (!port.empty() && port != std::to_string(StartPort(port)))
    out << prefix << "port \"" << port << "\" is not a port number 1..65535, the server uses 4840\n";
  if (!StartLogLevelKnown(log)) out << prefix << "log \"" << log << "\" is not a level word, the server logs at info\n";
  const std::string& readOnly = values[kStartAnonymousReadOnly];
  if (!StartFlagKnown(anonymous))
    out << prefix << "allowanonimus \"" << anonymous
        << "\" is neither true nor false, anonymous access stays allowed\n";
  if (!StartFlagKnown(readOnly))
    out << prefix << kAnonymousReadOnlyKey << " \"" << readOnly
        << "\" is neither true nor false, anonymous sessions keep every right\n";
  for (const auto& [limit, index] : {std::pair{kMaxSessionsLimit, kStartMaxSessions},
                                     {kMaxSessionTimeoutLimit, kStartMaxSessionTimeout},
                                     {kDemoteAfterLimit, kStartDemoteAfter},
                                     {kDemoteMsLimit, kStartDemoteMs}}) {
    const std::string& text = values[index];
    if (StartLimitRefused(text, limit))
      out << prefix << limit.key << " \"" << text << "\" is not a number " << limit.min << ".." << limit.max
          << ", the server uses " << limit.fallback << '\n';
  }
  const std::vector<Login> logins = LoadLogins(values[kStartUsers], path);
  const std::string& users = values[kStartUsers];
  const size_t pieces = std::count(users.begin(), users.end(), ';') +
                        (users.empty() || users.back() == ';' ? 0 : 1);
  if (pieces % 2) out << prefix << "the user list ends with a name without a password, ignored\n";
  out << prefix << "port " << StartPort(port) << ", log " << (log.empty() || !StartLogLevelKnown(log) ? "info" : log)
      << ", anonymous access "
      << (!StartAllowAnonymous(anonymous) ? "refused" : readOnly == "true" ? "allowed, read-only" : "allowed") << ", "
      << logins.size() << " users";
  for (const auto& [key, index] : {std::pair{"certificate", kStartDerFile},
                                   {"key", kStartPemFile}, {"trust folder", kStartTrustFolder}})
    if (!values[index].empty()) out << ", " << key << " " << values[index];
  if (const uint32_t after = StartLimitValue(values[kStartDemoteAfter], kDemoteAfterLimit))
    out << ", a device is demoted after " << after << " failed exchanges for "
        << StartLimitValue(values[kStartDemoteMs], kDemoteMsLimit) << " ms";
  out << '\n';
}

}  // namespace

int Check(const std::string& path, std::ostream& out) {
  CTreeItemRoot root;
  CPlainItemFactory factory;
  CCsvLoader loader(root, factory);
  loader.SetLogRecordErrors(false);
  const bool scrambled = IsScrambledName(path);
  const bool loaded = loader.LoadFile(path, scrambled);
  for (const CCsvLoader::RecordError& error : loader.Errors()) {
    out << path;
    if (error.line >= 0) out << ':' << error.line;
    out << ": " << error.message << '\n';
  }
  std::array<size_t, 5> counts{};
  CountItems(root, counts);
  out << path << ": " << counts[kKindChannel] << " channels, " << counts[kKindDevice]
      << " devices, " << counts[kKindGroup] << " groups, " << counts[kKindTag] << " tags; "
      << (loaded ? "loaded cleanly" : "NOT loaded") << '\n';
  ReportStartOptions(path, scrambled, out);
  return loaded ? 0 : 1;
}

int Unpack(const std::string& cfgPath, const std::string& textPath, std::ostream& out) {
  return Transfer(cfgPath, true, textPath, false, out);
}

int Pack(const std::string& textPath, const std::string& cfgPath, std::ostream& out) {
  return Transfer(textPath, false, cfgPath, true, out);
}

}  // namespace virk::cfgtool
