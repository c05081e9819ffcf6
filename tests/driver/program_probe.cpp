// A stand-in for the programs a script starts. It appends what it was
// started with to the file named by ZIMBRO_PROBE_LOG, one record per start:
//   command=<its command line>
//   folder=<its current folder>
//   arg=<each argument>  (as the runtime splits them)
//   end
// ZIMBRO_PROBE_DELAY (milliseconds) delays the record, so that a test can
// see whether its starter waited. The argument --hold keeps the process
// (and so its own file) alive until the test ends it.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  if (__argc > 1 && strcmp(__argv[1], "--hold") == 0) {
    Sleep(60000);
    return 0;
  }
  const char* delay = getenv("ZIMBRO_PROBE_DELAY");
  if (delay != nullptr) Sleep(static_cast<DWORD>(atoi(delay)));
  const char* logName = getenv("ZIMBRO_PROBE_LOG");
  if (logName == nullptr) return 1;
  char folder[MAX_PATH] = "";
  GetCurrentDirectoryA(MAX_PATH, folder);
  FILE* log = fopen(logName, "ab");
  if (log == nullptr) return 1;
  fprintf(log, "command=%s\nfolder=%s\n", GetCommandLineA(), folder);
  for (int i = 1; i < __argc; ++i) fprintf(log, "arg=%s\n", __argv[i]);
  fprintf(log, "end\n");
  fclose(log);
  return 0;
}
