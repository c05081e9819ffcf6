// The script executor.
//
// The start dialog and the shutdown call RunScript at fixed moments of the
// run, one mode each, and every pass reads the whole script from its first
// line: a command takes effect in the pass of its moment and is ignored in
// all others, so the script needs no order of its own. Silent and Overwrite
// act in every pass, which makes the last such line of the script decide.
// Lines of a text block pass through the loop as well; one that has the form
// of a command is that command.
#include "driver/script.h"

#include "driver/program_launch.h"
#include "driver/saved_destination.h"
#include "driver/script_commands.h"
#include "driver/script_reader.h"
#include "driver/sfx_state.h"
#include "driver/temp_folder.h"
#include "support/chars.h"
#include "support/portable/heap.h"
#include "support/paths.h"
#include "support/strings.h"
#include "ui/info_control.h"
#include "ui/run_view.h"

namespace {

// One line of the script, taken apart.
struct ScriptLine {
  char key[kScriptLineSize];
  char value[kScriptLineSize];
  bool hasEquals;
  char fields[kScriptFieldCount][kScriptLineSize];
  const char* next;  // the line after this one, where a text block begins
};

// ---------------------------------------------------------------------------
// Texts and captions
// ---------------------------------------------------------------------------

// Text: several commands build one text, joined by "<br>" for the viewer.
// No more than the text area holds: every Text line without '=' reads the
// rest of the script as its block, and thousands of them (a large comment
// of such lines) would otherwise build hundreds of megabytes. A text that
// would pass the limit is left out whole, and once it is reached no more
// blocks are read.
void AddText(const ScriptLine& line) {
  const size_t current = sfx.textBuffer != nullptr ? textLength(sfx.textBuffer) : 0;
  const size_t separator = current > 0 ? 4 : 0;
  const size_t limit = static_cast<size_t>(kInfoTextLimit);
  if (current + separator >= limit) return;
  char* block = line.hasEquals ? nullptr : ReadTextBlock(line.next);
  const char* addition = line.hasEquals ? line.value : (block != nullptr ? block : "");
  const size_t added = textLength(addition);
  if (current + separator + added >= limit) {
    release(block);
    return;
  }
  // Five spare bytes: the next "<br>" and the terminator.
  char* grown = static_cast<char*>(reallocate(sfx.textBuffer, current + separator + added + 5));
  if (grown != nullptr) {
    copyBytes(grown + current, "<br>", separator);
    copyBytes(grown + current + separator, addition, added + 1);
    sfx.textBuffer = grown;
  }
  release(block);
}

void SetCaption(ScriptView* view, const char* caption) {
  if (view == nullptr) return;
  view->hasCaption = true;
  copyTextCut(view->caption, caption, kScriptLineSize);
}

// License: an '=' value is the caption only; the text is always the block.
void ReadLicense(const ScriptLine& line, ScriptView* view) {
  if (line.value[0] != '\0') SetCaption(view, line.value);
  // Remembered apart from the text: a text that cannot be read must not
  // look like a script without a license.
  sfx.licenseWanted = true;
  release(sfx.licenseText);
  sfx.licenseText = ReadTextBlock(line.next);
}

// ---------------------------------------------------------------------------
// Destination
// ---------------------------------------------------------------------------

// The programs folder as the system names it for this process.
bool ProgramFilesFolder(char* folder) {
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion", 0, KEY_QUERY_VALUE,
                    &key) != ERROR_SUCCESS) {
    return false;
  }
  DWORD type = 0;
  DWORD size = kPathSize - 1;
  LONG result = RegQueryValueExA(key, "ProgramFilesDir", nullptr, &type, reinterpret_cast<BYTE*>(folder), &size);
  RegCloseKey(key);
  if (result != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return false;
  folder[size] = '\0';
  return true;
}

// Appends text to a path buffer, cutting it to the buffer.
void AppendPath(char* path, const char* text) {
  const size_t used = textLength(path);
  copyTextCut(path + used, text, kPathSize - used);
}

// Path: by the rule of ReadDestinationBase, which zimbro-pack --check tells
// publishers by too.
void SetDestination(const char* value, ScriptView* view) {
  const char* p = value;
  char destination[kPathSize];
  if (ReadDestinationBase(value, &p) == DestinationBase::kProgramsFolder && ProgramFilesFolder(destination)) {
    if (*lastCharOf(destination) != '\\') AppendPath(destination, "\\");
    AppendPath(destination, p);
  } else {
    copyTextCut(destination, p, kPathSize);
  }
  char* quote = findLastCharDbcs(destination, '"');
  if (quote != nullptr && quote[1] == '\0') *quote = '\0';

  copyText(sfx.scriptPath, destination);
  LoadSavedDestination(destination);
  if (view == nullptr) return;
  view->hasDestination = true;
  view->listsScriptPath = true;
  copyText(view->destination, destination);
}

