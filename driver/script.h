// The script executor: one pass over the archive comment per call, in one
// of eight modes. Each command acts only in the mode that belongs to its
// moment of the run; in every other pass it is read and ignored.
#pragma once

#include <windows.h>

#include "driver/portable/script_grammar.h"
#include "support/paths.h"

// What a pass read for the dialog that runs it to show. The executor
// fills no control: the dialog shows the view (driver/script_view.h).
struct ScriptView {
  bool hasCaption;  // Title, or the License caption
  char caption[kScriptLineSize];
  bool hasDestination;  // Path (or the destination saved for it), or the temporary folder
  char destination[kPathSize];
  bool listsScriptPath;  // the field's list offers the script's own Path too
};

// Runs one pass of script (nothing when it is null). window is the dialog
// the pass runs for: the parent of the questions it asks, and the dialog a
// declined question ends. What the pass read for that dialog to show goes
// to view (which may be null where nothing is shown).
void RunScript(HWND window, const char* script, ScriptMode mode, ScriptView* view = nullptr);
