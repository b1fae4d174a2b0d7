// Console control events on Linux: SIGINT, SIGTERM and SIGHUP are blocked and
// taken by a sigwait thread, so the handler runs on an ordinary thread and may
// log and take locks, like the console control thread of the original system.
#include "platform/platform.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <thread>

namespace virk::platform {

void InstallConsoleControlHandler(void (*handler)()) {
  sigset_t events;
  sigemptyset(&events);
  sigaddset(&events, SIGINT);
  sigaddset(&events, SIGTERM);
  sigaddset(&events, SIGHUP);
  // Threads started later inherit the mask, so call this before starting any.
  pthread_sigmask(SIG_BLOCK, &events, nullptr);
  // A console that went away (the reader of a piped output closed it) must
  // not end the program: the write fails and the log file goes on.
  signal(SIGPIPE, SIG_IGN);
  std::thread([events, handler] {
    for (;;) {
      int signal = 0;
      if (sigwait(&events, &signal) == 0) handler();
    }
  }).detach();
}

bool StandardOutputIsTerminal() { return isatty(STDOUT_FILENO) == 1; }

}  // namespace virk::platform
