#include "platform/windows/file_security.h"

#include <aclapi.h>

#include <atomic>

namespace virk::platform {
namespace {

std::atomic<bool> g_ownerOnlyByDefault{false};

DWORD BuildOwnerOnlyAcl(bool passOnToEntries, std::vector<BYTE>& acl) {
  std::vector<BYTE> sid;
  if (const DWORD error = CurrentUserSid(sid)) return error;
  acl.assign(sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + GetLengthSid(sid.data()), 0);
  auto* list = reinterpret_cast<ACL*>(acl.data());
  const DWORD inheritance = passOnToEntries ? (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE) : 0;
  if (!InitializeAcl(list, DWORD(acl.size()), ACL_REVISION) ||
      !AddAccessAllowedAceEx(list, ACL_REVISION, inheritance, FILE_ALL_ACCESS, sid.data())) {
    const DWORD error = GetLastError();
    acl.clear();
    return error;
  }
  return ERROR_SUCCESS;
}

}  // namespace

DWORD CurrentUserSid(std::vector<BYTE>& sid) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return GetLastError();
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::vector<BYTE> user(size);
  DWORD error = ERROR_SUCCESS;
  if (size == 0 || !GetTokenInformation(token, TokenUser, user.data(), size, &size)) {
    error = GetLastError();
  } else {
    const PSID userSid = reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid;
    const auto* bytes = static_cast<const BYTE*>(userSid);
    sid.assign(bytes, bytes + GetLengthSid(userSid));
  }
  CloseHandle(token);
  return error;
}

bool OwnerOnlyByDefault() { return g_ownerOnlyByDefault.load(); }

void SetOwnerOnlyByDefault() { g_ownerOnlyByDefault = true; }

CreationSecurity CreationSecurity::OwnerOnly(bool passOnToEntries) {
  CreationSecurity security;
  security.m_Error = BuildOwnerOnlyAcl(passOnToEntries, security.m_Acl);
  return security;
}

CreationSecurity CreationSecurity::KeptFrom(const std::wstring& path) {
  CreationSecurity security;
  PACL acl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &acl,
                            nullptr, &descriptor) != ERROR_SUCCESS)
    return security;
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  if (acl != nullptr && GetSecurityDescriptorControl(descriptor, &control, &revision) &&
      (control & SE_DACL_PROTECTED)) {
    const auto* bytes = reinterpret_cast<const BYTE*>(acl);
    security.m_Acl.assign(bytes, bytes + acl->AclSize);
  }
  LocalFree(descriptor);
  return security;
}

SECURITY_ATTRIBUTES* CreationSecurity::Attributes() {
  if (m_Acl.empty()) return nullptr;
  // Built here, not kept, so that a copied object points at its own list.
  InitializeSecurityDescriptor(&m_Descriptor, SECURITY_DESCRIPTOR_REVISION);
  SetSecurityDescriptorDacl(&m_Descriptor, TRUE, reinterpret_cast<ACL*>(m_Acl.data()), FALSE);
  SetSecurityDescriptorControl(&m_Descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
  m_Attributes = {sizeof m_Attributes, &m_Descriptor, FALSE};
  return &m_Attributes;
}

DWORD SetOwnerOnly(const std::wstring& path, bool passOnToEntries) {
  std::vector<BYTE> acl;
  if (const DWORD error = BuildOwnerOnlyAcl(passOnToEntries, acl)) return error;
  return SetNamedSecurityInfoW(const_cast<wchar_t*>(path.c_str()), SE_FILE_OBJECT,
                               DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr, nullptr,
                               reinterpret_cast<ACL*>(acl.data()), nullptr);
}

}  // namespace virk::platform
