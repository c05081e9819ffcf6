// The Delete command.
//
// It runs just before extraction, in the destination folder, and removes what
// an earlier installation left there: files, read-only ones included, and
// whole folders. What cannot be deleted because it is in use is moved out of
// the way under a new name and left to the system to delete at the next
// restart, so that the extraction can still write the name. A wildcard that
// reaches folders in a drive root stops the command: that is never what an
// installation means. Nor is a value that leads out of the destination.
#include "driver/script_commands.h"

#include <windows.h>

#include "support/directory_search.h"
#include "support/os_version.h"
#include "support/paths.h"
#include "support/chars.h"
#include "support/strings.h"
#include "support/tree_removal.h"
#include "ui/info_window.h"
#include "ui/message_ids.h"
#include "ui/messages.h"

// The current folder is a drive root, or a share's root.
static bool IsRootFolder(const char* folder) {
  char root[kPathSize + 1];
  pathRoot(folder, root);
  if (root[0] != '\0' && *lastCharOf(root) != '\\') appendText(root, "\\");
  return textLength(folder) < 4 || textLength(root) >= textLength(folder);
}

// Moves an entry that could not be deleted to "<name>.<n>.tmp", the first
// free n, and has the system delete it at the next restart.
static void MoveAside(const char* path) {
  char aside[kPathSize + 16];
  for (int n = 0;; ++n) {
    formatText(aside, "%s.%d.tmp", path, n);
    if (!fileExists(aside, nullptr)) break;
  }
  if (MoveFileA(path, aside) && NtMajorVersion() != 0) {
    MoveFileExA(aside, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  }
}

// A folder of the value's path ("sub\*.old") is a junction or a symbolic
// link in the destination: the matches would be somewhere else.
static bool PassesThroughLink(const char* value) {
  char prefix[kPathSize];
  copyTextCut(prefix, value, sizeof(prefix));
  for (char* p = prefix; *p != '\0'; p = nextChar(p)) {
    if (!isSeparator(*p)) continue;
    const char separator = *p;
    *p = '\0';
    const bool link = prefix[0] != '\0' && isLink(attributesOf(prefix, L""));
    *p = separator;
    if (link) return true;
  }
  return false;
}

void DeleteMatching(const char* value) {
  // A value that leaves the destination ("..\*", "\Windows", "C:x") would
  // delete what is not the installation's, and so would one that leads
  // through a link inside it: refused and reported, however the installer
  // was made.
  if (!staysInsideFolder(value) || PassesThroughLink(value)) {
    ErrorPrint(MessageText(kMsgCannotOpen), value);
    return;
  }
  char folder[kPathSize];
  DWORD length = GetCurrentDirectoryA(kPathSize, folder);
  if (length == 0 || length >= static_cast<DWORD>(kPathSize)) return;
  // The mask must fit whole: a cut mask would match other names.
  const bool separator = *lastCharOf(folder) == '\\';
  if (length + !separator + textLength(value) >= static_cast<size_t>(kPathSize)) return;
  char mask[kPathSize];
  copyText(mask, folder);
  if (!separator) appendText(mask, "\\");
  appendText(mask, value);

  DirectorySearch search;
  search.setMask(mask);
  FoundFile found;
  while (search.next(&found)) {
    const char* path = found.name;
    const wchar_t* widePath = found.wideName;  // empty for plain ASCII names
    const uint32_t attributes = attributesOf(path, widePath);
    const bool link = isLink(attributes);
    // A link's attributes are its target's to the call that sets them.
    if (!link) setAttributes(path, widePath, 0);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
        NtMajorVersion() != 4) {
      if (IsRootFolder(folder) && hasWildcards(value, nullptr)) return;
      // A link found here goes itself, never what it leads to, and so does
      // every link inside a folder that goes.
      removeTree(path, widePath);
    }
    if (!fileExists(path, widePath)) continue;
    if (deleteByName(path, widePath)) continue;
    // A link that does not go stays where it is: some systems move what a
    // link leads to rather than the link.
    if (!link) MoveAside(path);
  }
}
