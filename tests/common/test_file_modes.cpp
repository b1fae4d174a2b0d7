// A new configuration file holding the users section is owner-only; a
// replaced one keeps its permissions, whatever the umask.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "common/csv_writer.h"
#include "common/text.h"
#include "tests/common/scoped_umask.h"

namespace virk {
namespace {

namespace fs = std::filesystem;
using test::ModeOf;

TEST(FileModes, UsersMakeNewFilesOwnerOnlyAndReplacedFilesKeepTheirMode) {
  const test::ScopedUmask usual(022);
  const std::string dir = testing::TempDir() + "virk_file_modes/";
  fs::remove_all(dir);
  fs::create_directories(dir);
  const std::u16string records = u"CHANNEL;1\n;USERS;COM-порт\n";  // a field "USERS" starts no section
  const std::u16string users = records + u"USERS\n\n[users]\nusers = a;secret;";
  const std::u16string ini = records + u"INIFILE\n\n[options]\n \t[ Users ] \r\nusers = a;b;";
  const struct {
    const char* name;
    const std::u16string& text;
    unsigned existing, expected;  // existing 0: no file there before
  } cases[] = {{"users", users, 0, 0600}, {"plain", records, 0, 0644}, {"ini", ini, 0, 0600},
               {"kept0640", users, 0640, 0640}, {"kept0600", records, 0600, 0600}};
  for (const auto& c : cases) {
    if (c.existing) {
      std::ofstream(dir + c.name) << "old";
      fs::permissions(dir + c.name, fs::perms(c.existing));
    }
    std::string error;
    ASSERT_TRUE(WriteConfigText(dir + c.name, c.text, true, error)) << error;
    EXPECT_EQ(ModeOf(dir + c.name), c.expected) << c.name;
  }
  // The scrambled save keeps the mode; a stale temporary, even a link, is replaced, not written through.
  std::ofstream(dir + "victim") << "untouched";
  fs::create_symlink(dir + "victim", dir + "users.tmp");
  EXPECT_EQ(WriteConfiguration(CTreeItemRoot(), dir + "users", false), kWriteOk);
  EXPECT_EQ(ModeOf(dir + "users"), 0600u);
  EXPECT_EQ(ModeOf(dir + "victim"), 0644u);
  EXPECT_EQ(fs::file_size(dir + "victim"), 9u);
  fs::remove_all(dir);
}

}  // namespace
}  // namespace virk
