// Lists the entries of one folder that match a wildcard mask, never "." or "..".
#pragma once

#include <windows.h>

struct FoundFile {
  char name[1024];      // the folder part of the mask followed by the found name
  wchar_t wideName[1024];  // the same in UTF-16; empty when the name is plain ASCII
};

class DirectorySearch {
 public:
  DirectorySearch();
  ~DirectorySearch();
  void setMask(const char* mask);
  bool next(FoundFile* found);

  char mask[1024];
  wchar_t wideMask[1024];
  bool first;
  HANDLE handle;
  bool wideMaskFromMask;  // the wide mask is setMask's conversion, not the caller's own
};
