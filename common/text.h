// Text of the configuration file: held as 16-bit code units while parsed,
// stored as UTF-8. The .cfg form is scrambled unit by unit with one mask.
#pragma once

#include <cstddef>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace virk {

// One byte of 0x80 or above, so that ASCII never scrambles into NUL or a line end.
// Every reader and writer of .cfg files uses this value: changing it breaks stored files.
constexpr char16_t kScrambleMask = 0xA5;

// XORs the low 8 bits of every code unit with the mask; its own inverse.
void Scramble(std::u16string& text);

// Strict UTF-8 to UTF-16: overlong forms, surrogates, values above U+10FFFF and
// cut sequences are refused. On failure `badOffset` gets the byte offset of the
// first byte of the broken sequence.
bool DecodeUtf8(const std::string& bytes, std::u16string& text, size_t& badOffset);

// Lenient conversions for names and messages: invalid input becomes U+FFFD.
std::u16string Utf8ToUtf16(const std::string& bytes);
std::string Utf16ToUtf8(const std::u16string& text);

// Whole file into `bytes`; on failure `error` holds the system's reason.
bool ReadFileBytes(const std::string& path, std::string& bytes, std::string& error);

// Reads the whole file, skips a UTF-8 byte-order mark, decodes and unscrambles
// when asked. On failure `error` says what went wrong (with the byte offset of
// invalid UTF-8).
bool ReadConfigText(const std::string& path, bool scrambled, std::u16string& text,
                    std::string& error);

// Scrambles when asked, encodes as UTF-8 (no byte-order mark) and replaces the
// file. The new content goes to a temporary file first, so a failed write
// leaves the old file as it was. A new file is owner-only when the text holds
// the users section; a replaced one keeps its permissions.
bool WriteConfigText(const std::string& path, const std::u16string& text, bool scramble,
                     std::string& error);

// The stored form of a configuration text: scrambled when asked, then UTF-8.
std::string EncodeConfigText(const std::u16string& text, bool scramble);

// INI rules on one line: blanks (space, tab, CR) around dropped; names
// compared without regard to ASCII case (`lower` in lower case); the name of
// the section a line opens ("[ name ]"), nothing for any other line.
std::u16string_view TrimBlanks(std::u16string_view text);
bool EqualsIgnoringCase(std::u16string_view text, std::u16string_view lower);
std::optional<std::u16string_view> IniSectionName(std::u16string_view line);

// True when a line of the text is "USERS" or starts the INI section [users]
// (any case, blanks around), as the options and users sections (options.h) begin.
bool HoldsUsersSection(std::u16string_view text);

// Replaces the file with the bytes through a temporary file beside it; a new
// file is owner-only when asked, a replaced one keeps its permissions.
bool WriteFileBytes(const std::string& path, const std::string& bytes, bool ownerOnly, std::string& error);

// "invalid UTF-8 at byte offset N": the one wording of decoding failures.
std::string InvalidUtf8Message(size_t offset);

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Reads a configuration file line by line in fixed chunks, so a large file
// needs no copy of its whole text: strict UTF-8, a byte-order mark skipped,
// unscrambled when asked, LF-separated with a CR before the LF dropped.
class ConfigLineReader {
 public:
  // False when the file cannot be opened or read; see Error().
  bool Open(const std::string& path, bool scrambled);
  // The next line; false at the end of the file or on an error. An LF at the
  // very end starts no further line.
  bool Next(std::u16string& line);
  // Empty unless reading failed: the system's reason or the invalid UTF-8 message.
  const std::string& Error() const { return m_Error; }
  bool BadEncoding() const { return m_BadEncoding; }
  // False when the line Next gave last ran to the end of the file without a line end.
  bool LineEnded() const { return m_LineEnded; }

 private:
  static constexpr size_t kChunk = 1 << 20;
  bool Fill();

  FilePtr m_File;
  std::vector<char> m_Buffer;
  size_t m_Pos = 0, m_End = 0;  // undecoded bytes of the buffer
  size_t m_Consumed = 0;        // file offset of the buffer's start
  bool m_Scrambled = false;
  bool m_AtEnd = false;
  bool m_BadEncoding = false;
  bool m_LineEnded = true;
  std::string m_Error;
};

}  // namespace virk
