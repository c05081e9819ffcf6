// The state of one self-extractor run.
//
// There is exactly one SfxState, `sfx`, alive for the whole process, and
// only the driver reads and writes it: the extraction engine is handed what
// it needs with each call and reports an outcome, and the user interface
// sees the run through ui/run_view.h. It stays process-wide because the
// dialog procedures, called by the system with nothing but a window, must
// reach the run. It is a plain record so that it lives in zeroed static
// data and needs no constructor; every enumeration below starts at its
// zero state.
#pragma once

#include <stdint.h>
#include <windows.h>

#include "driver/portable/script_grammar.h"
#include "ui/run_view.h"
#include "zip/engine.h"

struct HtmlViewer;

// The exit code with its update rule (see SetExitCode).
struct ExitCodeRecord {
  int32_t code;   // the exit code, 0 at start
  int32_t count;  // how many times a code was set
};

enum ExitCode : int32_t {
  kExitSuccess = 0,
  kExitFolderNotEntered = 1,
  kExitErrors = 1,  // errors were counted and none set a code of its own
  kExitFatal = 2,
  kExitCrcFailed = 3,
  // A Setup program could not be found or started: the installation is not
  // finished, whatever was extracted.
  kExitSetupNotStarted = 4,
  kExitCreateFailed = 9,
  kExitCancelled = 255,
};

// The silent modes (kSilentNone, kSilentFull, kSilentAutomatic) are the
// script grammar's: the script's Silent command may set any digit; 3 to 9
// start like kSilentAutomatic but leave the destination field enabled.

// Whether the work goes on.
enum RunState {
  kRunning,
  kCancelRequested,  // Cancel was pressed, or answered at a prompt
  kClosing,          // the dialog is closing: nothing more is started
};

// Where the run stands, which decides what the start dialog's buttons mean.
enum RunStage {
  kStageStart,        // the start dialog waits for OK
  kStageExtracting,   // the work runs: Cancel asks it to stop
  kStageFinishing,    // the work ended; what follows it runs
  kStageErrorsShown,  // the run ended with errors: OK reads Close and ends the dialog
  kStageFatalStop,    // a fatal error stopped the work: Close ends the process
};

struct SfxState {
  char moduleName[1024];   // full path of the program's own file
  char commandTail[1024];  // the arguments, from the first blank or slash after the path
  int32_t silentMode;      // SilentMode, or a digit 3..9 (automatic start)
  bool silentSwitch;       // the silent switch was given on the command line
  // The unattended form (for deployment tools): silent, and nothing ever
  // waits for a person; errors end the run with their exit code.
  bool unattended;
  // The token is elevated or the system's (ProcessIsElevated): the run keeps
  // its files and settings where only administrators can change them.
  bool elevated;
  char logPath[1024];      // the log file the caller named, "" for none
  bool tempMode;
  bool tempDeclined;
  bool savePath;
  char tempFolder[1024];   // the temporary folder this run made, "" when none
  char* scriptText;        // the archive comment, owned; null without comment
  int32_t scriptLength;
  char* textBuffer;        // owned
  char* licenseText;       // owned
  bool licenseWanted;      // the script holds a License command
  char scriptPath[1024];
  OverwriteChoice overwriteChoice;  // the script's, or the user's Yes or No to All
  RunState runState;
  RunStage stage;
  int32_t errorCount;
  bool startDialogOpened;   // the start dialog's initialisation ran
  // The start dialog could not be created: nothing of the run took place.
  bool startDialogFailed;
  ExitCodeRecord exitCode;
  HWND mainWindow;
  bool infoWindowUsed;
  HICON appIcon;
  HBITMAP logoBitmap;
  HtmlViewer* startViewer;
  HtmlViewer* licenseViewer;
  char password[128];
};

extern SfxState sfx;

// Applies the exit-code rule to sfx.exitCode: 1 and 255 replace only 0;
// 2 replaces 0 or 1; every other code always replaces. Counts every call.
void SetExitCode(int32_t value);

// The exit code an extraction's outcome asks for (kExitSuccess when it asks
// for none), and its recording in sfx.exitCode.
int32_t ExitCodeOf(RunOutcome outcome);
void RecordExtraction(RunOutcome outcome);
