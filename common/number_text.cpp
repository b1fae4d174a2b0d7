#include "number_text.h"

#include <charconv>
#include <limits>

namespace virk {
namespace {

bool IsBlank(char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); }
bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

size_t SkipBlanks(std::u16string_view text) {
  size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  return i;
}

// Appends the run of digits at text[i] to `out` and moves i past it.
size_t TakeDigits(std::u16string_view text, size_t& i, std::string& out) {
  const size_t start = i;
  while (i < text.size() && IsDigit(text[i])) out.push_back(char(text[i++]));
  return i - start;
}

// Shortest of the precisions from 6 up that gives back the value.
template <typename Real>
std::string Format(Real value) {
  char buffer[64];
  for (int precision = 6;; ++precision) {
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, double(value),
                                      std::chars_format::general, precision);
    Real back = 0;
    std::from_chars(buffer, result.ptr, back);
    if (back == value || precision >= std::numeric_limits<Real>::max_digits10)
      return std::string(buffer, result.ptr);
  }
}

}  // namespace

int64_t ReadInteger(std::u16string_view text) {
  size_t i = SkipBlanks(text);
  bool negative = false;
  if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) negative = text[i++] == u'-';
  uint64_t magnitude = 0;
  bool overflow = false;
  const size_t start = i;
  for (; i < text.size() && IsDigit(text[i]); ++i) {
    const unsigned digit = text[i] - u'0';
    if (magnitude > (std::numeric_limits<uint64_t>::max() - digit) / 10) overflow = true;
    if (!overflow) magnitude = magnitude * 10 + digit;
  }
  if (i == start) return 0;
  constexpr uint64_t kMaxPositive = uint64_t(std::numeric_limits<int64_t>::max());
  if (negative) {
    if (overflow || magnitude > kMaxPositive + 1) return std::numeric_limits<int64_t>::min();
    return magnitude == kMaxPositive + 1 ? std::numeric_limits<int64_t>::min()
                                         : -int64_t(magnitude);
  }
  if (overflow || magnitude > kMaxPositive) return std::numeric_limits<int64_t>::max();
  return int64_t(magnitude);
}

namespace {

// Reads a real from text[i] on, leaving i after its last character; `complete`
// says whether a number was found and ended properly.
double ScanReal(std::u16string_view text, size_t& i, bool& complete) {
  complete = false;
  std::string number;
  bool negative = false;
  if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) negative = text[i++] == u'-';
  size_t digits = TakeDigits(text, i, number);
  if (i < text.size() && text[i] == u'.') {
    number.push_back('.');
    ++i;
    digits += TakeDigits(text, i, number);
  }
  if (digits == 0) return 0;
  if (i < text.size() && (text[i] == u'e' || text[i] == u'E')) {
    number.push_back('e');
    ++i;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) number.push_back(char(text[i++]));
    if (TakeDigits(text, i, number) == 0) return 0;
  }
  complete = true;
  double value = 0;
  const auto result = std::from_chars(number.data(), number.data() + number.size(), value);
  if (result.ec == std::errc::result_out_of_range) {
    // The stream gives the largest finite value for an overflow and 0 for an underflow.
    const bool tiny = number.find("e-") != std::string::npos;
    value = tiny ? 0 : std::numeric_limits<double>::max();
  }
  return negative ? -value : value;
}

}  // namespace

double ReadReal(std::u16string_view text) {
  size_t i = SkipBlanks(text);
  bool complete = false;
  return ScanReal(text, i, complete);
}

bool IsNumberText(std::u16string_view text) {
  size_t i = SkipBlanks(text);
  bool complete = false;
  ScanReal(text, i, complete);
  while (i < text.size() && IsBlank(text[i])) ++i;
  return complete && i == text.size();
}

std::string FormatReal(double value) { return Format(value); }
std::string FormatReal(float value) { return Format(value); }

}  // namespace virk
