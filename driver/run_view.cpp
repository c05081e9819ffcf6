// The user interface's view of the run (ui/run_view.h), answered from the
// one run state.
#include "ui/run_view.h"

#include "driver/sfx_state.h"
#include "driver/temp_folder.h"
#include "ui/prompts.h"

static_assert(sizeof(sfx.password) == kPasswordSize, "the prompt fills the run's password buffer");

HWND RunWindow() { return sfx.mainWindow; }
HtmlViewer* RunStartViewer() { return sfx.startViewer; }
bool RunGoingOn() { return sfx.runState == kRunning; }
bool RunClosing() { return sfx.runState == kClosing; }
bool RunUnattended() { return sfx.unattended; }
bool RunHasScript() { return sfx.scriptLength != 0; }
bool RunInTempMode() { return sfx.tempMode; }

bool InfoWindowUsed() { return sfx.infoWindowUsed; }
void MarkInfoWindowUsed() { sfx.infoWindowUsed = true; }
void CountErrorLine() { sfx.errorCount += 1; }
void RequestCancel() { sfx.runState = kCancelRequested; }

void EnterFatalStop() { sfx.stage = kStageFatalStop; }

void RemoveRunTempFolder() { RemoveTempFolder(); }

char* RememberedPassword() { return sfx.password; }

OverwriteChoice RememberedOverwriteChoice() { return sfx.overwriteChoice; }
void RememberOverwriteChoice(OverwriteChoice choice) { sfx.overwriteChoice = choice; }
