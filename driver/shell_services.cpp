// Shell services.
//
// Each call acquires and releases its own COM and OLE state, because the
// program calls them rarely (a few shortcuts after an installation) and must
// leave no apartment or interface behind when a call fails half-way.
#include "driver/shell_services.h"

#include <windows.h>
#include <shlobj.h>

#include "support/paths.h"
#include "support/strings.h"

// The shell link class and its two interfaces, by their published numbers.
static const CLSID kShellLinkClass = {0x00021401, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
static const IID kShellLinkInterface = {0x000214EE, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
static const IID kPersistFileInterface = {0x0000010B, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

// ---------------------------------------------------------------------------
// Shortcuts
// ---------------------------------------------------------------------------

static bool SaveLink(IShellLinkA* link, const char* shortcutFile) {
  IPersistFile* file = nullptr;
  if (FAILED(link->QueryInterface(kPersistFileInterface, reinterpret_cast<void**>(&file)))) return false;
  bool saved = false;
  wchar_t wideName[MAX_PATH];
  if (MultiByteToWideChar(CP_ACP, 0, shortcutFile, -1, wideName, MAX_PATH) != 0) {
    saved = SUCCEEDED(file->Save(wideName, TRUE));
  }
  file->Release();
  return saved;
}

bool CreateShortcut(const char* target, const char* shortcutFile, const char* description,
                    const char* iconFile, const char* arguments) {
  OleInitialize(nullptr);
  bool saved = false;
  IShellLinkA* link = nullptr;
  if (SUCCEEDED(CoCreateInstance(kShellLinkClass, nullptr, CLSCTX_INPROC_SERVER, kShellLinkInterface,
                                 reinterpret_cast<void**>(&link)))) {
    link->SetPath(target);
    link->SetDescription(description != nullptr ? description : "");
    if (iconFile != nullptr) link->SetIconLocation(iconFile, 0);
    if (arguments != nullptr) link->SetArguments(arguments);
    // The program starts in its own folder; one directly in a drive root
    // keeps the root's backslash.
    char folder[kPathSize];
    copyTextCut(folder, target, sizeof(folder));
    stripName(folder);
    if (folder[0] != '\0') link->SetWorkingDirectory(folder);
    saved = SaveLink(link, shortcutFile);
    link->Release();
  }
  OleUninitialize();
  return saved;
}

// ---------------------------------------------------------------------------
// Special folders
// ---------------------------------------------------------------------------

bool SpecialFolderPath(char* path, int folderId) {
  path[0] = '\0';
  IMalloc* allocator = nullptr;
  if (FAILED(SHGetMalloc(&allocator))) return false;
  LPITEMIDLIST items = nullptr;
  if (SUCCEEDED(SHGetSpecialFolderLocation(nullptr, folderId, &items))) {
    if (!SHGetPathFromIDListA(items, path)) path[0] = '\0';
    allocator->Free(items);
  }
  allocator->Release();
  return path[0] != '\0';
}
