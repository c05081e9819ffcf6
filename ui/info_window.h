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
// Shows the fatal stop and waits until the user closed the dialog; then the
// temporary folder of a TempMode run goes.
void FatalStopWait();
