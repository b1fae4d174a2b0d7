// Options and users sections: INI reading as the server does it, the rules
// for applying the option texts, and the writers working on scrambled files.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/log.h"
#include "common/options.h"
#include "common/text.h"

namespace fs = std::filesystem;
using namespace virk;

namespace {

const char kRecords[] =
    "CHANNEL;1;2;3;4;5;6;7;8;9;10;11;12;13;14\n"
    ";Channel_0;COM-порт;MODBUS RTU;500;3;0;1;9600;8;1;Нет;Нет;Нет;Нет\n";

std::vector<std::string> Parse(const std::string& text) {
  std::vector<std::string> values;
  EXPECT_EQ(ParseStartParameters(text, values), 0);
  return values;
}

TEST(StartParameters, ValuesFromOptionsAndUsersSections) {
  // The session limits, the read-only flag and demotion are added by hand, in any
  // place of the section.
  const std::string text = std::string(kRecords) +
                           "INIFILE\n\n[options]\nmaxSessions = 20\nport = 5000\nlog = debug\n"
                           "allowanonimus = false\nANONYMOUSREADONLY = true\n"
                           "derFile = /c/server.der\npemFile = /c/server.pem\ntrustFolder = /c/trust\n"
                           "maxSessionTimeout = 60000\ndemoteAfter = 3\ndemoteMs = 2500\nUSERS\n\n[users]\nusers = иван;пароль 1;petr;;";
  const std::vector<std::string> expected = {"5000",          "debug",    "false",
                                             "/c/server.der", "/c/server.pem", "/c/trust",
                                             "иван;пароль 1;petr;;", "20", "60000", "true", "3", "2500"};
  EXPECT_EQ(Parse(text), expected);
}

TEST(StartParameters, MissingSectionsGiveEmptyTextsAndServerDefaults) {
  const std::vector<std::string> values = Parse(kRecords);
  EXPECT_EQ(values, std::vector<std::string>(kStartValueCount));
  EXPECT_EQ(StartPort(values[kStartPort]), 4840);
  EXPECT_EQ(StartLogLevel(values[kStartLog]), 4);
  EXPECT_TRUE(StartAllowAnonymous(values[kStartAllowAnonymous]));
  EXPECT_TRUE(LoadLogins(values[kStartUsers]).empty());
}

TEST(StartParameters, IniRules) {
  // Keys and sections in any case, values kept as written; blanks around
  // values dropped but inner blanks kept; '#' comments; a byte-order mark.
  const std::string text =
      "\xEF\xBB\xBF" + std::string(kRecords) +
      "INIFILE\n\n[OPTIONS]\n# port = 1\nPORT = 5000\nLog=True\n"
      "derFile =    /my certs/server.der   \n;pemFile = x\n";
  const std::vector<std::string> values = Parse(text);
  EXPECT_EQ(values[kStartPort], "5000");
  EXPECT_EQ(values[kStartLog], "True");
  EXPECT_EQ(values[kStartDerFile], "/my certs/server.der");
  EXPECT_EQ(values[kStartPemFile], "");
}

TEST(StartParameters, RecordLinesAreNeverTakenForKeys) {
  // A record holding '=' is a comment to the INI reader (it starts with ';');
  // a header line has no '=' at all.
  const std::string text =
      "GROUP;1;2;3\n;port = 1;50;мс\nTAG;1;2\n[options]\nlog = error\n";
  const std::vector<std::string> values = Parse(text);
  EXPECT_EQ(values[kStartPort], "");
  EXPECT_EQ(values[kStartLog], "error");
}

TEST(StartRules, Port) {
  EXPECT_EQ(StartPort("4841"), 4841);
  EXPECT_EQ(StartPort("1"), 1);
  EXPECT_EQ(StartPort("65535"), 65535);
  for (const char* bad : {"", "0", "65536", "70000", "-5", "50a", "port", "99999999999999"})
    EXPECT_EQ(StartPort(bad), 4840) << bad;
}

// The server and cfgtool's check agree on what a limit's text gives.
TEST(StartRules, LimitValues) {
  EXPECT_EQ(StartLimitValue("", kDemoteMsLimit), 10000u);
  EXPECT_FALSE(StartLimitRefused("", kDemoteMsLimit));
  EXPECT_EQ(StartLimitValue("100", kDemoteMsLimit), 100u);
  EXPECT_EQ(StartLimitValue("3600000", kDemoteMsLimit), 3600000u);
  for (const char* bad : {"99", "3600001", "5s", "-1", " 200"}) {
    EXPECT_EQ(StartLimitValue(bad, kDemoteMsLimit), 10000u) << bad;
    EXPECT_TRUE(StartLimitRefused(bad, kDemoteMsLimit)) << bad;
  }
}

TEST(StartRules, LogLevelAndAnonymousAccess) {
  const char* const levels[] = {"none", "fatal", "error", "warning", "info", "debug", "verbose"};
  for (int level = 0; level < 7; ++level) EXPECT_EQ(StartLogLevel(levels[level]), level);
  EXPECT_EQ(StartLogLevel("Debug"), 4);
  EXPECT_EQ(StartLogLevel("trace"), 4);
  EXPECT_FALSE(StartAllowAnonymous("false"));
  EXPECT_TRUE(StartAllowAnonymous("true"));
  EXPECT_TRUE(StartAllowAnonymous("False"));
  EXPECT_TRUE(StartAllowAnonymous(""));
}

TEST(LoadLoginsTest, CompletePairsOnly) {
  EXPECT_TRUE(LoadLogins("").empty());
  EXPECT_EQ(LoadLogins("a;1;b;2;"), (std::vector<Login>{{"a", "1"}, {"b", "2"}}));
  EXPECT_EQ(LoadLogins("a;1;b;2"), (std::vector<Login>{{"a", "1"}, {"b", "2"}}));
  EXPECT_EQ(LoadLogins("a;1;orphan;"), (std::vector<Login>{{"a", "1"}}));
  EXPECT_EQ(LoadLogins("a;;;x;"), (std::vector<Login>{{"a", ""}, {"", "x"}}));
}

TEST(OptionsText, WriterIsIdempotentAndKeepsRecordsAndUsers) {
  StartOptions options;
  options.port = "5001";
  options.log = "warning";
  options.allowanonimus = "false";
  options.trustFolder = "/trust";
  const std::u16string records = Utf8ToUtf16(kRecords);
  const std::u16string users = u"USERS\n\n[users]\nusers = a;1;";

  const std::u16string once = WithStartOptions(records + users, options);
  EXPECT_EQ(once, records +
                      u"INIFILE\n\n[options]\nport = 5001\nlog = warning\nallowanonimus = false\n"
                      u"derFile = \npemFile = \ntrustFolder = /trust\n" +
                      users);
  EXPECT_EQ(WithStartOptions(once, options), once);

  options.port = "6000";
  const std::vector<std::string> values = Parse(Utf16ToUtf8(WithStartOptions(once, options)));
  EXPECT_EQ(values[kStartPort], "6000");
  EXPECT_EQ(values[kStartUsers], "a;1;");
}

TEST(OptionsText, WriterKeepsKeysAddedByHand) {
  // A server started from the configurator must keep its limits and rights;
  // the keys the writer stores itself are replaced, comments and other
  // sections' keys are not carried into the options.
  const std::u16string text = Utf8ToUtf16(kRecords) +
                              u"INIFILE\n\n[options]\nport = 1\n  anonymousReadOnly = true \n; a note\n"
                              u"LOG = debug\nmaxSessions = 7\ndemoteAfter = 2\nDemoteMs = 500\n[other]\nkey = x\nUSERS\n\n[users]\nusers = a;1;";
  StartOptions options;
  options.port = "5002";
  const std::u16string written = WithStartOptions(text, options);
  EXPECT_EQ(WithStartOptions(written, options), written);
  const std::vector<std::string> values = Parse(Utf16ToUtf8(written));
  EXPECT_EQ(values[kStartPort], "5002");
  EXPECT_EQ(values[kStartLog], "info");
  EXPECT_EQ(values[kStartAnonymousReadOnly], "true");
  EXPECT_EQ(values[kStartMaxSessions], "7");
  EXPECT_EQ(values[kStartDemoteAfter], "2");
  EXPECT_EQ(values[kStartDemoteMs], "500");
  EXPECT_EQ(values[kStartUsers], "a;1;");
  EXPECT_EQ(written.find(u"key = x"), std::u16string::npos);
  EXPECT_EQ(written.find(u"a note"), std::u16string::npos);
}

TEST(OptionsText, SectionsStartOnTheirOwnLine) {
  // Records without a final line end must not run into "INIFILE" or "USERS".
  const std::u16string records = u";Group_0;50;мс";
  EXPECT_EQ(WithStartOptions(records, {}).substr(0, records.size() + 10),
            records + u"\nINIFILE\n\n");
  EXPECT_EQ(WithLogins(records, {{"a", "1"}}), records + u"\nUSERS\n\n[users]\nusers = a;1;");
  // A name ending in "USERS" inside a record is not a section marker.
  const std::u16string tricky = u";XUSERS\n\n;rest\n";
  EXPECT_EQ(WithLogins(tricky, {}), tricky + u"USERS\n\n[users]\nusers = ");
}

TEST(OptionsText, SectionsInHandEditedOrderAreReplacedNotDuplicated) {
  const std::u16string text =
      u"R\nUSERS\n\n[users]\nusers = a;1;\nINIFILE\n\n[options]\nport = 1\n";
  const std::u16string withOptions = WithStartOptions(text, {});
  EXPECT_EQ(withOptions.find(u"port = 1\n"), std::u16string::npos);
  EXPECT_EQ(LoginsOf(withOptions), (std::vector<Login>{{"a", "1"}}));
  const std::u16string withUsers = WithLogins(text, {{"b", "2"}});
  EXPECT_EQ(LoginsOf(withUsers), (std::vector<Login>{{"b", "2"}}));
  EXPECT_EQ(Parse(Utf16ToUtf8(withUsers))[kStartPort], "1");
}

class OptionsFile : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::path(testing::TempDir()) /
           ("options_" + std::string(testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    path_ = (dir_ / "conf.cfg").string();
    Store(Utf8ToUtf16(kRecords));
    previousLog_ = SetLogFunction([this](LogLevel, int, const std::string& text) {
      logged_.push_back(text);
    });
  }
  void TearDown() override {
    SetLogFunction(previousLog_);
    fs::remove_all(dir_);
  }
  void Store(const std::u16string& text) {
    std::string error;
    ASSERT_TRUE(WriteConfigText(path_, text, true, error)) << error;
  }
  std::u16string Stored() const {
    std::u16string text;
    std::string error;
    EXPECT_TRUE(ReadConfigText(path_, true, text, error)) << error;
    return text;
  }
  std::vector<std::string> StartValues() const {
    std::vector<std::string> values;
    EXPECT_EQ(readParametrsStart(path_, values), 0);
    return values;
  }

  fs::path dir_;
  std::string path_;
  std::vector<std::string> logged_;
  LogFunction previousLog_;
};

TEST_F(OptionsFile, ServerReadsOptionsAndUsersWithoutWorkFile) {
  StartOptions options;
  options.port = "4999";
  options.pemFile = "/keys/my key.pem";
  ASSERT_EQ(WriteOptions(path_, options), 0);
  ASSERT_EQ(AddUser(path_, "оператор", "секрет"), 0);

  const std::vector<std::string> values = StartValues();
  // The writer has no session limits: they stay empty, the server's defaults.
  EXPECT_EQ(values, (std::vector<std::string>{"4999", "info", "true", "", "/keys/my key.pem", "",
                                              "оператор;секрет;", "", "", "", "", ""}));
  EXPECT_EQ(LoadLogins(values[kStartUsers], path_),
            (std::vector<Login>{{"оператор", "секрет"}}));
  // Only the configuration itself: no clear-text copy was left beside it.
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(dir_)) files.push_back(entry.path().filename());
  EXPECT_EQ(files, std::vector<fs::path>{"conf.cfg"});
}

