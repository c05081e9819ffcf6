// Path names and thin file-system calls by name.
//
// Names are ANSI strings walked by characters, because on a double-byte code
// page the second byte of a character can be '\' (Shift-JIS 0x5C) and must
// never be taken for a separator. Results of the name functions point into
// the caller's string, so taking a path apart costs no buffers.
//
// Several calls take a UTF-16 name besides the ANSI one: on an NT system the
// wide call keeps characters that the ANSI code page cannot express; on the
// 9x family the wide calls do not exist, and the ANSI name is used.
#include "support/paths.h"

#include <windows.h>

#include "support/chars.h"
#include "support/os_version.h"
#include "support/strings.h"

// The wide-or-ANSI rule of every call below.
static bool useWide(const wchar_t* wideName) {
  return wideName != nullptr && wideName[0] != 0 && NtMajorVersion() != 0;
}

// ---------------------------------------------------------------------------
// Taking names apart
// ---------------------------------------------------------------------------

const char* nameOf(const char* path) {
  const char* name = nullptr;
  for (const char* p = path; *p != '\0'; p = nextChar(p)) {
    if (isSeparator(*p)) name = p + 1;
  }
  if (name != nullptr) return name;
  // "C:file": the name follows the drive. A lead byte in front of ':' would
  // make the ':' a trail byte, not a drive separator.
  if (path[0] != '\0' && isDriveSeparator(path[1]) &&
      !doubleByte.lead[static_cast<unsigned char>(path[0])]) {
    return path + 2;
  }
  return path;
}

char* nameOf(char* path) { return const_cast<char*>(nameOf(const_cast<const char*>(path))); }

const wchar_t* nameOfWide(const wchar_t* path) {
  const wchar_t* name = nullptr;
  for (const wchar_t* p = path; *p != 0; ++p) {
    if (isSeparator(*p)) name = p + 1;
  }
  if (name != nullptr) return name;
  if (path[0] != 0 && isDriveSeparator(path[1])) return path + 2;
  return path;
}

wchar_t* nameOfWide(wchar_t* path) {
  return const_cast<wchar_t*>(nameOfWide(const_cast<const wchar_t*>(path)));
}

const char* lastCharOf(const char* path) {
  const char* last = path;
  for (const char* p = path; *p != '\0'; p = nextChar(p)) last = p;
  return last;
}

const char* extensionOf(const char* path) { return findLastCharDbcs(nameOf(path), '.'); }

char* extensionOf(char* path) {
  return const_cast<char*>(extensionOf(const_cast<const char*>(path)));
}

bool hasWildcards(const char* path, const wchar_t* widePath) {
  if (widePath != nullptr && widePath[0] != 0) return findAnyOfWide(widePath, L"*?") != nullptr;
  return path != nullptr &&
         (findCharDbcs(path, '*') != nullptr || findCharDbcs(path, '?') != nullptr);
}

void stripName(char* path) {
  size_t n = static_cast<size_t>(nameOf(path) - path);
  // The separator goes with the name, except the one of a drive root
  // ("C:\b" keeps "C:\"); "C:b" keeps "C:".
  if (n >= 2 && (!isDriveSeparator(path[1]) || n >= 4)) --n;
  path[n] = '\0';
}

char* toBackslashes(char* source, char* destination, int destinationSize) {
  if (destination == nullptr || destination == source) {
    for (char* p = source; *p != '\0'; p = nextChar(p)) {
      if (*p == '/') *p = '\\';
    }
    return source;
  }
  if (destinationSize <= 0) return destination;
  if (textLength(source) >= static_cast<size_t>(destinationSize)) {
    // Too long for the destination: an empty name rather than a cut one.
    destination[0] = '\0';
    return destination;
  }
  char* d = destination;
  for (const char* s = source; *s != '\0';) {
    const char* following = nextChar(s);
    for (; s < following; ++s) *d++ = (*s == '/') ? '\\' : *s;
  }
  *d = '\0';
  return destination;
}

bool isDriveLetter(const char* path) {
  if (path[0] == '\0') return false;
  unsigned char letter = upperOem(static_cast<unsigned char>(path[0]));
  return letter >= 'A' && letter <= 'Z' && isDriveSeparator(path[1]);
}

void pathRoot(const char* path, char* root) {
  root[0] = '\0';
  if (isDriveLetter(path)) {
    root[0] = path[0];  // as written, not upper-cased
    root[1] = ':';
    root[2] = '\\';
    root[3] = '\0';
    return;
  }
  if (path[0] != '\\' || path[1] != '\\') return;
  // "\\server\share\": the root of a network path.
  const char* serverEnd = findCharDbcs(path + 2, '\\');
  if (serverEnd == nullptr) return;
  const char* shareEnd = findCharDbcs(serverEnd + 1, '\\');
  size_t length = shareEnd != nullptr ? static_cast<size_t>(shareEnd - path) + 1 : textLength(path);
  if (length >= static_cast<size_t>(kPathSize)) length = kPathSize - 1;
  copyBytes(root, path, length);
  root[length] = '\0';
}

