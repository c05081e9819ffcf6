// Which member names are refused.
//
// An archive is untrusted input, and its names decide where files are
// written. A name that could reach outside the destination folder is
// refused outright rather than repaired: an absolute path, a drive or any
// other colon, a ".." component, or a device name such as CON or LPT1,
// which would send the member's bytes to a device. Names the file system
// would quietly change are refused as well, since the file made would not
// be the one the archive names and could take the place of another: a
// component ending in a dot or a blank (both are dropped), a component of
// more than 255 characters, or a path longer than the platform takes. A
// name flagged as UTF-8 must be well-formed UTF-8.
//
// Both '/' (the archive's separator) and '\' count as separators when a name
// is checked, because the file system treats both as one.
#include <windows.h>

#include "support/chars.h"
#include "support/os_version.h"
#include "support/strings.h"
#include "support/utf8.h"
#include "zip/engine_internal.h"

// The longest component the file systems take, in UTF-16 units.
static const int32_t kLongestComponent = 255;
// A full path keeps below MAX_PATH with its terminator; the folders in it
// keep room for a file name of 8.3 characters, as CreateDirectory asks.
static const int32_t kLongestPath = MAX_PATH - 1;
static const int32_t kLongestFolderPath = MAX_PATH - 13;

static bool isNameSeparator(char c) { return c == '/' || c == '\\'; }

static char upperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

// Characters of length bytes of a name as the file system counts them
// (UTF-16 units); -1 when a UTF-8 name is not well-formed.
static int32_t unitsOf(EngineState* state, const char* text, int32_t length) {
  if (length == 0) return 0;
  if (state->nameIsUtf8) return utf8ToWide(text, length, nullptr, 0);
  if (NtMajorVersion() == 0) return length;  // the ANSI calls count bytes
  return MultiByteToWideChar(CP_ACP, 0, text, length, nullptr, 0);
}

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

// Superscript one to three count as digits of COM and LPT to the file
// system: one byte in the ANSI code page, two in UTF-8.
static bool isDeviceDigit(EngineState* state, const char* digit, int32_t length) {
  unsigned char first = static_cast<unsigned char>(digit[0]);
  if (length == 1) return (first >= '1' && first <= '9') || first == 0xB9 || first == 0xB2 || first == 0xB3;
  unsigned char second = static_cast<unsigned char>(digit[1]);
  return length == 2 && state->nameIsUtf8 && first == 0xC2 && (second == 0xB9 || second == 0xB2 || second == 0xB3);
}

// CON, PRN, AUX, NUL, COM1..9, LPT1..9, CONIN$, CONOUT$, with or without an
// extension and trailing blanks: opening such a name opens the device.
static bool isDeviceName(EngineState* state, const char* start, int32_t length) {
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
  if ((base == 4 || base == 5) && ((word[0] == 'C' && word[1] == 'O' && word[2] == 'M') ||
                                   (word[0] == 'L' && word[1] == 'P' && word[2] == 'T'))) {
    return isDeviceDigit(state, start + 3, base - 3);
  }
  return false;
}

static bool isComponentAcceptable(EngineState* state, const char* start, int32_t length) {
  if (isParentLike(start, length) || isDeviceName(state, start, length)) return false;
  // An empty component (a folder entry's end, "a//b") changes nothing.
  if (length == 0) return true;
  char last = start[length - 1];
  if (last == '.' || last == ' ') return false;
  int32_t units = unitsOf(state, start, length);
  return units >= 0 && units <= kLongestComponent;
}

// The length of the current folder, as the file calls count it.
static int32_t currentFolderUnits(EngineState* state) {
  if (state->nameIsUtf8 || NtMajorVersion() != 0) return static_cast<int32_t>(GetCurrentDirectoryW(0, nullptr));
  return static_cast<int32_t>(GetCurrentDirectoryA(0, nullptr));
}

// The next character of a name: UTF-8 sequences never hold an ASCII byte,
// so a UTF-8 name is walked by bytes; an ANSI name by the code page's
// characters, as "\" is a trail byte in code pages 932, 936 and 950 and must
// not split a component there.
static const char* nextOfName(EngineState* state, const char* p) { return state->nameIsUtf8 ? p + 1 : nextChar(p); }

bool isNameAcceptable(EngineState* state, const char* name) {
  if (isNameSeparator(name[0])) return false;  // "/x", "\x", "\\server\share"
  const char* start = name;
  const char* lastSeparator = nullptr;
  for (const char* p = name;; p = nextOfName(state, p)) {
    if (*p == ':') return false;  // a drive, or a stream of another file
    if (*p == '\0' || isNameSeparator(*p)) {
      if (!isComponentAcceptable(state, start, static_cast<int32_t>(p - start))) return false;
      if (*p == '\0') break;
      lastSeparator = p;
      start = p + 1;
    }
  }
  int32_t whole = unitsOf(state, name, static_cast<int32_t>(textLength(name)));
  if (whole < 0) return false;
  // The folder's length with its terminator, plus a separator, plus the name.
  int32_t folder = currentFolderUnits(state);
  if (folder + whole > kLongestPath) return false;
  if (lastSeparator != nullptr) {
    int32_t folders = unitsOf(state, name, static_cast<int32_t>(lastSeparator - name));
    if (folder + folders > kLongestFolderPath) return false;
  }
  return true;
}

bool isComponentPlainlyValid(const char* component) {
  // Letters, digits and the punctuation that even a short 8.3 name may
  // hold: every file system of the platform takes such a name, in any code
  // page (no byte here can be part of a double-byte character).
  if (component[0] == '\0') return false;
  for (const char* p = component; *p != '\0'; ++p) {
    const char c = *p;
    const bool letterOrDigit = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    if (!letterOrDigit && findChar("._-$%'@~`!(){}^#& ", c) == nullptr) return false;
  }
  return true;
}
