#include <gtest/gtest.h>

#include <limits>

#include "common/number_text.h"

namespace virk {
namespace {

TEST(NumberTextTest, IntegersReadAsAStreamExtractsThem) {
  const struct {
    std::u16string text;
    int64_t value;
  } cases[] = {
      {u"42", 42},       {u"  \t7", 7},     {u"-15", -15},  {u"+8", 8},
      {u"12abc", 12},    {u"3.9", 3},       {u"127.0.0.1", 127},
      {u"", 0},          {u"abc", 0},       {u"-", 0},      {u"- 5", 0},
      {u"0x10", 0},      {u"007", 7},
      {u"99999999999999999999", std::numeric_limits<int64_t>::max()},
      {u"-99999999999999999999", std::numeric_limits<int64_t>::min()},
      {u"-9223372036854775808", std::numeric_limits<int64_t>::min()},
  };
  for (const auto& c : cases) EXPECT_EQ(ReadInteger(c.text), c.value);
}

TEST(NumberTextTest, RealsReadAsAStreamExtractsThem) {
  const struct {
    std::u16string text;
    double value;
  } cases[] = {
      {u"0.5", 0.5},   {u" -2.25x", -2.25}, {u"1e+06", 1e6}, {u"1E3", 1000},
      {u".5", 0.5},    {u"5.", 5},          {u"1e", 0},      {u"1e+", 0},
      {u"abc", 0},     {u".", 0},           {u"-1e-3", -0.001},
      {u"1e999", std::numeric_limits<double>::max()},
  };
  for (const auto& c : cases) EXPECT_EQ(ReadReal(c.text), c.value);
}

TEST(NumberTextTest, ANumberTextIsOneWholeNumber) {
  for (const char16_t* text : {u"0", u" -2.25 ", u"1e+06", u".5", u"5."}) EXPECT_TRUE(IsNumberText(text));
  for (const char16_t* text : {u"", u"abc", u"12abc", u"1e", u"1,5", u".", u"1 2"}) EXPECT_FALSE(IsNumberText(text));
}

TEST(NumberTextTest, RealsWriteInDefaultNotationWithoutLosingTheValue) {
  EXPECT_EQ(FormatReal(0.5), "0.5");
  EXPECT_EQ(FormatReal(100.0), "100");
  EXPECT_EQ(FormatReal(1e6), "1e+06");
  EXPECT_EQ(FormatReal(-0.0001), "-0.0001");
  EXPECT_EQ(FormatReal(0.1f), "0.1");
  // Six digits would change these values; they get the digits they need.
  EXPECT_EQ(FormatReal(1234567.0), "1234567");
  EXPECT_EQ(FormatReal(2147483647.0), "2147483647");
  EXPECT_EQ(FormatReal(16777215.0f), "16777215");
  for (double value : {0.1, 1.0 / 3, -123456.789, 1e-300}) {
    const std::string text = FormatReal(value);
    EXPECT_EQ(ReadReal(std::u16string(text.begin(), text.end())), value) << text;
  }
}

}  // namespace
}  // namespace virk