bool isPlainAscii(const char* name) {
  for (; *name != '\0'; ++name) {
    unsigned char c = static_cast<unsigned char>(*name);
    if (c < 32 || c > 127) return false;
  }
  return true;
}

bool isPlainAscii(const wchar_t* name) {
  for (; *name != 0; ++name) {
    if (*name < 32 || *name > 127) return false;
  }
  return true;
}

// ---------------------------------------------------------------------------
// File-system calls by name
// ---------------------------------------------------------------------------

uint32_t attributesOf(const char* name, const wchar_t* wideName) {
  return useWide(wideName) ? GetFileAttributesW(wideName) : GetFileAttributesA(name);
}

bool fileExists(const char* name, const wchar_t* wideName) {
  return attributesOf(name, wideName) != INVALID_FILE_ATTRIBUTES;
}

bool isLink(uint32_t attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool setAttributes(const char* name, const wchar_t* wideName, uint32_t attributes) {
  return (useWide(wideName) ? SetFileAttributesW(wideName, attributes)
                            : SetFileAttributesA(name, attributes)) != FALSE;
}

bool deleteByName(const char* name, const wchar_t* wideName) {
  return (useWide(wideName) ? DeleteFileW(wideName) : DeleteFileA(name)) != FALSE;
}

void fullPathName(const char* name, char* destination) {
  char full[kPathSize];
  char* namePart;
  DWORD length = GetFullPathNameA(name, kPathSize, full, &namePart);
  if (length != 0 && length < static_cast<DWORD>(kPathSize)) {
    copyText(destination, full);
  } else if (destination != name) {
    copyText(destination, name);
  }
}

// ---------------------------------------------------------------------------
// Folders
// ---------------------------------------------------------------------------

int makeDirectory(const char* name, const wchar_t* wideName, uint32_t attributes) {
  BOOL created = useWide(wideName) ? CreateDirectoryW(wideName, nullptr)
                                   : CreateDirectoryA(name, nullptr);
  if (created) {
    setAttributes(name, wideName, attributes);
    return 0;
  }
  DWORD error = GetLastError();
  return (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) ? 2 : 1;
}

// Every prefix in front of a backslash is tried as a folder, outermost first;
// folders that exist, a drive ("C:") and the empty prefix of a rooted path
// simply fail, which is why the results are not looked at.
void createPath(const char* path, const wchar_t* widePath, bool skipLastName) {
  char ansiPrefix[kPathSize];
  wchar_t widePrefix[kPathSize];
  const char* ansi = path != nullptr ? path : "";

  if (widePath != nullptr && widePath[0] != 0) {
    // The ANSI position follows the UTF-16 walk one character per unit, so
    // that the 9x family gets the same prefixes by their ANSI names.
    const char* a = ansi;
    for (int i = 0; i < kPathSize && widePath[i] != 0; ++i) {
      if (widePath[i] == L'\\') {
        copyWideN(widePrefix, widePath, i);
        widePrefix[i] = 0;
        size_t n = static_cast<size_t>(a - ansi);
        if (*a != '\0' && n < static_cast<size_t>(kPathSize)) {
          copyBytes(ansiPrefix, ansi, n);
          ansiPrefix[n] = '\0';
        } else if (!toNarrow(widePrefix, ansiPrefix, kPathSize)) {
          ansiPrefix[0] = '\0';
        }
        makeDirectory(ansiPrefix, widePrefix, 0);
      }
      if (*a != '\0') a = nextChar(a);
    }
  } else {
    for (const char* p = ansi; *p != '\0' && p - ansi < kPathSize; p = nextChar(p)) {
      if (*p != '\\') continue;
      size_t n = static_cast<size_t>(p - ansi);
      copyBytes(ansiPrefix, ansi, n);
      ansiPrefix[n] = '\0';
      makeDirectory(ansiPrefix, nullptr, 0);
    }
  }

  if (skipLastName) return;
  if (ansi[0] != '\0') {
    if (!isSeparator(*lastCharOf(ansi))) makeDirectory(ansi, widePath, 0);
    return;
  }
  // Only a UTF-16 path: its ANSI form, as for the prefixes above, serves the
  // 9x family.
  if (widePath == nullptr || widePath[0] == 0) return;
  if (isSeparator(widePath[wideLength(widePath) - 1])) return;
  if (!toNarrow(widePath, ansiPrefix, kPathSize)) ansiPrefix[0] = '\0';
  makeDirectory(ansiPrefix, widePath, 0);
}

bool staysInsideFolder(const char* path) {
  // A ':' is a drive (or a stream of another file); it is never the second
  // byte of a double-byte character.
  if (isSeparator(path[0]) || findChar(path, ':') != nullptr) return false;
  const char* component = path;
  for (const char* p = path;; p = nextChar(p)) {
    if (*p != '\0' && !isSeparator(*p)) continue;
    // Dots and trailing blanks only: the system drops the blanks as well.
    int dots = 0;
    bool onlyDots = true;
    for (const char* c = component; c < p; ++c) {
      if (*c == '.') {
        ++dots;
      } else if (*c != ' ') {
        onlyDots = false;
      }
    }
    if (onlyDots && dots >= 2) return false;
    if (*p == '\0') return true;
    component = p + 1;
  }
}
