#include "driver/startup.h"

#include <windows.h>

#include "driver/command_line.h"
#include "driver/sfx_state.h"
#include "support/chars.h"
#include "support/heap.h"
#include "support/strings.h"
#include "ui/messages.h"
#include "ui/resource_ids.h"
#include "ui/ui_libraries.h"
#include "zip/engine.h"

void PrepareRunState(const char* commandLine) {
  initDoubleByte(&doubleByte);
  ScanCommandLine(commandLine, &sfx);
  DWORD length = GetModuleFileNameA(nullptr, sfx.moduleName, sizeof(sfx.moduleName));
  // A path that does not fit is of no use: an empty name finds no archive
  // rather than a wrong file.
  if (length == 0 || length >= sizeof(sfx.moduleName)) sfx.moduleName[0] = '\0';
  // Script values, Setup and Presetup programs refer to our own file by it.
  SetEnvironmentVariableA("sfxname", sfx.moduleName);
}

// Until the start dialog exists, a silent run extracts the archive into the
// current folder directly; any other run only starts up and ends.
static void RunWithoutDialog() {
  if (!sfx.silentSwitch) return;
  ReadArchiveComment(sfx.moduleName, &sfx.scriptText, &sfx.scriptLength);
  ExtractArchive(sfx.moduleName);
}

void RunSelfExtractor() {
  PrepareRunState(GetCommandLineA());

  HINSTANCE module = GetModuleHandleA(nullptr);
  sfx.appIcon = LoadIconA(module, MAKEINTRESOURCEA(IDI_APP));
  sfx.logoBitmap = LoadBitmapA(module, MAKEINTRESOURCEA(IDB_LOGO));

  UiLibraries libraries;
  LoadUiLibraries(&libraries);
  LoadMessagesBlock(sfx.moduleName);

  RunWithoutDialog();

  // Shutdown.
  sfx.mainWindow = nullptr;
  FreeUiLibraries(&libraries);
  fillBytes(sfx.password, 0, sizeof(sfx.password));
  if (sfx.scriptLength > 0) release(sfx.scriptText);
  sfx.scriptText = nullptr;
  if (sfx.appIcon != nullptr) DestroyIcon(sfx.appIcon);
  if (sfx.logoBitmap != nullptr) DeleteObject(sfx.logoBitmap);
  if (sfx.exitCode.code == 0 && sfx.runState != kRunning) SetExitCode(kExitCancelled);
  sfx.runState = kClosing;
  exitProcess(sfx.exitCode.code);
}
