// Folders: the user's profile, folder creation and the program's own folder.
// Everything goes through the wide calls: the narrow ones use the ANSI code
// page, which cannot hold every name of a profile or a folder.
#include "platform/platform.h"

#include "platform/windows/file_security.h"
#include "platform/windows/wide_text.h"
#include "platform/windows/windows_api.h"

namespace virk::platform {
namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool IsFolder(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Where the first folder that may be created starts: after "C:\", after
// "\\server\share\" and after the "\\?\" prefix.
size_t FirstCreatable(const std::wstring& path) {
  size_t at = 0;
  if (path.rfind(L"\\\\?\\", 0) == 0) at = 4;
  if (at == 0 && path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
    at = 2;
    for (int skipped = 0; skipped < 2 && at < path.size(); ++skipped) {
      while (at < path.size() && !IsSeparator(path[at])) ++at;
      while (at < path.size() && IsSeparator(path[at])) ++at;
    }
    return at;
  }
  if (path.size() >= at + 2 && path[at + 1] == L':') at += 2;
  while (at < path.size() && IsSeparator(path[at])) ++at;
  return at;
}

}  // namespace

std::optional<std::string> ProfileFolder() {
  // An empty variable counts as unset (it would mean "\Documents").
  for (const wchar_t* name : {L"USERPROFILE", L"HOME"}) {
    const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
    if (size <= 1) continue;
    std::wstring value(size, L'\0');
    value.resize(GetEnvironmentVariableW(name, value.data(), size));
    if (!value.empty()) return ToUtf8(value);
  }
  return std::nullopt;
}

bool MakeFolders(const std::string& path, std::string& error) {
  const std::wstring wide = ToUtf16(path);
  CreationSecurity security =
      OwnerOnlyByDefault() ? CreationSecurity::OwnerOnly(true) : CreationSecurity::Inherited();
  if (security.Error() != ERROR_SUCCESS) {
    error = ErrorText(security.Error());
    return false;
  }
  // Each prefix that ends before a separator, then the whole path.
  for (size_t end = FirstCreatable(wide); end <= wide.size(); ++end) {
    if (end < wide.size() && !IsSeparator(wide[end])) continue;
    const std::wstring folder = wide.substr(0, end);
    if (folder.empty() || IsSeparator(folder.back()) || IsFolder(folder)) continue;
    if (CreateDirectoryW(folder.c_str(), security.Attributes())) continue;
    const DWORD failure = GetLastError();
    // Made by someone else in the meantime, or a file in the way (told below).
    if (failure == ERROR_ALREADY_EXISTS) continue;
    error = ErrorText(failure);
    return false;
  }
  if (!IsFolder(wide)) {
    error = "not a folder";
    return false;
  }
  return true;
}

std::string ExecutableFolder() {
  std::wstring exe(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, exe.data(), DWORD(exe.size()));
    if (length == 0) return ".";
    if (length < exe.size()) {
      exe.resize(length);
      break;
    }
    exe.resize(exe.size() * 2);  // cut short: a long path
  }
  const size_t slash = exe.find_last_of(L"\\/");
  if (slash == std::wstring::npos) return ".";
  return ToUtf8(exe.substr(0, slash));
}

}  // namespace virk::platform
