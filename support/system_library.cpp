// The stub asks for administrator rights and is started from folders that
// unprivileged programs can write to, so a DLL found there by name would run
// with those rights. Its only load-time import is kernel32 (which the system
// maps into every process before the program's own code); every other DLL
// is loaded during the run, after RestrictDllSearch, and by a full path.
//
// What the loader still searches depends on the system. Windows 8 and later,
// and Vista and 7 with the loader update of 2011, have
// SetDefaultDllDirectories: names without a path, including those that
// system DLLs load on the stub's behalf (the theme and version libraries
// that user32 and the common controls load, shell32's helpers), are then
// looked for in System32 alone. XP SP1 and later without it have
// SetDllDirectory, which only takes the current folder out; 9x, NT 4, 2000
// and XP before SP1 have neither. There a dependent DLL that is not a
// "known DLL" of the system is still looked for in the program's folder
// first: the order is the loader's, no call of these systems changes it, and
// the program cannot know which file there is genuine. The stub loads the
// DLLs it knows to be loaded that way (PreloadIndirectLibraries) from the
// system folder first, since the loader takes a module already in the
// process for a bare name; for any other name, short of being started from
// a folder that only administrators can write to, nothing more can be done
// on those systems.
#include "support/system_library.h"

#include "support/strings.h"

// LOAD_LIBRARY_SEARCH_SYSTEM32, which the headers define only for programs
// that target Windows 8 and later.
static const DWORD kSearchSystem32Only = 0x00000800;

void RestrictDllSearch() {
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  typedef BOOL(WINAPI * SetDefaultDirectoriesCall)(DWORD);
  typedef BOOL(WINAPI * SetDirectoryCall)(LPCSTR);
  // Both looked up at run time: the older systems lack one or both.
  SetDefaultDirectoriesCall setDefaultDirectories =
      reinterpret_cast<SetDefaultDirectoriesCall>(GetProcAddress(kernel, "SetDefaultDllDirectories"));
  if (setDefaultDirectories != nullptr) setDefaultDirectories(kSearchSystem32Only);
  SetDirectoryCall setDirectory = reinterpret_cast<SetDirectoryCall>(GetProcAddress(kernel, "SetDllDirectoryA"));
  if (setDirectory != nullptr) setDirectory("");  // "": no folder of ours, and not the current one
}

// The theme library and the image helper it calls, the input-method library,
// the version library and the shell's helpers: loaded by name by user32,
// the common controls and shell32, some only once a window is drawn. Where
// a system lacks one (no themes before XP), its load fails harmlessly.
static const char kIndirectLibraries[] = "uxtheme.dll\0msimg32.dll\0imm32.dll\0version.dll\0shlwapi.dll\0";

void PreloadIndirectLibraries() {
  for (const char* name = kIndirectLibraries; *name != '\0'; name += textLength(name) + 1) {
    LoadSystemLibrary(name);  // kept for the whole run, never freed
  }
}

// Whether the process's activation context (its manifest) redirects the DLL
// to a side-by-side assembly. Such a DLL must be loaded by its bare name: a
// path would bypass the assembly and load the older copy in System32. Systems
// before XP have no activation contexts, so nothing is redirected there.
static bool RedirectedByManifest(const char* name) {
  typedef BOOL(WINAPI * FindSectionCall)(DWORD, const GUID*, ULONG, LPCSTR, ACTCTX_SECTION_KEYED_DATA*);
  FindSectionCall findSection = reinterpret_cast<FindSectionCall>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "FindActCtxSectionStringA"));
  if (findSection == nullptr) return false;
  ACTCTX_SECTION_KEYED_DATA found;
  fillBytes(&found, 0, sizeof(found));
  found.cbSize = sizeof(found);
  return findSection(0, nullptr, ACTIVATION_CONTEXT_SECTION_DLL_REDIRECTION, name, &found) != FALSE;
}

HMODULE LoadSystemLibrary(const char* name) {
  if (RedirectedByManifest(name)) return LoadLibraryA(name);
  char path[MAX_PATH];
  const UINT folderLength = GetSystemDirectoryA(path, MAX_PATH);
  if (folderLength == 0 || folderLength + 1 + textLength(name) >= MAX_PATH) return nullptr;
  path[folderLength] = '\\';
  copyText(path + folderLength + 1, name);
  return LoadLibraryA(path);
}
