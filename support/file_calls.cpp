// The engine's file calls. The engine was written against stream functions
// (open by mode, read and write by item size and count); these keep that
// shape over plain Win32 handles, so the stub needs no C runtime. No
// buffering: the engine reads and writes in large blocks of its own.
#include "support/file_calls.h"

#include "support/portable/heap.h"

FileBox* fileOpen(const char* name, const char* mode) {
  DWORD access;
  DWORD disposition;
  if (mode[0] == 'w') {
    access = GENERIC_WRITE;
    disposition = CREATE_ALWAYS;
  } else {
    access = GENERIC_READ;
    disposition = OPEN_EXISTING;
  }
  return fileFromHandle(CreateFileA(name, access, FILE_SHARE_READ, nullptr, disposition,
                                    FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

FileBox* fileFromHandle(HANDLE handle) {
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  FileBox* box = static_cast<FileBox*>(allocate(sizeof(FileBox)));
  if (box == nullptr) {
    CloseHandle(handle);
    return nullptr;
  }
  box->handle = handle;
  return box;
}

int fileClose(FileBox* box) {
  BOOL closed = CloseHandle(box->handle);
  release(box);
  return closed ? 0 : 1;
}

// The byte count of size * count items, or false when it does not fit the
// DWORD of one call: a truncated count would read or write less than asked
// while the caller believes otherwise (and on x86-64 the product itself can
// pass 4 GiB).
static bool byteCount(size_t size, size_t count, DWORD* bytes) {
  if (size == 0 || count > MAXDWORD / size) return false;
  *bytes = static_cast<DWORD>(size * count);
  return true;
}

size_t fileRead(void* buffer, size_t size, size_t count, FileBox* box) {
  DWORD bytes;
  if (!byteCount(size, count, &bytes)) return 0;
  DWORD done = 0;
  if (!ReadFile(box->handle, buffer, bytes, &done, nullptr)) return 0;
  return done / size;
}

size_t fileWrite(const void* buffer, size_t size, size_t count, FileBox* box) {
  DWORD bytes;
  if (!byteCount(size, count, &bytes)) return 0;
  DWORD done = 0;
  if (!WriteFile(box->handle, buffer, bytes, &done, nullptr)) return 0;
  return done / size;
}

// The file pointer call with its high part. INVALID_SET_FILE_POINTER is also
// the low part of a valid position beyond 4 GiB: only the error code tells.
static int64_t movePointer(FileBox* box, int64_t offset, DWORD method) {
  LONG high = static_cast<LONG>(offset >> 32);
  SetLastError(NO_ERROR);
  DWORD low = SetFilePointer(box->handle, static_cast<LONG>(offset), &high, method);
  if (low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) return -1;
  return (static_cast<int64_t>(high) << 32) | low;
}

int fileSeek(FileBox* box, int64_t offset, DWORD method) { return movePointer(box, offset, method) < 0 ? 1 : 0; }

int64_t fileTell(FileBox* box) { return movePointer(box, 0, FILE_CURRENT); }

int makeFolder(const char* name) { return CreateDirectoryA(name, nullptr) ? 0 : 1; }

int deleteFile(const char* name) { return DeleteFileA(name) ? 0 : -1; }