// TempMode: the destination becomes a new temporary folder, and the value,
// when there is one, is a question the user must answer Yes.
void OfferTempFolder(HWND window, ScriptLine& line, ScriptView* view) {
  char folder[kPathSize];
  // Without a folder of its own the run must not install into whatever the
  // field held: an empty destination cannot be entered, and the run ends
  // there.
  if (!MakeTempFolder(folder)) folder[0] = '\0';
  if (view != nullptr) {
    view->hasDestination = true;
    view->listsScriptPath = false;
    copyText(view->destination, folder);
  }
  if (line.value[0] == '\0' || sfx.silentSwitch) return;

  // "question,title" or "question@title"; the '@' counts only without a comma.
  char* question = line.value;
  const char* title = "";
  if (findChar(line.value, ',') == nullptr) {
    char* at = findCharDbcs(line.value, '@');
    if (at != nullptr) {
      *at = '\0';
      title = at + 1;
    }
  }
  if (title[0] == '\0') {
    question = line.fields[0];
    title = line.fields[1];
  }
  UnescapeText(question);
  if (MessageBoxA(window, question, title, MB_YESNO | MB_ICONQUESTION) != IDYES) {
    sfx.tempDeclined = true;
    if (sfx.runState == kRunning) sfx.runState = kCancelRequested;
    EndDialog(window, 1);
  }
}

// ---------------------------------------------------------------------------
// Flags
// ---------------------------------------------------------------------------

// Silent: the command-line switch (mode 1) cannot be lowered by the script.
void SetSilent(const char* value) { sfx.silentMode = SilentAfter(sfx.silentMode, value); }

// Overwrite: the script's value becomes the run's choice for existing
// files, as the replace prompt's Yes to All and No to All do.
void SetOverwrite(const char* value) {
  switch (ReadOverwriteValue(value)) {
    case OverwriteValue::Ask: RememberOverwriteChoice(kOverwriteAsk); break;
    case OverwriteValue::Replace: RememberOverwriteChoice(kOverwriteAll); break;
    case OverwriteValue::Skip: RememberOverwriteChoice(kOverwriteSkip); break;
    case OverwriteValue::Unchanged: break;
  }
}

// ---------------------------------------------------------------------------
// The pass
// ---------------------------------------------------------------------------

void RunCommand(HWND window, ScriptMode mode, int command, ScriptLine& line, ScriptView* view) {
  switch (command) {
    case kCommandDelete:
      if (mode == ScriptMode::DeleteFiles) DeleteMatching(line.value);
      break;
    case kCommandText:
      if (mode == ScriptMode::DialogInit) AddText(line);
      break;
    case kCommandTitle:
      if (mode == ScriptMode::DialogInit) SetCaption(view, line.value);
      break;
    case kCommandPath:
      if (mode == ScriptMode::DialogInit) SetDestination(line.value, view);
      break;
    case kCommandSilent:
      SetSilent(line.value);
      break;
    case kCommandOverwrite:
      SetOverwrite(line.value);
      break;
    case kCommandSetup:
      if (mode == ScriptMode::RunSetup) RunProgram(line.value, false);
      break;
    case kCommandTempMode:
      if (mode == ScriptMode::Prescan) {
        sfx.silentMode = SilentAfterTempMode(sfx.silentMode);
        sfx.tempMode = true;
      } else if (mode == ScriptMode::TempFolder) {
        OfferTempFolder(window, line, view);
      }
      break;
    case kCommandLicense:
      if (mode == ScriptMode::LicenseInit) ReadLicense(line, view);
      break;
    case kCommandPresetup:
      if (mode == ScriptMode::RunPresetup) RunProgram(line.value, true);
      break;
    case kCommandShortcut:
      if (mode == ScriptMode::Shortcuts) MakeShortcut(line.fields);
      break;
    case kCommandSavePath:
      if (mode == ScriptMode::Prescan) sfx.savePath = true;
      break;
    default:  // ExtSign is recognised and ignored
      break;
  }
}

}  // namespace

void RunScript(HWND window, const char* script, ScriptMode mode, ScriptView* view) {
  if (view != nullptr) {
    view->hasCaption = false;
    view->hasDestination = false;
    view->listsScriptPath = false;
  }
  if (script == nullptr) return;
  ScriptLine line;
  const char* position = script;
  while ((line.next = ReadScriptLine(position, line.key, line.value, kScriptLineSize, nullptr,
                                     &line.hasEquals)) != nullptr) {
    const int command = FindKeyword(line.key);
    if (CommandActsIn(command, mode)) {
      if (kScriptKeywords[command].value == ScriptValue::Fields) {
        const char* field = line.value;
        for (int i = 0; i < kScriptFieldCount; ++i) field = SplitField(field, line.fields[i]);
      }
      RunCommand(window, mode, command, line, view);
    }
    position = line.next;
  }
}
