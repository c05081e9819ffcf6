// The script executor: one pass over the archive comment per call, in one
// of eight modes. Each command acts only in the mode that belongs to its
// moment of the run; in every other pass it is read and ignored.
#pragma once

#include <windows.h>

#include "driver/script_grammar.h"

// Runs one pass of script (nothing when it is null) with window as the
// dialog whose controls the commands of this mode fill.
void RunScript(HWND window, const char* script, ScriptMode mode);
