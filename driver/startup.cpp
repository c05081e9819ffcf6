#include "driver/startup.h"

#include <windows.h>

#include "driver/command_line.h"
#include "driver/elevation.h"
#include "driver/layer_hooks.h"
#include "driver/script.h"
#include "driver/start_dialog.h"
#include "driver/sfx_state.h"
#include "driver/temp_folder.h"
#include "support/chars.h"
#include "support/portable/heap.h"
#include "support/strings.h"
#include "ui/message_ids.h"
#include "ui/messages.h"
#include "ui/resource_ids.h"
#include "ui/run_log.h"
#include "ui/ui_libraries.h"
#include "zip/engine.h"

void PrepareRunState(const char* commandLine) {
  initDoubleByte(&doubleByte);
  ScanCommandLine(commandLine, &sfx);
  sfx.elevated = ProcessIsElevated();
  DWORD length = GetModuleFileNameA(nullptr, sfx.moduleName, sizeof(sfx.moduleName));
  // A path that does not fit is of no use: an empty name finds no archive
  // rather than a wrong file.
  if (length == 0 || length >= sizeof(sfx.moduleName)) sfx.moduleName[0] = '\0';
  // Script values, Setup and Presetup programs refer to our own file by it.
  SetEnvironmentVariableA("sfxname", sfx.moduleName);
}

int32_t FinishRun(StartupServices* services) {
  sfx.mainWindow = nullptr;
  sfx.startViewer = nullptr;
  sfx.licenseViewer = nullptr;
  // A run whose dialog never opened installed nothing: it is a failure, and
  // the Setup programs must not start on a destination that was never filled.
  if (sfx.startDialogFailed) SetExitCode(kExitFatal);
  // Setup programs start only after a run that was neither cancelled nor
  // had errors, once the dialog has gone.
  if (sfx.runState == kRunning && sfx.errorCount == 0 && !sfx.startDialogFailed) {
    RunScript(nullptr, sfx.scriptText, ScriptMode::RunSetup);
  }
  DestroyHtmlViewer(&services->startViewer);
  DestroyHtmlViewer(&services->licenseViewer);
  FreeUiLibraries(&services->libraries);
  if (sfx.tempMode) RemoveTempFolder();
  fillBytes(sfx.password, 0, sizeof(sfx.password));
  if (sfx.scriptLength > 0) release(sfx.scriptText);
  sfx.scriptText = nullptr;
  // The icon came from LoadIcon, which hands out a shared icon that only the
  // system may destroy; the bitmap is ours.
  if (sfx.logoBitmap != nullptr) DeleteObject(sfx.logoBitmap);
  sfx.appIcon = nullptr;
  sfx.logoBitmap = nullptr;
  if (sfx.exitCode.code == 0 && sfx.runState != kRunning) SetExitCode(kExitCancelled);
  // Some errors (an unknown method, a full disk, a wrong password) carry no
  // code of their own, yet their files were not created: the caller of an
  // installer must not take such a run for a success. The general code
  // replaces only 0, so a more specific one set during the run stays.
  if (sfx.errorCount > 0) SetExitCode(kExitErrors);
  CloseRunLog();
  sfx.runState = kClosing;
  return sfx.exitCode.code;
}

bool OpenLogOfRun() {
  if (!sfx.elevated) {
    // A log that cannot be made costs the caller its lines, not the run:
    // the exit code still tells the outcome.
    OpenRunLog(sfx.logPath, LogOpening::kReplaceExisting);
    return true;
  }
  return OpenRunLog(sfx.logPath, LogOpening::kCreateNew);
}

void RefuseRun(int32_t message, const char* name) {
  char text[kPathSize * 2];
  formatText(text, MessageText(message), name);
  if (!sfx.unattended) {
    MessageBoxA(nullptr, text, MessageText(kMsgError), MB_ICONERROR | MB_OK);
  } else {
    // Nobody looks at a window: the caller may have kept standard error.
    HANDLE errors = GetStdHandle(STD_ERROR_HANDLE);
    if (errors != nullptr && errors != INVALID_HANDLE_VALUE) {
      appendText(text, "\r\n");
      DWORD written = 0;
      WriteFile(errors, text, static_cast<DWORD>(textLength(text)), &written, nullptr);
    }
  }
  exitProcess(kExitFatal);
}

void RunStartDialog(HINSTANCE module) {
  // Everything up to the shutdown happens inside the dialog's handlers, and
  // the run state carries the outcome. The dialog may fail to appear at all
  // (no desktop to show it on, as for a service or a locked session): its
  // initialisation then never ran.
  sfx.mainWindow = nullptr;
  const INT_PTR ended = DialogBoxParamA(module, "STARTDLG", nullptr, StartDialogProcedure, 0);
  if (ended == -1 || !sfx.startDialogOpened) sfx.startDialogFailed = true;
}

void RunSelfExtractor() {
  PrepareRunState(GetCommandLineA());
  // Opened now, so that a relative name is taken in the caller's folder.
  const bool logRefused = sfx.logPath[0] != '\0' && !OpenLogOfRun();
#ifndef NDEBUG
  // A forgotten service would silently skip its step (an error line, the
  // exit code, a prompt): a debug build refuses to run instead.
  if (const char* missing = MissingLayerHook()) {
    MessageBoxA(nullptr, missing, "Hook not registered", MB_ICONERROR);
    exitProcess(kExitFatal);
  }
#endif

  HINSTANCE module = GetModuleHandleA(nullptr);
  sfx.appIcon = LoadIconA(module, MAKEINTRESOURCEA(IDI_APP));
  sfx.logoBitmap = LoadBitmapA(module, MAKEINTRESOURCEA(IDB_LOGO));

  StartupServices services;
  fillBytes(&services, 0, sizeof(services));
  LoadUiLibraries(&services.libraries);
  LoadMessagesBlock(sfx.moduleName);
  if (logRefused) RefuseRun(kMsgLogNotNew, sfx.logPath);
  sfx.startViewer = &services.startViewer;
  sfx.licenseViewer = &services.licenseViewer;

  RunStartDialog(module);
  exitProcess(FinishRun(&services));
}
