#include "driver/admin_only_folder.h"

#include "support/paths.h"
#include "support/strings.h"

namespace {

bool MakeSid(BYTE* buffer, BYTE subAuthorities, DWORD first, DWORD second) {
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  if (!InitializeSid(buffer, &nt, subAuthorities)) return false;
  *GetSidSubAuthority(buffer, 0) = first;
  if (subAuthorities > 1) *GetSidSubAuthority(buffer, 1) = second;
  return true;
}

// Full control, passed on to the files and folders made inside. The flags
// are set on the entries afterwards because the call that takes them with
// the entry is missing from the oldest NT versions.
bool AllowFullControl(ACL* acl, PSID sid) {
  if (!AddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, sid)) return false;
  void* entry = nullptr;
  if (!GetAce(acl, acl->AceCount - 1, &entry)) return false;
  static_cast<ACE_HEADER*>(entry)->AceFlags = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
  return true;
}

}  // namespace

bool BuildAdminOnlySecurity(AdminOnlySecurity* security) {
  ACL* acl = reinterpret_cast<ACL*>(security->acl);
  if (!MakeSid(security->systemSid, 1, SECURITY_LOCAL_SYSTEM_RID, 0) ||
      !MakeSid(security->administratorsSid, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS) ||
      !InitializeAcl(acl, sizeof(security->acl), ACL_REVISION) || !AllowFullControl(acl, security->systemSid) ||
      !AllowFullControl(acl, security->administratorsSid) ||
      !InitializeSecurityDescriptor(&security->descriptor, SECURITY_DESCRIPTOR_REVISION) ||
      !SetSecurityDescriptorDacl(&security->descriptor, TRUE, acl, FALSE) ||
      !SetSecurityDescriptorOwner(&security->descriptor, security->administratorsSid, FALSE)) {
    return false;
  }
  // Protected: the rules of the folder above (a temporary folder where
  // users may create files) are not inherited. The bit is set in place
  // because the call that sets it is missing from NT 4.
  security->descriptor.Control |= SE_DACL_PROTECTED;
  security->attributes.nLength = sizeof(security->attributes);
  security->attributes.lpSecurityDescriptor = &security->descriptor;
  security->attributes.bInheritHandle = FALSE;
  return true;
}

bool MakeAdminOnlyFolder(const char* path) {
  AdminOnlySecurity security;
  if (!BuildAdminOnlySecurity(&security)) return false;
  if (CreateDirectoryA(path, &security.attributes)) return true;
  if (GetLastError() != ERROR_INVALID_OWNER) return false;
  // A token that may not name the Administrators group as owner leaves its
  // own default owner, which for an elevated token is that group already.
  SetSecurityDescriptorOwner(&security.descriptor, nullptr, FALSE);
  return CreateDirectoryA(path, &security.attributes) != FALSE;
}

bool SystemTempFolder(char* path) {
  // Missing before NT 4's Terminal Server edition; there the Windows folder
  // is the machine's in any case.
  typedef UINT(WINAPI * SystemWindowsFolderFunction)(char*, UINT);
  SystemWindowsFolderFunction systemWindowsFolder = reinterpret_cast<SystemWindowsFolderFunction>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetSystemWindowsDirectoryA"));
  const UINT length = systemWindowsFolder != nullptr ? systemWindowsFolder(path, kPathSize)
                                                     : GetWindowsDirectoryA(path, kPathSize);
  if (length == 0 || length + sizeof("\\Temp\\") >= static_cast<UINT>(kPathSize)) return false;
  if (!isSeparator(*lastCharOf(path))) appendText(path, "\\");
  appendText(path, "Temp\\");
  return true;
}
