#include "child_run.h"

#include "platform/windows/windows_api.h"

#include <shellapi.h>

namespace virk::test {

ChildOutcome RunChild(const std::wstring& executable, const std::vector<std::wstring>& arguments,
                      unsigned long flags, const std::wstring& outputFile, unsigned long limitMs) {
  ChildOutcome outcome;
  // The paths here hold no quotes, so quoting each is enough.
  std::wstring commandLine = L"\"" + executable + L"\"";
  for (const std::wstring& argument : arguments) commandLine += L" \"" + argument + L"\"";

  SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
  HANDLE output = INVALID_HANDLE_VALUE;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  if (!outputFile.empty()) {
    output = CreateFileW(outputFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inheritable, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
    if (output == INVALID_HANDLE_VALUE) {
      outcome.startError = GetLastError();
      return outcome;
    }
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = output;
    startup.hStdError = output;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  }
  PROCESS_INFORMATION process{};
  outcome.started = CreateProcessW(executable.c_str(), commandLine.data(), nullptr, nullptr, output != INVALID_HANDLE_VALUE,
                                   flags, nullptr, nullptr, &startup, &process) != 0;
  if (!outcome.started) outcome.startError = GetLastError();
  if (output != INVALID_HANDLE_VALUE) CloseHandle(output);
  if (!outcome.started) return outcome;

  outcome.finished = WaitForSingleObject(process.hProcess, limitMs) == WAIT_OBJECT_0;
  if (!outcome.finished) {
    // Only this child, by its own handle.
    TerminateProcess(process.hProcess, 1);
    WaitForSingleObject(process.hProcess, 5000);
  }
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  outcome.exitCode = code;
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return outcome;
}

std::wstring OwnExecutable() {
  std::wstring path(32768, L'\0');
  path.resize(GetModuleFileNameW(nullptr, path.data(), DWORD(path.size())));
  return path;
}

std::vector<std::wstring> WideArguments() {
  int count = 0;
  wchar_t** list = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::wstring> arguments(list, list + (list != nullptr ? count : 0));
  LocalFree(list);
  return arguments;
}

}  // namespace virk::test
