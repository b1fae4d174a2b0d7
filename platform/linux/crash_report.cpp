// Crash report on a fatal signal: the signal, the fault address and a
// backtrace go into a file in the dump folder, then the signal is raised again
// so the process ends as it would have (exit status, core dump if enabled).
// Everything the handler needs is prepared at installation; the handler itself
// sticks to async-signal-safe calls apart from localtime_r/strftime.
#include "platform/platform.h"

#include <execinfo.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

namespace virk::platform {
namespace {

constexpr int kFatalSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
constexpr size_t kAltStackSize = 64 * 1024;

struct CrashSetup {
  std::vector<std::string> folders;  // each missing parent, outermost first
  std::string folder;
  std::string nameFormat;
};
CrashSetup* g_setup = nullptr;

const char* SignalName(int signal) {
  switch (signal) {
    case SIGSEGV: return "SIGSEGV";
    case SIGBUS: return "SIGBUS";
    case SIGFPE: return "SIGFPE";
    case SIGILL: return "SIGILL";
    case SIGABRT: return "SIGABRT";
    default: return "signal";
  }
}

void WriteText(int fd, const char* text) {
  size_t left = std::strlen(text);
  while (left > 0) {
    const ssize_t written = write(fd, text, left);
    if (written <= 0) return;
    text += written;
    left -= size_t(written);
  }
}

int OpenReport() {
  for (const std::string& folder : g_setup->folders) mkdir(folder.c_str(), 0755);
  const time_t now = time(nullptr);
  tm local{};
  localtime_r(&now, &local);
  char name[256];
  if (strftime(name, sizeof name, g_setup->nameFormat.c_str(), &local) == 0) return -1;
  char path[4096];
  const int length = snprintf(path, sizeof path, "%s/%s", g_setup->folder.c_str(), name);
  if (length < 0 || size_t(length) >= sizeof path) return -1;
  // Memory contents: the owner's only.
  return open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
}

void OnFatalSignal(int signal, siginfo_t* info, void*) {
  const int fd = OpenReport();
  if (fd >= 0) {
    char head[256];
    // A signal sent by kill() carries the sender, not a fault address.
    if (info != nullptr && info->si_code <= 0)
      snprintf(head, sizeof head, "Fatal signal %d (%s) sent by process %d, process %d\nBacktrace:\n", signal,
               SignalName(signal), int(info->si_pid), int(getpid()));
    else
      snprintf(head, sizeof head, "Fatal signal %d (%s) at address %p, process %d\nBacktrace:\n", signal,
               SignalName(signal), info != nullptr ? info->si_addr : nullptr, int(getpid()));
    WriteText(fd, head);
    void* frames[128];
    backtrace_symbols_fd(frames, backtrace(frames, 128), fd);
    close(fd);
  }
  // SA_RESETHAND restored the default action; the raised signal is delivered
  // when this handler returns.
  raise(signal);
}

}  // namespace

void InstallCrashHandler(const std::string& folder, const std::string& nameFormat) {
  auto* setup = new CrashSetup{{}, folder, nameFormat};
  for (size_t slash = folder.find('/', 1); slash != std::string::npos; slash = folder.find('/', slash + 1))
    setup->folders.push_back(folder.substr(0, slash));
  setup->folders.push_back(folder);
  delete g_setup;
  g_setup = setup;

  tzset();
  void* warmUp[1];
  backtrace(warmUp, 1);  // loads the unwinder now, not inside the handler

  // A stack overflow leaves no stack for the handler: give the installing
  // (main) thread a separate one.
  static std::vector<char> altStack(kAltStackSize);
  stack_t stack{};
  stack.ss_sp = altStack.data();
  stack.ss_size = altStack.size();
  sigaltstack(&stack, nullptr);

  struct sigaction action {};
  action.sa_sigaction = OnFatalSignal;
  action.sa_flags = SA_SIGINFO | SA_RESETHAND | SA_ONSTACK;
  sigemptyset(&action.sa_mask);
  for (int signal : kFatalSignals) sigaction(signal, &action, nullptr);
}

}  // namespace virk::platform
