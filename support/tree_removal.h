// Removing a folder with everything in it, without ever following a link.
#pragma once

#include <wchar.h>

// Deletes path (a file, a folder with all its contents, or a link) and
// returns whether nothing of it is left. A junction or symbolic link found
// on the way is removed itself, never what it leads to: a tree being
// removed may hold a link that anyone who could write in it planted. What
// cannot be deleted (a file in use) stays, and so do the folders above it.
// widePath is the UTF-16 form of path, or empty when path is plain ASCII.
bool removeTree(const char* path, const wchar_t* widePath);
