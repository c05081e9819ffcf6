// The information window of the start dialog, the progress bar, counted
// error lines, the message pump of long work and the fatal stop.
#pragma once

#include <stdint.h>

void InfoAppend(const char* text, bool errorStyle);
void InfoPrint(const char* format, ...);
void ErrorPrint(const char* format, ...);
void ReportFileError(const char* format, const char* argument);
bool ReportMember(const char* name);
void SetProgress(uint32_t done, uint32_t total);
uint32_t ProgressPercent(uint32_t done, uint32_t total);
void PumpOneMessage();
// PumpOneMessage for work that calls it between many small pieces (a line
// per member, a Deflate block): the queue is looked at no more often than
// every kPumpPace milliseconds.
const unsigned long kPumpPace = 10;
void PumpWhileWorking();
// The next PumpWhileWorking looks at the queue whenever it comes (a new run).
void RestartPumpPace();
void FatalStopWait();

// Services of other parts that the information window calls but must not
// need at link time (the window is linked into every test program). Each
// stays null, and its step is skipped, until its owner installs it.
//
// Removes the temporary destination folder of a TempMode run.
extern void (*removeTempFolderHook)();
