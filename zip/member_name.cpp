// Member names: from the name in the local header to the path of the output
// file, relative to the current folder (the destination).
//
// An archive is untrusted input, and its names decide where files are
// written. A name that could reach outside the destination folder is
// refused outright rather than repaired: an absolute path, a drive or any
// other colon, a ".." component, or a device name such as CON or LPT1,
// which would send the member's bytes to a device. A name cut to fit the
// name buffer is refused too, since the cut name is not the file the archive
// meant. Each refusal is one counted error line naming the member.
//
// Both '/' (the archive's separator) and '\' count as separators when a name
// is checked, because the file system treats both as one.
#include <windows.h>

#include "support/chars.h"
#include "support/file_calls.h"
#include "ui/message_ids.h"
#include "zip/engine_internal.h"

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
  // Bytes are enough here: neither separator, colon nor dot is ever the
  // second byte of a double-byte character, so no component is missed; at
  // worst a harmless name is refused.
  const char* start = name;
  for (const char* p = name;; ++p) {
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
// Mapping
// ---------------------------------------------------------------------------

// Creates every folder in front of a '\' of the path; false (with the error
// line) when one cannot be created or a file stands in its place.
static bool createFolders(char* path) {
  for (char* p = path; *p != '\0'; p = nextChar(p)) {
    if (*p != '\\') continue;
    *p = '\0';
    bool ok = true;
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
      ok = makeFolder(path) == 0;
    } else {
      ok = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    }
    if (!ok) engineError(kMsgCannotCreateFolder, path);
    *p = '\\';
    if (!ok) return false;
  }
  return true;
}

int32_t MapMemberName() {
  char* name = engine.name;
  if (engine.nameCut || !isSafeName(name)) {
    engineError(kMsgHeaderCorrupt, name);
    return kSkipMember;
  }
  // Setting a volume label would change the disk, not the destination.
  if (engine.members[engine.currentMember].volumeLabel) return kSkipMember;
  if (name[0] == '\0') return kSkipMember;

  // '/' is never the second byte of a double-byte character.
  for (char* p = name; *p != '\0'; ++p) {
    if (*p == '/') *p = '\\';
  }
  if (!createFolders(name)) return kSkipMember;
  // A folder entry is done once its folders exist.
  const char* last = name;
  for (const char* p = name; *p != '\0'; p = nextChar(p)) last = p;
  if (*last == '\\') return kSkipMember;
  return kExtractMember;
}
