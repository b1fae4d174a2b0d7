// Console control events on Windows: the system calls the routine on a thread
// it starts for the event, an ordinary thread on which the handler may log and
// take locks.
#include "platform/platform.h"

#include <atomic>

#include "platform/windows/windows_api.h"

namespace virk::platform {
namespace {

// Windows ends the process as soon as the routine returns from these (or
// after about 5 s): the routine waits a little less, so that the server loop
// can end in order; the process ending cuts the wait short.
constexpr DWORD kCloseGraceMs = 4500;

std::atomic<void (*)()> g_handler{nullptr};

BOOL WINAPI OnControlEvent(DWORD event) {
  if (void (*handler)() = g_handler.load()) handler();
  if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) Sleep(kCloseGraceMs);
  return TRUE;  // handled: the process is not ended for Ctrl-C or Ctrl-Break
}

}  // namespace

// A write to a closed output pipe fails with ERROR_NO_DATA on Windows and
// ends nothing, so there is no SIGPIPE to ignore.
void InstallConsoleControlHandler(void (*handler)()) {
  g_handler = handler;
  SetConsoleCtrlHandler(OnControlEvent, TRUE);
}

bool StandardOutputIsTerminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

}  // namespace virk::platform
