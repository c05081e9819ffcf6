// The stub's delay-load helper. The image imports only kernel32 at load time;
// user32, gdi32, advapi32, shell32, ole32, oleaut32 and comctl32 are named in
// delay-import tables instead (libraries that scripts/make-delay-library.sh
// makes with dlltool), and each is loaded here at the first call of one of
// its functions: after the process entry has restricted the DLL search, and
// by LoadSystemLibrary, from the system folder. Delay loading rather than
// explicit loading because the code keeps calling the API as it always does,
// and the test build links the same sources with the ordinary import
// libraries; the one rule it needs is that the entry restricts the search
// before anything else.
#include <windows.h>

#include <delayimp.h>

#include "support/file_object.h"
#include "support/portable/heap.h"
#include "support/system_library.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

// A DLL or a function that cannot be had ends the run at once, with the code
// of a fatal error: without user32 there is no way to show a message, and a
// call that cannot be made must not return into code that counts on it.
[[noreturn]] static void EndForMissingImport() { exitProcess(kFatalExitCode); }

// dlltool's thunks call this with the DLL's descriptor and the import-table
// slot of the function called, then jump to the address it returns. The
// descriptor holds image-relative addresses (dlltool sets dlattrRva). The
// stub has one thread, so nothing here races.
extern "C" FARPROC WINAPI __delayLoadHelper2(const ImgDelayDescr* descriptor, FARPROC* slot) {
  char* image = reinterpret_cast<char*>(&__ImageBase);
  HMODULE* module = reinterpret_cast<HMODULE*>(image + descriptor->rvaHmod);
  if (*module == nullptr) {
    *module = LoadSystemLibrary(image + descriptor->rvaDLLName);
    if (*module == nullptr) EndForMissingImport();
  }
  // The name table runs parallel to the address table.
  FARPROC* addresses = reinterpret_cast<FARPROC*>(image + descriptor->rvaIAT);
  const IMAGE_THUNK_DATA* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(image + descriptor->rvaINT);
  const IMAGE_THUNK_DATA& entry = names[slot - addresses];
  const char* name =
      IMAGE_SNAP_BY_ORDINAL(entry.u1.Ordinal)
          ? reinterpret_cast<const char*>(static_cast<ULONG_PTR>(IMAGE_ORDINAL(entry.u1.Ordinal)))
          : reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(image + entry.u1.AddressOfData)->Name;
  FARPROC function = GetProcAddress(*module, name);
  if (function == nullptr) EndForMissingImport();
  *slot = function;
  return function;
}

// The zero record that ends the table of delay-import descriptors. dlltool
// puts each library's descriptor into a section ".text$2"; the linker sorts
// these by name, so this one follows them, and the step after the link
// (scripts/mark-delay-imports.py) finds it to enter the table's place in the
// image header, where the tools that read images look for it.
extern "C" __attribute__((section(".text$2z"), used)) const ImgDelayDescr zimbroDelayImportEnd = {};
