// Name mapping: from a member name to the path of its output file, relative
// to the current folder (the destination), creating the folders on the way.
//
// The path is built twice, component by component. The first path takes
// every component; the second only those the platform accepts as names, and
// it is the one created and used. A member made on another system may carry
// characters in a component that this one refuses ("*", "?", "|"): such a
// component is left out, so the folders above it are still used, and a
// refused file name leaves the path ending in "/", which then fails to open
// with a line that names it. The names are never rewritten otherwise.
//
// In a name from the archive "/" is the only separator; a name typed at the
// rename prompt may use "\" as well and may begin at a root ("/" or a drive
// letter and ":"): that is the user's own choice of place. Names from the
// archive never get here with a root, a drive or a ".." component (see
// member_name.cpp).
#include <windows.h>

#include "support/chars.h"
#include "support/file_calls.h"
#include "support/portable/heap.h"
#include "support/paths.h"
#include "support/strings.h"
#include "ui/message_ids.h"
#include "zip/engine_internal.h"

// ---------------------------------------------------------------------------
// Validity of a name
// ---------------------------------------------------------------------------

bool IsNameValid(EngineState* state, const char* path) {
  // No access asked: this only learns whether the name could exist, with no
  // limit on the path's length, and a folder opens as well as a file.
  HANDLE handle = memberPathOpen(state, path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING,
                                 FILE_FLAG_BACKUP_SEMANTICS);
  if (handle != INVALID_HANDLE_VALUE) {
    CloseHandle(handle);
    return true;
  }
  DWORD error = GetLastError();
  return error != ERROR_INVALID_NAME && error != ERROR_FILENAME_EXCED_RANGE;
}

// ---------------------------------------------------------------------------
// The two paths
// ---------------------------------------------------------------------------

static void releasePaths(EngineState* state) {
  release(state->firstPath);
  release(state->secondPath);
  state->firstPath = nullptr;
  state->secondPath = nullptr;
}

// Appends text at *end of a path of the given capacity; false when it had
// to be cut.
static bool appendToPath(char* path, char** end, const char* text, int32_t capacity) {
  char* limit = path + capacity - 1;
  char* p = *end;
  while (*text != '\0' && p < limit) *p++ = *text++;
  *p = '\0';
  *end = p;
  return *text == '\0';
}

// The drive letter of a volume label: from a typed root prefix, else from
// the current folder; 0 when there is none.
static unsigned char labelLetter(EngineState* state, const char* prefix) {
  if (state->rootPrefix && prefix[0] != '\0' && prefix[1] == ':') {
    return lowerOem(static_cast<unsigned char>(prefix[0]));
  }
  char current[kPathSize];
  DWORD length = GetFullPathNameA(".", sizeof(current), current, nullptr);
  if (length == 0 || length >= sizeof(current)) return 0;
  return static_cast<unsigned char>(current[0]);
}

enum PathStart { kPathsReady, kPathsNoMemory, kPathsLabelSkipped };

// Allocates the two paths and starts them at the prefix; for a volume label,
// finds the drive it names.
static PathStart initPaths(EngineState* state, const char* prefix) {
  releasePaths(state);
  size_t size = static_cast<size_t>(state->nameLength) + 1;
  state->firstPath = static_cast<char*>(allocate(size));
  state->secondPath = static_cast<char*>(allocate(size));
  if (state->firstPath == nullptr || state->secondPath == nullptr) {
    releasePaths(state);
    return kPathsNoMemory;
  }
  state->firstPath[0] = '\0';
  state->firstEnd = state->firstPath;
  if (state->members[state->currentMember].volumeLabel) {
    // Only a drive named by a lower-case letter takes a label: a folder
    // reached by another kind of path (a share, "\\?\") has none to set.
    unsigned char letter = labelLetter(state, prefix);
    if (letter < 'a') {
      releasePaths(state);
      return kPathsLabelSkipped;
    }
    state->labelDrive = letter - 0x60;
  } else if (state->rootPrefix) {
    appendToPath(state->firstPath, &state->firstEnd, prefix, state->nameLength + 1);
  }
  state->secondPath[0] = '\0';
  state->secondEnd = state->secondPath;
  appendToPath(state->secondPath, &state->secondEnd, state->firstPath, state->nameLength + 1);
  return kPathsReady;
}

// The path so far, with the '/' that follows it, leads into the folder
// found or made for an earlier member: it exists, as this run has made
// nothing go since.
static bool insideKnownFolder(EngineState* state) {
  const size_t length = static_cast<size_t>(state->secondEnd - state->secondPath);
  if (length >= static_cast<size_t>(kNameSize)) return false;
  for (size_t i = 0; i < length; ++i) {
    if (state->knownFolder[i] != state->secondPath[i]) return false;
  }
  return state->knownFolder[length] == '/';
}

// Asking the platform about a name is a trip to the file system for every
// component of every member. The answer is known without it for a component
// of plain characters (name_rules.cpp) in a path that left nothing out so
// far, when the name came from the archive, whose names were checked for
// length: the platform takes every such path as it is.
static bool knownValid(EngineState* state, const char* component) {
  const bool nothingLeftOut = state->firstEnd - state->firstPath == state->secondEnd - state->secondPath;
  return !state->typedName && nothingLeftOut && isComponentPlainlyValid(component);
}

