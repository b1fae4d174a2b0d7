#include <thread>

#include "child_process.h"
#include "platform/windows/wide_text.h"
#include "platform/windows/windows_api.h"

namespace virk::keyforge::test {

namespace {

using platform::ToUtf16;

// One argument as CommandLineToArgvW and the C runtime split it again:
// quoted, with the backslashes before a quote doubled.
std::wstring Quoted(const std::wstring& argument) {
  std::wstring quoted = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, L'\\');
  return quoted + L"\"";
}

// "NAME=value" entries, each ended by a null, the block by one more.
std::wstring EnvironmentBlock(const std::vector<std::string>& environment) {
  std::wstring block;
  for (const std::string& entry : environment) block += ToUtf16(entry) + L'\0';
  return block + L'\0';
}

// Everything a pipe gives until its writers are gone. The programs write in
// text mode, which ends every line with CR LF on Windows; the tests compare
// the lines as POSIX writes them.
void ReadUntilClosed(HANDLE pipe, std::string& sink) {
  char buffer[4096];
  DWORD count = 0;
  std::string text;
  while (ReadFile(pipe, buffer, sizeof buffer, &count, nullptr) && count > 0) text.append(buffer, count);
  for (size_t i = 0; i < text.size(); ++i)
    if (text.compare(i, 2, "\r\n") != 0) sink += text[i];
}

struct Pipe {
  HANDLE read = nullptr;
  HANDLE write = nullptr;
  bool Open() {
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    if (!CreatePipe(&read, &write, &inheritable, 0)) return false;
    // Only the child's end is inherited.
    return SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0) != 0;
  }
  void CloseWrite() {
    if (write != nullptr) CloseHandle(write);
    write = nullptr;
  }
  ~Pipe() {
    CloseWrite();
    if (read != nullptr) CloseHandle(read);
  }
};

}  // namespace

ChildResult RunChild(const std::string& program, const std::vector<std::string>& arguments,
                     const std::vector<std::string>& environment, std::chrono::milliseconds timeout) {
  ChildResult result;
  Pipe out;
  Pipe err;
  if (!out.Open() || !err.Open()) {
    result.err = "pipes: " + platform::ErrorText(GetLastError());
    return result;
  }
  std::wstring commandLine = Quoted(ToUtf16(program));
  for (const std::string& argument : arguments) commandLine += L" " + Quoted(ToUtf16(argument));
  std::wstring block = EnvironmentBlock(environment);

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = INVALID_HANDLE_VALUE;
  startup.hStdOutput = out.write;
  startup.hStdError = err.write;
  PROCESS_INFORMATION process{};
  // A name without a folder is looked up in PATH, as on POSIX.
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_UNICODE_ENVIRONMENT,
                      block.data(), nullptr, &startup, &process)) {
    result.err = "spawn failed: " + platform::ErrorText(GetLastError());
    return result;
  }
  CloseHandle(process.hThread);
  out.CloseWrite();
  err.CloseWrite();
  std::thread outReader(ReadUntilClosed, out.read, std::ref(result.out));
  std::thread errReader(ReadUntilClosed, err.read, std::ref(result.err));
  if (WaitForSingleObject(process.hProcess, DWORD(timeout.count())) != WAIT_OBJECT_0) {
    result.timedOut = true;
    // Only this child, by its own handle.
    TerminateProcess(process.hProcess, 1);
    WaitForSingleObject(process.hProcess, 5000);
  }
  outReader.join();
  errReader.join();
  DWORD code = 0;
  // The low byte, as a POSIX shell (and MSYS) reports an exit status: -1 is 255.
  if (!result.timedOut && GetExitCodeProcess(process.hProcess, &code)) result.exitCode = int(code & 0xFF);
  CloseHandle(process.hProcess);
  return result;
}

}  // namespace virk::keyforge::test
