// The start dialog: the program's only main window.
//
// Everything between start-up and shutdown happens inside this dialog's
// handlers. Its initialisation reads the script and runs the passes that
// set the run up; its Install button runs the install flow
// (driver/install_flow.cpp). Long work
// inside the Install handler keeps the dialog alive by pumping messages, so
// Cancel arrives as a nested message while the extraction runs and reaches
// it only through sfx.runState.
#include "driver/start_dialog.h"

#include "driver/folder_field.h"
#include "driver/install_flow.h"
#include "driver/script.h"
#include "driver/script_view.h"
#include "driver/sfx_state.h"
#include "support/portable/heap.h"
#include "support/paths.h"
#include "support/strings.h"
#include "ui/html_viewer.h"
#include "ui/info_control.h"
#include "ui/message_ids.h"
#include "ui/messages.h"
#include "ui/resource_ids.h"
#include "ui/run_log.h"
#include "zip/engine.h"

namespace {

const char kStartDialogName[] = "STARTDLG";

void EnableControl(HWND dialog, int id, bool on) { EnableWindow(GetDlgItem(dialog, id), on ? TRUE : FALSE); }

void ShowDescriptiveText(HWND dialog, const char* text) {
  ShowText(sfx.startViewer, GetModuleHandleA(nullptr), GetDlgItem(dialog, IDC_START_TEXT), text);
}

// The six-part default help text, each part after a blank.
void ShowHelpText(HWND dialog) {
  char help[(kMsgHelpLast - kMsgHelpFirst + 1) * 257 + 1];
  help[0] = '\0';
  for (int id = kMsgHelpFirst; id <= kMsgHelpLast; ++id) {
    appendText(help, " ");
    appendText(help, MessageText(id));
  }
  ShowDescriptiveText(dialog, help);
}

// ---------------------------------------------------------------------------
// Initialisation
// ---------------------------------------------------------------------------

void InitializeStartDialog(HWND dialog) {
  sfx.mainWindow = dialog;
  sfx.startDialogOpened = true;
  if (sfx.appIcon != nullptr) {
    SendMessageA(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(sfx.appIcon));
  }
  if (sfx.logoBitmap != nullptr) {
    SendDlgItemMessageA(dialog, IDC_START_LOGO, STM_SETIMAGE, IMAGE_BITMAP,
                        reinterpret_cast<LPARAM>(sfx.logoBitmap));
  }
  CreateInformationWindow(dialog);

  char folder[kPathSize];
  DWORD length = GetCurrentDirectoryA(sizeof(folder), folder);
  if (length == 0 || length >= sizeof(folder)) folder[0] = '\0';
  HWND destination = GetDlgItem(dialog, IDC_START_DESTINATION);
  SetWindowTextA(destination, folder);
  EnableAutoComplete(destination);

  sfx.infoWindowUsed = false;
  sfx.scriptText = nullptr;
  sfx.scriptLength = 0;
  ReadArchiveComment(sfx.moduleName, &sfx.scriptText, &sfx.scriptLength);
  if (sfx.scriptLength > 0) RunScript(dialog, sfx.scriptText, ScriptMode::Prescan);
  // Reading the comment may have reported a damaged archive: that report
  // stays in place of the help text.
  if (!sfx.infoWindowUsed && sfx.silentMode == kSilentNone) ShowHelpText(dialog);

  if (sfx.scriptLength > 0) {
    RunDialogPass(dialog, sfx.scriptText, ScriptMode::DialogInit);
    if (sfx.textBuffer != nullptr && sfx.silentMode == kSilentNone) {
      ShowDescriptiveText(dialog, sfx.textBuffer);
      release(sfx.textBuffer);
      sfx.textBuffer = nullptr;
    }
    if (sfx.silentMode != kSilentFull && !RunLicenseDialog(dialog)) {
      sfx.runState = kCancelRequested;
      EndDialog(dialog, 1);
      return;
    }
    // May move the destination to a new temporary folder, or end the run.
    RunDialogPass(dialog, sfx.scriptText, ScriptMode::TempFolder);
  }

  if (sfx.silentMode == kSilentAutomatic) EnableControl(dialog, IDC_START_DESTINATION, false);
  if (sfx.tempMode) {
    EnableControl(dialog, IDC_START_BROWSE, false);
    EnableControl(dialog, IDC_START_DESTINATION, false);
  }
  if (sfx.silentMode != kSilentNone && sfx.runState == kRunning) {
    // Fully silent: the whole install flow runs now, before the dialog is
    // ever shown. Automatic start: the dialog shows first. A modal dialog
    // appears only once its queue is empty, which the posted command would
    // never let happen before the installation ends: show it now.
    if (sfx.silentMode == kSilentFull) {
      SendMessageA(dialog, WM_COMMAND, IDOK, 0);
    } else {
      ShowWindow(dialog, SW_SHOWNORMAL);
      PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    }
  }
}

// ---------------------------------------------------------------------------
// Cancel and Browse
// ---------------------------------------------------------------------------

void Cancel(HWND dialog) {
  const bool extracting = sfx.stage == kStageExtracting;
  if (extracting) sfx.runState = kCancelRequested;  // the work stops at its next check
  // With errors reported during the extraction the dialog stays, so they
  // can be read; it then ends through Close.
  if (!extracting || sfx.errorCount == 0) {
    sfx.runState = kClosing;
    EndDialog(dialog, 0);
  }
}

void Browse(HWND dialog) {
  char folder[kPathSize];
  if (BrowseForFolder(dialog, MessageText(kMsgSelectFolder), folder)) {
    SetDlgItemTextA(dialog, IDC_START_DESTINATION, folder);
  }
}

}  // namespace

INT_PTR CALLBACK StartDialogProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  LocalizeDialog(dialog, message, kStartDialogName);
  switch (message) {
    case WM_INITDIALOG:
      InitializeStartDialog(dialog);
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDOK:
          RunInstallFlow(dialog);
          return TRUE;
        case IDCANCEL:
          Cancel(dialog);
          return TRUE;
        case IDC_START_BROWSE:
          Browse(dialog);
          return TRUE;
      }
      break;
  }
  return FALSE;
}
