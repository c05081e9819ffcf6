// The Shortcut command.
//
// Fields: 1 location (D desktop, P programs menu, S Start menu, T startup),
// 2 target with optional arguments, 3 subfolder, 4 description, 5 shortcut
// name, 6 icon file. It runs just after extraction in the destination
// folder, so a relative target names an extracted file.
#include "driver/script_commands.h"

#include <windows.h>
#include <shlobj.h>

#include "driver/script_reader.h"
#include "driver/shell_services.h"
#include "support/chars.h"
#include "support/paths.h"
#include "support/strings.h"
#include "ui/info_window.h"
#include "ui/message_ids.h"
#include "ui/messages.h"

namespace {

int LocationFolder(const char* location) {
  switch (upperOem(static_cast<unsigned char>(location[0]))) {
    case 'P':
      return CSIDL_PROGRAMS;
    case 'S':
      return CSIDL_STARTMENU;
    case 'T':
      return CSIDL_STARTUP;
    default:
      return CSIDL_DESKTOPDIRECTORY;
  }
}

// Separates the target of field 2 from its arguments: a quoted target ends
// at its closing quote and keeps everything after it as arguments; an
// unquoted one is the longest existing file in front of a blank or a '/'.
// Cuts field in place to the target and returns where it starts; the
// arguments go to arguments (kScriptLineSize bytes).
char* SplitTarget(char* field, char* arguments) {
  arguments[0] = '\0';
  if (field[0] == '"') {
    char* closing = findCharDbcs(field + 1, '"');
    if (closing != nullptr) {
      copyText(arguments, closing + 1);
      *closing = '\0';
    }
    return field + 1;
  }
  if (fileExists(field, nullptr)) return field;

  char* split = nullptr;
  for (char* p = field; *p != '\0'; p = nextChar(p)) {
    if (*p != ' ' && *p != '/') continue;
    const char separator = *p;
    *p = '\0';
    if (fileExists(field, nullptr)) split = p;
    *p = separator;
  }
  if (split == nullptr) return field;
  const char* rest = split;
  if (*rest == ' ') {
    while (*rest == ' ') ++rest;
  }
  copyText(arguments, rest);
  *split = '\0';
  return field;
}

// Appends text to a path buffer; false when it does not fit.
bool AppendPart(char* path, const char* text) {
  const size_t used = textLength(path);
  if (used + textLength(text) >= static_cast<size_t>(kPathSize)) return false;
  copyText(path + used, text);
  return true;
}

}  // namespace

void MakeShortcut(char (*fields)[kScriptLineSize]) {
  // The subfolder lies inside the location's folder, never beside or above
  // it: refused and reported, and nothing is created for it.
  if (fields[2][0] != '\0' && !staysInsideFolder(fields[2])) {
    ErrorPrint(MessageText(kMsgCannotCreateFolder), fields[2]);
    return;
  }
  char arguments[kScriptLineSize];
  const char* target = SplitTarget(fields[1], arguments);
  if (target[0] == '\0' || textLength(target) >= static_cast<size_t>(kPathSize)) return;
  char fullTarget[kPathSize];
  fullPathName(target, fullTarget);

  char folder[kPathSize];
  if (!SpecialFolderPath(folder, LocationFolder(fields[0]))) return;
  if (*lastCharOf(folder) != '\\' && !AppendPart(folder, "\\")) return;
  if (fields[2][0] != '\0' && !(AppendPart(folder, fields[2]) && AppendPart(folder, "\\"))) return;

  // Named after field 5, or after the target: the name of a target given
  // with quotes or arguments must not carry them into the file name.
  const char* name = nameOf(fields[4][0] != '\0' ? fields[4] : fullTarget);
  char file[kPathSize];
  copyText(file, folder);
  if (!AppendPart(file, name)) return;
  const char* extension = extensionOf(file);
  if ((extension == nullptr || compareNoCase(extension, ".lnk") != 0) && !AppendPart(file, ".lnk")) return;

  createPath(file, nullptr, true);
  CreateShortcut(fullTarget, file, fields[3], fields[5][0] != '\0' ? fields[5] : nullptr,
                 arguments[0] != '\0' ? arguments : nullptr);
  SHChangeNotify(SHCNE_UPDATEDIR, SHCNF_PATHA, folder, nullptr);
}
