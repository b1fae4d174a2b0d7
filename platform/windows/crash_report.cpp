// Crash report on an unhandled exception: a full-memory minidump (with the
// failing thread and its exception record) goes into the dump folder, then the
// exception goes on, so the process ends as it would have (exit code, error
// reporting). Everything the filter needs is prepared at installation.
#include "platform/platform.h"

#include "platform/windows/windows_api.h"

#include <dbghelp.h>

#include <ctime>
#include <vector>

#include "platform/windows/file_security.h"
#include "platform/windows/wide_text.h"

namespace virk::platform {
namespace {

struct CrashSetup {
  std::vector<std::wstring> folders;  // each parent, outermost first, and the folder
  std::wstring folder;
  std::string nameFormat;
  CreationSecurity ownerOnly;  // memory contents: the owner's only
};
CrashSetup* g_setup = nullptr;

struct Crash {
  DWORD threadId;
  EXCEPTION_POINTERS* exception;
};

HANDLE OpenDump() {
  for (const std::wstring& folder : g_setup->folders) CreateDirectoryW(folder.c_str(), nullptr);
  const time_t now = time(nullptr);
  tm local{};
  localtime_s(&local, &now);
  char name[256];
  if (strftime(name, sizeof name, g_setup->nameFormat.c_str(), &local) == 0) return INVALID_HANDLE_VALUE;
  const std::wstring path = g_setup->folder + L"\\" + ToUtf16(name);
  // An existing dump of that name is replaced, and gets the new DACL rather
  // than keeping its own.
  DeleteFileW(path.c_str());
  return CreateFileW(path.c_str(), GENERIC_WRITE, 0, g_setup->ownerOnly.Attributes(), CREATE_ALWAYS,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

DWORD WINAPI WriteDump(void* argument) {
  const Crash& crash = *static_cast<const Crash*>(argument);
  const HANDLE file = OpenDump();
  if (file == INVALID_HANDLE_VALUE) return 1;
  MINIDUMP_EXCEPTION_INFORMATION where{crash.threadId, crash.exception, FALSE};
  const BOOL written = MiniDumpWriteDump(GetCurrentProcess(), GetCurrentProcessId(), file,
                                         MINIDUMP_TYPE(MiniDumpWithFullMemory | MiniDumpWithHandleData |
                                                       MiniDumpWithThreadInfo),
                                         &where, nullptr, nullptr);
  CloseHandle(file);
  return written ? 0 : 1;
}

// The dump is written by a thread of its own: after a stack overflow the
// failing thread has too little stack left for the dump writer.
LONG WINAPI OnUnhandledException(EXCEPTION_POINTERS* exception) {
  Crash crash{GetCurrentThreadId(), exception};
  if (const HANDLE writer = CreateThread(nullptr, 0, WriteDump, &crash, 0, nullptr)) {
    WaitForSingleObject(writer, INFINITE);
    CloseHandle(writer);
  }
  return EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

void InstallCrashHandler(const std::string& folder, const std::string& nameFormat) {
  auto* setup = new CrashSetup{{}, ToUtf16(folder), nameFormat, CreationSecurity::OwnerOnly(false)};
  const std::wstring& wide = setup->folder;
  for (size_t slash = wide.find_first_of(L"\\/", 1); slash != std::wstring::npos;
       slash = wide.find_first_of(L"\\/", slash + 1))
    setup->folders.push_back(wide.substr(0, slash));
  setup->folders.push_back(wide);
  delete g_setup;
  g_setup = setup;
  SetUnhandledExceptionFilter(OnUnhandledException);
}

}  // namespace virk::platform
