// The main routine: start-up, the run, shutdown. Ends the process.
#pragma once

#include <stdint.h>
#include <windows.h>

#include "ui/html_viewer.h"
#include "ui/ui_libraries.h"

// What start-up prepares for the run and shutdown releases: the control
// libraries and the two HTML viewers (the start dialog's text, the license).
struct StartupServices {
  UiLibraries libraries;
  HtmlViewer startViewer;
  HtmlViewer licenseViewer;
};

// Runs the self-extractor and ends the process with the exit code.
void RunSelfExtractor();

// Opens the log the caller named: an elevated run only makes a new file,
// and false means it could not (the run must not start); any other run
// goes on without a log it cannot make.
bool OpenLogOfRun();

// Ends a run before it starts: the message (with name for its "%s") in a
// message box, or on standard error for an unattended run, and the fatal
// exit code.
[[noreturn]] void RefuseRun(int32_t message, const char* name);

// Runs the start dialog from module's resources; marks the run as failed
// when the dialog could not be created.
void RunStartDialog(HINSTANCE module);

// Start-up steps that do not need any window: the lead-byte table, the
// command line, the program's own path and its "sfxname" variable.
void PrepareRunState(const char* commandLine);

// The shutdown after the start dialog: the Setup pass of a run that ended
// well, the viewers and libraries, the temporary folder of a TempMode run,
// the owned texts and the exit code of a cancelled run. Returns the exit
// code.
int32_t FinishRun(StartupServices* services);
