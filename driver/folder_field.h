// The destination field's helpers: folder autocompletion and the shell's
// folder selection dialog.
#pragma once

#include <windows.h>

// Completes folder names as the user types into window (an edit control, or
// a drop-down combo box whose edit field is used), where the system offers
// it: an NT system of version 5 or later that has the function loaded.
void EnableAutoComplete(HWND window);

// Lets the user choose a folder; path holds 1024 bytes. True when a folder
// was chosen and its path fitted.
bool BrowseForFolder(HWND owner, const char* title, char* path);
