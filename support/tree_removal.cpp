// Folder trees are walked by this code rather than handed to the shell's
// delete operation: the shell's handling of junctions and symbolic links
// inside a tree differs between systems, and a link planted in a folder
// being removed must not turn the removal into a deletion elsewhere.
//
// Each level of the walk keeps its search and its names on the heap, so
// that a tree as deep as a path allows (some 500 levels) does not exhaust
// the stack.
#include "support/tree_removal.h"

#include <windows.h>

#include <new>

#include "support/directory_search.h"
#include "support/portable/heap.h"
#include "support/os_version.h"
#include "support/paths.h"
#include "support/strings.h"

namespace {

struct TreeLevel {
  DirectorySearch search;
  FoundFile found;
};

bool removeFolderByName(const char* name, const wchar_t* wideName) {
  if (wideName[0] != 0 && NtMajorVersion() != 0) return RemoveDirectoryW(wideName) != FALSE;
  return RemoveDirectoryA(name) != FALSE;
}

// The mask "<folder>\*" in both forms; false when it does not fit.
bool searchInside(DirectorySearch* search, const char* folder, const wchar_t* wideFolder) {
  char mask[kPathSize];
  if (textLength(folder) + 2 >= static_cast<size_t>(kPathSize)) return false;
  copyText(mask, folder);
  appendText(mask, "\\*");
  search->wideMask[0] = 0;
  if (wideFolder[0] != 0) {
    const size_t length = wideLength(wideFolder);
    if (length + 2 >= static_cast<size_t>(kPathSize)) return false;
    copyWide(copyWide(search->wideMask, wideFolder) + length, L"\\*");
  }
  search->wideMaskFromMask = false;
  search->setMask(mask);
  return true;
}

}  // namespace

bool removeTree(const char* path, const wchar_t* widePath) {
  const uint32_t attributes = attributesOf(path, widePath);
  if (attributes == INVALID_FILE_ATTRIBUTES) return true;
  const bool folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  if (isLink(attributes)) {
    // The link goes, its target stays. Its attributes are not touched:
    // setting them would reach through to the target.
    return folder ? removeFolderByName(path, widePath) : deleteByName(path, widePath);
  }
  // Read-only entries refuse deletion on the 9x family and on NT alike.
  if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) setAttributes(path, widePath, attributes & ~FILE_ATTRIBUTE_READONLY);
  if (!folder) return deleteByName(path, widePath);

  void* block = allocate(sizeof(TreeLevel));
  if (block == nullptr) return false;
  TreeLevel* level = new (block) TreeLevel;
  bool emptied = searchInside(&level->search, path, widePath);
  if (emptied) {
    while (level->search.next(&level->found)) {
      // A failure inside leaves this folder standing, but the rest still goes.
      if (!removeTree(level->found.name, level->found.wideName)) emptied = false;
    }
  }
  level->~TreeLevel();
  release(block);
  return emptied && removeFolderByName(path, widePath);
}
