// The install flow, run by the start dialog's button 1 (Install, or Close
// once errors were reported or a fatal error stopped the work).
#pragma once

#include <windows.h>

void RunInstallFlow(HWND dialog);
