// The engine's file calls: Win32 handles used in the manner of stream
// functions (open by a mode string, read and write by item size and count).
// Offsets are signed 64-bit (the high part of the file-pointer call), so
// archives and output files may pass 4 GiB on both families; a read or write
// whose size * count exceeds 32 bits does nothing and gives 0.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <windows.h>

struct FileBox {
  HANDLE handle;
};

// "w..." creates or truncates for writing; "r" / "rb" opens an existing file
// for reading. Null on failure.
FileBox* fileOpen(const char* name, const char* mode);
// Wraps a handle some other open call made; closes it and gives null when no
// box can be allocated, and passes an invalid handle on as null.
FileBox* fileFromHandle(HANDLE handle);
int fileClose(FileBox* box);  // 0 when CloseHandle succeeded; the box is released
size_t fileRead(void* buffer, size_t size, size_t count, FileBox* box);
size_t fileWrite(const void* buffer, size_t size, size_t count, FileBox* box);
int fileSeek(FileBox* box, int64_t offset, DWORD method);  // 0 or 1 on failure
int64_t fileTell(FileBox* box);
int makeFolder(const char* name);  // 0 on success
int deleteFile(const char* name);  // 0 on success, -1 otherwise
