// The install flow that the start dialog's Install (later Close) button runs:
// create and enter the destination folder, save it, run Presetup and
// Delete, extract, create shortcuts, and report the errors. The dialog only
// hands the press on; what the run means is decided here and in the exit
// code rule.
#include "driver/install_flow.h"

#include "driver/layer_hooks.h"
#include "driver/saved_destination.h"
#include "driver/script.h"
#include "driver/sfx_state.h"
#include "support/paths.h"
#include "support/strings.h"
#include "ui/info_lines.h"
#include "ui/message_ids.h"
#include "ui/messages.h"
#include "ui/resource_ids.h"
#include "ui/run_log.h"
#include "zip/engine.h"

static void EnableControl(HWND dialog, int id, bool on) { EnableWindow(GetDlgItem(dialog, id), on ? TRUE : FALSE); }

// The end of a run: a clean one ends the dialog; one with errors explains
// them, by what the extraction's outcome says, and waits for Close.
static void FinishInstall(HWND dialog, RunOutcome extraction) {
  // A clean run ends here, its last lines shown or not: nobody reads them in
  // a dialog that closes at once.
  if (sfx.errorCount <= 0) {
    EndDialog(dialog, 1);
    return;
  }
  FlushInfoLines();
  int summary = extraction == kRunFilesNotCreated ? kMsgFilesNotCreated
                : extraction == kRunFilesCorrupt  ? kMsgFilesCorrupt
                                                  : kMsgErrorsEncountered;
  LogLine(MessageText(summary));
  // Unattended, nobody reads the summary: the errors end the run, and the
  // exit code and the log tell them.
  if (sfx.unattended) {
    EndDialog(dialog, 1);
    return;
  }
  sfx.stage = kStageErrorsShown;
  SetDlgItemTextA(dialog, IDOK, MessageText(kMsgClose));
  MessageBoxA(dialog, MessageText(summary), MessageText(kMsgError), MB_OK | MB_ICONEXCLAMATION);
}

void RunInstallFlow(HWND dialog) {
  char destination[kPathSize];
  GetDlgItemTextA(dialog, IDC_START_DESTINATION, destination, sizeof(destination));

  // OK reads Close: the press ends the dialog, and after a fatal stop it
  // also ends the wait (ui/info_window.cpp).
  if (sfx.stage == kStageErrorsShown || sfx.stage == kStageFatalStop) {
    if (sfx.stage == kStageFatalStop) sfx.runState = kClosing;
    EndDialog(dialog, 1);
    return;
  }

  HWND info = GetDlgItem(dialog, IDC_START_TEXT);
  if (sfx.errorCount == 0) {
    SendMessageA(info, EM_SETSEL, 0, -1);
    SendMessageA(info, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(""));
    ForgetInfoLines();
  }
  SetFocus(info);

  createPath(destination, L"", false);
  if (!SetCurrentDirectoryA(destination)) {
    char text[kPathSize + 300];
    // The folder name may be as long as the field holds; the message goes
    // after it, cut rather than overrun.
    copyTextCut(text, "\"", sizeof(text));
    appendText(text, destination);
    appendText(text, "\"\n");
    appendText(text, MessageText(kMsgFolderNotAccessible));
    SetExitCode(kExitFolderNotEntered);
    LogLine(text);
    if (!sfx.unattended) MessageBoxA(dialog, text, MessageText(kMsgError), MB_OK | MB_ICONEXCLAMATION);
    sfx.errorCount += 1;
    EndDialog(dialog, 0);
    return;
  }
  SaveDestination(destination);

  sfx.stage = kStageExtracting;
  EnableControl(dialog, IDC_START_BROWSE, false);
  EnableControl(dialog, IDC_START_DESTINATION, false);
  EnableControl(dialog, IDOK, false);
  RunScript(dialog, sfx.scriptText, ScriptMode::RunPresetup);
  RunScript(dialog, sfx.scriptText, ScriptMode::DeleteFiles);
  const RunOutcome extraction = ExtractArchive(sfx.moduleName, EngineServices());
  RecordExtraction(extraction);
  // The last member lines show while the shortcuts are made. A hidden
  // dialog (a silent run) keeps them until it must show: an error line or
  // the end of a run with errors writes them first.
  if (IsWindowVisible(dialog)) FlushInfoLines();
  // Shortcuts follow even a cancelled extraction: what was extracted is
  // usable from them.
  RunScript(dialog, sfx.scriptText, ScriptMode::Shortcuts);
  EnableControl(dialog, IDOK, true);
  sfx.stage = kStageFinishing;
  FinishInstall(dialog, extraction);
}
