// The thin operating-system layer. Everything the programs need from the OS
// beyond standard C++ goes through here (and through the transports), so a
// Windows port adds files and changes no caller.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace virk::platform {

// USERPROFILE if set, else HOME; nothing when neither is set.
std::optional<std::string> ProfileFolder();

// Creates the folder with all missing parents. False with a reason on failure.
bool MakeFolders(const std::string& path, std::string& error);

// Replaces the file at `path` with `bytes` through the temporary `path`.tmp
// renamed over it, so a failed write leaves the old file as it was. The new
// file keeps the permissions of the one it replaces; a file made new is
// owner-only when asked, else it gets the default (0666 less the umask). The
// temporary has those permissions from its creation on. False with a reason.
bool ReplaceFile(const std::string& path, const std::string& bytes, bool ownerOnly, std::string& error);

// Creates a file that must not exist yet, owner-only from its creation on
// when asked, else with the default permissions. False with a reason, and
// no file, on failure.
bool WriteNewFile(const std::string& path, const std::string& bytes, bool ownerOnly, std::string& error);

// Closes the folder to all but its owner and narrows every regular file in
// it to at most owner read and write. False with a reason on failure.
bool RestrictFolderToOwner(const std::string& path, std::string& error);

// Every file and folder the process creates from now on is its owner's only.
// Windows: those the file functions here create; a file opened elsewhere gets
// its folder's inherited DACL (RestrictFolderToOwner passes owner-only on).
void CreateOwnerOnlyFromNowOn();

// Millisecond tick counter that wraps at 2^32, like the tick counter the
// polling timers were designed around.
uint32_t TickCount32();
// Monotonic high-resolution time in microseconds.
uint64_t MonotonicMicros();
void SleepMs(uint32_t ms);

// Calls `handler` (from a normal thread, not a signal context) on Ctrl-C,
// SIGTERM or SIGHUP: the console control event of the original platform.
// Writes to a closed output pipe fail instead of ending the process.
void InstallConsoleControlHandler(void (*handler)());

// On a fatal signal writes a crash report (signal and backtrace) into
// `folder` under the name strftime(`nameFormat`) and re-raises the signal.
// Windows: on an unhandled exception, a full-memory minidump, owner-only,
// and the exception goes on.
void InstallCrashHandler(const std::string& folder, const std::string& nameFormat);

// True when no other socket listens on the TCP port (any interface): tries
// a listener's bind without sharing the port. False with the reason otherwise.
bool TcpPortFree(uint16_t port, std::string& error);

// Folder of the running program's executable, without a trailing '/'.
std::string ExecutableFolder();

// The program's arguments in UTF-8, argv[0] first. Windows hands main its
// arguments in the ANSI code page, which has no room for Cyrillic names and
// paths; there they are read again from the wide command line.
std::vector<std::string> CommandLineArguments(int argc, char** argv);

// std::fopen for a UTF-8 path (Windows' own would read it in the ANSI code
// page); errno tells why it failed.
std::FILE* OpenFile(const std::string& path, const char* mode);

// The programs' messages are UTF-8: the console shows and reads them as such.
// Windows switches the console's code pages to UTF-8; nothing to do on Linux.
void UseUtf8Console();

// True when standard output is a terminal (not a pipe, a file or the journal).
bool StandardOutputIsTerminal();

}  // namespace virk::platform
