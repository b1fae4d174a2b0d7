#include "platform/platform.h"
#include "platform/windows/wide_text.h"
#include "platform/windows/windows_api.h"

#include <shellapi.h>

namespace virk::platform {

// The wide command line split as the C runtime splits it for main.
std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return {argv, argv + argc};
  std::vector<std::string> arguments;
  for (int i = 0; i < count; ++i) arguments.push_back(ToUtf8(wide[i]));
  LocalFree(wide);
  return arguments;
}

std::FILE* OpenFile(const std::string& path, const char* mode) {
  return _wfopen(ToUtf16(path).c_str(), ToUtf16(mode).c_str());
}

}  // namespace virk::platform
