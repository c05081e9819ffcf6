// The engine's table of user-interface services, and the error lines every
// part of the engine writes through it.
#include "zip/engine_ui.h"

#include "ui/message_ids.h"
#include "zip/engine_internal.h"

EngineUi engineUi;

void engineError(int messageId, const char* argument) { engineUi.errorLine(messageId, argument); }

void unknownFormat() { engineError(kMsgUnknownFormat, nullptr); }
