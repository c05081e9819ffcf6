// Where programs are taken from.
//
// An installer usually starts from a folder that anyone can write to (a
// browser's downloads), often with administrator rights. The shell, given a
// bare name, looks in the current folder, beside the installer, along PATH
// and in per-user registrations: whatever lies there would run with the
// installer's rights. So the shell is never given a bare name. A relative
// name is looked for where the publisher's files are, the destination, and
// where the system's own programs are; the shell receives the full path of
// what was found, so it searches nothing. The destination is the current
// folder: the install flow entered it (or the temporary folder of a
// TempMode run) to extract, and nothing leaves it before the Setup pass,
// while the record of the temporary folder need not name it (a field left
// open by Silent 3 to 9 may point elsewhere).
//
// A name without an extension gets ".exe", the one extension that the shell
// would otherwise pick among several: what is found is then exactly what
// runs, and its extension (".bat", ".inf", ".exe") is what the launcher
// judges.
#include "driver/program_lookup.h"

#include <windows.h>

#include "support/chars.h"
#include "support/paths.h"
#include "support/strings.h"

namespace {

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// "C:\..." or "\\server\share\...": a path that names one place whatever the
// current folder.
bool IsFullPath(const char* name) {
  return (isDriveLetter(name) && isSeparator(name[2])) || (isSeparator(name[0]) && isSeparator(name[1]));
}

// folder (may be empty) joined with name, ".exe" added when name has no
// extension; the full path when that exists.
bool TakeIfExists(const char* folder, const char* name, char* found) {
  char path[kPathSize];
  const bool separator = folder[0] != '\0' && !isSeparator(*lastCharOf(folder));
  const bool exe = extensionOf(name) == nullptr;
  if (textLength(folder) + separator + textLength(name) + (exe ? 4 : 0) >= static_cast<size_t>(kPathSize)) {
    return false;
  }
  copyText(path, folder);
  if (separator) appendText(path, "\\");
  appendText(path, name);
  if (exe) appendText(path, ".exe");
  if (!fileExists(path, nullptr)) return false;
  // The plain form, backslashes only, without "." components.
  fullPathName(path, found);
  return true;
}

}  // namespace

bool IsAddress(const char* text) {
  if (!IsAsciiLetter(text[0])) return false;
  const char* p = text + 1;
  while (IsAsciiLetter(*p) || isDigit(*p) || *p == '+' || *p == '-' || *p == '.') ++p;
  return p - text >= 2 && p[0] == ':' && p[1] == '/' && p[2] == '/';
}

ProgramPlace FindProgram(const char* name, char* found) {
  if (IsAddress(name)) return ProgramPlace::kAddress;
  if (IsFullPath(name)) return TakeIfExists("", name, found) ? ProgramPlace::kFound : ProgramPlace::kMissing;
  // A name that leaves the folder it is taken in ("..\x", "\x", "C:x")
  // would name a place that is neither the destination nor the system's.
  if (!staysInsideFolder(name)) return ProgramPlace::kMissing;

  char folder[kPathSize];
  for (int place = 0; place < 3; ++place) {
    DWORD length = place == 0   ? GetCurrentDirectoryA(kPathSize, folder)
                   : place == 1 ? GetSystemDirectoryA(folder, kPathSize)
                                : GetWindowsDirectoryA(folder, kPathSize);
    if (length == 0 || length >= static_cast<DWORD>(kPathSize)) continue;
    if (TakeIfExists(folder, name, found)) return ProgramPlace::kFound;
  }
  return ProgramPlace::kMissing;
}
