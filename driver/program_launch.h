// Starting the Setup and Presetup programs of the script.
#pragma once

// Starts the program of a Setup or Presetup command line. command is a
// writable buffer of kScriptLineSize bytes and is changed in place: the
// program's own arguments are appended, and the file and parameter parts are
// separated. A Presetup program (and every program of a TempMode run) is
// waited for; a missing Presetup program is not started at all.
void RunProgram(char* command, bool presetup);
