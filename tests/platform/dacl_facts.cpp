#include "dacl_facts.h"

#include <vector>

#include "platform/windows/file_security.h"
#include "platform/windows/wide_text.h"
#include "platform/windows/windows_api.h"

#include <aclapi.h>

namespace virk::test {

std::string DaclFacts::Describe() const {
  if (error != 0) return "DACL not readable: " + platform::ErrorText(error);
  return std::string(present ? "" : "null DACL, ") + (isProtected ? "protected" : "inheriting") + ", " +
         std::to_string(allowedForUser) + " entries for the user, " + std::to_string(allowedForOthers) +
         " for others" + (userPassesOn ? ", passed on" : "");
}

DaclFacts DaclOf(void* descriptor) {
  DaclFacts facts;
  std::vector<BYTE> user;
  if ((facts.error = platform::CurrentUserSid(user)) != 0) return facts;
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  PACL acl = nullptr;
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  if (!GetSecurityDescriptorDacl(descriptor, &present, &acl, &defaulted) ||
      !GetSecurityDescriptorControl(descriptor, &control, &revision)) {
    facts.error = GetLastError();
    return facts;
  }
  facts.isProtected = (control & SE_DACL_PROTECTED) != 0;
  facts.present = present && acl != nullptr;
  for (DWORD index = 0; facts.present && index < acl->AceCount; ++index) {
    ACE_HEADER* header = nullptr;
    if (!GetAce(acl, index, reinterpret_cast<void**>(&header)) || header->AceType != ACCESS_ALLOWED_ACE_TYPE)
      continue;
    auto* allowed = reinterpret_cast<ACCESS_ALLOWED_ACE*>(header);
    if (EqualSid(&allowed->SidStart, user.data())) {
      ++facts.allowedForUser;
      facts.userPassesOn |= (header->AceFlags & (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE)) ==
                            (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
    } else {
      ++facts.allowedForOthers;
    }
  }
  return facts;
}

DaclFacts ReadDacl(const std::wstring& path) {
  DaclFacts facts;
  HANDLE file = CreateFileW(path.c_str(), READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    facts.error = GetLastError();
    return facts;
  }
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  facts.error =
      GetSecurityInfo(file, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr, nullptr, &descriptor);
  CloseHandle(file);
  if (facts.error != 0) return facts;
  facts = DaclOf(descriptor);
  LocalFree(descriptor);
  return facts;
}

}  // namespace virk::test
