// The rename prompt ("RENAMEDLG"), opened from the replace prompt: the user
// types the name under which the member is extracted instead. The name may
// be relative to the destination or absolute; it is the user's own choice.
#include <windows.h>

#include "ui/messages.h"
#include "ui/prompts.h"
#include "ui/resource_ids.h"

INT_PTR CALLBACK RenameDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  LocalizeDialog(dialog, message, "RENAMEDLG");
  switch (message) {
    case WM_INITDIALOG: {
      SetWindowLongPtrA(dialog, DWLP_USER, lParam);
      const char* name = reinterpret_cast<const char*>(lParam);
      SetDlgItemTextA(dialog, IDC_RENAME_OLD, name);
      SetDlgItemTextA(dialog, IDC_RENAME_NEW, name);
      // Typing stops where the member name ends, so what the user sees is
      // the name the file gets, never a cut one.
      SendDlgItemMessageA(dialog, IDC_RENAME_NEW, EM_LIMITTEXT, kNewNameSize - 1, 0);
      return TRUE;
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK) {
        char* name = reinterpret_cast<char*>(GetWindowLongPtrA(dialog, DWLP_USER));
        SendDlgItemMessageA(dialog, IDC_RENAME_NEW, WM_GETTEXT, kNewNameSize, reinterpret_cast<LPARAM>(name));
        EndDialog(dialog, 1);
        return TRUE;
      }
      if (LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, 0);
        return TRUE;
      }
      return FALSE;
  }
  return FALSE;
}
