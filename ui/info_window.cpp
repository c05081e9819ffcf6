// PLACEHOLDER until the information window lands.
#include "ui/info_window.h"

#include <stdarg.h>
#include <windows.h>

#include "driver/sfx_state.h"

void InfoAppend(const char*, bool) {}
void InfoPrint(const char*, ...) {}
void ErrorPrint(const char* format, ...) {
  if (format != nullptr && format[0] != '\0') sfx.errorCount += 1;
}
void ReportFileError(const char* format, const char* argument) {
  if (sfx.runState == 0 && format[0] != '\0') ErrorPrint("%s", format);
}
bool ReportMember(const char*) { return sfx.runState == 0; }
void SetProgress(uint32_t, uint32_t) {}
uint32_t ProgressPercent(uint32_t, uint32_t) { return 0; }
void PumpOneMessage() {}
void FatalStopWait() {}
