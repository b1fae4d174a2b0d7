#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "common/text.h"

namespace virk {
namespace {

std::string TempPath(const std::string& name) {
  return ::testing::TempDir() + "virk_text_" + name;
}

std::string FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void PutFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

TEST(TextTest, DecodesEveryUtf8LengthIncludingSurrogatePairs) {
  // "A", "ж", "€", U+1F600
  const std::string bytes = "A\xD0\xB6\xE2\x82\xAC\xF0\x9F\x98\x80";
  std::u16string text;
  size_t bad = 99;
  ASSERT_TRUE(DecodeUtf8(bytes, text, bad));
  EXPECT_EQ(text, (std::u16string{u'A', u'ж', u'€', 0xD83D, 0xDE00}));
  EXPECT_EQ(Utf16ToUtf8(text), bytes);
}

TEST(TextTest, StrictDecodingReportsTheOffsetOfTheBrokenSequence) {
  struct Case {
    std::string bytes;
    size_t offset;
  } cases[] = {
      {"ab\xFF", 2},                  // never a UTF-8 byte
      {"abc\xD0", 3},                 // cut at the end
      {"\xD0\x41", 0},                // continuation missing
      {"x\xC0\xAF", 1},               // overlong '/'
      {"xy\xED\xA0\x80", 2},          // encoded surrogate
      {"\xF4\x90\x80\x80", 0},        // above U+10FFFF
      {"\xD0\xB6\x80", 2},            // stray continuation
  };
  for (const Case& c : cases) {
    std::u16string text;
    size_t bad = 12345;
    EXPECT_FALSE(DecodeUtf8(c.bytes, text, bad)) << c.offset;
    EXPECT_EQ(bad, c.offset);
  }
}

TEST(TextTest, LenientConversionsReplaceWhatHasNoForm) {
  EXPECT_EQ(Utf8ToUtf16("a\xFF" "b"), u"a\uFFFDb");
  EXPECT_EQ(Utf16ToUtf8(std::u16string{u'a', 0xD800, u'b'}), "a\xEF\xBF\xBD" "b");
}

TEST(TextTest, ScrambleIsItsOwnInverseAndKeepsAsciiAwayFromLineEnds) {
  std::u16string ascii;
  for (char16_t c = 0; c < 0x80; ++c) ascii.push_back(c);
  std::u16string scrambled = ascii;
  Scramble(scrambled);
  for (char16_t unit : scrambled) {
    EXPECT_NE(unit, u'\n');
    EXPECT_NE(unit, u'\r');
    EXPECT_NE(unit, u'\0');
    EXPECT_GE(unit, 0x80);
  }
  std::u16string cyrillic = u"Канал;Чет\n";
  std::u16string copy = cyrillic;
  Scramble(copy);
  EXPECT_NE(copy, cyrillic);
  for (size_t i = 0; i < copy.size(); ++i) EXPECT_EQ(copy[i] & 0xFF00, cyrillic[i] & 0xFF00);
  Scramble(copy);
  EXPECT_EQ(copy, cyrillic);
}

TEST(TextTest, ScrambledFileRoundTripsAndHoldsNoPlainText) {
  const std::string path = TempPath("round.cfg");
  const std::u16string text = u"CHANNEL;1;2\n;Канал_1;COM-порт\nINIFILE\n";
  std::string error;
  ASSERT_TRUE(WriteConfigText(path, text, true, error)) << error;
  const std::string stored = FileBytes(path);
  EXPECT_EQ(stored.find("CHANNEL"), std::string::npos);
  EXPECT_EQ(stored.find('\n'), std::string::npos);

  std::u16string back;
  ASSERT_TRUE(ReadConfigText(path, true, back, error)) << error;
  EXPECT_EQ(back, text);
  std::u16string raw;
  ASSERT_TRUE(ReadConfigText(path, false, raw, error)) << error;
  EXPECT_NE(raw, text);
  std::remove(path.c_str());
}

TEST(TextTest, ReadSkipsByteOrderMarkAndReportsBadInput) {
  const std::string path = TempPath("bom.csv");
  PutFile(path, "\xEF\xBB\xBFTAG;1\n");
  std::u16string text;
  std::string error;
  ASSERT_TRUE(ReadConfigText(path, false, text, error)) << error;
  EXPECT_EQ(text, u"TAG;1\n");

  PutFile(path, "TAG;\xD0\n");
  EXPECT_FALSE(ReadConfigText(path, false, text, error));
  EXPECT_EQ(error, "invalid UTF-8 at byte offset 4");
  std::remove(path.c_str());

  EXPECT_FALSE(ReadConfigText(TempPath("missing/none.cfg"), true, text, error));
  EXPECT_NE(error.find("No such file"), std::string::npos) << error;
}

TEST(TextTest, FailedWriteLeavesTheOldFileAlone) {
  std::string error;
  EXPECT_FALSE(WriteConfigText(TempPath("no_dir/x.cfg"), u"x", true, error));
  EXPECT_FALSE(error.empty());

  const std::string path = TempPath("keep.csv");
  ASSERT_TRUE(WriteConfigText(path, u"old", false, error));
  // A directory in the way of the temporary file makes the write fail.
  const std::string blocker = path + ".tmp";
  ASSERT_TRUE(std::filesystem::create_directories(blocker));
  EXPECT_FALSE(WriteConfigText(path, u"new", false, error));
  EXPECT_EQ(FileBytes(path), "old");
  std::filesystem::remove(blocker);
  std::remove(path.c_str());
}

// Lines as the whole-text splitter sees them, for comparison with the reader.
std::vector<std::u16string> AllLines(ConfigLineReader& reader) {
  std::vector<std::u16string> lines;
  std::u16string line;
  while (reader.Next(line)) lines.push_back(line);
  return lines;
}

TEST(TextTest, LineReaderMatchesTheWholeTextAcrossChunks) {
  // Over two chunks of text whose multi-byte sequences fall on every boundary.
  std::u16string text;
  for (int n = 0; text.size() < 1100000; ++n)
    text += u";Тег_" + std::u16string(size_t(n % 7), u'ж') + u"\U0001F600;€\r\n";
  text += u"last line without end";
  const std::string path = TempPath("lines.cfg");
  std::string error;
  for (bool scrambled : {true, false}) {
    ASSERT_TRUE(WriteConfigText(path, text, scrambled, error)) << error;
    ConfigLineReader reader;
    ASSERT_TRUE(reader.Open(path, scrambled));
    const std::vector<std::u16string> lines = AllLines(reader);
    EXPECT_TRUE(reader.Error().empty()) << reader.Error();
    std::u16string joined;
    for (const std::u16string& line : lines) joined += line + u"\r\n";
    EXPECT_EQ(joined, text + u"\r\n");
  }
  std::remove(path.c_str());
}

TEST(TextTest, LineReaderEdgesAndErrors) {
  const std::string path = TempPath("edges.csv");
  ConfigLineReader reader;
  PutFile(path, "\xEF\xBB\xBF" "a\n\nb\n");
  ASSERT_TRUE(reader.Open(path, false));
  EXPECT_EQ(AllLines(reader), (std::vector<std::u16string>{u"a", u"", u"b"}));

  PutFile(path, "");
  ASSERT_TRUE(reader.Open(path, false));
  EXPECT_TRUE(AllLines(reader).empty());

  // A broken sequence far into the file is reported at its own offset.
  std::string bytes(1048575, 'x');
  bytes += "\xD0\xB6\xD0";
  PutFile(path, bytes);
  ASSERT_TRUE(reader.Open(path, false));
  AllLines(reader);
  EXPECT_TRUE(reader.BadEncoding());
  EXPECT_EQ(reader.Error(), "invalid UTF-8 at byte offset 1048577");
  std::remove(path.c_str());

  EXPECT_FALSE(reader.Open(path, false));
  EXPECT_FALSE(reader.BadEncoding());
  EXPECT_EQ(reader.Error(), "No such file or directory");
}

}  // namespace
}  // namespace virk