// Appends a folder component, making the folder when missing; false (with
// its line, the paths released) when it cannot be made or is no folder.
static bool appendFolder(EngineState* state, const char* component) {
  int32_t capacity = state->nameLength + 1;
  const bool valid = knownValid(state, component);
  appendToPath(state->firstPath, &state->firstEnd, component, capacity);
  if (valid || IsNameValid(state, state->firstPath)) {
    appendToPath(state->secondPath, &state->secondEnd, component, capacity);
  }
  // Archives keep a folder's members together: one check per folder, not
  // one per member, which counts for thousands of small files.
  const bool known = insideKnownFolder(state);
  bool failed = false;
  if (!known) {
    DWORD attributes = memberPathAttributes(state, state->secondPath);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
      failed = !memberPathMakeFolder(state, state->secondPath);
      if (!failed) state->folderCreated = true;
    } else {
      // A file stands in the way, or a link: what the member would reach
      // through it is somewhere outside the destination.
      failed = (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 || isLink(attributes);
    }
  }
  if (failed) {
    engineError(state, kMsgCannotCreateFolder, state->secondPath);
    releasePaths(state);
    return false;
  }
  appendToPath(state->firstPath, &state->firstEnd, "/", capacity);
  appendToPath(state->secondPath, &state->secondEnd, "/", capacity);
  if (!known) copyTextCut(state->knownFolder, state->secondPath, kNameSize);
  return true;
}

// Appends the file name component; false when the path had to be cut.
static bool appendFileName(EngineState* state, const char* component) {
  // A path keeps at most 259 characters, as the name it ends up in.
  int32_t capacity = state->nameLength + 1 < kNameSize ? state->nameLength + 1 : kNameSize;
  const bool valid = knownValid(state, component);
  bool whole = appendToPath(state->firstPath, &state->firstEnd, component, capacity);
  if (valid || state->members[state->currentMember].volumeLabel || IsNameValid(state, state->firstPath)) {
    whole = appendToPath(state->secondPath, &state->secondEnd, component, capacity) && whole;
  }
  return whole;
}

// The path built, into text (kNameSize bytes); the paths are released.
static void takePath(EngineState* state, char* text) {
  copyTextCut(text, state->secondPath, kNameSize);
  releasePaths(state);
}

void releaseMappingPaths(EngineState* state) { releasePaths(state); }

// ---------------------------------------------------------------------------
// Mapping
// ---------------------------------------------------------------------------

bool endsWithSlash(EngineState* state, const char* name) {
  // A UTF-8 name is not walked by the code page's double-byte rules; its
  // last byte is '/' only when its last character is.
  if (state->nameIsUtf8) {
    size_t length = textLength(name);
    return length > 0 && name[length - 1] == '/';
  }
  return *lastCharOf(name) == '/';
}

// The root a typed name starts at ("/", "D:" or "D:/"), copied into prefix;
// returns the rest of the name.
static char* splitRootPrefix(EngineState* state, char* name, char* prefix) {
  prefix[0] = '\0';
  if (name[0] == '/') {
    state->rootPrefix = true;
    copyText(prefix, "/");
    return name + 1;
  }
  bool letter = (name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z');
  if (letter && name[1] == ':') {
    state->rootPrefix = true;
    int32_t length = name[2] == '/' ? 3 : 2;
    copyTextN(prefix, name, length);
    prefix[length] = '\0';
    return name + length;
  }
  return name;
}

MapResult MapName(EngineState* state, bool newName) {
  char* name = state->name;
  state->folderCreated = false;
  state->rootPrefix = false;
  state->typedName = newName;
  state->nameLength = static_cast<int32_t>(textLength(name));

  char prefix[4];
  prefix[0] = '\0';
  char* rest = name;
  if (newName) {
    // Lead-byte aware: "\" can be the second byte of a double-byte character.
    for (char* p = name; *p != '\0'; p = nextChar(p)) {
      if (*p == '\\') *p = '/';
    }
    rest = splitRootPrefix(state, name, prefix);
  }
  switch (initPaths(state, prefix)) {
    case kPathsNoMemory:
      return kMapNoMemory;
    case kPathsLabelSkipped:
      return kMapLabelSkipped;
    case kPathsReady:
      break;
  }

  // "/" is never the second byte of a double-byte character.
  char component[kNameSize];
  int32_t length = 0;
  for (const char* p = rest; *p != '\0'; ++p) {
    if (*p == '/') {
      component[length] = '\0';
      length = 0;
      if (!appendFolder(state, component)) return kMapFailed;
    } else if (length < kNameSize - 1) {
      component[length++] = *p;
    }
  }
  component[length] = '\0';

  if (endsWithSlash(state, name)) {  // a folder entry: its folders are all it needs
    takePath(state, name);
    return state->folderCreated ? kMapFolderCreated : kMapNothingToExtract;
  }
  if (component[0] == '\0') {
    releasePaths(state);
    return kMapFailed;
  }
  const bool whole = appendFileName(state, component);
  takePath(state, name);
  if (!whole) return kMapNameCut;
  if (state->members[state->currentMember].volumeLabel) {
    char root[4] = {static_cast<char>(state->labelDrive + 0x60), ':', '\\', '\0'};
    return memberPathSetLabel(state, root, name) ? kMapNothingToExtract : kMapFailed;
  }
  return kMapExtract;
}