TEST_F(OptionsFile, ServerReadingEqualsIniReadingOfTheWholeText) {
  // The server keeps only the lines that can carry INI entries; the result
  // must be what the INI rules give for the whole text.
  const std::string texts[] = {
      std::string(kRecords) + "INIFILE\n\n  [ Options ]  \n\t PORT = 4998\r\n  # log = none\n"
                              "log = error\n;trustFolder = x\n\n[users]\nusers = a;b;\n",
      std::string(kRecords) + "[options]\nport=1\n[users]\nusers = x;y;\n[options]\nport = 2\n",
      "\xEF\xBB\xBF[users]\nusers = ;;\n" + std::string(kRecords),
  };
  for (const std::string& text : texts) {
    Store(Utf8ToUtf16(text));
    EXPECT_EQ(StartValues(), Parse(text)) << text;
  }
}

TEST_F(OptionsFile, UnreadableFileFailsWithMessage) {
  std::vector<std::string> values;
  EXPECT_NE(readParametrsStart((dir_ / "missing.cfg").string(), values), 0);
  ASSERT_EQ(logged_.size(), 1u);
  EXPECT_NE(logged_[0].find("missing.cfg"), std::string::npos);

  EXPECT_EQ(WriteOptions((dir_ / "missing.cfg").string(), {}), kOptionsFileError);
  EXPECT_EQ(AddUser((dir_ / "missing.cfg").string(), "a", "b"), kOptionsFileError);
  std::vector<Login> logins;
  EXPECT_EQ(ReadUsers((dir_ / "missing.cfg").string(), logins), kOptionsFileError);
  EXPECT_FALSE(fs::exists(dir_ / "missing.cfg"));
}

