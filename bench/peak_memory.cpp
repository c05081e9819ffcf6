// Starts a program with its arguments in the current folder, waits for it and
// prints its peak working set and peak private bytes, as the system counts
// them (sampled every 5 ms while it runs), and its exit code: "peak working set N KiB, peak private M KiB, exit C".
// Usage: peak_memory PROGRAM [ARGUMENT...]
#include <windows.h>
#include <psapi.h>
#include <stdio.h>
#include <string.h>

#include <string>

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: peak_memory PROGRAM [ARGUMENT...]\n");
    return 2;
  }
  std::string line;
  for (int i = 1; i < argc; ++i) {
    // Quotes only where needed: the stub reads its switches outside quotes.
    const bool quote = strchr(argv[i], ' ') != nullptr;
    if (i > 1) line += ' ';
    if (quote) line += '"';
    line += argv[i];
    if (quote) line += '"';
  }
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    fprintf(stderr, "cannot start %s (error %lu)\n", argv[1], GetLastError());
    return 1;
  }
  // Sampled while the program runs: some systems report nothing for a
  // process that has ended.
  SIZE_T peakWorkingSet = 0, peakPrivate = 0;
  for (;;) {
    const DWORD waited = WaitForSingleObject(process.hProcess, 5);
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (GetProcessMemoryInfo(process.hProcess, &counters, sizeof counters)) {
      if (counters.PeakWorkingSetSize > peakWorkingSet) peakWorkingSet = counters.PeakWorkingSetSize;
      if (counters.WorkingSetSize > peakWorkingSet) peakWorkingSet = counters.WorkingSetSize;
      if (counters.PeakPagefileUsage > peakPrivate) peakPrivate = counters.PeakPagefileUsage;
      if (counters.PagefileUsage > peakPrivate) peakPrivate = counters.PagefileUsage;
    }
    if (waited != WAIT_TIMEOUT) break;
  }
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  printf("peak working set %lu KiB, peak private %lu KiB, exit %lu\n",
         static_cast<unsigned long>(peakWorkingSet / 1024),
         static_cast<unsigned long>(peakPrivate / 1024), static_cast<unsigned long>(code));
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return 0;
}
