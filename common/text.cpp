#include "text.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace virk {
namespace {

constexpr char16_t kReplacement = 0xFFFD;

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Decodes one code point starting at bytes[i]; returns its length, or 0 when
// the sequence is invalid.
size_t DecodeOne(const std::string& bytes, size_t i, char32_t& cp) {
  const size_t n = bytes.size();
  const auto b0 = static_cast<unsigned char>(bytes[i]);
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
  if (n - i < length) return 0;
  for (size_t k = 1; k < length; ++k) {
    const auto b = static_cast<unsigned char>(bytes[i + k]);
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
    const size_t length = DecodeOne(bytes, i, cp);
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

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

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

std::string Utf16ToUtf8(const std::u16string& text) {
  std::string bytes;
  bytes.reserve(text.size() + text.size() / 2);
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
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

std::string InvalidUtf8Message(size_t offset) {
  return "invalid UTF-8 at byte offset " + std::to_string(offset);
}

bool ReadFileBytes(const std::string& path, std::string& bytes, std::string& error) {
  bytes.clear();
  errno = 0;
  FilePtr file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    error = std::strerror(errno);
    return false;
  }
  char buffer[1 << 16];
  for (;;) {
    const size_t got = std::fread(buffer, 1, sizeof buffer, file.get());
    bytes.append(buffer, got);
    if (got < sizeof buffer) break;
  }
  if (std::ferror(file.get())) {
    error = errno ? std::strerror(errno) : "read error";
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
  static const char kBom[] = "\xEF\xBB\xBF";
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
  std::string bytes;
  if (scramble) {
    std::u16string scrambledText = text;
    Scramble(scrambledText);
    bytes = Utf16ToUtf8(scrambledText);
  } else {
    bytes = Utf16ToUtf8(text);
  }
  const std::string temporary = path + ".tmp";
  errno = 0;
  std::FILE* file = std::fopen(temporary.c_str(), "wb");
  if (!file) {
    error = "cannot create " + temporary + ": " + std::strerror(errno);
    return false;
  }
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  const int writeErrno = errno;
  const bool closed = std::fclose(file) == 0;
  if (!written || !closed) {
    error = "cannot write " + temporary + ": " + std::strerror(written ? errno : writeErrno);
    std::remove(temporary.c_str());
    return false;
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    error = "cannot replace " + path + ": " + std::strerror(errno);
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace virk
