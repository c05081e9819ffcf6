// The window-control libraries of the dialogs. Both rich edit versions are
// loaded and kept for the whole run, because the window classes they register
// vanish with them; the common controls are initialised once, the extended
// classes only where the library offers InitCommonControlsEx. All of them
// come from the system folder (the common controls through the manifest's
// side-by-side assembly), never from the installer's own folder.
#include "ui/ui_libraries.h"

#include <commctrl.h>

#include "support/system_library.h"

void LoadUiLibraries(UiLibraries* libraries) {
  libraries->richEdit1 = LoadSystemLibrary("riched32.dll");
  libraries->richEdit2 = LoadSystemLibrary("riched20.dll");

  InitCommonControls();

  // Looked up at run time: the oldest common controls do not have it.
  HMODULE controls = LoadSystemLibrary("comctl32.dll");
  if (controls != nullptr) {
    typedef BOOL(WINAPI * InitExFunction)(const INITCOMMONCONTROLSEX*);
    InitExFunction initEx =
        reinterpret_cast<InitExFunction>(GetProcAddress(controls, "InitCommonControlsEx"));
    if (initEx != nullptr) {
      INITCOMMONCONTROLSEX classes;
      classes.dwSize = sizeof(classes);  // 8 bytes
      classes.dwICC = 0x7FF;             // every class group, list view to cool bar
      initEx(&classes);
    }
    FreeLibrary(controls);
  }
}

void FreeUiLibraries(UiLibraries* libraries) {
  if (libraries->richEdit1 != nullptr) FreeLibrary(libraries->richEdit1);
  if (libraries->richEdit2 != nullptr) FreeLibrary(libraries->richEdit2);
}
