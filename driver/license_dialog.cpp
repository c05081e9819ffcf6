// The license dialog: shows the script's License text and asks the user to
// accept it before anything is installed. Without a License command there
// is nothing to accept, and the dialog ends before it is ever seen; with one
// whose text could not be read it ends as declined.
#include "driver/script.h"
#include "driver/script_view.h"
#include "driver/sfx_state.h"
#include "driver/start_dialog.h"
#include "support/portable/heap.h"
#include "ui/html_viewer.h"
#include "ui/messages.h"
#include "ui/resource_ids.h"

namespace {

const char kLicenseDialogName[] = "LICENSEDLG";
const WPARAM kLicenseTextLimit = 65536;

// Ends the dialog when there is nothing to show (an accepted license).
// Returns whether the dialog set the focus itself.
bool InitializeLicenseDialog(HWND dialog) {
  if (sfx.logoBitmap != nullptr) {
    SendDlgItemMessageA(dialog, IDC_LICENSE_LOGO, STM_SETIMAGE, IMAGE_BITMAP,
                        reinterpret_cast<LPARAM>(sfx.logoBitmap));
  }
  // A read-only edit control already has the button-face background.
  HWND text = GetDlgItem(dialog, IDC_LICENSE_TEXT);
  SendMessageA(text, EM_LIMITTEXT, kLicenseTextLimit, 0);
  RunDialogPass(dialog, sfx.scriptText, ScriptMode::LicenseInit);
  if (sfx.licenseText == nullptr) {
    // Nothing to accept without a License command; a license whose text
    // could not be read was never agreed to, so it counts as declined.
    EndDialog(dialog, sfx.licenseWanted ? 0 : 1);
    return false;
  }
  ShowText(sfx.licenseViewer, GetModuleHandleA(nullptr), text, sfx.licenseText);
  release(sfx.licenseText);
  sfx.licenseText = nullptr;
  // On Accept, not in the text: a focused edit control shows all of the
  // license selected.
  SetFocus(GetDlgItem(dialog, IDOK));
  return true;
}

INT_PTR CALLBACK LicenseDialogProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  LocalizeDialog(dialog, message, kLicenseDialogName);
  switch (message) {
    case WM_INITDIALOG:
      return InitializeLicenseDialog(dialog) ? FALSE : TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, LOWORD(wParam) == IDOK ? 1 : 0);
        return TRUE;
      }
      break;
  }
  return FALSE;
}

}  // namespace

bool RunLicenseDialog(HWND owner) {
  return DialogBoxParamA(GetModuleHandleA(nullptr), kLicenseDialogName, owner, LicenseDialogProcedure, 0) == 1;
}
