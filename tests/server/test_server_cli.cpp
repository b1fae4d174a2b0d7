// The server program's command line: help, exit codes and the messages of a
// start-up that cannot load its configuration.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "server_process.h"
#include "temp_folder.h"
#include "test_config.h"

namespace virk::server {
namespace {

using namespace std::chrono_literals;
using test::ServerProcess;
using test::TempFolder;

constexpr const char* kHelp = "// Parameters\n// Help - -help\n// Configuration file - <path to file *.cfg>\n";

struct Finished {
  int exitCode;
  std::string output;
};

Finished RunToEnd(const TempFolder& home, const std::vector<std::string>& args) {
  ServerProcess server(VIRK_SERVER_PROGRAM, args, home.Path(), home / "output.txt");
  EXPECT_TRUE(server.Started());
  const int code = server.WaitForExit(10s);
  return {code, server.Output()};
}

TEST(ServerCommandLine, HelpIsPrintedAndNothingIsTouched) {
  TempFolder home;
  const std::vector<std::vector<std::string>> helpCalls = {
      {}, {"-help"}, {home / "missing.cfg", "-help"}, {home / "missing.cfg", "other", "-help"}};
  for (const auto& args : helpCalls) {
    const Finished run = RunToEnd(home, args);
    EXPECT_EQ(run.exitCode, 0) << args.size() << " arguments";
    EXPECT_EQ(run.output, kHelp) << args.size() << " arguments";
  }
  EXPECT_FALSE(std::filesystem::exists(home / "Documents")) << "no log or dump folder for help";
}

TEST(ServerCommandLine, HelpMustBeExact) {
  TempFolder home;
  const Finished run = RunToEnd(home, {home / "missing.cfg", "-Help"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.output.find("Failed call Load, exit"), std::string::npos) << run.output;
}

TEST(ServerCommandLine, ConfigurationThatDoesNotLoadEndsWithCodeOne) {
  TempFolder home;
  const Finished missing = RunToEnd(home, {home / "missing.cfg"});
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_NE(missing.output.find("Failed call Load, exit"), std::string::npos) << missing.output;

  // A record the loader refuses: its own message reaches standard output
  // before the start-up gives up, although the log is not open yet.
  std::u16string text = Utf8ToUtf16(GenerateConfiguration(GeneratorOptions{}));
  text.insert(text.find(u'\n') + 1, u";broken;line\n");
  std::string error;
  ASSERT_TRUE(WriteConfigText(home / "bad.cfg", text, true, error)) << error;
  const Finished bad = RunToEnd(home, {home / "bad.cfg"});
  EXPECT_EQ(bad.exitCode, 1);
  const size_t failed = bad.output.find("Failed call Load, exit");
  ASSERT_NE(failed, std::string::npos) << bad.output;
  const size_t record = bad.output.find("Строка ");
  EXPECT_LT(record, failed) << "the loader's record message first:\n" << bad.output;
  EXPECT_NE(bad.output.find("] error/userland\t"), std::string::npos) << bad.output;
  // Output into a file or the journal carries no terminal colour codes.
  EXPECT_EQ(bad.output.find('\x1b'), std::string::npos) << bad.output;
  EXPECT_FALSE(std::filesystem::exists(home / "Documents/VIRK/OPC UA/Log/OPCUAserver.log"));
}

TEST(ServerCommandLine, FolderGivenForTheConfigurationIsRefusedWithItsReason) {
  TempFolder home;
  const Finished run = RunToEnd(home, {home.Path()});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.output.find("error the file cannot be read [is a folder]"), std::string::npos) << run.output;
}

// Lines of `text` that contain `part`, in order.
std::vector<std::string> LinesWith(const std::string& text, const std::string& part) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    if (line.find(part) != std::string::npos) lines.push_back(line);
  return lines;
}

TEST(ServerCommandLine, OnlyTheFirstHundredRecordErrorsArePrintedThenTheirCount) {
  // Each header lets the loader take the next channel record, so every bad
  // line is an error of its own: lines 1, 3, ... 1999.
  TempFolder home;
  std::u16string text;
  for (int i = 0; i < 1000; ++i) text += u"CHANNEL;1\n;broken;line\n";
  std::string error;
  ASSERT_TRUE(WriteConfigText(home / "bad.cfg", text, true, error)) << error;
  const Finished run = RunToEnd(home, {home / "bad.cfg"});
  EXPECT_EQ(run.exitCode, 1);

  const std::vector<std::string> records = LinesWith(run.output, "Строка ");
  ASSERT_EQ(records.size(), 100u) << run.output.substr(0, 2000);
  EXPECT_NE(records.front().find("Строка 1: "), std::string::npos) << records.front();
  EXPECT_NE(records.back().find("Строка 199: "), std::string::npos) << records.back();
  const std::vector<std::string> rest = LinesWith(run.output, "more record errors");
  ASSERT_EQ(rest.size(), 1u) << run.output.substr(run.output.size() - std::min<size_t>(2000, run.output.size()));
  EXPECT_NE(rest[0].find("... and 900 more record errors"), std::string::npos) << rest[0];
  const size_t count = run.output.find(rest[0]);
  EXPECT_GT(count, run.output.find(records.back()));
  EXPECT_LT(count, run.output.find("Failed call Load, exit")) << run.output.substr(count);
}

}  // namespace
}  // namespace virk::server
