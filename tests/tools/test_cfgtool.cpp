// The command-line tools for configuration files: the generator's output
// must load cleanly with exactly the items asked for, and cfgtool's pack,
// unpack and check must agree with the loader and the server's reader.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <filesystem>
#include <sstream>
#include <string>

#include "commands.h"
#include "common/csv_loader.h"
#include "common/options.h"
#include "common/text.h"
#include "generator.h"
#include "server_process.h"
#include "tests/common/scoped_umask.h"

namespace fs = std::filesystem;
using namespace virk;

namespace {

std::array<size_t, 5> Counts(const CItem& item) {
  std::array<size_t, 5> counts{};
  std::vector<const CItem*> pending{&item};
  while (!pending.empty()) {
    const CItem* current = pending.back();
    pending.pop_back();
    for (const auto& [name, child] : current->Children()) {
      ++counts[size_t(child->Kind())];
      pending.push_back(child.get());
    }
  }
  return counts;
}

// Loads unscrambled text; the errors, if any, joined for the failure message.
std::string LoadErrors(const std::string& utf8, CTreeItemRoot& root) {
  CPlainItemFactory factory;
  CCsvLoader loader(root, factory);
  loader.SetLogRecordErrors(false);
  const bool loaded = loader.LoadText(Utf8ToUtf16(utf8));
  std::string errors;
  for (const auto& error : loader.Errors()) errors += error.message + "\n";
  if (!loaded && errors.empty()) errors = "failed without a message";
  return errors;
}

TEST(Generator, LoadsCleanlyWithTheCountsAskedFor) {
  struct Case {
    GeneratorOptions options;
    const char* what;
  };
  GeneratorOptions tcp;
  tcp.channels = 3, tcp.devices = 7, tcp.groups = 11, tcp.tags = 67, tcp.tcpPort = 15020;
  GeneratorOptions com = tcp;
  com.com = true, com.emulated = false;
  GeneratorOptions full;  // a channel with every Modbus address taken
  full.channels = 1, full.devices = 255, full.groups = 255, full.tags = 300;
  GeneratorOptions sparse;  // more channels than devices, groups without tags
  sparse.channels = 4, sparse.devices = 2, sparse.groups = 3, sparse.tags = 0;

  for (const Case& c : {Case{tcp, "tcp"}, Case{com, "com"}, Case{full, "full"}, Case{sparse, "sparse"}}) {
    SCOPED_TRACE(c.what);
    ASSERT_EQ(CheckGeneratorOptions(c.options), "");
    CTreeItemRoot root;
    EXPECT_EQ(LoadErrors(GenerateConfiguration(c.options), root), "");
    const std::array<size_t, 5> counts = Counts(root);
    EXPECT_EQ(counts[kKindChannel], c.options.channels);
    EXPECT_EQ(counts[kKindDevice], c.options.devices);
    EXPECT_EQ(counts[kKindGroup], c.options.groups);
    EXPECT_EQ(counts[kKindTag], c.options.tags);
  }
}

TEST(Generator, ChannelsAndDevicesAsAsked) {
  GeneratorOptions options;
  options.channels = 2, options.devices = 2, options.groups = 2, options.tags = 12;
  options.tcpPort = 1502;
  CTreeItemRoot root;
  ASSERT_EQ(LoadErrors(GenerateConfiguration(options), root), "");
  for (const auto& [name, channel] : root.Children()) {
    const auto& data = static_cast<const CChannelBase&>(*channel).m_Data;
    ASSERT_NE(data.Tcp(), nullptr);
    EXPECT_EQ(data.Tcp()->m_Port, 1502);
    EXPECT_EQ(data.Tcp()->m_IpAddress, 0x0100007Fu);  // 127.0.0.1, first part lowest
    EXPECT_EQ(data.m_Protocol, kProtocolTcp);
    for (const auto& [deviceName, device] : channel->Children())
      EXPECT_TRUE(static_cast<const CDeviceBase&>(*device).m_Data.m_Emulation);
  }
}

// The load a benchmark polls: a slave per channel, one period, and tags that
// read as their own register numbers, consecutive in each device.
TEST(Generator, PortPerChannelOnePeriodAndHoldingRegisters) {
  GeneratorOptions options;
  options.channels = 3, options.devices = 3, options.groups = 6, options.tags = 60;
  options.emulated = false;
  options.tcpPorts = {1502, 2502, 3502};
  options.groupPeriodMs = 1000;
  options.holdingOnly = true;
  ASSERT_EQ(CheckGeneratorOptions(options), "");
  CTreeItemRoot root;
  ASSERT_EQ(LoadErrors(GenerateConfiguration(options), root), "");
  for (size_t c = 0; c < options.channels; ++c) {
    SCOPED_TRACE(c);
    const CItem* channel = root.Children().at("Channel_" + std::to_string(c)).get();
    EXPECT_EQ(static_cast<const CChannelBase&>(*channel).m_Data.Tcp()->m_Port, options.tcpPorts[c]);
    for (const auto& [deviceName, device] : channel->Children()) {
      std::vector<uint16_t> addresses;
      for (const auto& [groupName, group] : device->Children()) {
        EXPECT_EQ(static_cast<const CGroupBase&>(*group).m_Data.PeriodMs(), 1000u);
        for (const auto& [tagName, tag] : group->Children()) {
          const TagSettings& settings = static_cast<const CTagBase&>(*tag).m_Data;
          EXPECT_EQ(settings.m_RegKind, kRegHolding);
          EXPECT_EQ(settings.m_ValueType, kTypeUInt16);
          EXPECT_EQ(settings.m_ByteOrder, 1);  // "BA": high byte first, as the register travels
          addresses.push_back(settings.m_Addr);
        }
      }
      std::sort(addresses.begin(), addresses.end());
      ASSERT_EQ(addresses.size(), 20u);
      EXPECT_EQ(addresses.front(), 0);
      EXPECT_EQ(addresses.back(), 19);
    }
  }
  options.tcpPorts = {1502, 2502};
  EXPECT_NE(CheckGeneratorOptions(options), "");  // a channel without a port
  options.tcpPorts = {1502, 0, 3502};
  EXPECT_NE(CheckGeneratorOptions(options), "");
}

TEST(Generator, RefusesWhatTheLoaderWouldReject) {
  GeneratorOptions options;
  options.channels = 1, options.devices = 256;
  EXPECT_NE(CheckGeneratorOptions(options), "");
  options.channels = 2;
  EXPECT_EQ(CheckGeneratorOptions(options), "");
  options.com = true, options.channels = 1001, options.devices = 1001;
  EXPECT_NE(CheckGeneratorOptions(options), "");
  options = GeneratorOptions{};
  options.channels = 0;
  EXPECT_NE(CheckGeneratorOptions(options), "");
  options = GeneratorOptions{};
  options.groups = 0;
  EXPECT_NE(CheckGeneratorOptions(options), "");  // one tag and no group to hold it
}

class CfgTool : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::path(testing::TempDir()) /
           ("cfgtool_" + std::string(testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string PathOf(const char* name) const { return (dir_ / name).string(); }
  void WriteBytes(const std::string& path, const std::string& bytes) {
    std::string error;
    ASSERT_TRUE(WriteConfigText(path, Utf8ToUtf16(bytes), false, error)) << error;
  }
  std::string Bytes(const std::string& path) {
    std::string bytes, error;
    EXPECT_TRUE(ReadFileBytes(path, bytes, error)) << error;
    return bytes;
  }
  fs::path dir_;
};

TEST_F(CfgTool, SampleConfigurationChecksCleanInBothForms) {
  const std::string sample = std::string(VIRK_SOURCE_DIR) + "/examples/sample.csv";
  std::ostringstream out;
  EXPECT_EQ(cfgtool::Check(sample, out), 0) << out.str();
  EXPECT_NE(out.str().find("2 channels, 3 devices, 4 groups, 12 tags; loaded cleanly"),
            std::string::npos)
      << out.str();

  const std::string packed = PathOf("sample.cfg");
  ASSERT_EQ(cfgtool::Pack(sample, packed, out), 0);
  std::ostringstream packedOut;
  EXPECT_EQ(cfgtool::Check(packed, packedOut), 0) << packedOut.str();
  std::vector<std::string> values;
  ASSERT_EQ(readParametrsStart(packed, values), 0);
  EXPECT_EQ(values[kStartPort], "4840");
  EXPECT_EQ(values[kStartLog], "info");
}

TEST_F(CfgTool, PackTakesCrLfAsLfAndUnpackGivesTheTextBack) {
  const std::string records =
      "CHANNEL;1\r\n;Channel_0;COM-порт;MODBUS RTU;500;3;0;1;9600;8;1;Нет;Нет;Нет;Нет\r\n"
      "INIFILE\r\n\r\n[options]\r\nport = 4999\r\n";
  WriteBytes(PathOf("in.txt"), records);
  std::ostringstream out;
  ASSERT_EQ(cfgtool::Pack(PathOf("in.txt"), PathOf("a.cfg"), out), 0);
  ASSERT_EQ(cfgtool::Unpack(PathOf("a.cfg"), PathOf("a.txt"), out), 0);
  std::string lf = records;
  for (size_t at; (at = lf.find("\r\n")) != std::string::npos;) lf.erase(at, 1);
  EXPECT_EQ(Bytes(PathOf("a.txt")), lf);
  // The packed file is what the server reads: options included.
  std::vector<std::string> values;
  ASSERT_EQ(readParametrsStart(PathOf("a.cfg"), values), 0);
  EXPECT_EQ(values[kStartPort], "4999");
  // Packing the unpacked text again gives the same bytes.
  ASSERT_EQ(cfgtool::Pack(PathOf("a.txt"), PathOf("b.cfg"), out), 0);
  EXPECT_EQ(Bytes(PathOf("b.cfg")), Bytes(PathOf("a.cfg")));
  EXPECT_EQ(out.str(), "");
}

TEST_F(CfgTool, CheckReportsEveryFailedLineAndFails) {
  const std::string com = ";COM-порт;MODBUS RTU;500;3;0;3;9600;8;1;Нет;Нет;Нет;Нет\n";
  const std::string text = "CHANNEL;1\n;Channel_0" + com +
                           "DEVICE;1\n"
                           ";Device_0;1;Нет;125;2000\n"        // line 3: too few fields
                           ";Device_1;2;Нет;125;2000;0;Да\n"   // line 4: under a failed device
                           "CHANNEL;1\n;Channel_1" + com +    // line 6: COM 3 again
                           "Канал;1\n";                       // line 7: unknown keyword
  WriteBytes(PathOf("bad.csv"), text);
  std::ostringstream out;
  EXPECT_EQ(cfgtool::Check(PathOf("bad.csv"), out), 1);
  const std::string report = out.str();
  const std::string prefix = PathOf("bad.csv") + ":";
  for (const std::string& expected :
       {prefix + "3: Строка 3: несоответствие количества полей: реальное <5> ожидаемое <7>.",
        prefix + "6: Строка 6: ошибка поля <15> - Дублирование номера COM порта.",
        prefix + "7: Строка 7: неизвестное ключевое слово 'Канал'.",
        prefix + " 1 channels, 0 devices, 0 groups, 0 tags; NOT loaded"})
    EXPECT_NE(report.find(expected), std::string::npos) << expected << "\n" << report;
}

TEST_F(CfgTool, CheckReportsEveryFailedLineHoweverMany) {
  // The server prints only the first hundred; the check is for finding them all.
  std::string text;
  for (int i = 0; i < 1000; ++i) text += "CHANNEL;1\n;broken;line\n";
  WriteBytes(PathOf("many.csv"), text);
  std::ostringstream out;
  EXPECT_EQ(cfgtool::Check(PathOf("many.csv"), out), 1);
  const std::string report = out.str();
  size_t lines = 0;
  for (size_t at = report.find(": Строка "); at != std::string::npos; at = report.find(": Строка ", at + 1))
    ++lines;
  EXPECT_EQ(lines, 1000u);
  EXPECT_NE(report.find(PathOf("many.csv") + ":1999: Строка 1999: "), std::string::npos);
  EXPECT_EQ(report.find("more record errors"), std::string::npos);
}

TEST_F(CfgTool, CheckSaysWhatTheServerMakesOfTheOptions) {
  GeneratorOptions options;
  const std::string text = GenerateConfiguration(options) +
                           "INIFILE\n\n[options]\nport = 70000\nlog = Debug\nallowanonimus = no\n"
                           "derFile = /c/s.der\nmaxSessions = 0\ndemoteAfter = 3\ndemoteMs = 5s\n"
                           "USERS\n\n[users]\nusers = a;1;b";
  std::string error;
  ASSERT_TRUE(WriteConfigText(PathOf("opt.cfg"), Utf8ToUtf16(text), true, error)) << error;
  std::ostringstream out;
  EXPECT_EQ(cfgtool::Check(PathOf("opt.cfg"), out), 0);  // the server starts with its defaults
  const std::string prefix = PathOf("opt.cfg") + ": options: ";
  for (const std::string& expected :
       {prefix + "port \"70000\" is not a port number 1..65535, the server uses 4840",
        prefix + "log \"Debug\" is not a level word, the server logs at info",
        prefix + "allowanonimus \"no\" is neither true nor false, anonymous access stays allowed",
        prefix + "the user list ends with a name without a password, ignored",
        prefix + "maxSessions \"0\" is not a number 1..10000, the server uses 100",
        prefix + "demoteMs \"5s\" is not a number 100..3600000, the server uses 10000",
        prefix + "port 4840, log info, anonymous access allowed, 1 users, certificate /c/s.der, "
                 "a device is demoted after 3 failed exchanges for 10000 ms"})
    EXPECT_NE(out.str().find(expected), std::string::npos) << expected << "\n" << out.str();
}

TEST_F(CfgTool, CheckReadsScrambledOnlyForCfgFiles) {
  // The same plain text named .cfg is read as scrambled and fails.
  GeneratorOptions options;
  WriteBytes(PathOf("plain.csv"), GenerateConfiguration(options));
  fs::copy_file(PathOf("plain.csv"), PathOf("plain.CFG"));
  std::ostringstream out;
  EXPECT_EQ(cfgtool::Check(PathOf("plain.csv"), out), 0) << out.str();
  EXPECT_EQ(cfgtool::Check(PathOf("plain.CFG"), out), 1);
  EXPECT_EQ(cfgtool::Check(PathOf("missing.cfg"), out), 1);
  EXPECT_NE(out.str().find("missing.cfg"), std::string::npos);
}

// The program itself: the clear text of a configuration holding users is
// written owner-only, and a folder given for a file is refused with a reason.
TEST_F(CfgTool, ProgramWritesUsersOwnerOnlyAndRefusesAFolder) {
  const test::ScopedUmask usual(022);
  const auto run = [&](const std::vector<std::string>& args) {
    server::test::ServerProcess tool(VIRK_CFGTOOL_PROGRAM, args, dir_.string(), PathOf("output.txt"));
    const int code = tool.WaitForExit(std::chrono::seconds(20));
    return std::to_string(code) + " " + tool.Output();
  };
  const std::string text = GenerateConfiguration(GeneratorOptions{}) + "USERS\n\n[users]\nusers = a;secret;";
  WriteBytes(PathOf("users.txt"), text);
  EXPECT_EQ(run({"pack", PathOf("users.txt"), PathOf("users.cfg")}), "0 ");
  EXPECT_EQ(run({"unpack", PathOf("users.cfg"), PathOf("clear.txt")}), "0 ");
  EXPECT_EQ(test::ModeOf(PathOf("users.cfg")), 0600u);
  EXPECT_EQ(test::ModeOf(PathOf("clear.txt")), 0600u);

  fs::create_directory(PathOf("folder"));
  const std::string reason = PathOf("folder") + ": cannot read the file: is a folder\n";
  EXPECT_EQ(run({"unpack", PathOf("folder"), PathOf("out.txt")}), "1 " + reason);
  EXPECT_NE(run({"check", PathOf("folder")}).find("[is a folder]"), std::string::npos);
}

}  // namespace
