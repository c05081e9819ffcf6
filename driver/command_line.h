// The command-line scan: the arguments tail and the silent switch.
#pragma once

#include "driver/sfx_state.h"

// Scans a command line as GetCommandLineA returns it (program path first)
// into state->commandTail, state->silentMode, state->silentSwitch and the
// unattended form (state->unattended, state->logPath), whose words are taken
// out of the tail.
void ScanCommandLine(const char* commandLine, SfxState* state);
