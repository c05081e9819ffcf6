// The stage clock of the benchmark's timed stub (see stage_times.h).
#ifdef ZIMBRO_STAGE_TIMES
#include "support/stage_times.h"

#include <windows.h>

namespace {

LONGLONG spent[kStageCount];
LONGLONG since;
int current = kStageOther;

LONGLONG ticks() {
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return t.QuadPart;
}

}  // namespace

int stageEnter(int stage) {
  const LONGLONG t = ticks();
  spent[current] += t - since;
  since = t;
  const int previous = current;
  current = stage;
  return previous;
}

void stageLeave(int previous) { stageEnter(previous); }

void stageStart() {
  for (LONGLONG& s : spent) s = 0;
  current = kStageOther;
  since = ticks();
}

void stageReport() {
  stageEnter(current);
  char path[MAX_PATH];
  if (GetEnvironmentVariableA("ZIMBRO_STAGE_TIMES", path, sizeof path) == 0) return;
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  static const char* const kNames[kStageCount] = {"other", "directory", "member", "create",
                                                  "decode", "crc", "write", "close", "report"};
  char text[512];
  int n = 0;
  for (int s = 0; s < kStageCount; ++s) {
    const LONGLONG micro = spent[s] * 1000000 / frequency.QuadPart;
    n += wsprintfA(text + n, "%s %lu\r\n", kNames[s], static_cast<unsigned long>(micro));
  }
  HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written;
  WriteFile(file, text, static_cast<DWORD>(n), &written, nullptr);
  CloseHandle(file);
}
#endif
