#include "options.h"

// Narrow UTF-8 in, narrow UTF-8 out: the reader needs no character conversion.
// Debian's header keeps the template bodies behind SI_IMPLEMENTATION.
#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION
#include <SimpleIni.h>

#include <algorithm>
#include <exception>

#include "log.h"
#include "text.h"

namespace virk {
namespace {

const std::u16string kOptionsMarker = u"INIFILE\n\n";
const std::u16string kUsersMarker = u"USERS\n\n";
const std::u16string kUsersHeader = u"USERS\n\n[users]\nusers = ";

// The first occurrence of `marker` that starts a line, or npos.
size_t FindAtLineStart(const std::u16string& text, const std::u16string& marker) {
  for (size_t at = text.find(marker); at != std::u16string::npos; at = text.find(marker, at + 1)) {
    if (at == 0 || text[at - 1] == u'\n') return at;
  }
  return std::u16string::npos;
}

// Where the records end and which part of the text is the users section.
// The writers keep the users last, but a section order edited by hand is
// taken as it stands.
struct Sections {
  size_t recordsEnd;
  size_t usersBegin;
  size_t usersLength;
  size_t optionsBegin;
  size_t optionsLength;
};

Sections FindSections(const std::u16string& text) {
  const size_t options = FindAtLineStart(text, kOptionsMarker);
  const size_t users = FindAtLineStart(text, kUsersMarker);
  Sections s{std::min({options, users, text.size()}), users, 0, options, 0};
  if (users != std::u16string::npos) {
    const size_t end = (options != std::u16string::npos && options > users) ? options : text.size();
    s.usersLength = end - users;
  }
  if (options != std::u16string::npos) {
    const size_t end = (users != std::u16string::npos && users > options) ? users : text.size();
    s.optionsLength = end - options;
  }
  return s;
}

// The key lines of the options section other than the six the writer
// stores (maxSessions, anonymousReadOnly, ... added by hand): kept, so that a
// server started from the configurator keeps the limits and rights set for it.
std::u16string HandAddedOptions(std::u16string_view section) {
  static constexpr std::u16string_view kWritten[] = {u"port",    u"log",     u"allowanonimus",
                                                     u"derfile", u"pemfile", u"trustfolder"};
  std::u16string kept;
  bool inOptions = false;
  for (size_t begin = 0; begin < section.size();) {
    const size_t end = std::min(section.find(u'\n', begin), section.size());
    const std::u16string_view line = TrimBlanks(section.substr(begin, end - begin));
    begin = end + 1;
    if (const std::optional<std::u16string_view> name = IniSectionName(line)) {
      inOptions = EqualsIgnoringCase(*name, u"options");
      continue;
    }
    const size_t equals = line.find(u'=');
    if (!inOptions || equals == line.npos || line.front() == u';' || line.front() == u'#') continue;
    const std::u16string_view key = TrimBlanks(line.substr(0, equals));
    if (std::none_of(std::begin(kWritten), std::end(kWritten),
                     [key](std::u16string_view written) { return EqualsIgnoringCase(key, written); }))
      kept.append(line).push_back(u'\n');
  }
  return kept;
}

// A section must start on a line of its own.
void EndLine(std::u16string& text) {
  if (!text.empty() && text.back() != u'\n') text += u'\n';
}

// A line end, or a NUL, which ends the whole text for the INI reader: a value
// holding one would not read back and would hide what follows it.
bool EndsIniValue(const std::string& value) {
  return value.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
}

// False for blank lines and comments (first non-blank ';' or '#'), which
// the INI reader passes over; every record line is such a comment.
bool CanHoldIniEntry(const std::u16string& line) {
  const size_t first = line.find_first_not_of(u" \t\r");
  return first != std::u16string::npos && line[first] != u';' && line[first] != u'#';
}

// The lines of the text the INI rules can take entries from, as the server
// reads them: whatever a record holds cannot change what is read.
std::string IniEntryLines(const std::u16string& text) {
  std::string ini;
  size_t begin = 0;
  while (begin < text.size()) {
    const size_t end = std::min(text.find(u'\n', begin), text.size());
    const std::u16string line = text.substr(begin, end - begin);
    if (CanHoldIniEntry(line)) ini += Utf16ToUtf8(line) + '\n';
    begin = end + 1;
  }
  return ini;
}

// The INI reader stops at a NUL; a line holding one can carry no entry and
// is left out, so that it hides nothing after it.
std::string WithoutNulLines(const std::string& text) {
  if (text.find('\0') == std::string::npos) return text;
  std::string kept;
  size_t begin = 0;
  while (begin < text.size()) {
    const size_t end = std::min(text.find('\n', begin), text.size());
    if (std::find(text.begin() + begin, text.begin() + end, '\0') == text.begin() + end)
      kept.append(text, begin, end - begin).push_back('\n');
    begin = end + 1;
  }
  return kept;
}

int ReadScrambled(const std::string& path, std::u16string& text) {
  std::string error;
  if (ReadConfigText(path, true, text, error)) return kOptionsOk;
  LogFormat(LogLevel::Error, kLogUserland, "File %s error %s", path.c_str(), error.c_str());
  return kOptionsFileError;
}

int WriteScrambled(const std::string& path, const std::u16string& text) {
  std::string error;
  if (WriteConfigText(path, text, true, error)) return kOptionsOk;
  LogFormat(LogLevel::Error, kLogUserland, "File %s error %s", path.c_str(), error.c_str());
  return kOptionsFileError;
}

}  // namespace

int ParseStartParameters(const std::string& utf8Text, std::vector<std::string>& values) {
  CSimpleIniA ini;  // section and key names compared without regard to case
  ini.SetUnicode(true);
  const std::string text = WithoutNulLines(utf8Text);
  if (ini.LoadData(text.data(), text.size()) < 0) return 1;
  static const char* const kOptionKeys[] = {"port",    "log",     "allowanonimus",
                                            "derFile", "pemFile", "trustFolder"};
  values.assign(kStartValueCount, std::string());
  for (size_t i = 0; i < std::size(kOptionKeys); ++i)
    values[i] = ini.GetValue("options", kOptionKeys[i], "");
  values[kStartUsers] = ini.GetValue("users", "users", "");
  values[kStartMaxSessions] = ini.GetValue("options", kMaxSessionsLimit.key, "");
  values[kStartMaxSessionTimeout] = ini.GetValue("options", kMaxSessionTimeoutLimit.key, "");
  values[kStartAnonymousReadOnly] = ini.GetValue("options", kAnonymousReadOnlyKey, "");
  values[kStartDemoteAfter] = ini.GetValue("options", kDemoteAfterLimit.key, "");
  values[kStartDemoteMs] = ini.GetValue("options", kDemoteMsLimit.key, "");
  return 0;
}

int readParametrsStart(const std::string& path, std::vector<std::string>& values) {
  // Line by line: only the lines the INI rules can take a section or key
  // from are kept, so the records (comments to INI) are never copied.
  ConfigLineReader reader;
  std::string iniText;
  if (reader.Open(path, true)) {
    std::u16string line;
    while (reader.Next(line))
      if (CanHoldIniEntry(line)) iniText += Utf16ToUtf8(line) + '\n';
  }
  if (!reader.Error().empty()) {
    LogFormat(LogLevel::Error, kLogUserland, "readParametrsStart File %s error %s", path.c_str(),
              reader.Error().c_str());
    return 1;
  }
  if (ParseStartParameters(iniText, values) != 0) {
    LogFormat(LogLevel::Error, kLogUserland, "readParametrsStart File %s error %s", path.c_str(),
              "the options and users sections cannot be parsed");
    return 1;
  }
  return 0;
}

std::vector<Login> LoadLogins(const std::string& usersText, const std::string& path) {
  std::vector<Login> logins;
  if (usersText.empty()) return logins;
  try {
    std::vector<std::string> pieces;
    size_t begin = 0;
    while (begin < usersText.size()) {
      const size_t end = std::min(usersText.find(';', begin), usersText.size());
      pieces.push_back(usersText.substr(begin, end - begin));
      begin = end + 1;
    }
    for (size_t i = 0; i + 1 < pieces.size(); i += 2) logins.emplace_back(pieces[i], pieces[i + 1]);
  } catch (const std::exception& e) {
    LogFormat(LogLevel::Error, kLogUserland, "LoadLogins::Load File %s error %s [%s]", path.c_str(),
              "the user list cannot be read", e.what());
  }
  return logins;
}

std::optional<uint32_t> StartNumber(const std::string& text, uint32_t min, uint32_t max) {
  if (text.empty() || text.size() > std::to_string(max).size() ||
      !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return std::nullopt;
  const unsigned long long value = std::stoull(text);
  if (value < min || value > max) return std::nullopt;
  return uint32_t(value);
}

uint32_t StartLimitValue(const std::string& text, const StartLimit& limit) {
  return StartNumber(text, limit.min, limit.max).value_or(limit.fallback);
}

bool StartLimitRefused(const std::string& text, const StartLimit& limit) {
  return !text.empty() && !StartNumber(text, limit.min, limit.max);
}

uint16_t StartPort(const std::string& text) {
  constexpr uint16_t kDefaultPort = 4840;
  return uint16_t(StartNumber(text, 1, 65535).value_or(kDefaultPort));
}

int StartLogLevel(const std::string& text) {
  static const char* const kLevels[] = {"none", "fatal", "error", "warning",
                                        "info", "debug", "verbose"};
  for (size_t level = 0; level < std::size(kLevels); ++level)
    if (text == kLevels[level]) return int(level);
  return 4;
}

bool StartLogLevelKnown(const std::string& text) {
  return text.empty() || text == "info" || StartLogLevel(text) != StartLogLevel("info");
}

bool StartAllowAnonymous(const std::string& text) { return text != "false"; }

bool StartFlagKnown(const std::string& text) { return text.empty() || text == "true" || text == "false"; }

std::u16string WithStartOptions(const std::u16string& text, const StartOptions& options) {
  const Sections s = FindSections(text);
  std::u16string result = text.substr(0, s.recordsEnd);
  EndLine(result);
  result += kOptionsMarker + u"[options]\nport = " + Utf8ToUtf16(options.port) + u"\nlog = " +
            Utf8ToUtf16(options.log) + u"\nallowanonimus = " + Utf8ToUtf16(options.allowanonimus) +
            u"\nderFile = " + Utf8ToUtf16(options.derFile) + u"\npemFile = " +
            Utf8ToUtf16(options.pemFile) + u"\ntrustFolder = " + Utf8ToUtf16(options.trustFolder) +
            u"\n";
  if (s.optionsLength)
    result += HandAddedOptions(std::u16string_view(text).substr(s.optionsBegin, s.optionsLength));
  if (s.usersLength) result += text.substr(s.usersBegin, s.usersLength);
  return result;
}

std::u16string WithLogins(const std::u16string& text, const std::vector<Login>& logins) {
  const Sections s = FindSections(text);
  std::u16string result = text;
  if (s.usersLength) result.erase(s.usersBegin, s.usersLength);
  EndLine(result);
  result += kUsersHeader;
  for (const Login& login : logins)
    result += Utf8ToUtf16(login.first) + u';' + Utf8ToUtf16(login.second) + u';';
  return result;
}

std::vector<Login> LoginsOf(const std::u16string& text) {
  std::vector<std::string> values;
  if (ParseStartParameters(IniEntryLines(text), values) != 0) return {};
  return LoadLogins(values[kStartUsers]);
}

bool IsStorableLogin(const std::string& name, const std::string& password) {
  // The INI reader drops blanks at the start of the list, so a leading blank
  // in a name would not survive the trip to the server.
  return !name.empty() && name.front() != ' ' && name.front() != '\t' &&
         name.find(';') == std::string::npos && password.find(';') == std::string::npos &&
         !EndsIniValue(name) && !EndsIniValue(password);
}

int WriteOptions(const std::string& path, const StartOptions& options) {
  for (const std::string* value : {&options.port, &options.log, &options.allowanonimus,
                                   &options.derFile, &options.pemFile, &options.trustFolder})
    if (EndsIniValue(*value)) return kOptionsBadInput;
  std::u16string text;
  if (const int rc = ReadScrambled(path, text)) return rc;
  return WriteScrambled(path, WithStartOptions(text, options));
}

int ReadUsers(const std::string& path, std::vector<Login>& logins) {
  std::u16string text;
  if (const int rc = ReadScrambled(path, text)) return rc;
  logins = LoginsOf(text);
  return kOptionsOk;
}

int AddUser(const std::string& path, const std::string& name, const std::string& password) {
  if (!IsStorableLogin(name, password)) return kOptionsBadInput;
  std::u16string text;
  if (const int rc = ReadScrambled(path, text)) return rc;
  std::vector<Login> logins = LoginsOf(text);
  logins.emplace_back(name, password);
  return WriteScrambled(path, WithLogins(text, logins));
}

int RemoveUser(const std::string& path, const std::string& name) {
  std::u16string text;
  if (const int rc = ReadScrambled(path, text)) return rc;
  std::vector<Login> logins = LoginsOf(text);
  const auto found =
      std::find_if(logins.begin(), logins.end(), [&](const Login& l) { return l.first == name; });
  if (found == logins.end()) return kOptionsBadInput;
  logins.erase(found);
  return WriteScrambled(path, WithLogins(text, logins));
}

}  // namespace virk
