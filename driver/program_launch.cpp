// Starting programs.
//
// Programs go through the shell, so that a script may name any document (a
// batch file, an ".inf" file, a page) and not only executables. The command
// line is split the way a user would read it: a quoted file name, or the text
// up to the first blank, or up to a '/' that directly follows the name.
// While a program is waited for, the start dialog is hidden and the queue is
// drained without dispatching: the dialog must not be used meanwhile, and the
// started program must not find this process unresponsive.
#include "driver/program_launch.h"

#include <windows.h>
#include <shellapi.h>

#include "driver/script_reader.h"
#include "driver/sfx_state.h"
#include "support/chars.h"
#include "support/paths.h"
#include "support/strings.h"

namespace {

// Pauses after a program that is not an ".exe": a batch file or a document
// may hand its real work on to another process that nobody waits for.
const DWORD kPresetupPause = 200;
const DWORD kSetupPause = 1000;
// A TempMode run removes the temporary folder right after the Setup program.
const DWORD kTempSetupPause = 7000;

bool HasExtension(const char* file, const char* extension) {
  const char* own = extensionOf(file);
  return own != nullptr && compareNoCase(own, extension) == 0;
}

// Appends the program's own arguments, so that they reach the started
// program. A tail that does not fit is left off whole: a cut argument could
// mean something else.
void AppendCommandTail(char* command) {
  const char* tail = sfx.commandTail;
  if (tail[0] == '\0') return;
  const bool blank = tail[0] != ' ';
  if (textLength(command) + blank + textLength(tail) >= static_cast<size_t>(kScriptLineSize)) return;
  if (blank) appendText(command, " ");
  appendText(command, tail);
}

// Splits command in place into its file part (returned) and its parameters
// (into parameters, kScriptLineSize bytes; empty when there are none).
char* SplitCommand(char* command, char* parameters) {
  parameters[0] = '\0';
  char* file = command[0] == '"' ? command + 1 : command;
  for (char* p = command; *p != '\0';) {
    if (*p == '"') {
      // The closing quote becomes the blank that ends the file part.
      char* closing = findChar(p + 1, '"');
      if (closing == nullptr) break;
      *closing = ' ';
      p = closing;
      continue;
    }
    if (*p == ' ') {
      *p = '\0';
      copyText(parameters, p + 1);
      break;
    }
    char* next = nextChar(p);
    if (*next == '/') {
      copyText(parameters, next);
      *next = '\0';
      break;
    }
    p = next;
  }
  return file;
}

// Waits for the started process while keeping this thread's queue empty.
void WaitForProgram(HANDLE process) {
  HWND dialog = sfx.mainWindow;
  const bool hidden = dialog != nullptr && IsWindowVisible(dialog);
  if (hidden) ShowWindow(dialog, SW_HIDE);
  WaitForInputIdle(process, 2000);
  while (WaitForSingleObject(process, 100) == WAIT_TIMEOUT) {
    MSG message;
    PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE);
  }
  if (hidden) ShowWindow(dialog, SW_SHOWNORMAL);
}

}  // namespace

void RunProgram(char* command, bool presetup) {
  AppendCommandTail(command);

  char parameters[kScriptLineSize];
  char* file = SplitCommand(command, parameters);

  char fullPath[kPathSize];
  const bool exists = fileExists(file, nullptr);
  if (exists && textLength(file) < static_cast<size_t>(kPathSize)) {
    // Taken in the current folder (the destination), not by the shell's
    // search along the path.
    fullPathName(file, fullPath);
    file = fullPath;
  }
  if (presetup && !exists) {
    char withExe[kScriptLineSize + 4];
    copyText(withExe, file);
    appendText(withExe, ".exe");
    if (!fileExists(withExe, nullptr)) return;
  }

  SHELLEXECUTEINFOA info;
  fillBytes(&info, 0, sizeof(info));
  info.cbSize = sizeof(info);
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_CONNECTNETDRV | SEE_MASK_FLAG_DDEWAIT | SEE_MASK_FLAG_NO_UI;
  info.nShow = SW_SHOWNORMAL;
  info.lpFile = file;
  info.lpParameters = parameters[0] != '\0' ? parameters : nullptr;
  info.lpVerb = HasExtension(file, ".inf") ? "Install" : nullptr;
  if (!ShellExecuteExA(&info)) {
    // Once more with the command as written, and this time the system may
    // tell the user itself why the program does not start.
    info.fMask &= ~SEE_MASK_FLAG_NO_UI;
    info.lpFile = command;
    if (!ShellExecuteExA(&info)) return;
  }

  if (info.hProcess != nullptr) {
    if (sfx.tempMode || presetup) WaitForProgram(info.hProcess);
    CloseHandle(info.hProcess);
  }

  if (HasExtension(file, ".exe")) return;
  Sleep(sfx.tempMode && !presetup ? kTempSetupPause : presetup ? kPresetupPause : kSetupPause);
}