TEST_F(OptionsFile, AddingUsersKeepsEarlierOnesAndOptionsBeforeUsers) {
  ASSERT_EQ(AddUser(path_, "a", "1"), 0);
  EXPECT_EQ(Stored(), Utf8ToUtf16(kRecords) + u"USERS\n\n[users]\nusers = a;1;");
  ASSERT_EQ(WriteOptions(path_, {}), 0);
  ASSERT_EQ(AddUser(path_, "b", ""), 0);
  ASSERT_EQ(AddUser(path_, "a", "again"), 0);

  const std::u16string text = Stored();
  EXPECT_LT(text.find(u"INIFILE\n\n"), text.find(u"USERS\n\n"));
  EXPECT_EQ(text.substr(text.find(u"USERS\n\n") + 23), u"a;1;b;;a;again;");
  std::vector<Login> logins;
  ASSERT_EQ(ReadUsers(path_, logins), 0);
  EXPECT_EQ(logins, (std::vector<Login>{{"a", "1"}, {"b", ""}, {"a", "again"}}));
}

TEST_F(OptionsFile, RemovingAUserTakesExactlyThatPair) {
  ASSERT_EQ(AddUser(path_, "first", "p1"), 0);
  ASSERT_EQ(AddUser(path_, "second", "p2"), 0);
  ASSERT_EQ(AddUser(path_, "third", "p3"), 0);
  ASSERT_EQ(RemoveUser(path_, "second"), 0);
  EXPECT_EQ(StartValues()[kStartUsers], "first;p1;third;p3;");

  const std::u16string before = Stored();
  EXPECT_EQ(RemoveUser(path_, "nobody"), kOptionsBadInput);
  EXPECT_EQ(Stored(), before);

  ASSERT_EQ(RemoveUser(path_, "first"), 0);
  ASSERT_EQ(RemoveUser(path_, "third"), 0);
  std::vector<Login> logins;
  ASSERT_EQ(ReadUsers(path_, logins), 0);
  EXPECT_TRUE(logins.empty());
}

