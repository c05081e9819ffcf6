// Folders that only the system account and the administrators may change,
// for the files of an elevated run.
#pragma once

#include <windows.h>

// A security descriptor that grants full control to the system account and
// the Administrators group and to nobody else, inherited by everything made
// inside, protected from the rules of the folder above, and owned by the
// Administrators group: an owner may always rewrite the rules, and the
// user's own SID would be the owner otherwise. The record points into
// itself: build it in place and do not copy it.
struct AdminOnlySecurity {
  SECURITY_ATTRIBUTES attributes;  // for CreateDirectory
  SECURITY_DESCRIPTOR descriptor;
  BYTE systemSid[SECURITY_MAX_SID_SIZE];
  BYTE administratorsSid[SECURITY_MAX_SID_SIZE];
  BYTE acl[sizeof(ACL) + 2 * (sizeof(ACCESS_ALLOWED_ACE) + SECURITY_MAX_SID_SIZE)];
};

bool BuildAdminOnlySecurity(AdminOnlySecurity* security);

// Makes the folder new with that security; false when the name is taken
// (by anything, a link included) or the folder cannot be made.
bool MakeAdminOnlyFolder(const char* path);

// The system's own temporary folder ("<Windows>\Temp\", with the backslash),
// which only administrators may change, into path (1024 bytes). The shared
// Windows folder of the machine, never a per-session one nor the value of
// an environment variable the caller could set.
bool SystemTempFolder(char* path);
