// FileObject and the fatal exit.
//
// Reading the program's own file has no sensible recovery: when a read, seek
// or close fails the run stops with exit code 2. To make that safe the
// library keeps every open object in a fixed list, so the fatal exit can
// close them all before the process ends. The list is a zero-initialised
// array of pointers (no constructor runs before the entry point); an object
// that finds no free slot still works, it is only not closed by `closeAll`.
// The list is process-wide on purpose: a fatal end closes every open file,
// whoever owns it.
#include "support/file_object.h"

#include "support/chars.h"
#include "support/portable/heap.h"
#include "support/os_version.h"
#include "support/paths.h"
#include "support/strings.h"

static FileObject* openFiles[kOpenFileSlots];
static int closeAllDepth;  // non-zero while closeAll runs

// Larger reads from a pipe or a character device may fail where a smaller
// one succeeds; the failed read is retried once with this size.
static const int32_t kDeviceReadLimit = 20000;

// ---------------------------------------------------------------------------
// The open-file list
// ---------------------------------------------------------------------------

static void registerOpenFile(FileObject* file) {
  for (int i = 0; i < kOpenFileSlots; ++i) {
    if (openFiles[i] == nullptr) {
      openFiles[i] = file;
      return;
    }
  }
}

static void unregisterOpenFile(FileObject* file) {
  for (int i = 0; i < kOpenFileSlots; ++i) {
    if (openFiles[i] == file) {
      openFiles[i] = nullptr;
      return;
    }
  }
}

bool closeAll() {
  ++closeAllDepth;
  bool allClosed = true;
  for (int i = 0; i < kOpenFileSlots; ++i) {
    FileObject* file = openFiles[i];
    if (file == nullptr) continue;
    // Failures here must not start a second fatal exit.
    file->reportErrors = false;
    if (!file->close()) allClosed = false;
    // The object is closed either way (its handle is gone); keeping it listed
    // would leave a pointer to an object its owner may free.
    openFiles[i] = nullptr;
  }
  --closeAllDepth;
  return allClosed;
}

void fatalExit(const FatalHooks* hooks, int code) {
  if (hooks != nullptr && hooks->recordExitCode != nullptr) hooks->recordExitCode(code);
  closeAll();
  if (hooks != nullptr && hooks->waitForStop != nullptr) hooks->waitForStop();
  // The given code, not the record's: the record may hold a code that the
  // update rule lets win over 2, but the process ends as a fatal error.
  exitProcess(static_cast<unsigned>(code));
}

// Writes the error line and ends the process.
static void reportFatal(const FatalHooks* hooks, FileFailure failure, const char* fileName) {
  if (hooks != nullptr && hooks->reportFailure != nullptr) hooks->reportFailure(failure, fileName);
  fatalExit(hooks, kFatalExitCode);
}

// ---------------------------------------------------------------------------
// Opening and closing
// ---------------------------------------------------------------------------

FileObject::FileObject() {
  handle = INVALID_HANDLE_VALUE;
  shareWrite = false;
  noSequentialHint = false;
  deleteAllowed = true;
  reportErrors = true;
  narrowName[0] = '\0';
  wideName[0] = 0;
  lastError = kFileErrorNone;
  closeCount = 0;
  fatalHooks = nullptr;
}

FileObject::~FileObject() {
  if (handle != INVALID_HANDLE_VALUE) close();
}

bool FileObject::open(const char* narrow, const wchar_t* wide, bool writeAccess,
                      bool shareWriteArgument) {
  lastError = kFileErrorNone;
  // Opening over an open file would lose its handle and list it twice.
  if (handle != INVALID_HANDLE_VALUE) close();

  DWORD access = GENERIC_READ | (writeAccess ? GENERIC_WRITE : 0);
  DWORD share = FILE_SHARE_READ | ((shareWrite || shareWriteArgument) ? FILE_SHARE_WRITE : 0);
  DWORD flags = noSequentialHint ? 0 : FILE_FLAG_SEQUENTIAL_SCAN;
  bool haveWide = wide != nullptr && wide[0] != 0;

  // The ANSI name: given, or made from the UTF-16 one (the 9x family can
  // open by nothing else).
  char converted[kPathSize];
  const char* narrowToUse = narrow;
  if (narrowToUse == nullptr) {
    converted[0] = '\0';
    if (wide != nullptr && !toNarrow(wide, converted, kPathSize)) converted[0] = '\0';
    narrowToUse = converted;
  }

  HANDLE opened;
  if (haveWide && NtMajorVersion() != 0) {
    opened = CreateFileW(wide, access, share, nullptr, OPEN_EXISTING, flags, nullptr);
  } else {
    opened = CreateFileA(narrowToUse, access, share, nullptr, OPEN_EXISTING, flags, nullptr);
  }
  if (opened == INVALID_HANDLE_VALUE) {
    if (GetLastError() == ERROR_FILE_NOT_FOUND) lastError = kFileErrorNotFound;
    return false;
  }

  handle = opened;
  if (wide != nullptr) {
    copyWideN(wideName, wide, kPathSize - 1);
    wideName[kPathSize - 1] = 0;
  } else {
    wideName[0] = 0;
  }
  copyTextCut(narrowName, narrowToUse, kPathSize);
  registerOpenFile(this);
  return true;
}