TEST_F(OptionsFile, LoginsThatWouldBreakTheListAreRefused) {
  const std::u16string before = Stored();
  for (const auto& [name, password] : std::vector<Login>{
           {"", "p"}, {"a;b", "p"}, {"a", "p;q"}, {"a\nb", "p"}, {"a", "p\r"}, {" a", "p"}})
    EXPECT_EQ(AddUser(path_, name, password), kOptionsBadInput) << name << "/" << password;
  StartOptions options;
  options.derFile = "a\nport = 1";
  EXPECT_EQ(WriteOptions(path_, options), kOptionsBadInput);
  EXPECT_EQ(Stored(), before);
}

TEST_F(OptionsFile, NulBytesNeitherHideUsersNorGetStored) {
  // A NUL ends the text for the INI reader: in a record it once hid the users
  // from the configurator, whose next edit then wrote the list without them;
  // on a line of its own it hid them from the server too.
  Store(Utf8ToUtf16(std::string(kRecords) + std::string(";Bad\0name;\n\0\n", 13)));
  ASSERT_EQ(AddUser(path_, "a", "1"), 0);
  ASSERT_EQ(AddUser(path_, "b", "2"), 0);
  std::vector<Login> logins;
  ASSERT_EQ(ReadUsers(path_, logins), 0);
  EXPECT_EQ(logins, (std::vector<Login>{{"a", "1"}, {"b", "2"}}));
  EXPECT_EQ(StartValues()[kStartUsers], "a;1;b;2;");

  // In a login or an option it would cut the value short and hide what follows.
  const std::u16string before = Stored();
  EXPECT_EQ(AddUser(path_, "c", std::string("x\0y", 3)), kOptionsBadInput);
  EXPECT_EQ(AddUser(path_, std::string("c\0", 2), "z"), kOptionsBadInput);
  StartOptions options;
  options.trustFolder = std::string("/pki\0/x", 7);
  EXPECT_EQ(WriteOptions(path_, options), kOptionsBadInput);
  EXPECT_EQ(Stored(), before);
}

}  // namespace
