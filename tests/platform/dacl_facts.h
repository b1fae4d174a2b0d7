// What the DACL of a file or folder says, read back with GetSecurityInfo so
// that a check sees what the system keeps, not what the code meant to set.
#pragma once

#include <string>

namespace virk::test {

struct DaclFacts {
  unsigned long error = 0;      // of the failed read; 0 when read
  bool present = false;         // false: a null DACL, open to everyone
  bool isProtected = false;     // nothing inherited from the folder
  int allowedForUser = 0;       // allow entries for the current user
  int allowedForOthers = 0;     // allow entries for anyone else
  bool userPassesOn = false;    // the user's entry goes to new files and folders

  // The current user alone, and nothing from the folder.
  bool OwnerOnly() const { return error == 0 && present && isProtected && allowedForUser > 0 && allowedForOthers == 0; }
  std::string Describe() const;
};

DaclFacts ReadDacl(const std::wstring& path);
// Of a security descriptor in memory (one about to be given at creation).
DaclFacts DaclOf(void* descriptor);

}  // namespace virk::test