bool FileObject::close() {
  if (handle == INVALID_HANDLE_VALUE) {
    ++closeCount;
    return true;
  }
  bool closed = CloseHandle(handle) != FALSE;
  // Inside closeAll the list is emptied by closeAll itself, slot by slot.
  if (closeAllDepth == 0) unregisterOpenFile(this);
  handle = INVALID_HANDLE_VALUE;
  if (!closed && reportErrors) reportFatal(fatalHooks, kFailedClose, narrowName);
  ++closeCount;
  return closed;
}

bool FileObject::remove() {
  if (!deleteAllowed) return false;
  if (handle != INVALID_HANDLE_VALUE) close();
  return deleteByName(narrowName, wideName);
}

// ---------------------------------------------------------------------------
// Reading and positioning
// ---------------------------------------------------------------------------

bool FileObject::isDevice() {
  if (handle == INVALID_HANDLE_VALUE) return false;
  DWORD type = GetFileType(handle);
  return type == FILE_TYPE_CHAR || type == FILE_TYPE_PIPE;
}

int32_t FileObject::plainRead(void* buffer, int32_t count) {
  DWORD done = 0;
  if (ReadFile(handle, buffer, static_cast<DWORD>(count), &done, nullptr)) {
    return static_cast<int32_t>(done);
  }
  if (isDevice() && count > kDeviceReadLimit) {
    if (ReadFile(handle, buffer, kDeviceReadLimit, &done, nullptr)) {
      return static_cast<int32_t>(done);
    }
  }
  return -1;
}

int32_t FileObject::read(void* buffer, int32_t count) {
  // A negative count would reach ReadFile as a huge unsigned size and let it
  // write past the caller's buffer.
  if (count < 0) count = 0;
  int32_t done = plainRead(buffer, count);
  if (done == -1) {
    lastError = kFileErrorRead;
    if (reportErrors) reportFatal(fatalHooks, kFailedRead, narrowName);
  }
  return done;
}

// SetFilePointer with a high part reports failure as INVALID_SET_FILE_POINTER
// together with a last error; the same low part is a valid position otherwise.
static bool moveFilePointer(HANDLE handle, int64_t distance, DWORD method, int64_t* position) {
  LONG high = static_cast<LONG>(distance >> 32);
  SetLastError(NO_ERROR);
  DWORD low = SetFilePointer(handle, static_cast<LONG>(distance & 0xFFFFFFFF), &high, method);
  if (low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) return false;
  *position = (static_cast<int64_t>(high) << 32) | low;
  return true;
}

void FileObject::seek(int64_t offset, SeekMethod method) {
  if (handle == INVALID_HANDLE_VALUE) return;
  if (offset < 0 && method != kSeekBegin) {
    offset += (method == kSeekCurrent) ? tell() : length();
    method = kSeekBegin;
  }
  int64_t position;
  if (!moveFilePointer(handle, offset, static_cast<DWORD>(method), &position) && reportErrors) {
    reportFatal(fatalHooks, kFailedSeek, narrowName);
  }
}

int64_t FileObject::tell() {
  int64_t position;
  if (moveFilePointer(handle, 0, FILE_CURRENT, &position)) return position;
  if (reportErrors) reportFatal(fatalHooks, kFailedSeek, narrowName);
  return -1;
}

int64_t FileObject::length() {
  int64_t position = tell();
  uint32_t closes = closeCount;
  seek(0, kSeekEnd);
  int64_t size = tell();
  // A fatal path may have closed the file meanwhile; then there is nothing
  // to return to.
  if (closeCount == closes) seek(position, kSeekBegin);
  return size;
}
