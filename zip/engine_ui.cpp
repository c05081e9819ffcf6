// The engine's table of user-interface services, and the error lines every
// part of the engine writes through it.
#include "zip/engine_ui.h"

#include "ui/message_ids.h"
#include "zip/engine_internal.h"

EngineUi engineUi;

void engineError(int messageId, const char* argument) {
  // Every argument but the archive's path is a member name or path, which
  // the lines show in the ANSI code page.
  if (argument != engine.archivePath) argument = memberPathForDisplay(argument);
  engineUi.errorLine(messageId, argument);
}

void unknownFormat() { engineError(kMsgUnknownFormat, nullptr); }

void noteOutcome(RunOutcome outcome) { engine.outcome = outcome; }

void filesLostError(int messageId, const char* argument) {
  noteOutcome(kRunFilesCorrupt);
  engineError(messageId, argument);
}
