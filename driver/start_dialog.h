// The start dialog, the program's main window, and the license dialog it
// runs as a modal child.
#pragma once

#include <windows.h>

// The start dialog's procedure, for DialogBoxParamA on "STARTDLG".
INT_PTR CALLBACK StartDialogProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Shows the license dialog owned by owner. True when the license was
// accepted, or when the script has no license to show.
bool RunLicenseDialog(HWND owner);
