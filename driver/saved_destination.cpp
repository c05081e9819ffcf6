// The saved destination.
//
// The value is keyed by the destination the script computes, not by the
// archive, so every self-extractor whose script names the same folder offers
// the folder that one of them was last installed to. Registry failures are
// never reported: the destination then simply stays as the script says.
#include "driver/saved_destination.h"

#include <windows.h>

#include "driver/sfx_state.h"
#include "support/chars.h"
#include "support/paths.h"
#include "support/strings.h"

static const char kSavedDestinationsKey[] = "Software\\Zimbro SFX";

// An elevated run keeps the value in the machine's hive: any program of the
// user may write the user's own, and an elevated run that took a folder
// from there would install into, and delete in, a folder of that
// program's choosing.
static HKEY SavedDestinationsRoot() { return sfx.elevated ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER; }

void RegistryValueName(const char* path, char* name) {
  copyTextCut(name, path, kPathSize);
  // By characters: the second byte of a double-byte character may look like
  // a backslash and must stay as it is.
  for (char* p = name; *p != '\0'; p = nextChar(p)) {
    if (*p == ':' || *p == '\\' || *p == '/') *p = '%';
  }
}

void SaveDestination(const char* folder) {
  if (!sfx.savePath || sfx.scriptPath[0] == '\0') return;
  char name[kPathSize];
  RegistryValueName(sfx.scriptPath, name);
  HKEY key;
  if (RegCreateKeyExA(SavedDestinationsRoot(), kSavedDestinationsKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return;
  }
  RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(folder),
                 static_cast<DWORD>(textLength(folder) + 1));
  RegCloseKey(key);
}

void LoadSavedDestination(char* path) {
  if (!sfx.savePath) return;
  char name[kPathSize];
  RegistryValueName(path, name);
  HKEY key;
  if (RegOpenKeyExA(SavedDestinationsRoot(), kSavedDestinationsKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
    return;
  }
  // One byte short of the buffer, so that a value stored without its
  // terminator still ends inside it.
  char saved[kPathSize];
  DWORD type = 0;
  DWORD size = sizeof(saved) - 1;
  if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(saved), &size) == ERROR_SUCCESS &&
      (type == REG_SZ || type == REG_EXPAND_SZ)) {
    saved[size] = '\0';
    copyText(path, saved);
  }
  RegCloseKey(key);
}
