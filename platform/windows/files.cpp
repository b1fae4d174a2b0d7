// Who may read the files the programs write. Configurations hold passwords
// (scrambled, which is undone in one line) and the server's log lists user
// names, so a replaced file keeps the DACL it had, a new file holding secrets
// is owner-only, and neither is ever open to others for a moment.
#include "platform/platform.h"

#include <algorithm>

#include "platform/windows/file_security.h"
#include "platform/windows/wide_text.h"
#include "platform/windows/windows_api.h"

namespace virk::platform {
namespace {

// Up to about half a second for a reader to let go.
constexpr int kRenameAttempts = 20;
constexpr DWORD kRenamePauseMs = 25;

std::string Reason(const char* what, const std::string& path, DWORD error) {
  return std::string(what) + " " + path + ": " + ErrorText(error);
}

CreationSecurity ForNewFile(bool ownerOnly) {
  return ownerOnly || OwnerOnlyByDefault() ? CreationSecurity::OwnerOnly(false) : CreationSecurity::Inherited();
}

// The existing file's own when there is one: the rename would otherwise give
// the replacement whatever the temporary was created with.
CreationSecurity ForReplacement(const std::wstring& path, bool ownerOnly) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return ForNewFile(ownerOnly);
  return CreationSecurity::KeptFrom(path);
}

// ERROR_SUCCESS or the error of the failed write.
DWORD WriteAll(HANDLE file, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const DWORD chunk = DWORD(std::min<size_t>(bytes.size() - done, 1u << 30));
    DWORD written = 0;
    if (!WriteFile(file, bytes.data() + done, chunk, &written, nullptr)) return GetLastError();
    if (written == 0) return ERROR_WRITE_FAULT;
    done += written;
  }
  return ERROR_SUCCESS;
}

// Created exclusively (CREATE_NEW: a file or link already there is refused,
// not followed) with its final DACL from the start, then written; nothing is
// left on failure.
bool WriteExclusive(const std::string& path, const std::string& bytes, CreationSecurity security,
                    std::string& error) {
  if (security.Error() != ERROR_SUCCESS) {
    error = Reason("cannot make owner-only:", path, security.Error());
    return false;
  }
  const std::wstring wide = ToUtf16(path);
  const HANDLE file = CreateFileW(wide.c_str(), GENERIC_WRITE, 0, security.Attributes(), CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error = Reason("cannot create", path, GetLastError());
    return false;
  }
  const DWORD failure = WriteAll(file, bytes);
  bool done = failure == ERROR_SUCCESS;
  if (!done) error = Reason("cannot write", path, failure);
  if (!CloseHandle(file) && done) {
    error = Reason("cannot write", path, GetLastError());
    done = false;
  }
  if (!done) DeleteFileW(wide.c_str());
  return done;
}

// Windows refuses to rename over a file that someone has open (the
// configurator reading it, a virus scanner): such a refusal is retried for a
// while. ERROR_SUCCESS or the error of the last attempt.
DWORD RenameOver(const std::wstring& from, const std::wstring& to) {
  for (int attempt = 1;; ++attempt) {
    if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
      return ERROR_SUCCESS;
    const DWORD failure = GetLastError();
    if ((failure != ERROR_ACCESS_DENIED && failure != ERROR_SHARING_VIOLATION) || attempt == kRenameAttempts)
      return failure;
    Sleep(kRenamePauseMs);
  }
}

}  // namespace

bool ReplaceFile(const std::string& path, const std::string& bytes, bool ownerOnly, std::string& error) {
  const std::string temporary = path + ".tmp";
  const std::wstring widePath = ToUtf16(path);
  const std::wstring wideTemporary = ToUtf16(temporary);
  if (!DeleteFileW(wideTemporary.c_str())) {
    const DWORD failure = GetLastError();
    if (failure != ERROR_FILE_NOT_FOUND) {
      error = Reason("cannot remove the stale", temporary, failure);
      return false;
    }
  }
  if (!WriteExclusive(temporary, bytes, ForReplacement(widePath, ownerOnly), error)) return false;
  const DWORD failure = RenameOver(wideTemporary, widePath);
  if (failure == ERROR_SUCCESS) return true;
  error = Reason("cannot replace", path, failure);
  DeleteFileW(wideTemporary.c_str());
  return false;
}

bool WriteNewFile(const std::string& path, const std::string& bytes, bool ownerOnly, std::string& error) {
  return WriteExclusive(path, bytes, ForNewFile(ownerOnly), error);
}

bool RestrictFolderToOwner(const std::string& path, std::string& error) {
  // The folder first, passing owner-only on to what is created in it later
  // (the log appender's files): once it is closed no one can swap its entries.
  const std::wstring folder = ToUtf16(path);
  if (const DWORD failure = SetOwnerOnly(folder, true)) {
    error = Reason("cannot make owner-only:", path, failure);
    return false;
  }
  WIN32_FIND_DATAW entry{};
  const HANDLE listing = FindFirstFileW((folder + L"\\*").c_str(), &entry);
  if (listing == INVALID_HANDLE_VALUE) {
    error = Reason("cannot list", path, GetLastError());
    return false;
  }
  bool narrowed = true;
  do {
    // Regular files only: links and folders stay as they are.
    if (entry.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) continue;
    if (const DWORD failure = SetOwnerOnly(folder + L"\\" + entry.cFileName, false)) {
      error = Reason("cannot make owner-only:", path + "\\" + ToUtf8(entry.cFileName), failure);
      narrowed = false;
    }
  } while (FindNextFileW(listing, &entry));
  FindClose(listing);
  return narrowed;
}

void CreateOwnerOnlyFromNowOn() { SetOwnerOnlyByDefault(); }

}  // namespace virk::platform
