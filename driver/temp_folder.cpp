// The temporary folder.
//
// The folder is named here when the dialog opens but created only by the
// installation; removing it trusts nothing but the current folder's name,
// so that a run whose current folder is anything else never deletes it.
#include "driver/temp_folder.h"

#include <windows.h>

#include "driver/sfx_state.h"
#include "driver/shell_services.h"
#include "support/paths.h"
#include "support/strings.h"

const char kTempFolderPrefix[] = "QelSFX";
static const int kPrefixLength = sizeof(kTempFolderPrefix) - 1;

bool NextTempFolderName(char* name) {
  char temp[kPathSize];
  DWORD length = GetTempPathA(kPathSize, temp);
  if (length >= static_cast<DWORD>(kPathSize)) length = 0;
  temp[length] = '\0';
  if (length > 0 && !isSeparator(*lastCharOf(temp))) appendText(temp, "\\");
  // Room for the prefix and any number.
  if (textLength(temp) + kPrefixLength + 11 >= static_cast<size_t>(kPathSize)) return false;
  for (int n = 0;; ++n) {
    formatText(name, "%s%s%d", temp, kTempFolderPrefix, n);
    if (GetFileAttributesA(name) == INVALID_FILE_ATTRIBUTES) return true;
  }
}

void RemoveTempFolder() {
  char folder[kPathSize];
  DWORD length = GetCurrentDirectoryA(kPathSize, folder);
  if (length == 0 || length >= static_cast<DWORD>(kPathSize)) return;
  if (sfx.tempDeclined) return;
  const char* name = nameOf(folder);
  if (textLength(name) < static_cast<size_t>(kPrefixLength) ||
      compareNoCaseN(name, kTempFolderPrefix, kPrefixLength) != 0) {
    return;
  }
  SetCurrentDirectoryA("..");
  ShellDeleteTree(folder);
}
