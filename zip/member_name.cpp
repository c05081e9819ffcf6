// Member names: from the name in the local header to the path of the output
// file, relative to the current folder (the destination), and what to do
// when a file of that path exists already.
//
// An archive is untrusted input, and its names decide where files are
// written. A name that could reach outside the destination folder is
// refused outright rather than repaired: an absolute path, a drive or any
// other colon, a ".." component, or a device name such as CON or LPT1,
// which would send the member's bytes to a device. A name cut to fit the
// name buffer is refused too, since the cut name is not the file the archive
// meant. Each refusal is one counted error line naming the member. A new
// name the user types at the rename prompt is not checked: where the file
// goes is then the user's own decision.
//
// Both '/' (the archive's separator) and '\' count as separators when a name
// is checked, because the file system treats both as one.
#include <windows.h>

#include "driver/sfx_state.h"
#include "support/chars.h"
#include "support/paths.h"
#include "support/strings.h"
#include "ui/message_ids.h"
#include "zip/engine_internal.h"
#include "zip/engine_ui.h"

// ---------------------------------------------------------------------------
// Character set
// ---------------------------------------------------------------------------

void applyNameCharset(char* name) {
  int32_t host = engine.members[engine.currentMember].host;
  // MS-DOS and OS/2 packers, and one NTFS packer version, wrote OEM names.
  if (host == 0 || host == 6 || (host == 11 && engine.centralHeader.madeByVersion == 50)) {
    OemToCharA(name, name);
  }
}

// ---------------------------------------------------------------------------
// Safety of a name
// ---------------------------------------------------------------------------

static bool isNameSeparator(char c) { return c == '/' || c == '\\'; }

static char upperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

// A component made of dots and blanks with at least two dots: the file
// system drops trailing dots and blanks, so ". ." and "... " can mean "..".
static bool isParentLike(const char* start, int32_t length) {
  int32_t dots = 0;
  for (int32_t i = 0; i < length; ++i) {
    if (start[i] == '.') {
      dots += 1;
    } else if (start[i] != ' ') {
      return false;
    }
  }
  return dots >= 2;
}

// CON, PRN, AUX, NUL, COM1..9, LPT1..9, CONIN$, CONOUT$, with or without an
// extension and trailing blanks: opening such a name opens the device.
static bool isDeviceName(const char* start, int32_t length) {
  int32_t base = 0;
  while (base < length && start[base] != '.') ++base;
  while (base > 0 && start[base - 1] == ' ') --base;
  char word[8];
  if (base < 3 || base > 7) return false;
  for (int32_t i = 0; i < base; ++i) word[i] = upperAscii(start[i]);
  word[base] = '\0';
  static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  for (const char* device : kDevices) {
    const char* d = device;
    int32_t i = 0;
    while (i < base && d[i] != '\0' && d[i] == word[i]) ++i;
    if (i == base && d[i] == '\0') return true;
  }
  if (base == 4 && ((word[0] == 'C' && word[1] == 'O' && word[2] == 'M') ||
                    (word[0] == 'L' && word[1] == 'P' && word[2] == 'T'))) {
    unsigned char digit = static_cast<unsigned char>(word[3]);
    // Superscript one to three count as digits to the file system too.
    return (digit >= '1' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
  }
  return false;
}

static bool isSafeName(const char* name) {
  if (isNameSeparator(name[0])) return false;  // "/x", "\x", "\\server\share"
  // Walked by characters: a backslash is a trail byte in code pages 932, 936
  // and 950, and must not split a component there.
  const char* start = name;
  for (const char* p = name;; p = nextChar(p)) {
    if (*p == ':') return false;  // a drive, or a stream of another file
    if (*p == '\0' || isNameSeparator(*p)) {
      int32_t length = static_cast<int32_t>(p - start);
      if (isParentLike(start, length) || isDeviceName(start, length)) return false;
      if (*p == '\0') return true;
      start = p + 1;
    }
  }
}

// ---------------------------------------------------------------------------
// The destination of a member
// ---------------------------------------------------------------------------

// Asks about the existing file engine.name until the answer is one the
// engine can act on; on kAnswerRename engine.name holds the typed name.
static char askAboutExistingFile() {
  char scratch[kPathSize];
  for (;;) {
    copyTextCut(scratch, engine.name, sizeof(scratch));
    char decision = 0;
    const LocalHeader& local = engine.localHeader;
    engineUi.askOverwrite(&decision, scratch, engine.uncompressedSize,
                 (static_cast<uint32_t>(local.date) << 16) | local.time);
    if (decision != kAnswerRename) return decision;
    char* last = const_cast<char*>(lastCharOf(scratch));
    if (*last == '\n') *last = '\0';
    // An empty new name names no file: the same question again.
    if (scratch[0] == '\0') continue;
    copyTextCut(engine.name, scratch, kNameSize);
    return decision;
  }
}

int32_t DecideDestination() {
  if (engine.nameCut || !isSafeName(engine.name)) {
    engineError(kMsgHeaderCorrupt, engine.name);
    return kSkipMember;
  }
  bool newName = false;
  for (;;) {
    // Folder entries, volume labels and failures end here; their lines,
    // if any, are written.
    if (MapName(newName) >= 2) return kSkipMember;
    // A file name the platform refused leaves only the folder: opening it
    // fails with a line of its own, and there is no file to ask about.
    if (*lastCharOf(engine.name) == '/') return kExtractMember;
    if (GetFileAttributesA(engine.name) == INVALID_FILE_ATTRIBUTES) return kExtractMember;
    switch (askAboutExistingFile()) {
      case kAnswerReplace:
        return kExtractMember;
      case kAnswerSkip:
        return kSkipMember;
      case kAnswerCancel:
        return kCancelMember;
      case kAnswerRename:
        newName = true;
        break;
      default:
        // The prompt could not be shown: the file is not replaced unasked.
        SetExitCode(kExitCreateFailed);
        engineError(kMsgCannotCreate, engine.name);
        return kSkipMember;
    }
  }
}
