// The one operating-system test. The answer decides between the wide and the
// ANSI file calls everywhere, so it is asked once and kept; the cache is
// three zero-initialised statics (no guard, no constructor, no data section).
#include "support/os_version.h"

#include <windows.h>

static bool queried;
static int32_t platformId;
static int32_t majorVersion;

int32_t NtMajorVersion() {
  if (!queried) {
    queried = true;
    OSVERSIONINFOA info;
    ZeroMemory(&info, sizeof(info));
    info.dwOSVersionInfoSize = sizeof(info);  // 148 bytes: the plain record
    GetVersionExA(&info);
    platformId = static_cast<int32_t>(info.dwPlatformId);
    majorVersion = static_cast<int32_t>(info.dwMajorVersion);
  }
  return platformId == VER_PLATFORM_WIN32_NT ? majorVersion : 0;
}
