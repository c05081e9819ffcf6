// The replace prompt ("REPLACEFILEDLG"): a member's destination file exists
// already; the user compares the two (icon, size, date) and decides.
//
// Yes to All and No to All are remembered for the rest of the run,
// where the Overwrite script command can set them too, so the prompt is
// only opened while neither is set. Rename opens the rename prompt; when
// the user cancels that, the replace prompt comes back for the same file,
// since no decision has been made yet.
//
// The existing file is described from the file system (its size and
// last-write time in local time); the new one from the member's header,
// whose DOS time already is local time and is shown unconverted.
#include <windows.h>
#include <shellapi.h>

#include "support/paths.h"
#include "support/strings.h"
#include "ui/info_lines.h"
#include "ui/message_ids.h"
#include "ui/messages.h"
#include "ui/prompts.h"
#include "ui/resource_ids.h"
#include "ui/run_view.h"

namespace {

// The results the dialog ends with.
enum ReplaceResult : INT_PTR {
  kResultYes = 1,
  kResultNo = 2,
  kResultYesToAll = 3,
  kResultRename = 4,
  kResultCancel = 5,
  kResultNoToAll = 6,
};

// The new member, kept for the dialog between AskOverwrite and its
// WM_INITDIALOG.
uint64_t newFileSize;
uint32_t newFileDosDateTime;

const int kDateTextSize = 50;

// ---------------------------------------------------------------------------
// Size and date lines
// ---------------------------------------------------------------------------

void SetSizeLine(HWND dialog, int id, uint64_t size) {
  char number[kNumberTextSize];
  FormatNumber(size, number);
  char line[kPathSize];
  formatText(line, "%s %s", number, MessageText(kMsgBytes));
  SetDlgItemTextA(dialog, id, line);
}

void SetDateLine(HWND dialog, int id, const FILETIME& time) {
  SYSTEMTIME parts;
  if (!FileTimeToSystemTime(&time, &parts)) return;
  char date[kDateTextSize];
  char clock[kDateTextSize];
  date[0] = '\0';
  clock[0] = '\0';
  GetDateFormatA(LOCALE_USER_DEFAULT, 0, &parts, nullptr, date, sizeof(date));
  GetTimeFormatA(LOCALE_USER_DEFAULT, TIME_NOSECONDS, &parts, nullptr, clock, sizeof(clock));
  char line[kPathSize];
  formatText(line, "%s %s %s", MessageText(kMsgModifiedOn), date, clock);
  SetDlgItemTextA(dialog, id, line);
}

// ---------------------------------------------------------------------------
// The dialog
// ---------------------------------------------------------------------------

void FillReplaceDialog(HWND dialog, const char* name) {
  char path[kPathSize];
  copyTextCut(path, name, sizeof(path));
  toBackslashes(path, nullptr, 0);
  SetDlgItemTextA(dialog, IDC_REPLACE_NAME, path);

  SHFILEINFOA info;
  fillBytes(&info, 0, sizeof(info));
  SHGetFileInfoA(path, 0, &info, sizeof(info), SHGFI_ICON);
  SendDlgItemMessageA(dialog, IDC_REPLACE_OLD_ICON, STM_SETICON, reinterpret_cast<WPARAM>(info.hIcon), 0);

  // A file that vanished since the engine looked leaves name and icon only.
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(path, &found);
  if (search == INVALID_HANDLE_VALUE) return;
  FindClose(search);
  FILETIME local;
  if (FileTimeToLocalFileTime(&found.ftLastWriteTime, &local)) SetDateLine(dialog, IDC_REPLACE_OLD_DATE, local);
  // A folder has no size of its own to compare.
  bool folder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  if (!folder) {
    SetSizeLine(dialog, IDC_REPLACE_OLD_SIZE, (static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow);
  }

  SendDlgItemMessageA(dialog, IDC_REPLACE_NEW_ICON, STM_SETICON, reinterpret_cast<WPARAM>(info.hIcon), 0);
  FILETIME newTime;
  if (DosDateTimeToFileTime(HIWORD(newFileDosDateTime), LOWORD(newFileDosDateTime), &newTime)) {
    SetDateLine(dialog, IDC_REPLACE_NEW_DATE, newTime);
  }
  if (!folder || newFileSize != 0) SetSizeLine(dialog, IDC_REPLACE_NEW_SIZE, newFileSize);
}

INT_PTR ResultOfButton(int id) {
  switch (id) {
    case IDC_REPLACE_YES:
      return kResultYes;
    case IDC_REPLACE_NO:
      return kResultNo;
    case IDC_REPLACE_YES_ALL:
      return kResultYesToAll;
    case IDC_REPLACE_RENAME:
      return kResultRename;
    case IDC_REPLACE_CANCEL:
    case IDCANCEL:  // the close box
      return kResultCancel;
    case IDC_REPLACE_NO_ALL:
      return kResultNoToAll;
  }
  return 0;
}

}  // namespace

INT_PTR CALLBACK ReplaceDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  LocalizeDialog(dialog, message, "REPLACEFILEDLG");
  switch (message) {
    case WM_INITDIALOG:
      FillReplaceDialog(dialog, reinterpret_cast<const char*>(lParam));
      return TRUE;
    case WM_COMMAND: {
      INT_PTR result = ResultOfButton(LOWORD(wParam));
      if (result == 0) return FALSE;
      // Both icon controls show the one icon: it is destroyed once.
      HICON icon = reinterpret_cast<HICON>(SendDlgItemMessageA(dialog, IDC_REPLACE_OLD_ICON, STM_GETICON, 0, 0));
      if (icon != nullptr) DestroyIcon(icon);
      EndDialog(dialog, result);
      return TRUE;
    }
  }
  return FALSE;
}

