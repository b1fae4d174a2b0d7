#include "text.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "platform/platform.h"

namespace virk {
namespace {

constexpr char16_t kReplacement = 0xFFFD;

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Decodes one code point from the `available` bytes at p; returns its length,
// or 0 when the sequence is invalid or cut.
size_t DecodeOne(const char* p, size_t available, char32_t& cp) {
  const auto b0 = static_cast<unsigned char>(p[0]);
  if (b0 < 0x80) {
    cp = b0;
    return 1;
  }
  size_t length;
  char32_t min;
  if ((b0 & 0xE0) == 0xC0) {
    length = 2, min = 0x80, cp = b0 & 0x1F;
  } else if ((b0 & 0xF0) == 0xE0) {
    length = 3, min = 0x800, cp = b0 & 0x0F;
  } else if ((b0 & 0xF8) == 0xF0) {
    length = 4, min = 0x10000, cp = b0 & 0x07;
  } else {
    return 0;
  }
  if (available < length) return 0;
  for (size_t k = 1; k < length; ++k) {
    const auto b = static_cast<unsigned char>(p[k]);
    if (!IsContinuation(b)) return 0;
    cp = (cp << 6) | (b & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return length;
}

void AppendUnits(std::u16string& text, char32_t cp) {
  if (cp < 0x10000) {
    text.push_back(static_cast<char16_t>(cp));
  } else {
    cp -= 0x10000;
    text.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    text.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  }
}

// Decodes the bytes; invalid sequences either stop the decoding (strict) or
// become U+FFFD one byte at a time.
bool Decode(const std::string& bytes, std::u16string& text, bool strict, size_t& badOffset) {
  text.clear();
  text.reserve(bytes.size());
  size_t i = 0;
  while (i < bytes.size()) {
    const auto b0 = static_cast<unsigned char>(bytes[i]);
    if (b0 < 0x80) {  // the common case, kept short
      text.push_back(b0);
      ++i;
      continue;
    }
    char32_t cp = 0;
    const size_t length = DecodeOne(bytes.data() + i, bytes.size() - i, cp);
    if (length == 0) {
      if (strict) {
        badOffset = i;
        return false;
      }
      text.push_back(kReplacement);
      ++i;
      continue;
    }
    AppendUnits(text, cp);
    i += length;
  }
  return true;
}

constexpr char kBom[] = "\xEF\xBB\xBF";

std::string ReadErrorText() { return errno ? std::strerror(errno) : "read error"; }

// fopen takes a folder on Linux; reading it would fail later, after its size
// had been taken for a huge length.
std::FILE* OpenForReading(const std::string& path, std::string& error) {
  std::error_code ignored;
  if (std::filesystem::is_directory(std::filesystem::u8path(path), ignored)) {
    error = "is a folder";
    return nullptr;
  }
  errno = 0;
  std::FILE* file = platform::OpenFile(path, "rb");
  if (file == nullptr) error = std::strerror(errno);
  return file;
}

}  // namespace

void Scramble(std::u16string& text) {
  for (char16_t& unit : text) unit ^= kScrambleMask;
}

bool DecodeUtf8(const std::string& bytes, std::u16string& text, size_t& badOffset) {
  return Decode(bytes, text, true, badOffset);
}

std::u16string Utf8ToUtf16(const std::string& bytes) {
  std::u16string text;
  size_t unused = 0;
  Decode(bytes, text, false, unused);
  return text;
}

namespace {

// UTF-8 of the text with every unit XORed with `mask` first (0: as it is).
std::string Encode(const std::u16string& text, char16_t mask) {
  std::string bytes;
  bytes.reserve(text.size() + text.size() / 2);
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t cp = char16_t(text[i] ^ mask);
    const char16_t next = i + 1 < text.size() ? char16_t(text[i + 1] ^ mask) : 0;
    if (cp >= 0xD800 && cp <= 0xDBFF && next >= 0xDC00 && next <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (next - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = kReplacement;  // a lone surrogate has no UTF-8 form
    }
    if (cp < 0x80) {
      bytes.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      bytes.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      bytes.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      bytes.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      bytes.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      bytes.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      bytes.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      bytes.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      bytes.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      bytes.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return bytes;
}

}  // namespace

std::string Utf16ToUtf8(const std::u16string& text) { return Encode(text, 0); }

std::string EncodeConfigText(const std::u16string& text, bool scramble) {
  return Encode(text, scramble ? kScrambleMask : 0);
}

std::string InvalidUtf8Message(size_t offset) {
  return "invalid UTF-8 at byte offset " + std::to_string(offset);
}

bool ReadFileBytes(const std::string& path, std::string& bytes, std::string& error) {
  bytes.clear();
  FilePtr file(OpenForReading(path, error));
  if (!file) return false;
  // The size is only a hint (the file may change while read).
  if (std::fseek(file.get(), 0, SEEK_END) == 0) {
    const long size = std::ftell(file.get());
    if (size > 0) bytes.reserve(size_t(size));
    std::rewind(file.get());
  }
  char buffer[1 << 16];
  for (;;) {
    const size_t got = std::fread(buffer, 1, sizeof buffer, file.get());
    bytes.append(buffer, got);
    if (got < sizeof buffer) break;
  }
  if (std::ferror(file.get())) {
    error = ReadErrorText();
    return false;
  }
  return true;
}

bool ReadConfigText(const std::string& path, bool scrambled, std::u16string& text,
                    std::string& error) {
  std::string bytes;
  if (!ReadFileBytes(path, bytes, error)) {
    error = "cannot read the file: " + error;
    return false;
  }
  if (bytes.compare(0, 3, kBom) == 0) bytes.erase(0, 3);
  size_t badOffset = 0;
  if (!DecodeUtf8(bytes, text, badOffset)) {
    error = InvalidUtf8Message(badOffset);
    return false;
  }
  if (scrambled) Scramble(text);
  return true;
}

bool WriteConfigText(const std::string& path, const std::u16string& text, bool scramble,
                     std::string& error) {
  return WriteFileBytes(path, EncodeConfigText(text, scramble), HoldsUsersSection(text), error);
}

bool WriteFileBytes(const std::string& path, const std::string& bytes, bool ownerOnly, std::string& error) {
  return platform::ReplaceFile(path, bytes, ownerOnly, error);
}

namespace {

bool IsBlank(char16_t unit) { return unit == u' ' || unit == u'\t' || unit == u'\r'; }

}  // namespace

std::u16string_view TrimBlanks(std::u16string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

bool EqualsIgnoringCase(std::u16string_view text, std::u16string_view lower) {
  if (text.size() != lower.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i] >= u'A' && text[i] <= u'Z' ? char16_t(text[i] + 32) : text[i];
    if (c != lower[i]) return false;
  }
  return true;
}

// The INI reader takes "[ name ]" with anything after the bracket for a section line.
std::optional<std::u16string_view> IniSectionName(std::u16string_view line) {
  line = TrimBlanks(line);
  if (line.empty() || line.front() != u'[') return std::nullopt;
  const size_t close = line.find(u']');
  if (close == line.npos) return std::nullopt;
  return TrimBlanks(line.substr(1, close - 1));
}

bool HoldsUsersSection(std::u16string_view text) {
  for (size_t begin = 0; begin < text.size();) {
    const size_t end = std::min(text.find(u'\n', begin), text.size());
    const std::u16string_view line = text.substr(begin, end - begin);
    const std::optional<std::u16string_view> section = IniSectionName(line);
    if (EqualsIgnoringCase(section ? *section : TrimBlanks(line), u"users")) return true;
    begin = end + 1;
  }
  return false;
}

}  // namespace virk

namespace virk {

bool ConfigLineReader::Open(const std::string& path, bool scrambled) {
  m_Scrambled = scrambled;
  m_Pos = m_End = m_Consumed = 0;
  m_AtEnd = m_BadEncoding = false;
  m_Error.clear();
  m_File.reset(OpenForReading(path, m_Error));
  if (!m_File) return false;
  m_Buffer.resize(kChunk);
  if (!Fill()) return false;
  if (m_End >= 3 && std::memcmp(m_Buffer.data(), kBom, 3) == 0) m_Pos = 3;
  return true;
}

bool ConfigLineReader::Fill() {
  // Keep the bytes not yet decoded (at most a cut sequence) in front.
  const size_t kept = m_End - m_Pos;
  std::memmove(m_Buffer.data(), m_Buffer.data() + m_Pos, kept);
  m_Consumed += m_Pos;
  m_Pos = 0;
  m_End = kept;
  if (m_AtEnd) return true;
  const size_t got = std::fread(m_Buffer.data() + kept, 1, m_Buffer.size() - kept, m_File.get());
  m_End += got;
  if (got < m_Buffer.size() - kept) {
    m_AtEnd = true;
    if (std::ferror(m_File.get())) m_Error = ReadErrorText();
    // All of it is read: let the file go, which Windows would otherwise keep
    // from being replaced or deleted while the reader lives.
    m_File.reset();
    if (!m_Error.empty()) return false;
  }
  return true;
}

bool ConfigLineReader::Next(std::u16string& line) {
  line.clear();
  if (!m_Error.empty()) return false;
  const char16_t mask = m_Scrambled ? kScrambleMask : 0;
  bool any = false;
  for (;;) {
    if (m_End - m_Pos < 4 && !m_AtEnd && !Fill()) return false;
    if (m_Pos == m_End) {
      m_LineEnded = !any;
      return any;
    }
    any = true;
    // Up to `safe` every sequence is whole in the buffer; past it only at the end of the file.
    const size_t safe = m_AtEnd ? m_End : m_End - 3;
    while (m_Pos < safe) {
      const char* p = m_Buffer.data() + m_Pos;
      char32_t cp = static_cast<unsigned char>(*p);
      size_t length = 1;
      if (cp >= 0x80) {
        length = DecodeOne(p, m_End - m_Pos, cp);
        if (length == 0) {
          m_BadEncoding = true;
          m_Error = InvalidUtf8Message(m_Consumed + m_Pos);
          return false;
        }
      }
      m_Pos += length;
      if (cp >= 0x10000) {
        AppendUnits(line, cp);
        line[line.size() - 2] ^= mask;
        line.back() ^= mask;
        continue;
      }
      const char16_t unit = char16_t(cp) ^ mask;
      if (unit == u'\n') {
        if (!line.empty() && line.back() == u'\r') line.pop_back();
        m_LineEnded = true;
        return true;
      }
      line.push_back(unit);
    }
  }
}

}  // namespace virk
