// The programs speak UTF-8; the wide Win32 calls take UTF-16, and paths
// under a Russian profile are not ASCII.
#pragma once

#include <string>

namespace virk::platform {

std::wstring ToUtf16(const std::string& text);
std::string ToUtf8(const std::wstring& text);

// The system's message for a GetLastError or WSAGetLastError code, with the
// code, as "Access is denied. (error 5)".
std::string ErrorText(unsigned long code);

}  // namespace virk::platform
