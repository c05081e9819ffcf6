// The window-control libraries the dialogs need: rich edit and common controls.
#pragma once

#include <windows.h>

struct UiLibraries {
  HMODULE richEdit1;  // riched32.dll
  HMODULE richEdit2;  // riched20.dll
};

void LoadUiLibraries(UiLibraries* libraries);
void FreeUiLibraries(UiLibraries* libraries);
