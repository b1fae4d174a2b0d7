// keyforge as the configurator runs it: help, missing and refused options,
// exit codes as a POSIX shell sees them (-1 is 255).
#include <algorithm>

#include "keyforge_fixture.h"

namespace virk::keyforge::test {
namespace {

const char kMissing[] = "Не заполнены обязательные параметры!\n";
const char kHelpHead[] = "// Параметры\n// Помощь - -help\n// Имя - -CN=<значение> - обязательный параметр\n";
const char kHelpTail[] =
    "// Выходной файл *.pem - -pem=<значение> - обязательный параметр\n"
    "// URI приложения - -URI=<значение>\n";

bool IsHelp(const std::string& text) {
  return text.rfind(kHelpHead, 0) == 0 && text.size() > sizeof kHelpTail &&
         text.compare(text.size() - (sizeof kHelpTail - 1), std::string::npos, kHelpTail) == 0;
}

using KeyforgeCommandLine = KeyforgeTest;

TEST_F(KeyforgeCommandLine, NoArgumentsPrintsTheMissingMessageAndHelpAndSucceeds) {
  const ChildResult result = Run({});
  EXPECT_EQ(result.exitCode, 0);
  ASSERT_EQ(result.out.rfind(kMissing, 0), 0u) << result.out;
  EXPECT_TRUE(IsHelp(result.out.substr(sizeof kMissing - 1))) << result.out;
  EXPECT_EQ(std::count(result.out.begin(), result.out.end(), '\n'), 17);
}

TEST_F(KeyforgeCommandLine, HelpAnywhereStopsBeforeAnythingIsWritten) {
  std::vector<std::vector<std::string>> cases;
  cases.push_back({"-help"});
  std::vector<std::string> helpFirst = CompleteArguments();
  helpFirst.insert(helpFirst.begin(), "-help");
  cases.push_back(helpFirst);
  std::vector<std::string> helpMiddle = CompleteArguments();
  helpMiddle.insert(helpMiddle.begin() + 3, "-help");
  cases.push_back(helpMiddle);
  cases.push_back(With("-helpme", ""));
  for (const auto& arguments : cases) {
    const ChildResult result = Run(arguments);
    EXPECT_EQ(result.exitCode, 0) << arguments.front();
    EXPECT_TRUE(IsHelp(result.out)) << result.out;
    EXPECT_TRUE(ResultsAbsent());
    EXPECT_TRUE(IntermediatesAbsent());
  }
}

TEST_F(KeyforgeCommandLine, EachMissingOrEmptyRequiredOptionFailsWithHelp) {
  for (const char* prefix : {"-CN=", "-O=", "-size=", "-alg=", "-val=", "-der=", "-pem="}) {
    for (const auto& arguments : {Without(prefix), With(prefix, "")}) {
      const ChildResult result = Run(arguments);
      EXPECT_EQ(result.exitCode, 255) << prefix;
      EXPECT_EQ(result.out.rfind(kMissing, 0), 0u) << prefix;
      EXPECT_TRUE(IsHelp(result.out.substr(sizeof kMissing - 1))) << prefix;
    }
  }
  // Domains or addresses: one of the two is enough, neither is not.
  std::vector<std::string> neither = Without("-DNS=");
  neither.push_back("-IP=");
  EXPECT_EQ(Run(neither).exitCode, 255);
  EXPECT_TRUE(ResultsAbsent());
  EXPECT_TRUE(IntermediatesAbsent());

  std::vector<std::string> addressOnly = Without("-DNS=");
  addressOnly.push_back("-IP=127.0.0.1");
  EXPECT_EQ(Run(addressOnly).exitCode, 0);
  EXPECT_FALSE(ResultsAbsent());
}

TEST_F(KeyforgeCommandLine, RefusedValuesNameTheProblemOnStandardErrorAndWriteNothing) {
  const std::vector<std::pair<std::string, std::string>> refused = {
      {"-alg=", "sha256"}, {"-alg=", "MD5"}, {"-size=", "abc"}, {"-size=", "100000"},
      {"-val=", "0"},      {"-val=", "-5"},  {"-val=", "3000000"},
      {"-URI=", "urn:a,DNS:evil.example"},
  };
  for (const auto& [prefix, value] : refused) {
    const ChildResult result = Run(With(prefix, value));
    EXPECT_EQ(result.exitCode, 255) << prefix << value;
    EXPECT_NE(result.err.find(value), std::string::npos) << result.err;
    EXPECT_TRUE(ResultsAbsent()) << prefix << value;
    EXPECT_TRUE(IntermediatesAbsent());
  }
  const ChildResult lowerCase = Run(With("-alg=", "sha256"));
  EXPECT_NE(lowerCase.err.find("Sha1, Sha224, Sha256, Sha384, Sha512"), std::string::npos);
}

TEST_F(KeyforgeCommandLine, UnknownOptionsAndBareWordsAreIgnoredAndTheLastValueWins) {
  std::vector<std::string> arguments = CompleteArguments();
  arguments.insert(arguments.begin(), "-CN=first");
  arguments.insert(arguments.end(), {"-X=1", "CN=ignored", "stray", "-CN=last"});
  const ChildResult result = Run(arguments);
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.err, "");
  EXPECT_NE(CertificateQuery({"-noout", "-subject"}).find("CN = last,"), std::string::npos);
}

}  // namespace
}  // namespace virk::keyforge::test
