// The script executor: one pass over the archive comment per call, in one
// of eight modes. Each command acts only in the mode that belongs to its
// moment of the run; in every other pass it is read and ignored.
#pragma once

#include <windows.h>

enum class ScriptMode {
  DialogInit = 0,   // caption, Text, destination (start dialog)
  TempFolder = 1,   // temporary destination and its question (start dialog)
  DeleteFiles = 2,  // Delete, before extraction
  LicenseInit = 3,  // license caption and text (license dialog)
  RunSetup = 4,     // Setup programs, after the dialog has closed (no window)
  RunPresetup = 5,  // Presetup programs, before extraction
  Shortcuts = 6,    // Shortcut, after extraction
  Prescan = 7,      // flags, right after the script was read
};

// Runs one pass of script (nothing when it is null) with window as the
// dialog whose controls the commands of this mode fill.
void RunScript(HWND window, const char* script, ScriptMode mode);
