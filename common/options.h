// The options and users sections that follow the records of a .cfg file:
//
//   INIFILE\n\n[options]\nport = ...\n ... trustFolder = ...\n
//   (maxSessions, maxSessionTimeout, anonymousReadOnly, demoteAfter and
//   demoteMs only when added by hand)
//   USERS\n\n[users]\nusers = name;password;name;password;
//
// The server reads both with INI rules from the unscrambled text in memory;
// the configurator rewrites them in the scrambled file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace virk {

// Positions in the list filled by readParametrsStart.
enum StartValue : size_t {
  kStartPort = 0,
  kStartLog,
  kStartAllowAnonymous,
  kStartDerFile,
  kStartPemFile,
  kStartTrustFolder,
  kStartUsers,
  // Set by hand only: the configurator's options writer has no field for them.
  kStartMaxSessions,
  kStartMaxSessionTimeout,
  kStartAnonymousReadOnly,
  kStartDemoteAfter,
  kStartDemoteMs,
  kStartValueCount
};

// A numeric option of the options section: its key, accepted range and the
// value an empty or unusable text gives.
struct StartLimit {
  const char* key;
  uint32_t min;
  uint32_t max;
  uint32_t fallback;
};
constexpr StartLimit kMaxSessionsLimit{"maxSessions", 1, 10000, 100};
// Milliseconds; an abandoned session holds its place this long at most.
constexpr StartLimit kMaxSessionTimeoutLimit{"maxSessionTimeout", 1000, 3600000, 600000};

// Demotion of a device that stopped answering, off unless demoteAfter is
// given: after that many failed exchanges in a row the device is left out of
// the polls for demoteMs milliseconds, then tried once, so that its time-outs
// do not stretch the poll period of the live devices on the same line.
constexpr StartLimit kDemoteAfterLimit{"demoteAfter", 0, 1000, 0};
constexpr StartLimit kDemoteMsLimit{"demoteMs", 100, 3600000, 10000};

// Anonymous sessions may browse, read and subscribe, but not write or call
// the management methods; off unless the text is "true".
constexpr char kAnonymousReadOnlyKey[] = "anonymousReadOnly";

// The six option texts as the options writer stores them.
struct StartOptions {
  std::string port = "4840";
  std::string log = "info";
  std::string allowanonimus = "true";
  std::string derFile;
  std::string pemFile;
  std::string trustFolder;
};

using Login = std::pair<std::string, std::string>;  // user name, password

// Result codes of the writers and readers below.
enum OptionsResult : int {
  kOptionsOk = 0,
  kOptionsBadInput = 1,  // a name or password the list cannot hold, or no such user
  kOptionsFileError = 2,
};

// Takes the texts of StartValue (port, log, allowanonimus, derFile, pemFile,
// trustFolder, users, maxSessions, maxSessionTimeout, anonymousReadOnly,
// demoteAfter, demoteMs;
// empty when missing)
// from UTF-8 text with INI rules.
// 0 on success, non-zero when the text cannot be parsed.
int ParseStartParameters(const std::string& utf8Text, std::vector<std::string>& values);

// Reads and unscrambles the .cfg file at `path` and parses it in memory:
// no clear-text copy of the file is written. 0 on success; on failure the
// reason is logged.
int readParametrsStart(const std::string& path, std::vector<std::string>& values);

// "name;password;name;password;" into pairs; a name without a password is
// dropped. Failures are logged with `path` and the list keeps what it got.
std::vector<Login> LoadLogins(const std::string& usersText, const std::string& path = {});

// How the server applies the option texts.
// A plain decimal number within min..max, with no more digits than max has.
std::optional<uint32_t> StartNumber(const std::string& text, uint32_t min, uint32_t max);
// The option's number, or its fallback for an empty or unusable text.
uint32_t StartLimitValue(const std::string& text, const StartLimit& limit);
// A text given that is no number within the limit (the fallback is used).
bool StartLimitRefused(const std::string& text, const StartLimit& limit);
uint16_t StartPort(const std::string& text);      // 1..65535, else 4840
int StartLogLevel(const std::string& text);       // "none" 0 .. "verbose" 6, else 4 (info)
bool StartLogLevelKnown(const std::string& text);  // empty or one of StartLogLevel's words
bool StartAllowAnonymous(const std::string& text);  // false only for "false"
bool StartFlagKnown(const std::string& text);       // empty, "true" or "false"

// Edits of the unscrambled text. Records stay as they are; the options come
// after them and the users section, when there is one, comes last.
// The options writer keeps the keys of the old options section it does not
// write itself (those added by hand).
std::u16string WithStartOptions(const std::u16string& text, const StartOptions& options);
std::u16string WithLogins(const std::u16string& text, const std::vector<Login>& logins);
std::vector<Login> LoginsOf(const std::u16string& text);

// A name or password that would break the list (';', a line end, a NUL) or an empty name.
bool IsStorableLogin(const std::string& name, const std::string& password);

// Rewrites the options section of the scrambled file: 0, or 2 when the file
// cannot be read or written.
int WriteOptions(const std::string& path, const StartOptions& options);

// The users of the scrambled file: 0, or 2 when it cannot be read.
int ReadUsers(const std::string& path, std::vector<Login>& logins);
// Appends a pair (the same name may be added twice; the password may be
// empty): 0, 1 when the name or password cannot be stored, 2 on a file error.
int AddUser(const std::string& path, const std::string& name, const std::string& password);
// Removes the first pair with that name: 0, 1 when there is none, 2 on a file error.
int RemoveUser(const std::string& path, const std::string& name);

}  // namespace virk
