// The main routine: start-up, the run, shutdown. Ends the process.
#pragma once

// Runs the self-extractor and ends the process with the exit code.
void RunSelfExtractor();

// Start-up steps that do not need any window: the lead-byte table, the
// command line, the program's own path and its "sfxname" variable.
void PrepareRunState(const char* commandLine);
