// The temporary folder.
//
// The folder is made the moment its name is chosen, so that two installers
// started together can never both pick the same free name, and its full path
// is remembered. Removing it trusts nothing but that record: a run that made
// no folder (a declined license, Cancel, a destination it could not enter)
// removes nothing, even when its current folder is some other run's
// temporary folder, as for an installer started as another's Setup.
#include "driver/temp_folder.h"

#include <windows.h>

#include "driver/admin_only_folder.h"
#include "driver/sfx_state.h"
#include "support/paths.h"
#include "support/strings.h"
#include "support/tree_removal.h"

const char kTempFolderPrefix[] = "QelSFX";
static const int kPrefixLength = sizeof(kTempFolderPrefix) - 1;

// The folder the temporary folders are made in, with its backslash. An
// elevated run starts programs from its temporary folder: it takes the
// system's own, which only administrators may change, and never the
// user's, whose owner (any program of that user) could rename even a
// protected folder away and put another in its place.
static bool TempParent(char* temp) {
  if (sfx.elevated) return SystemTempFolder(temp);
  DWORD length = GetTempPathA(kPathSize, temp);
  if (length >= static_cast<DWORD>(kPathSize)) length = 0;
  temp[length] = '\0';
  if (length > 0 && !isSeparator(*lastCharOf(temp))) appendText(temp, "\\");
  return true;
}

bool MakeTempFolder(char* name) {
  char temp[kPathSize];
  if (!TempParent(temp)) return false;
  // Room for the prefix and any number.
  if (textLength(temp) + kPrefixLength + 11 >= static_cast<size_t>(kPathSize)) return false;
  for (int n = 0; n >= 0; ++n) {
    formatText(name, "%s%s%d", temp, kTempFolderPrefix, n);
    // Always a folder made now: a name that exists already (a folder, a
    // file or a link, perhaps planted there by another program) is never
    // taken over.
    const bool made = sfx.elevated ? MakeAdminOnlyFolder(name) : CreateDirectoryA(name, nullptr) != FALSE;
    if (made) {
      copyText(sfx.tempFolder, name);
      return true;
    }
    // Taken (by a file or a folder, perhaps made a moment ago by another
    // run): the next number. Anything else will not get better.
    if (GetLastError() != ERROR_ALREADY_EXISTS && GetFileAttributesA(name) == INVALID_FILE_ATTRIBUTES) return false;
  }
  return false;
}

void RemoveTempFolder() {
  if (sfx.tempFolder[0] == '\0') return;
  // A current folder cannot be removed; after an installation it is ours.
  char parent[kPathSize];
  copyText(parent, sfx.tempFolder);
  stripName(parent);
  SetCurrentDirectoryA(parent);
  removeTree(sfx.tempFolder, L"");
  sfx.tempFolder[0] = '\0';
}
