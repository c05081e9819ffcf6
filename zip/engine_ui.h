// What the extraction engine needs from the user interface: a table of seven
// services that the caller hands to ExtractArchive. The engine knows no
// window and no dialog, so tests can answer its prompts and count its lines
// with their own functions.
#pragma once

#include <stdint.h>

// The answers to the question about an existing file.
enum ExistingFileAnswer : char {
  kAnswerReplace = 'Y',  // the existing file's attributes are already cleared
  kAnswerSkip = 'N',
  kAnswerRename = 'R',   // the name buffer holds the new name
  kAnswerCancel = 'C',   // the run is cancelled: stopRequested answers true
};

// The message number of an error line that is its argument alone.
const int kPlainLine = 0;

struct EngineUi {
  // The line of a member about to be extracted, then one waiting window
  // message; false once the run has been cancelled.
  bool (*reportMember)(const char* name);
  // One counted error line: the message with this string-table number,
  // argument filling its "%s" (null when it has none).
  void (*errorLine)(int messageId, const char* argument);
  // The progress bar: done of total bytes of the archive.
  void (*progress)(uint32_t done, uint32_t total);
  // Lets the dialog handle one waiting message (the Cancel button).
  void (*pumpMessage)();
  // Asks about the existing file `name` (a buffer of kPathSize bytes) for a
  // member of newSize bytes dated newDosDateTime (date high, time low);
  // writes one of the answers above, or leaves *answer as it was when the
  // question could not be asked.
  void (*askOverwrite)(char* answer, char* name, uint64_t newSize, uint32_t newDosDateTime);
  // The run's password into out (outSize bytes); false without one.
  bool (*askPassword)(char* out, int outSize, const char* memberName);
  // The user cancelled (or the run is closing): the engine stops at its
  // next check and reports nothing more.
  bool (*stopRequested)();
};
