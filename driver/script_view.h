// The passes that prepare a dialog, run for it: the script executor reads,
// the dialog shows what it read.
#pragma once

#include <windows.h>

#include "driver/script.h"

// Shows a pass's view in dialog: its caption, and the destination field of
// the start dialog with the folders its list offers.
void ShowScriptView(HWND dialog, const ScriptView& view);

// Runs one pass of script for dialog and shows what it read.
void RunDialogPass(HWND dialog, const char* script, ScriptMode mode);
