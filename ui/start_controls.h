// The start dialog's controls, found without asking the window manager each
// time.
#pragma once

#include <windows.h>

// The control with this id in the start dialog, or null while there is no
// dialog or no such control.
HWND StartDialogControl(int id);
