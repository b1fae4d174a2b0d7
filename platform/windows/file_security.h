// Who may open the files and folders the programs create. Owner-only is a
// protected DACL (nothing inherited from the folder) that allows the current
// user alone; it is given at creation, so the object is never open to others
// for a moment, or set afterwards on an existing one.
#pragma once

#include <string>
#include <vector>

#include "platform/windows/windows_api.h"

namespace virk::platform {

// The SID of the user the process runs as, from its token. ERROR_SUCCESS or
// the error of the failed call.
DWORD CurrentUserSid(std::vector<BYTE>& sid);

// Set once by CreateOwnerOnlyFromNowOn: every file and folder the platform
// layer creates afterwards is owner-only whatever its caller asked.
bool OwnerOnlyByDefault();
void SetOwnerOnlyByDefault();

// What a new file or folder gets at CreateFileW or CreateDirectoryW.
class CreationSecurity {
 public:
  // What the folder passes on to its entries.
  static CreationSecurity Inherited() { return CreationSecurity(); }
  // The current user only; a folder's entry passes on to the folder's future
  // entries. Error() tells when it could not be built.
  static CreationSecurity OwnerOnly(bool passOnToEntries);
  // The DACL of the existing file when it was set explicitly (protected), so
  // a replacement stays as closed as the file it replaces; else inherited,
  // like that file.
  static CreationSecurity KeptFrom(const std::wstring& path);

  // For the lpSecurityAttributes argument: null for the inherited default.
  // Valid while this object lives.
  SECURITY_ATTRIBUTES* Attributes();
  DWORD Error() const { return m_Error; }

 private:
  std::vector<BYTE> m_Acl;  // empty: inherited
  DWORD m_Error = ERROR_SUCCESS;
  SECURITY_DESCRIPTOR m_Descriptor{};
  SECURITY_ATTRIBUTES m_Attributes{};
};

// Replaces the DACL of an existing file or folder by the owner-only one.
// ERROR_SUCCESS or the error of the failed call.
DWORD SetOwnerOnly(const std::wstring& path, bool passOnToEntries);

}  // namespace virk::platform
