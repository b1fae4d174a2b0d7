// Option reading without a process: the rules the configurator's command
// lines depend on.
#include <gtest/gtest.h>

#include <cstdint>

#include "options.h"
#include "settings.h"

namespace virk::keyforge {
namespace {

using Entries = std::vector<std::string>;

TEST(KeyforgeOptions, DecimalNumbersReadLikeTheCRuntime) {
  EXPECT_EQ(ParseDecimal("2048"), 2048);
  EXPECT_EQ(ParseDecimal("  +365 days"), 365);
  EXPECT_EQ(ParseDecimal("\t-5"), -5);
  EXPECT_EQ(ParseDecimal("abc"), 0);
  EXPECT_EQ(ParseDecimal(""), 0);
  EXPECT_EQ(ParseDecimal("99999999999999999999999"), INT64_MAX);
}

TEST(KeyforgeOptions, ListsSplitAtLineFeedsAndCommas) {
  EXPECT_EQ(SplitList("a.example"), (Entries{"a.example"}));
  EXPECT_EQ(SplitList("a,b\nc"), (Entries{"a", "b", "c"}));
  // A separator at the very end adds nothing, two adjacent commas add an
  // empty entry, a blank line adds nothing.
  EXPECT_EQ(SplitList("a,\nb,"), (Entries{"a", "b"}));
  EXPECT_EQ(SplitList("a\n"), (Entries{"a"}));
  EXPECT_EQ(SplitList("a,,b"), (Entries{"a", "", "b"}));
  EXPECT_EQ(SplitList(","), (Entries{""}));
  EXPECT_EQ(SplitList("a\n\nb"), (Entries{"a", "b"}));
}

TEST(KeyforgeOptions, PrefixesMatchExactlyAndTheLastValueWins) {
  const Options options = ParseArguments(
      {"-OU=unit", "-O=org", "-CN=first", "-C=RU", "-CN=second", "CN=ignored", "-X=1", "-O=", "-"});
  EXPECT_EQ(options.organizationalUnit, "unit");
  EXPECT_EQ(options.organization, "");
  EXPECT_EQ(options.commonName, "second");
  EXPECT_EQ(options.country, "RU");
  EXPECT_FALSE(options.help);
  EXPECT_TRUE(ParseArguments({"-CN=x", "-helpme"}).help);
  EXPECT_FALSE(ParseArguments({"help", "--help"}).help);
}

TEST(KeyforgeOptions, ValuesAreCheckedBeforeAnyKeyIsMade) {
  Options options = ParseArguments({"-size=2048", "-alg=Sha512", "-val=7300", "-IP=10.0.0.1,::1"});
  CertificateSettings settings;
  ASSERT_EQ(ReadCertificateSettings(options, settings), "");
  EXPECT_EQ(settings.keyBits, 2048);
  EXPECT_EQ(settings.validityDays, 7300);
  EXPECT_EQ(settings.ipAddresses, (Entries{"10.0.0.1", "::1"}));
  EXPECT_EQ(settings.applicationUri, kDefaultApplicationUri);

  for (const char* bad : {"-alg=sha256", "-alg=MD5", "-size=256", "-size=abc", "-size=99999",
                          "-val=0", "-val=-1", "-val=99999999999", "-URI=urn:a,DNS:b"}) {
    Options refused = ParseArguments({"-size=2048", "-alg=Sha512", "-val=7300", bad});
    EXPECT_NE(ReadCertificateSettings(refused, settings), "") << bad;
  }
}

}  // namespace
}  // namespace virk::keyforge
