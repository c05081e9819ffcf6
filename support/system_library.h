// Where the stub's DLLs come from: the system folder, never the folder the
// installer was started from (a download folder, which anything can write
// to) nor the current one.
#pragma once

#include <windows.h>

// Restricts the loader's search for DLLs named without a path to the system
// folder, where the system has the calls for it. The first thing the process
// entry does, before any DLL other than kernel32 is loaded.
void RestrictDllSearch();

// Loads, from the system folder, the DLLs that system DLLs load later in a
// run by their bare names, so that those loads find them in the process.
// Called at entry, right after RestrictDllSearch.
void PreloadIndirectLibraries();

// A system DLL by its file name ("riched20.dll"), loaded by its full path in
// the system folder, or by its name alone where the program's manifest
// names it (the side-by-side common controls). Null when it cannot be loaded.
HMODULE LoadSystemLibrary(const char* name);
