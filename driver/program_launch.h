// Starting the Setup and Presetup programs of the script.
#pragma once

// Starts the program of a Setup or Presetup command line. command is a
// writable buffer of kScriptLineSize bytes and is changed in place: the file
// and parameter parts are separated, and the program's own arguments are
// appended (to a batch file as plain data, or not at all). The file is
// taken only from a full path, the destination or the system's folders. A
// Presetup program (and every program of a TempMode run) is waited for; a
// missing Presetup program is not started at all, a Setup program that
// does not start gives an error line and its own exit code.
void RunProgram(char* command, bool presetup);
