// The start dialog: the program's only main window.
//
// Everything between start-up and shutdown happens inside this dialog's
// handlers. Its initialisation reads the script and runs the passes that
// set the run up; its Install button runs the install flow. Long work
// inside the Install handler keeps the dialog alive by pumping messages, so
// Cancel arrives as a nested message while the extraction runs and reaches
// it only through sfx.runState.
#include "driver/start_dialog.h"

#include "driver/folder_field.h"
#include "driver/saved_destination.h"
#include "driver/script.h"
#include "driver/sfx_state.h"
#include "support/heap.h"
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
  if (!sfx.infoWindowUsed && sfx.silentMode == 0) ShowHelpText(dialog);

  if (sfx.scriptLength > 0) {
    RunScript(dialog, sfx.scriptText, ScriptMode::DialogInit);
    if (sfx.textBuffer != nullptr && sfx.silentMode == 0) {
      ShowDescriptiveText(dialog, sfx.textBuffer);
      release(sfx.textBuffer);
      sfx.textBuffer = nullptr;
    }
    if (sfx.silentMode != 1 && !RunLicenseDialog(dialog)) {
      sfx.runState = kCancelRequested;
      EndDialog(dialog, 1);
      return;
    }
    // May move the destination to a new temporary folder, or end the run.
    RunScript(dialog, sfx.scriptText, ScriptMode::TempFolder);
  }

  if (sfx.silentMode == 2) EnableControl(dialog, IDC_START_DESTINATION, false);
  if (sfx.tempMode) {
    EnableControl(dialog, IDC_START_BROWSE, false);
    EnableControl(dialog, IDC_START_DESTINATION, false);
  }
  if (sfx.silentMode != 0 && sfx.runState == kRunning) {
    // Fully silent: the whole install flow runs now, before the dialog is
    // ever shown. Automatic start: the dialog shows first. A modal dialog
    // appears only once its queue is empty, which the posted command would
    // never let happen before the installation ends: show it now.
    if (sfx.silentMode == 1) {
      SendMessageA(dialog, WM_COMMAND, IDOK, 0);
    } else {
      ShowWindow(dialog, SW_SHOWNORMAL);
      PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    }
  }
}

// ---------------------------------------------------------------------------
// Install, Close and Cancel
// ---------------------------------------------------------------------------

// The end of a run: a clean one ends the dialog; one with errors explains
// them and waits for Close.
void FinishInstall(HWND dialog) {
  if (sfx.errorCount <= 0) {
    EndDialog(dialog, 1);
    return;
  }
  int summary = sfx.exitCode.code == kExitCreateFailed ? kMsgFilesNotCreated
                : sfx.exitCode.code == kExitCrcFailed  ? kMsgFilesCorrupt
                                                       : kMsgErrorsEncountered;
  LogLine(MessageText(summary));
  // Unattended, nobody reads the summary: the errors end the run, and the
  // exit code and the log tell them.
  if (sfx.unattended) {
    EndDialog(dialog, 1);
    return;
  }
  sfx.closeMode = 1;
  SetDlgItemTextA(dialog, IDOK, MessageText(kMsgClose));
  MessageBoxA(dialog, MessageText(summary), MessageText(kMsgError), MB_OK | MB_ICONEXCLAMATION);
}

void Install(HWND dialog) {
  char destination[kPathSize];
  GetDlgItemTextA(dialog, IDC_START_DESTINATION, destination, sizeof(destination));

  if (sfx.closeMode) {
    if (sfx.fatalStop) sfx.runState = kClosing;
    EndDialog(dialog, 1);
    return;
  }
  if (sfx.fatalStop) {
    sfx.runState = kClosing;
    FinishInstall(dialog);
    return;
  }

  HWND info = GetDlgItem(dialog, IDC_START_TEXT);
  if (sfx.errorCount == 0) {
    SendMessageA(info, EM_SETSEL, 0, -1);
    SendMessageA(info, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(""));
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

  sfx.extracting = 1;
  EnableControl(dialog, IDC_START_BROWSE, false);
  EnableControl(dialog, IDC_START_DESTINATION, false);
  EnableControl(dialog, IDOK, false);
  RunScript(dialog, sfx.scriptText, ScriptMode::RunPresetup);
  RunScript(dialog, sfx.scriptText, ScriptMode::DeleteFiles);
  ExtractArchive(sfx.moduleName);
  // Shortcuts follow even a cancelled extraction: what was extracted is
  // usable from them.
  RunScript(dialog, sfx.scriptText, ScriptMode::Shortcuts);
  EnableControl(dialog, IDOK, true);
  sfx.extracting = 0;
  FinishInstall(dialog);
}

void Cancel(HWND dialog) {
  if (sfx.extracting) sfx.runState = kCancelRequested;  // the work stops at its next check
  // With errors reported during the extraction the dialog stays, so they
  // can be read; it then ends through Close.
  if (!sfx.extracting || sfx.errorCount == 0) {
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
          Install(dialog);
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
