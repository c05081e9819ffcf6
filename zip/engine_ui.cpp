// The error lines every part of the engine writes through the user
// interface its caller handed over.
#include "zip/engine_ui.h"

#include "ui/message_ids.h"
#include "zip/engine_internal.h"

void engineError(EngineState* state, int messageId, const char* argument) {
  // Every argument but the archive's path is a member name or path, which
  // the lines show in the ANSI code page.
  if (argument != state->archivePath) argument = memberPathForDisplay(state, argument);
  state->ui->errorLine(messageId, argument);
}

void unknownFormat(EngineState* state) { engineError(state, kMsgUnknownFormat, nullptr); }

void noteOutcome(EngineState* state, RunOutcome outcome) { state->outcome = outcome; }

void filesLostError(EngineState* state, int messageId, const char* argument) {
  noteOutcome(state, kRunFilesCorrupt);
  engineError(state, messageId, argument);
}
