// A DLL that an attacker would plant beside an installer, copied there under
// the names of system DLLs. Whenever a process loads it, it leaves a marker
// beside itself, "<its own path>.loaded", so that a test sees which of its
// names the loader took from the installer's folder.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  char marker[MAX_PATH + 8];
  DWORD length = GetModuleFileNameA(self, marker, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return TRUE;
  lstrcpyA(marker + length, ".loaded");
  HANDLE file = CreateFileA(marker, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  return TRUE;
}
