// The destination field's helpers.
//
// Autocompletion comes from a shell function that older systems lack, so it
// is looked up at run time, and only in a library the process has already
// loaded: loading a library just for a nicety would cost start-up time on
// every run and could fail in ways the user would not understand.
#include "driver/folder_field.h"

#include <shlobj.h>

#include "support/os_version.h"
#include "support/strings.h"

namespace {

typedef HRESULT(WINAPI* AutoCompleteFunction)(HWND, DWORD);
const DWORD kCompleteFolders = 0x10;  // SHACF_FILESYS_DIRS

}  // namespace

void EnableAutoComplete(HWND window) {
  if (NtMajorVersion() < 5) return;
  static bool looked = false;
  static AutoCompleteFunction complete = nullptr;
  if (!looked) {
    looked = true;
    HMODULE library = GetModuleHandleA("shlwapi.dll");
    if (library != nullptr) {
      complete = reinterpret_cast<AutoCompleteFunction>(
          reinterpret_cast<void (*)()>(GetProcAddress(library, "SHAutoComplete")));
    }
  }
  if (complete == nullptr || window == nullptr) return;
  char className[81] = "";
  GetClassNameA(window, className, sizeof(className));
  // A drop-down combo box completes through its edit field.
  if (compareNoCase(className, "EDIT") != 0) window = FindWindowExA(window, nullptr, "EDIT", nullptr);
  if (window != nullptr) complete(window, kCompleteFolders);
}

bool BrowseForFolder(HWND owner, const char* title, char* path) {
  IMalloc* shellAllocator = nullptr;
  if (FAILED(SHGetMalloc(&shellAllocator))) return false;
  char displayName[MAX_PATH];
  BROWSEINFOA browse;
  fillBytes(&browse, 0, sizeof(browse));
  browse.hwndOwner = owner;
  browse.pszDisplayName = displayName;
  browse.lpszTitle = title;
  browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
  LPITEMIDLIST chosen = SHBrowseForFolderA(&browse);
  bool found = false;
  if (chosen != nullptr) {
    // The shell writes at most MAX_PATH bytes, which the 1024-byte path holds.
    found = SHGetPathFromIDListA(chosen, path) != FALSE;
    shellAllocator->Free(chosen);
  }
  shellAllocator->Release();
  return found;
}
