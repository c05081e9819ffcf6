// The run as the user interface sees it.
//
// The driver owns the run's state and decides its outcome; the user
// interface only draws from it and passes on what the user answered. These
// functions are declared here, below the driver, and the driver defines them
// (driver/run_view.cpp), so that no file of the user interface includes the
// driver and the information window and the prompts never decide an exit code.
#pragma once

#include <windows.h>

struct HtmlViewer;

// What the user chose to do with existing files, for the rest of the run.
enum OverwriteChoice : int {
  kOverwriteAsk = 0,   // ask for each existing file
  kOverwriteAll = 1,   // replace without asking (script, or Yes to All)
  kOverwriteSkip = 2,  // keep without asking (script, or No to All)
};

// The start dialog, or null while there is none.
HWND RunWindow();
// The view that shows the descriptive text over the information window, or null.
HtmlViewer* RunStartViewer();
// Neither cancelled nor closing: work goes on.
bool RunGoingOn();
// The start dialog's Close was pressed after a fatal stop.
bool RunClosing();
// Nobody is there to answer a prompt or to press Close.
bool RunUnattended();
// The run has a script, whose text the start dialog shows.
bool RunHasScript();
// The destination is a temporary folder that goes at the end of the run.
bool RunInTempMode();

// The information window holds the run's report instead of the descriptive text.
bool InfoWindowUsed();
void MarkInfoWindowUsed();
// One error line was written: the driver counts it.
void CountErrorLine();
// The user cancelled at a prompt.
void RequestCancel();
// A fatal error stopped the work: the dialog is in Close mode and waits.
void EnterFatalStop();
// Deletes the temporary folder the run made (TempMode), with its contents.
void RemoveRunTempFolder();

// The password kept for the run (kPasswordSize bytes), empty until typed.
char* RememberedPassword();
OverwriteChoice RememberedOverwriteChoice();
void RememberOverwriteChoice(OverwriteChoice choice);
