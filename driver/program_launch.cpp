// Starting programs.
//
// Programs go through the shell, so that a script may name any document (a
// batch file, an ".inf" file, a page) and not only executables. The command
// line is split the way a user would read it: a quoted file name, or the text
// up to the first blank, or up to a '/' that directly follows the name (an
// address keeps its "//"). The file is then looked for only where the
// publisher's files and the system's own programs are (driver/program_lookup
// .cpp), and the shell receives its full path.
// While a program is waited for, the start dialog is hidden and the queue is
// drained without dispatching: the dialog must not be used meanwhile, and the
// started program must not find this process unresponsive.
#include "driver/program_launch.h"

#include <windows.h>
#include <shellapi.h>

#include "driver/batch_arguments.h"
#include "driver/program_lookup.h"
#include "driver/script_reader.h"
#include "driver/sfx_state.h"
#include "support/chars.h"
#include "support/os_version.h"
#include "support/paths.h"
#include "support/strings.h"
#include "ui/info_window.h"
#include "ui/message_ids.h"
#include "ui/messages.h"

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

// The command interpreter itself, started by name: it reads what follows
// "/c" as commands.
bool IsInterpreter(const char* file) {
  return compareNoCase(nameOf(file), "cmd.exe") == 0 || compareNoCase(nameOf(file), "command.com") == 0;
}

// Appends the program's own arguments, so that they reach the started
// program. A tail that does not fit is left off whole: a cut argument could
// mean something else.
void AppendCommandTail(char* parameters) {
  const char* tail = sfx.commandTail;
  if (tail[0] == '\0') return;
  if (parameters[0] == '\0') {
    // The blank that would have parted the file from the tail.
    if (tail[0] == ' ') ++tail;
    copyText(parameters, tail);
    return;
  }
  const bool blank = tail[0] != ' ';
  if (textLength(parameters) + blank + textLength(tail) >= static_cast<size_t>(kScriptLineSize)) return;
  if (blank) appendText(parameters, " ");
  appendText(parameters, tail);
}

// Splits command in place into its file part (returned) and its parameters
// (into parameters, kScriptLineSize bytes; empty when there are none).
char* SplitCommand(char* command, char* parameters) {
  parameters[0] = '\0';
  char* file = command[0] == '"' ? command + 1 : command;
  const bool address = IsAddress(file);
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
    if (*next == '/' && !address) {
      copyText(parameters, next);
      *next = '\0';
      break;
    }
    p = next;
  }
  return file;
}

// A batch file is started through the system's own interpreter, named by
// its full path, rather than through the shell's association for it: the
// line the interpreter reads is then exactly the one made here. Only the NT
// family has one that reads quotes so (the 9x command.com does not; the
// shell starts the batch file there, and only arguments that need no quotes
// go). interpreter: kPathSize bytes.
bool SystemInterpreter(char* interpreter) {
  if (NtMajorVersion() == 0) return false;
  UINT length = GetSystemDirectoryA(interpreter, kPathSize);
  if (length == 0 || length + 9 >= static_cast<UINT>(kPathSize)) return false;
  appendText(interpreter, "\\cmd.exe");
  return fileExists(interpreter, nullptr);
}

// Turns the batch file's parameters into the interpreter's: "/s /c" takes
// the outer quotes away and leaves the rest as it is; "/d" keeps out the
// AutoRun commands of the registry, which the user's own hive may hold.
// False when they do not fit.
bool InterpreterParameters(const char* batch, char* parameters) {
  char own[kScriptLineSize];
  copyText(own, parameters);
  if (textLength(batch) + textLength(own) + 16 >= static_cast<size_t>(kScriptLineSize)) return false;
  copyText(parameters, "/d /s /c \"\"");
  appendText(parameters, batch);
  appendText(parameters, "\"");
  if (own[0] != '\0') appendText(parameters, " ");
  appendText(parameters, own);
  appendText(parameters, "\"");
  return true;
}

// A Setup program that does not start leaves the installation unfinished:
// an error line (the log of an unattended run keeps it) and the exit code
// say so. The start dialog has gone by then, so a person watching hears of
// it from a message box, unless the system has shown its own. Presetup is
// optional: only a refusal is reported, and its line ends the run with
// errors before Setup.
void ReportNotStarted(int message, const char* name, bool presetup, bool systemTold) {
  char line[kPathSize + 256];
  formatText(line, MessageText(message), name);
  ErrorPrint("%s", line);
  if (presetup) return;
  SetExitCode(kExitSetupNotStarted);
  if (!systemTold && !sfx.unattended) {
    MessageBoxA(sfx.mainWindow, line, MessageText(kMsgError), MB_OK | MB_ICONEXCLAMATION);
  }
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
  char parameters[kScriptLineSize];
  char* file = SplitCommand(command, parameters);
  if (file[0] == '\0') return;  // nothing named, nothing to start

  char found[kPathSize];
  const ProgramPlace place = FindProgram(file, found);
  if (place == ProgramPlace::kMissing) {
    // A missing Presetup program is skipped: it is meant to be optional.
    if (!presetup) ReportNotStarted(kMsgCannotStart, file, false, false);
    return;
  }
  const bool local = place == ProgramPlace::kFound;
  const char* target = local ? found : file;

  // The interpreter reads the installer's arguments as commands, and they
  // come from whoever started the installer: for a batch file each goes as
  // one plain argument, and for the interpreter named itself (whose quoting
  // after "/c" the publisher's own text decides) only arguments that need
  // no quotes go.
  const bool batch = local && (HasExtension(target, ".bat") || HasExtension(target, ".cmd"));
  const char* started = target;
  char interpreter[kPathSize];
  if (batch || (local && IsInterpreter(target))) {
    const bool quoting = batch && SystemInterpreter(interpreter);
    if (AppendBatchArguments(sfx.commandTail, parameters, sizeof(parameters), quoting) == BatchTail::kRefused ||
        (quoting && !InterpreterParameters(target, parameters))) {
      ReportNotStarted(kMsgArgumentsRefused, file, presetup, false);
      return;
    }
    if (quoting) started = interpreter;
  } else {
    AppendCommandTail(parameters);
  }

  SHELLEXECUTEINFOA info;
  fillBytes(&info, 0, sizeof(info));
  info.cbSize = sizeof(info);
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_CONNECTNETDRV | SEE_MASK_FLAG_DDEWAIT | SEE_MASK_FLAG_NO_UI;
  info.nShow = SW_SHOWNORMAL;
  info.lpFile = started;
  info.lpParameters = parameters[0] != '\0' ? parameters : nullptr;
  info.lpVerb = HasExtension(target, ".inf") ? "Install" : nullptr;
  if (!ShellExecuteExA(&info)) {
    // The command text names the same file, found in the same places: the
    // second attempt is the first one again, this time letting the system
    // tell a person why the program does not start. Nobody is there to read
    // that in an unattended run, which must never wait on a message box.
    const bool watched = !sfx.unattended;
    if (watched) {
      info.fMask &= ~SEE_MASK_FLAG_NO_UI;
      info.hProcess = nullptr;
    }
    if (!watched || !ShellExecuteExA(&info)) {
      if (!presetup) ReportNotStarted(kMsgCannotStart, file, false, watched);
      return;
    }
  }

  if (info.hProcess != nullptr) {
    if (sfx.tempMode || presetup) WaitForProgram(info.hProcess);
    CloseHandle(info.hProcess);
  }

  if (HasExtension(target, ".exe")) return;
  Sleep(sfx.tempMode && !presetup ? kTempSetupPause : presetup ? kPresetupPause : kSetupPause);
}
