// FileObject: an existing file opened by an ANSI or UTF-16 name, read and
// positioned with 64-bit offsets. Read, seek, tell and close failures are
// fatal by default: reported through the object's fatal hooks, then the
// process ends with exit code 2 after every open file object has been closed.
#pragma once

#include <stdint.h>
#include <windows.h>

enum FileLastError { kFileErrorNone = 0, kFileErrorNotFound = 1, kFileErrorRead = 2 };
enum SeekMethod { kSeekBegin = FILE_BEGIN, kSeekCurrent = FILE_CURRENT, kSeekEnd = FILE_END };

struct FatalHooks;

class FileObject {
 public:
  FileObject();
  virtual ~FileObject();

  bool open(const char* narrowName, const wchar_t* wideName, bool writeAccess, bool shareWrite);
  bool close();
  bool remove();
  int32_t read(void* buffer, int32_t count);
  void seek(int64_t offset, SeekMethod method);
  int64_t tell();
  int64_t length();
  bool isDevice();

  HANDLE handle;
  bool shareWrite;
  bool noSequentialHint;
  bool deleteAllowed;
  bool reportErrors;
  char narrowName[1024];
  wchar_t wideName[1024];
  FileLastError lastError;
  uint32_t closeCount;
  // What a fatal failure of this file reports through; null ends the
  // process with code 2 without a line or a wait.
  const FatalHooks* fatalHooks;

 private:
  int32_t plainRead(void* buffer, int32_t count);
};

const int kOpenFileSlots = 256;

// The exit code of a fatal end.
const int kFatalExitCode = 2;

enum FileFailure { kFailedRead, kFailedSeek, kFailedClose };

// What a fatal end needs from the layers above this library: the error line,
// the run's exit-code record and the wait until the user has seen the stop.
// The owner of a file object hands them with it (driver/layer_hooks.h has
// the program's); a hook left null is skipped, so a test can run the library
// alone.
struct FatalHooks {
  // One error line for the failure of the named file.
  void (*reportFailure)(FileFailure failure, const char* fileName);
  // Records the code in the run's exit-code record.
  void (*recordExitCode)(int32_t code);
  // Shows the stop and returns once the user has closed the program's window.
  void (*waitForStop)();
};
// Closes every registered file object; true when every close succeeded.
bool closeAll();

// Records the code, closeAll, waits for the stop (through hooks, which may be
// null), then ends the process with the given code (not the record's, which
// may differ).
[[noreturn]] void fatalExit(const FatalHooks* hooks, int code);
