// exit_watch.dll: lets a child test process tell what a fatal exit left
// behind. ExitProcess runs no code of the executable itself, but it does call
// the DLL_PROCESS_DETACH of every loaded library; at that moment this library
// writes the watched values into a file for the parent test to read.
#include <windows.h>

#include <stdint.h>

static char recordPath[MAX_PATH];
static const int32_t* watchedCode;
static const int32_t* watchedCount;
static const HANDLE* watchedHandle;

extern "C" __declspec(dllexport) void WatchAtExit(const char* path, const int32_t* code,
                                                 const int32_t* count, const HANDLE* handle) {
  lstrcpynA(recordPath, path, MAX_PATH);
  watchedCode = code;
  watchedCount = count;
  watchedHandle = handle;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_DETACH || watchedCode == nullptr) return TRUE;
  char text[96];
  int closed = *watchedHandle == INVALID_HANDLE_VALUE;
  wsprintfA(text, "code=%d count=%d closed=%d", *watchedCode, *watchedCount, closed);
  HANDLE file = CreateFileA(recordPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    DWORD written;
    WriteFile(file, text, lstrlenA(text), &written, nullptr);
    CloseHandle(file);
  }
  return TRUE;
}
