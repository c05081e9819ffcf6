#include "driver/elevation.h"

#include <windows.h>

#include "support/os_version.h"

namespace {

bool TokenIsSystem(HANDLE token) {
  // The user's SID and its attributes: room for the longest SID there is.
  union {
    TOKEN_USER user;
    BYTE bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  } owner;
  DWORD size = 0;
  if (!GetTokenInformation(token, TokenUser, &owner, sizeof(owner), &size)) return false;
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  BYTE systemBytes[SECURITY_MAX_SID_SIZE];
  PSID system = systemBytes;
  if (!InitializeSid(system, &nt, 1)) return false;
  *GetSidSubAuthority(system, 0) = SECURITY_LOCAL_SYSTEM_RID;
  return EqualSid(owner.user.User.Sid, system) != FALSE;
}

}  // namespace

bool ProcessIsElevated() {
  // The 9x family has no tokens: its security calls are empty shells.
  if (NtMajorVersion() == 0) return false;
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  // Systems before version 6 do not know the question and refuse it.
  TOKEN_ELEVATION elevation = {0};
  DWORD size = 0;
  bool elevated = GetTokenInformation(token, TokenElevation, &elevation, sizeof(elevation), &size) &&
                  elevation.TokenIsElevated != 0;
  if (!elevated) elevated = TokenIsSystem(token);
  CloseHandle(token);
  return elevated;
}
