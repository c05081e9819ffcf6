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

// The two forms of the Win32 search, so that one walk serves both.
namespace {
struct WideSearch {
  using Char = wchar_t;
  using Data = WIN32_FIND_DATAW;
  static HANDLE findFirst(const wchar_t* pattern, Data* data) { return FindFirstFileW(pattern, data); }
  static BOOL findNext(HANDLE handle, Data* data) { return FindNextFileW(handle, data); }
  static const wchar_t* namePart(const wchar_t* pattern) { return nameOfWide(pattern); }
};
struct AnsiSearch {
  using Char = char;
  using Data = WIN32_FIND_DATAA;
  static HANDLE findFirst(const char* pattern, Data* data) { return FindFirstFileA(pattern, data); }
  static BOOL findNext(HANDLE handle, Data* data) { return FindNextFileA(handle, data); }
  static const char* namePart(const char* pattern) { return nameOf(pattern); }
};
}  // namespace

// The next entry of the search by pattern, as the folder part of the pattern
// followed by the found name, into joined. False when the listing has ended;
// *fits is false when the name does not fit the buffer.
template <typename Search>
static bool findEntry(HANDLE* handle, bool first, const typename Search::Char* pattern,
                      typename Search::Char* joined, bool* fits) {
  typename Search::Data data;
  if (first) {
    *handle = Search::findFirst(pattern, &data);
    if (*handle == INVALID_HANDLE_VALUE) return false;
  } else if (*handle == INVALID_HANDLE_VALUE || !Search::findNext(*handle, &data)) {
    return false;
  }
  *fits = joinName(joined, pattern, Search::namePart(pattern), data.cFileName);
  return true;
}

bool DirectorySearch::next(FoundFile* found) {
  if (mask[0] == '\0' && wideMask[0] == 0) return false;
  for (;;) {
    bool fits = false;
    if (NtMajorVersion() != 0) {
      wchar_t converted[kPathSize];
      const wchar_t* pattern = wideMask;
      if (pattern[0] == 0) {
        if (!toWide(mask, converted, kPathSize)) return false;
        pattern = converted;
      }
      if (!findEntry<WideSearch>(&handle, first, pattern, found->wideName, &fits)) return false;
      fits = fits && toNarrow(found->wideName, found->name, kPathSize);
      if (fits && isPlainAscii(found->wideName)) found->wideName[0] = 0;
    } else {
      char converted[kPathSize];
      const char* pattern = mask;
      if (pattern[0] == '\0') {
        if (!toNarrow(wideMask, converted, kPathSize)) return false;
        pattern = converted;
      }
      if (!findEntry<AnsiSearch>(&handle, first, pattern, found->name, &fits)) return false;
      if (fits && (isPlainAscii(found->name) || !toWide(found->name, found->wideName, kPathSize))) {
        found->wideName[0] = 0;
      }
    }
    first = false;
    // A name too long for the buffers cannot be used by any caller: skip it.
    if (!fits) continue;
    const char* name = nameOf(found->name);
    if (sameText(name, ".") != 0 && sameText(name, "..") != 0) return true;
  }
}
