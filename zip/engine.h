// The extraction engine's two entries.
#pragma once

#include <stdint.h>

struct EngineUi;

// What a run of the engine means for the installation; the driver turns it
// into the exit code. A failure that loses files replaces any outcome before
// it, so the latest decides.
enum RunOutcome : int32_t {
  kRunNothingLost = 0,      // every member is in place, or skipped by choice or by cancel
  kRunFilesCorrupt = 1,     // member data damaged or unreadable, a refused name, no archive
  kRunFilesNotCreated = 2,  // a file could not be created or could not take its place
};

// Finds the archive comment (the script) in the last 32768 bytes of the file.
// Sets text (a heap block of length + 1 bytes, NUL-terminated, owned by the
// caller) and length only when a comment is found.
void ReadArchiveComment(const char* path, char** text, int32_t* length);

// Extracts every member of the archive appended to the file into the current
// folder; what the run means for the installation. Every failure is also an
// error line through the user interface handed over (zip/engine_ui.h); a
// cancel is read from there as well. A call made while a run is going on
// (from a window procedure the run's message pump called) does nothing.
RunOutcome ExtractArchive(const char* archivePath, const EngineUi& ui);
