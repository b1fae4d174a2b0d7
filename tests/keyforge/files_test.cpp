// What keyforge leaves on disk: the two results, owner-only keys, no
// intermediate files whatever happens, and where the profile folder is.
#include <filesystem>
#include <fstream>

#include "keyforge_fixture.h"

namespace virk::keyforge::test {
namespace {

namespace fs = std::filesystem;

using KeyforgeFiles = KeyforgeTest;

std::string ReadAll(const std::string& path) {
  std::ifstream file(PathOf(path), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

TEST_F(KeyforgeFiles, ResultsReplaceOldFilesAndLinksAndTheKeyIsOwnerOnly) {
#ifdef _WIN32
  GTEST_SKIP() << "links need a privilege on Windows and modes are POSIX's; "
                  "windows_platform_test checks the owner-only DACL of new files";
#endif
  const std::string elsewhere = Home() + "/elsewhere";
  std::ofstream(PathOf(elsewhere)) << "must stay";
  fs::create_symlink(PathOf(elsewhere), PathOf(KeyPath()));
  std::ofstream(PathOf(CertificatePath())) << "old certificate";

  const ChildResult result = Run(CompleteArguments());
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(ReadAll(elsewhere), "must stay");
  EXPECT_FALSE(fs::is_symlink(PathOf(KeyPath())));
  OpenSsl({"rsa", "-inform", "DER", "-in", KeyPath(), "-check", "-noout"});
  CertificateText();  // fails the test if the old text were still there
  EXPECT_EQ(fs::status(PathOf(KeyPath())).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_TRUE(IntermediatesAbsent());
}

TEST_F(KeyforgeFiles, IntermediatesAreRemovedWhenAResultCannotBeWritten) {
  for (const char* prefix : {"-der=", "-pem="}) {
    const std::string missingFolder = Out() + "/missing";
    const ChildResult result = Run(With(prefix, missingFolder));
    EXPECT_EQ(result.exitCode, 255) << prefix;
    EXPECT_NE(result.err.find(missingFolder), std::string::npos) << result.err;
    EXPECT_TRUE(IntermediatesAbsent()) << prefix;
  }
  // Intermediates left over from an interrupted run are replaced, then removed.
  std::ofstream(PathOf(Home() + "/localhost.key")) << "stale";
  ASSERT_EQ(Run(CompleteArguments()).exitCode, 0);
  EXPECT_TRUE(IntermediatesAbsent());
}

TEST_F(KeyforgeFiles, ProfileFolderIsUserProfileThenHomeAndItsAbsenceIsReported) {
  const std::string missing = Home() + "/no-such-folder";
  const ChildResult userProfileFirst = Run(CompleteArguments(), {"USERPROFILE=" + missing});
  EXPECT_EQ(userProfileFirst.exitCode, 255);
  EXPECT_NE(userProfileFirst.err.find(missing + "/localhost.key"), std::string::npos)
      << userProfileFirst.err;

  const ChildResult emptyUserProfile = Run(CompleteArguments(), {"USERPROFILE="});
  EXPECT_EQ(emptyUserProfile.exitCode, 0) << emptyUserProfile.err;

  const ChildResult neither = RunWithEnvironment(CompleteArguments(), {"PATH=/usr/bin:/bin"});
  EXPECT_EQ(neither.exitCode, 255);
  EXPECT_NE(neither.err.find("USERPROFILE"), std::string::npos) << neither.err;
}

}  // namespace
}  // namespace virk::keyforge::test
