// The password prompt ("GETPASSWORD1").
//
// The first non-empty password the user enters is remembered for the
// whole process and used for every later encrypted member without asking
// again, right or wrong: an archive normally has one password, and asking
// per member would make a user type it dozens of times. Only an empty entry
// leaves nothing remembered, so the next encrypted member asks again.
#include <windows.h>

#include "support/strings.h"
#include "ui/info_lines.h"
#include "ui/messages.h"
#include "ui/prompts.h"
#include "ui/resource_ids.h"
#include "ui/run_view.h"

INT_PTR CALLBACK PasswordDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  LocalizeDialog(dialog, message, "GETPASSWORD1");
  switch (message) {
    case WM_INITDIALOG:
      SetDlgItemTextA(dialog, IDC_PASSWORD_FILE, reinterpret_cast<const char*>(lParam));
      // No more can be typed than is kept: a longer password would be cut
      // without notice and then fail as a wrong one.
      SendDlgItemMessageA(dialog, IDC_PASSWORD_EDIT, EM_LIMITTEXT, kPasswordSize - 1, 0);
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK) {
        GetDlgItemTextA(dialog, IDC_PASSWORD_EDIT, RememberedPassword(), kPasswordSize);
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

bool AskPassword(char* out, int outSize, const char* fileName) {
  // An unattended run has nobody to type one: the member fails.
  if (RememberedPassword()[0] == '\0' && !RunUnattended()) {
    // The member's line shows above the prompt that asks for it.
    FlushInfoLines();
    // A dialog that cannot be created (-1) counts as OK with what is held.
    INT_PTR result = DialogBoxParamA(GetModuleHandleA(nullptr), "GETPASSWORD1", RunWindow(),
                                     PasswordDialogProc, reinterpret_cast<LPARAM>(fileName));
    if (result == 0) {
      out[0] = '\0';
      RequestCancel();
      return false;
    }
  }
  copyTextCut(out, RememberedPassword(), outSize);
  return out[0] != '\0';
}