// ---------------------------------------------------------------------------
// The decision
// ---------------------------------------------------------------------------

void AskOverwrite(char* decision, char* name, uint64_t newSize, uint32_t newDosDateTime) {
  HINSTANCE module = GetModuleHandleA(nullptr);
  for (;;) {
    newFileSize = newSize;
    newFileDosDateTime = newDosDateTime;
    INT_PTR result;
    const OverwriteChoice choice = RememberedOverwriteChoice();
    if (choice == kOverwriteAll) {
      result = kResultYes;
    } else if (choice == kOverwriteSkip) {
      result = kResultNo;
    } else if (RunUnattended()) {
      // Nobody to ask: as when the prompt cannot be shown, the file is not
      // replaced unasked, and the run reports it.
      return;
    } else {
      // The member's line shows above the question about its file.
      FlushInfoLines();
      result = DialogBoxParamA(module, "REPLACEFILEDLG", RunWindow(), ReplaceDialogProc,
                               reinterpret_cast<LPARAM>(name));
    }
    switch (result) {
      case kResultYesToAll:
        RememberOverwriteChoice(kOverwriteAll);
        // fall through
      case kResultYes:
        // A read-only, hidden or system file would refuse to be replaced.
        SetFileAttributesA(name, FILE_ATTRIBUTE_NORMAL);
        *decision = kDecisionReplace;
        return;
      case kResultNoToAll:
        RememberOverwriteChoice(kOverwriteSkip);
        // fall through
      case kResultNo:
        *decision = kDecisionSkip;
        return;
      case kResultRename:
        // A rename dialog that cannot be created (-1) counts as OK with the
        // name unchanged.
        if (DialogBoxParamA(module, "RENAMEDLG", RunWindow(), RenameDialogProc, reinterpret_cast<LPARAM>(name)) !=
            0) {
          *decision = kDecisionRename;
          return;
        }
        break;  // the replace prompt again
      case kResultCancel:
        RequestCancel();
        *decision = kDecisionCancel;
        return;
      default:
        return;  // no dialog: the decision stays as it was
    }
  }
}
