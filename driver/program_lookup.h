// Where the program of a Setup or Presetup command is taken from.
#pragma once

enum class ProgramPlace {
  kFound,    // an existing file, its full path given back
  kAddress,  // an address ("scheme://..."): the shell opens it as it is
  kMissing,  // nowhere it may be taken from
};

// Finds the file part of a command. A full path is taken as it is; a
// relative name only in the destination (the current folder, which the
// install flow entered), then in the system folder and the Windows folder.
// A name without an extension means a program: ".exe" is appended.
// found: kPathSize bytes, the full path on kFound.
ProgramPlace FindProgram(const char* name, char* found);

// "scheme://": at least two characters of scheme, so that "C://dir" stays a
// path on drive C.
bool IsAddress(const char* text);
