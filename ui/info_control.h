// The start dialog's text area as a rich edit control, so that the
// information window can show bold, coloured error lines and hold far more
// text than a plain edit control.
#pragma once

#include <windows.h>

// Replaces the dialog's edit control 103 by a rich edit control in the same
// place and returns the control now holding id 103. When the rich edit
// control cannot be created (its library is not loaded), the template's edit
// control stays and is returned.
HWND CreateInformationWindow(HWND dialog);

// The characters the text area holds; no descriptive text is made longer.
const int kInfoTextLimit = 4 * 1024 * 1024;
