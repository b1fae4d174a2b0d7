// The Linux platform layer: profile folder rules, folder creation, clocks,
// console control events on a normal thread and the crash report.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <thread>

#include "platform/platform.h"
#include "temp_folder.h"

namespace virk::platform {
namespace {

using server::test::TempFolder;

// Sets or unsets an environment variable for one test and restores it.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : m_Name(name) {
    if (const char* old = std::getenv(name)) m_Old = old;
    if (value != nullptr)
      setenv(name, value, 1);
    else
      unsetenv(name);
  }
  ~ScopedEnv() {
    if (m_Old)
      setenv(m_Name, m_Old->c_str(), 1);
    else
      unsetenv(m_Name);
  }

 private:
  const char* m_Name;
  std::optional<std::string> m_Old;
};

TEST(Platform, ProfileFolderPrefersUserProfileThenHome) {
  {
    ScopedEnv profile("USERPROFILE", "/profile/user");
    ScopedEnv home("HOME", "/home/user");
    EXPECT_EQ(ProfileFolder(), "/profile/user");
  }
  {
    ScopedEnv profile("USERPROFILE", "");
    ScopedEnv home("HOME", "/home/user");
    EXPECT_EQ(ProfileFolder(), "/home/user");
  }
  {
    ScopedEnv profile("USERPROFILE", nullptr);
    ScopedEnv home("HOME", nullptr);
    EXPECT_EQ(ProfileFolder(), std::nullopt);
  }
}

TEST(Platform, MakeFoldersCreatesParentsAndRefusesAFile) {
  TempFolder temp;
  std::string error;
  const std::string nested = temp / "Documents/VIRK/OPC UA/Log/";
  EXPECT_TRUE(MakeFolders(nested, error)) << error;
  EXPECT_TRUE(std::filesystem::is_directory(nested));
  EXPECT_TRUE(MakeFolders(nested, error)) << "an existing folder is fine";

  std::ofstream(temp / "file") << "x";
  EXPECT_FALSE(MakeFolders(temp / "file", error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(MakeFolders(temp / "file/below", error));
}

TEST(Platform, ClocksAdvanceAcrossASleep) {
  const uint32_t ticks = TickCount32();
  const uint64_t micros = MonotonicMicros();
  SleepMs(30);
  EXPECT_GE(uint32_t(TickCount32() - ticks), 30u);
  EXPECT_GE(MonotonicMicros() - micros, 30000u);
}

TEST(Platform, ExecutableFolderIsTheTestProgramsFolder) {
  EXPECT_EQ(std::filesystem::path(ExecutableFolder()), std::filesystem::path(VIRK_TEST_BINARY_DIR));
}

std::atomic<int> g_events{0};
std::atomic<bool> g_onMainThread{false};
std::thread::id g_mainThread;

void CountEvent() {
  if (std::this_thread::get_id() == g_mainThread) g_onMainThread = true;
  ++g_events;
}

bool WaitForEvents(int count) {
  for (int i = 0; i < 200 && g_events.load() < count; ++i) SleepMs(10);
  return g_events.load() >= count;
}

TEST(Platform, ConsoleControlEventsReachTheHandlerOnItsOwnThread) {
  g_mainThread = std::this_thread::get_id();
  InstallConsoleControlHandler(CountEvent);
  int expected = 0;
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    ASSERT_EQ(kill(getpid(), signal), 0);
    ASSERT_TRUE(WaitForEvents(++expected)) << "signal " << signal;
  }
  EXPECT_FALSE(g_onMainThread.load());

  // Output to a reader that has gone fails instead of killing the process.
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  close(ends[0]);
  EXPECT_EQ(write(ends[1], "x", 1), -1);
  EXPECT_EQ(errno, EPIPE);
  close(ends[1]);
}

TEST(Platform, CrashReportIsWrittenAndTheSignalStillEndsTheProcess) {
  TempFolder temp;
  const std::string dumps = temp / "Documents/VIRK/OPC UA/Dump";
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const rlimit noCore{0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    InstallCrashHandler(dumps, "MemoryServer %Y.%m.%d %H %M %S.dmp");
    raise(SIGSEGV);
    _exit(0);  // not reached when the crash ends the process
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(WTERMSIG(status), SIGSEGV);

  std::vector<std::filesystem::path> reports;
  for (const auto& entry : std::filesystem::directory_iterator(dumps)) reports.push_back(entry.path());
  ASSERT_EQ(reports.size(), 1u);
  const std::string name = reports[0].filename().string();
  EXPECT_EQ(name.rfind("MemoryServer ", 0), 0u) << name;
  EXPECT_EQ(name.size(), std::string("MemoryServer 2026.01.02 03 04 05.dmp").size()) << name;
  std::ifstream file(reports[0]);
  const std::string report((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  EXPECT_NE(report.find("SIGSEGV"), std::string::npos) << report;
  EXPECT_NE(report.find("Backtrace:\n"), std::string::npos) << report;
  EXPECT_GT(report.size(), report.find("Backtrace:\n") + 11) << "the backtrace has frames";
}

}  // namespace
}  // namespace virk::platform
