// The Windows platform layer against the contract of platform/platform.h,
// run under Wine in the cross build. What must happen in a process of its own
// (a crash, a console, another executable path) runs in a child started from
// this same program. A check that Wine cannot support is skipped, naming
// Wine's limit as found by a probe, never on a guess.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "check.h"
#include "child_run.h"
#include "dacl_facts.h"
#include "platform/platform.h"
#include "platform/windows/file_security.h"
#include "platform/windows/wide_text.h"
#include "platform/windows/windows_api.h"

#include <dbghelp.h>
#include <sddl.h>
#include <winsock2.h>

namespace virk::test {
namespace {

namespace fs = std::filesystem;
using platform::ToUtf16;
using platform::ToUtf8;

// Wine wakes sleepers in steps of about 15.6 ms; a loaded machine adds more.
constexpr uint32_t kSleepMs = 100;
constexpr uint32_t kSleepSlackMs = 400;
constexpr unsigned long kChildLimitMs = 60000;
// A full-memory dump under Wine is some 200 MB: about 17 s on an idle machine,
// past a minute on a loaded one.
constexpr unsigned long kCrashChildLimitMs = 240000;
constexpr int kReplaceRounds = 200;

std::string ReadAll(const std::wstring& path) {
  std::ifstream in(fs::path(path), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// What a child printed, without the carriage returns of text mode.
std::string ReadLines(const std::wstring& path) {
  std::string text = ReadAll(path);
  text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
  return text;
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool RunningUnderWine() {
  return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

// Whether the file system keeps a DACL that is set: a protected one for the
// user alone, written in SDDL here independently of the code under test,
// given at creation and read back.
std::string DaclsUnsupportedReason(const std::wstring& folder) {
  std::vector<BYTE> user;
  if (const DWORD error = platform::CurrentUserSid(user)) return "no SID for the current user: " + platform::ErrorText(error);
  wchar_t* userText = nullptr;
  if (!ConvertSidToStringSidW(user.data(), &userText))
    return "the user's SID has no text form: " + platform::ErrorText(GetLastError());
  const std::wstring sddl = L"D:P(A;;FA;;;" + std::wstring(userText) + L")";
  LocalFree(userText);
  SECURITY_ATTRIBUTES attributes{sizeof attributes, nullptr, FALSE};
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                            &attributes.lpSecurityDescriptor, nullptr))
    return "SDDL not understood: " + platform::ErrorText(GetLastError());
  const std::wstring probe = folder + L"\\dacl-probe";
  const HANDLE file =
      CreateFileW(probe.c_str(), GENERIC_WRITE, 0, &attributes, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  const DWORD createError = GetLastError();
  LocalFree(attributes.lpSecurityDescriptor);
  if (file == INVALID_HANDLE_VALUE) return "the probe file was not created: " + platform::ErrorText(createError);
  CloseHandle(file);
  const DaclFacts facts = ReadDacl(probe);
  DeleteFileW(probe.c_str());
  if (facts.OwnerOnly()) return std::string();
  return std::string(RunningUnderWine() ? "Wine" : "the system") +
         " does not keep a DACL given at creation on this file system (read back: " + facts.Describe() + ")";
}

void CheckOwnerOnly(const std::wstring& path, bool expected, const std::string& daclsUnsupported, const char* what) {
  if (!daclsUnsupported.empty()) return Skip(what, daclsUnsupported);
  const DaclFacts facts = ReadDacl(path);
  CHECK_THAT(facts.OwnerOnly() == expected, std::string(what) + ": " + facts.Describe());
}

std::wstring Variable(const wchar_t* name) {
  wchar_t value[32768];
  const DWORD length = GetEnvironmentVariableW(name, value, 32768);
  return std::wstring(value, length < 32768 ? length : 0);
}

void RestoreVariable(const wchar_t* name, const std::wstring& value) {
  SetEnvironmentVariableW(name, value.empty() ? nullptr : value.c_str());
}

// What the file functions give at creation, checked in memory: this holds
// even where the file system keeps no DACL.
void TestOwnerOnlyDescriptors() {
  platform::CreationSecurity file = platform::CreationSecurity::OwnerOnly(false);
  platform::CreationSecurity folder = platform::CreationSecurity::OwnerOnly(true);
  if (!CHECK_THAT(file.Attributes() != nullptr && folder.Attributes() != nullptr, platform::ErrorText(file.Error())))
    return;
  const DaclFacts fileFacts = DaclOf(file.Attributes()->lpSecurityDescriptor);
  const DaclFacts folderFacts = DaclOf(folder.Attributes()->lpSecurityDescriptor);
  CHECK_THAT(fileFacts.OwnerOnly() && fileFacts.allowedForUser == 1 && !fileFacts.userPassesOn, fileFacts.Describe());
  CHECK_THAT(folderFacts.OwnerOnly() && folderFacts.allowedForUser == 1 && folderFacts.userPassesOn,
             folderFacts.Describe());
  CHECK(platform::CreationSecurity::Inherited().Attributes() == nullptr);
  // A copy carries its own list, not a pointer into the original's.
  platform::CreationSecurity copy = file;
  file = platform::CreationSecurity::Inherited();
  CHECK_THAT(copy.Attributes() != nullptr && DaclOf(copy.Attributes()->lpSecurityDescriptor).OwnerOnly(),
             "the copy lost its list");
}

void TestProfileFolder() {
  const std::wstring profile = Variable(L"USERPROFILE");
  const std::wstring home = Variable(L"HOME");
  SetEnvironmentVariableW(L"USERPROFILE", L"C:\\users\\Пользователь");
  SetEnvironmentVariableW(L"HOME", L"C:\\home");
  CHECK(platform::ProfileFolder() == std::optional<std::string>(u8"C:\\users\\Пользователь"));
  SetEnvironmentVariableW(L"USERPROFILE", L"");
  CHECK(platform::ProfileFolder() == std::optional<std::string>("C:\\home"));
  SetEnvironmentVariableW(L"USERPROFILE", nullptr);
  SetEnvironmentVariableW(L"HOME", nullptr);
  CHECK(!platform::ProfileFolder().has_value());
  RestoreVariable(L"USERPROFILE", profile);
  RestoreVariable(L"HOME", home);
}

void TestMakeFolders(const std::wstring& base) {
  std::string error;
  const std::wstring nested = base + L"\\Журнал\\OPC UA/Log";
  CHECK_THAT(platform::MakeFolders(ToUtf8(nested), error), error);
  CHECK(GetFileAttributesW(nested.c_str()) & FILE_ATTRIBUTE_DIRECTORY);
  CHECK_THAT(platform::MakeFolders(ToUtf8(nested), error), "again: " + error);

  const std::wstring file = base + L"\\файл";
  std::ofstream(fs::path(file)) << "x";
  error.clear();
  CHECK(!platform::MakeFolders(ToUtf8(file + L"\\inner"), error) && !error.empty());
  error.clear();
  CHECK_THAT(!platform::MakeFolders(ToUtf8(file), error) && error == "not a folder", error);
}

void TestWriteNewFile(const std::wstring& base, const std::string& daclsUnsupported) {
  const std::wstring secret = base + L"\\ключ.der";
  std::string error;
  CHECK_THAT(platform::WriteNewFile(ToUtf8(secret), "key bytes", true, error), error);
  CHECK(ReadAll(secret) == "key bytes");
  CheckOwnerOnly(secret, true, daclsUnsupported, "WriteNewFile owner-only");

  // Refused, untouched, and the reason is that very call's error.
  error.clear();
  CHECK(!platform::WriteNewFile(ToUtf8(secret), "other", false, error));
  CHECK_THAT(error.find(platform::ErrorText(ERROR_FILE_EXISTS)) != std::string::npos, error);
  CHECK(ReadAll(secret) == "key bytes");

  const std::wstring plain = base + L"\\сертификат.der";
  CHECK_THAT(platform::WriteNewFile(ToUtf8(plain), "", false, error), error);
  CHECK(Exists(plain) && ReadAll(plain).empty());
  CheckOwnerOnly(plain, false, daclsUnsupported, "WriteNewFile default");
}

// Readers that open the file all the time see the old or the new contents
// whole, never a missing or half-written file.
void CheckReplacedAtomically(const std::wstring& path) {
  const std::string contents[] = {std::string(1000, 'a'), std::string(3000, 'b')};
  std::string error;
  if (!CHECK_THAT(platform::ReplaceFile(ToUtf8(path), contents[1], false, error), error)) return;
  std::atomic<bool> writing{true};
  std::atomic<int> torn{0};
  std::atomic<int> missing{0};
  std::atomic<int> reads{0};
  std::thread reader([&] {
    while (writing.load()) {
      const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, 0, nullptr);
      if (file == INVALID_HANDLE_VALUE) {
        // Windows refuses to open a file whose rename is under way; gone it must never be.
        if (GetLastError() == ERROR_FILE_NOT_FOUND) ++missing;
        continue;
      }
      char buffer[4096];
      DWORD got = 0;
      ReadFile(file, buffer, sizeof buffer, &got, nullptr);
      CloseHandle(file);
      const std::string seen(buffer, got);
      if (seen != contents[0] && seen != contents[1]) ++torn;
      ++reads;
      Sleep(1);  // a reader that lets go now and then, as real ones do
    }
  });
  // A reader holding the file makes a rename fail for a moment: ReplaceFile
  // must wait that out, so every round succeeds.
  int replaced = 0;
  for (int round = 0; round < kReplaceRounds; ++round)
    if (platform::ReplaceFile(ToUtf8(path), contents[round % 2], false, error)) ++replaced;
  writing = false;
  reader.join();
  CHECK_THAT(replaced == kReplaceRounds, std::to_string(replaced) + " replaced; last error: " + error);
  CHECK_THAT(torn.load() == 0 && missing.load() == 0 && reads.load() > 0,
             std::to_string(torn.load()) + " torn, " + std::to_string(missing.load()) + " missing of " +
                 std::to_string(reads.load()) + " reads");
}

void TestReplaceFile(const std::wstring& base, const std::string& daclsUnsupported) {
  const std::wstring config = base + L"\\конфигурация.cfg";
  const std::wstring temporary = config + L".tmp";
  std::string error;
  CHECK_THAT(platform::ReplaceFile(ToUtf8(config), "first", true, error), error);
  CHECK(ReadAll(config) == "first" && !Exists(temporary));
  CheckOwnerOnly(config, true, daclsUnsupported, "ReplaceFile new owner-only");

  // A stale temporary from a crash is no obstacle; the file keeps its DACL
  // whatever this call asks for.
  std::ofstream(fs::path(temporary)) << "stale";
  CHECK_THAT(platform::ReplaceFile(ToUtf8(config), "second", false, error), error);
  CHECK(ReadAll(config) == "second" && !Exists(temporary));
  CheckOwnerOnly(config, true, daclsUnsupported, "ReplaceFile keeps owner-only");

  const std::wstring open = base + L"\\открытый.csv";
  CHECK_THAT(platform::ReplaceFile(ToUtf8(open), "1", false, error), error);
  CHECK_THAT(platform::ReplaceFile(ToUtf8(open), "2", true, error), error);
  CheckOwnerOnly(open, false, daclsUnsupported, "ReplaceFile keeps the default");

  // A temporary that cannot be cleared (a folder in its place): refused with
  // that call's error, the old file as it was.
  CreateDirectoryW(temporary.c_str(), nullptr);
  error.clear();
  CHECK(!platform::ReplaceFile(ToUtf8(config), "third", false, error));
  CHECK_THAT(error.find(ToUtf8(temporary)) != std::string::npos && error.find("(error ") != std::string::npos, error);
  CHECK(ReadAll(config) == "second");
  RemoveDirectoryW(temporary.c_str());

  CheckReplacedAtomically(config);
}

void TestRestrictFolderToOwner(const std::wstring& base, const std::string& daclsUnsupported) {
  const std::wstring folder = base + L"\\Log";
  CreateDirectoryW(folder.c_str(), nullptr);
  const std::wstring old = folder + L"\\server.log";
  std::ofstream(fs::path(old)) << "old log";
  std::string error;
  CHECK_THAT(platform::RestrictFolderToOwner(ToUtf8(folder), error), error);
  CHECK(ReadAll(old) == "old log");
  CheckOwnerOnly(folder, true, daclsUnsupported, "RestrictFolderToOwner folder");
  CheckOwnerOnly(old, true, daclsUnsupported, "RestrictFolderToOwner file in it");
  if (daclsUnsupported.empty()) CHECK_THAT(ReadDacl(folder).userPassesOn, ReadDacl(folder).Describe());

  // A file the log appender makes later, with no security of its own,
  // inherits the owner's entry (not protected, so only the allow count tells).
  const std::wstring later = folder + L"\\server.1.log";
  std::ofstream(fs::path(later)) << "new log";
  if (daclsUnsupported.empty()) {
    const DaclFacts facts = ReadDacl(later);
    CHECK_THAT(facts.error == 0 && facts.allowedForUser > 0 && facts.allowedForOthers == 0, facts.Describe());
  }

  CHECK(!platform::RestrictFolderToOwner(ToUtf8(base + L"\\нет такой"), error) && !error.empty());
}

void TestClock() {
  const uint32_t ticks = platform::TickCount32();
  const uint64_t micros = platform::MonotonicMicros();
  platform::SleepMs(kSleepMs);
  const uint32_t tickSpan = platform::TickCount32() - ticks;
  const uint64_t microSpan = platform::MonotonicMicros() - micros;
  // Wine and GetTickCount round to their 15.6 ms steps, a little either way.
  CHECK_THAT(tickSpan + 16 >= kSleepMs && tickSpan <= kSleepMs + kSleepSlackMs, std::to_string(tickSpan) + " ms");
  CHECK_THAT(microSpan >= kSleepMs * 1000u && microSpan <= (kSleepMs + kSleepSlackMs) * 1000u,
             std::to_string(microSpan) + " us");
  uint64_t previous = platform::MonotonicMicros();
  bool backwards = false;
  for (int i = 0; i < 100000; ++i) {
    const uint64_t now = platform::MonotonicMicros();
    backwards |= now < previous;
    previous = now;
  }
  CHECK(!backwards);
}

void TestTcpPortFree() {
  WSADATA data{};
  WSAStartup(MAKEWORD(2, 2), &data);
  for (const ULONG address : {htonl(INADDR_LOOPBACK), htonl(INADDR_ANY)}) {
    const SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_addr.s_addr = address;
    int length = sizeof where;
    const bool listening = bind(listener, reinterpret_cast<sockaddr*>(&where), sizeof where) == 0 &&
                           listen(listener, 1) == 0 &&
                           getsockname(listener, reinterpret_cast<sockaddr*>(&where), &length) == 0;
    if (!CHECK_THAT(listening, platform::ErrorText(WSAGetLastError()))) return;
    const uint16_t port = ntohs(where.sin_port);
    std::string error;
    CHECK_THAT(!platform::TcpPortFree(port, error) && error.find("error 10048") != std::string::npos,
               "port " + std::to_string(port) + ": " + error);
    closesocket(listener);
    error.clear();
    CHECK_THAT(platform::TcpPortFree(port, error), "port " + std::to_string(port) + " after close: " + error);
  }
}

std::string ChildOutcomeText(const ChildOutcome& outcome) {
  if (!outcome.started) return "not started: " + platform::ErrorText(outcome.startError);
  if (!outcome.finished) return "still running after the limit";
  return "exit code " + std::to_string(outcome.exitCode);
}

// A copy of this program in a folder with a Cyrillic name reports where it
// is; its standard output is a file, not a terminal.
void TestExecutableFolder(const std::wstring& base) {
  const std::wstring folder = base + L"\\Программа";
  const std::wstring copy = folder + L"\\копия.exe";
  const std::wstring report = base + L"\\report.txt";
  CreateDirectoryW(folder.c_str(), nullptr);
  if (!CHECK_THAT(CopyFileW(OwnExecutable().c_str(), copy.c_str(), FALSE), platform::ErrorText(GetLastError())))
    return;
  const ChildOutcome outcome = RunChild(copy, {L"--child-report"}, 0, report, kChildLimitMs);
  CHECK_THAT(outcome.finished && outcome.exitCode == 0, ChildOutcomeText(outcome));
  CHECK_THAT(ReadLines(report) == "folder=" + ToUtf8(folder) + "\nterminal=0\n", ReadLines(report));
}

// In a console of its own the child's output is a terminal, and Ctrl-C and
// Ctrl-Break reach the handler on a thread other than the main one without
// ending the process.
void TestConsole(const std::wstring& base) {
  const std::wstring report = base + L"\\console.txt";
  const ChildOutcome outcome =
      RunChild(OwnExecutable(), {L"--child-console", report}, CREATE_NEW_CONSOLE, L"", kChildLimitMs);
  const std::string seen = ReadLines(report);
  if (outcome.finished && outcome.exitCode == 3)
    return Skip("console control", (RunningUnderWine() ? "Wine gave the child no console: " : "no console: ") + seen);
  CHECK_THAT(outcome.finished && outcome.exitCode == 0, ChildOutcomeText(outcome) + "; " + seen);
  CHECK_THAT(seen.rfind("terminal=1\nctrl-c=handled\n", 0) == 0, seen);
  // Wine's console server delivers Ctrl-C only; its GenerateConsoleCtrlEvent
  // fails for CTRL_BREAK_EVENT.
  if (RunningUnderWine() && seen.find("ctrl-break=not sent") != std::string::npos)
    return Skip("Ctrl-Break", "Wine refused to send CTRL_BREAK_EVENT: " + seen.substr(seen.find("ctrl-break=")));
  CHECK_THAT(seen.find("ctrl-break=handled\n") != std::string::npos, seen);
}

bool HasStream(const std::string& dump, uint32_t type, const MINIDUMP_DIRECTORY** found) {
  const auto* header = reinterpret_cast<const MINIDUMP_HEADER*>(dump.data());
  const uint64_t end = uint64_t(header->StreamDirectoryRva) + uint64_t(header->NumberOfStreams) * sizeof(MINIDUMP_DIRECTORY);
  if (end > dump.size()) return false;
  const auto* streams = reinterpret_cast<const MINIDUMP_DIRECTORY*>(dump.data() + header->StreamDirectoryRva);
  for (uint32_t i = 0; i < header->NumberOfStreams; ++i) {
    if (streams[i].StreamType != type) continue;
    if (uint64_t(streams[i].Location.Rva) + streams[i].Location.DataSize > dump.size()) return false;
    if (found != nullptr) *found = &streams[i];
    return true;
  }
  return false;
}

void TestCrashHandler(const std::wstring& base, const std::string& daclsUnsupported) {
  const std::wstring folder = base + L"\\Дампы\\OPC UA";
  const ChildOutcome outcome =
      RunChild(OwnExecutable(), {L"--child-crash", folder}, 0, base + L"\\crash.txt", kCrashChildLimitMs);
  const std::string childOutput = ReadAll(base + L"\\crash.txt");
  // The exception went on after the dump: the process ended as a crash. A
  // child stopped at the limit may have left half a dump, not worth reading.
  if (!CHECK_THAT(outcome.finished && outcome.exitCode == EXCEPTION_ACCESS_VIOLATION,
                  ChildOutcomeText(outcome) + "; " + childOutput))
    return;
  // The exit code is the exception's even when a filter ends the process
  // itself; Wine tells them apart, starting its debugger (whose report lands
  // in the child's output) only for an exception the filter let go on.
  if (RunningUnderWine())
    CHECK_THAT(childOutput.find("Unhandled exception: page fault") != std::string::npos,
               "the exception did not reach Wine's debugger: " + childOutput);
  std::vector<fs::path> dumps;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(fs::path(folder), ec)) dumps.push_back(entry.path());
  if (!CHECK_THAT(dumps.size() == 1, std::to_string(dumps.size()) + " files in the dump folder")) return;
  const std::wstring name = dumps[0].filename().wstring();
  CHECK_THAT(name.rfind(L"Крах ", 0) == 0 && name.size() == std::wstring(L"Крах 2026.01.31 23 59 59.dmp").size(),
             ToUtf8(name));
  const std::string dump = ReadAll(dumps[0].wstring());
  if (!CHECK_THAT(dump.size() > sizeof(MINIDUMP_HEADER) && std::memcmp(dump.data(), "MDMP", 4) == 0,
                  std::to_string(dump.size()) + " bytes"))
    return;
  const MINIDUMP_DIRECTORY* exception = nullptr;
  CHECK(HasStream(dump, ExceptionStream, &exception));
  if (exception != nullptr && exception->Location.DataSize >= sizeof(MINIDUMP_EXCEPTION_STREAM)) {
    const auto* record = reinterpret_cast<const MINIDUMP_EXCEPTION_STREAM*>(dump.data() + exception->Location.Rva);
    CHECK(record->ExceptionRecord.ExceptionCode == EXCEPTION_ACCESS_VIOLATION);
  }
  CHECK_THAT(HasStream(dump, Memory64ListStream, nullptr), "no full-memory list in the dump");
  CheckOwnerOnly(dumps[0].wstring(), true, daclsUnsupported, "crash dump owner-only");
}

// Last: it changes what the process creates from here on.
void TestCreateOwnerOnlyFromNowOn(const std::wstring& base, const std::string& daclsUnsupported) {
  platform::CreateOwnerOnlyFromNowOn();
  const std::wstring folder = base + L"\\Закрытая\\Папка";
  const std::wstring file = base + L"\\после.txt";
  std::string error;
  CHECK_THAT(platform::MakeFolders(ToUtf8(folder), error), error);
  CHECK_THAT(platform::WriteNewFile(ToUtf8(file), "x", false, error), error);
  CheckOwnerOnly(base + L"\\Закрытая", true, daclsUnsupported, "folder after CreateOwnerOnlyFromNowOn");
  CheckOwnerOnly(folder, true, daclsUnsupported, "inner folder after CreateOwnerOnlyFromNowOn");
  CheckOwnerOnly(file, true, daclsUnsupported, "file after CreateOwnerOnlyFromNowOn");
}

// --- the child processes ---

int ChildReport() {
  std::printf("folder=%s\nterminal=%d\n", platform::ExecutableFolder().c_str(),
              platform::StandardOutputIsTerminal() ? 1 : 0);
  return 0;
}

std::atomic<int> g_controlEvents{0};
std::atomic<DWORD> g_handlerThread{0};

void OnControl() {
  g_handlerThread = GetCurrentThreadId();
  ++g_controlEvents;
}

// "handled" when the handler ran within the limit on another thread.
std::string SendControlEvent(DWORD event) {
  const int before = g_controlEvents.load();
  if (!GenerateConsoleCtrlEvent(event, 0)) return "not sent: " + platform::ErrorText(GetLastError());
  for (int waited = 0; waited < 100 && g_controlEvents.load() == before; ++waited) Sleep(50);
  if (g_controlEvents.load() == before) return "missed";
  return g_handlerThread.load() == GetCurrentThreadId() ? "on the main thread" : "handled";
}

int ChildConsole(const std::wstring& report) {
  std::ofstream out(fs::path(report), std::ios::binary);
  DWORD mode = 0;
  if (!GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode)) {
    out << "GetConsoleMode on input: " << platform::ErrorText(GetLastError());
    return 3;
  }
  out << "terminal=" << (platform::StandardOutputIsTerminal() ? 1 : 0) << "\n";
  platform::InstallConsoleControlHandler(OnControl);
  out << "ctrl-c=" << SendControlEvent(CTRL_C_EVENT) << "\n";
  out << "ctrl-break=" << SendControlEvent(CTRL_BREAK_EVENT) << "\n";
  return 0;
}

int ChildCrash(const std::wstring& folder) {
  if (RunningUnderWine()) {
    // Wine starts its debugger for an unhandled exception whatever the error
    // mode says, and its crash dialog would wait for a click on the display.
    DWORD off = 0;
    RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\Wine\\WineDbg", L"ShowCrashDialog", REG_DWORD, &off, sizeof off);
  }
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  platform::InstallCrashHandler(ToUtf8(folder), u8"Крах %Y.%m.%d %H %M %S.dmp");
  *static_cast<volatile int*>(nullptr) = 1;
  return 0;
}

int RunAll() {
  wchar_t temp[MAX_PATH + 1];
  GetTempPathW(MAX_PATH + 1, temp);
  const std::wstring base = std::wstring(temp) + L"virk-платформа-" + std::to_wstring(GetCurrentProcessId());
  fs::remove_all(fs::path(base));
  CreateDirectoryW(base.c_str(), nullptr);
  const std::string daclsUnsupported = DaclsUnsupportedReason(base);

  TestOwnerOnlyDescriptors();
  TestProfileFolder();
  TestMakeFolders(base);
  TestWriteNewFile(base, daclsUnsupported);
  TestReplaceFile(base, daclsUnsupported);
  TestRestrictFolderToOwner(base, daclsUnsupported);
  TestClock();
  TestTcpPortFree();
  TestExecutableFolder(base);
  TestConsole(base);
  TestCrashHandler(base, daclsUnsupported);
  TestCreateOwnerOnlyFromNowOn(base, daclsUnsupported);

  std::error_code ec;
  fs::remove_all(fs::path(base), ec);
  return Finish();
}

}  // namespace
}  // namespace virk::test

int main() {
  using namespace virk::test;
  const std::vector<std::wstring> arguments = WideArguments();
  if (arguments.size() == 2 && arguments[1] == L"--child-report") return ChildReport();
  if (arguments.size() == 3 && arguments[1] == L"--child-console") return ChildConsole(arguments[2]);
  if (arguments.size() == 3 && arguments[1] == L"--child-crash") return ChildCrash(arguments[2]);
  return RunAll();
}
