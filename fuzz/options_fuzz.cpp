// Arbitrary text as the options and users sections: reading them with INI
// rules, the user list and the option values as the server applies them.
// Options and users written into a file must read back as written, by the
// server and by the configurator alike.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/log.h"
#include "common/options.h"
#include "common/text.h"
#include "scratch_file.h"

namespace {

using virk::fuzz::ScratchPath;

// INI values lose their outer blanks; the writers store what remains.
std::string Trimmed(const std::string& value) {
  const size_t first = value.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return value.substr(first, value.find_last_not_of(" \t") - first + 1);
}

// The records part of a file: lines the INI reader passes over.
std::u16string RecordLines(const std::u16string& text) {
  std::u16string records;
  size_t begin = 0;
  while (begin < text.size()) {
    size_t end = text.find(u'\n', begin);
    if (end == std::u16string::npos) end = text.size();
    if (text[begin] == u';') records += text.substr(begin, end - begin) + u'\n';
    begin = end + 1;
  }
  return records;
}

void Fail(const char* what) {
  std::fprintf(stderr, "%s do not read back as written\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  virk::SetLogFunction([](virk::LogLevel, int, const std::string&) {});
  virk::fuzz::InitScratchFile("options_fuzz");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> values;
  if (virk::ParseStartParameters(text, values) != 0) return 0;
  if (values.size() != virk::kStartValueCount) Fail("the option values");
  virk::StartPort(values[virk::kStartPort]);
  virk::StartLogLevel(values[virk::kStartLog]);
  virk::StartAllowAnonymous(values[virk::kStartAllowAnonymous]);
  const std::vector<virk::Login> parsed = virk::LoadLogins(values[virk::kStartUsers]);
  // The server reads only valid UTF-8; only such text is stored again.
  std::u16string decoded;
  size_t badOffset = 0;
  if (!virk::DecodeUtf8(text, decoded, badOffset)) return 0;

  // What was read, stored again after records made of the same text.
  std::vector<virk::Login> logins;
  for (const virk::Login& login : parsed)
    if (virk::IsStorableLogin(login.first, login.second)) logins.push_back(login);
  virk::StartOptions options;
  std::string* const fields[] = {&options.port,    &options.log,     &options.allowanonimus,
                                 &options.derFile, &options.pemFile, &options.trustFolder};
  for (size_t i = 0; i < std::size(fields); ++i) *fields[i] = values[i];

  // Written into a file as the configurator does, read back as the server and
  // as the configurator's user list do.
  const std::u16string stored =
      virk::WithLogins(virk::WithStartOptions(RecordLines(decoded), options), logins);
  std::string error;
  if (!virk::WriteConfigText(ScratchPath(), stored, true, error)) std::abort();
  std::vector<std::string> reread;
  if (virk::readParametrsStart(ScratchPath(), reread) != 0) Fail("stored options");
  for (size_t i = 0; i < std::size(fields); ++i)
    if (reread[i] != Trimmed(*fields[i])) Fail("the options");
  if (virk::LoadLogins(reread[virk::kStartUsers]) != logins) Fail("the server's users");
  if (virk::LoginsOf(stored) != logins) Fail("the configurator's users");
  return 0;
}
