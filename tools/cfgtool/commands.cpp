#include "commands.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "common/csv_loader.h"
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

}  // namespace

int Check(const std::string& path, std::ostream& out) {
  CTreeItemRoot root;
  CPlainItemFactory factory;
  CCsvLoader loader(root, factory);
  loader.SetLogRecordErrors(false);
  const bool loaded = loader.LoadFile(path, IsScrambledName(path));
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
  return loaded ? 0 : 1;
}

int Unpack(const std::string& cfgPath, const std::string& textPath, std::ostream& out) {
  return Transfer(cfgPath, true, textPath, false, out);
}

int Pack(const std::string& textPath, const std::string& cfgPath, std::ostream& out) {
  return Transfer(textPath, false, cfgPath, true, out);
}

}  // namespace virk::cfgtool
