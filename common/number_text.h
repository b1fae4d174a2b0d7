// Numbers in configuration text, read the way a C++ stream extracts them and
// written in the stream's default notation.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace virk {

// Leading blanks are skipped, an optional sign and the digits are read, and
// reading stops at the first character that cannot continue the number. No
// number reads as 0; a number beyond the 64-bit range reads as its limit.
int64_t ReadInteger(std::u16string_view text);

// As ReadInteger, for a decimal real with optional fraction and exponent; a
// number that cannot be completed (such as "1e") reads as 0.
double ReadReal(std::u16string_view text);

// True when the whole text, blanks around it aside, is one decimal number as
// ReadReal reads it: "12abc" and "1e" are not, although they read as 12 and 0.
bool IsNumberText(std::u16string_view text);

// Default stream notation (6 significant digits: 0.5, 100, 1e+06), with more
// digits only where 6 would change the value, so a saved value reads back
// unchanged.
std::string FormatReal(double value);
std::string FormatReal(float value);

}  // namespace virk
