// Directory search of one folder.
//
// On an NT system the search runs on UTF-16 so that names the ANSI code page
// cannot express are still found, and each result carries its UTF-16 name
// for the wide file calls; on the 9x family it runs on ANSI. Either way the
// result names keep the folder part of the mask, so the caller can use them
// as paths at once. "." and ".." are never results: callers delete what they
// find.
#include "support/directory_search.h"

#include "support/chars.h"
#include "support/os_version.h"
#include "support/paths.h"
#include "support/strings.h"

DirectorySearch::DirectorySearch() {
  mask[0] = '\0';
  wideMask[0] = 0;
  first = true;
  handle = INVALID_HANDLE_VALUE;
  wideMaskFromMask = false;
}

DirectorySearch::~DirectorySearch() {
  if (handle != INVALID_HANDLE_VALUE) FindClose(handle);
}

void DirectorySearch::setMask(const char* newMask) {
  copyTextCut(mask, newMask, kPathSize);
  // A wide mask the caller set stays; one made from an earlier mask would
  // search the old folder, so it is made again.
  if (wideMask[0] == 0 || wideMaskFromMask) {
    if (!toWide(mask, wideMask, kPathSize)) wideMask[0] = 0;
    wideMaskFromMask = true;
  }
  // A new search starts with FindFirstFile; the previous one is finished.
  if (handle != INVALID_HANDLE_VALUE) FindClose(handle);
  handle = INVALID_HANDLE_VALUE;
  first = true;
}

// Puts the folder part of the pattern (everything in front of namePart) and
// the found name together; false when they do not fit the 1024-unit buffer.
template <typename Char>
static bool joinName(Char* destination, const Char* pattern, const Char* namePart,
                     const Char* found) {
  size_t n = 0;
  for (const Char* p = pattern; p < namePart; ++p) {
    if (n + 1 >= static_cast<size_t>(kPathSize)) return false;
    destination[n++] = *p;
  }
  for (const Char* p = found; *p != 0; ++p) {
    if (n + 1 >= static_cast<size_t>(kPathSize)) return false;
    destination[n++] = *p;
  }
  destination[n] = 0;
  return true;
}

bool DirectorySearch::next(FoundFile* found) {
  if (mask[0] == '\0' && wideMask[0] == 0) return false;
  for (;;) {
    bool fits;
    if (NtMajorVersion() != 0) {
      wchar_t converted[kPathSize];
      const wchar_t* pattern = wideMask;
      if (pattern[0] == 0) {
        if (!toWide(mask, converted, kPathSize)) return false;
        pattern = converted;
      }
      WIN32_FIND_DATAW data;
      if (first) {
        handle = FindFirstFileW(pattern, &data);
        if (handle == INVALID_HANDLE_VALUE) return false;
      } else if (handle == INVALID_HANDLE_VALUE || !FindNextFileW(handle, &data)) {
        return false;
      }
      fits = joinName(found->wideName, pattern, nameOfWide(pattern), data.cFileName) &&
             toNarrow(found->wideName, found->name, kPathSize);
      if (fits && isPlainAscii(found->wideName)) found->wideName[0] = 0;
    } else {
      char converted[kPathSize];
      const char* pattern = mask;
      if (pattern[0] == '\0') {
        if (!toNarrow(wideMask, converted, kPathSize)) return false;
        pattern = converted;
      }
      WIN32_FIND_DATAA data;
      if (first) {
        handle = FindFirstFileA(pattern, &data);
        if (handle == INVALID_HANDLE_VALUE) return false;
      } else if (handle == INVALID_HANDLE_VALUE || !FindNextFileA(handle, &data)) {
        return false;
      }
      fits = joinName(found->name, pattern, nameOf(pattern), data.cFileName);
      if (fits) {
        if (isPlainAscii(found->name) || !toWide(found->name, found->wideName, kPathSize)) {
          found->wideName[0] = 0;
        }
      }
    }
    first = false;
    // A name too long for the buffers cannot be used by any caller: skip it.
    if (!fits) continue;
    const char* name = nameOf(found->name);
    if (sameText(name, ".") != 0 && sameText(name, "..") != 0) return true;
  }
}
