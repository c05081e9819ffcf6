// The driver ties the layers together: the support library's fatal path
// and the extraction engine's user interface are tables of the program's
// own services, handed to a file object or an extraction with it.
#pragma once

#include "support/file_object.h"
#include "zip/engine_ui.h"

// The fatal end as the program shows it: the error line, the exit code, the
// wait for Close.
const FatalHooks& FatalServices();

// The engine's user interface made of the program's dialogs and lines.
const EngineUi& EngineServices();

// The name of the first service of the table that is null, or null.
const char* MissingEngineService(const EngineUi& ui);

// The name of the first service of the program's tables that is null, or
// null when all are set. The stub checks it in a debug build, so that a hook
// forgotten in a change fails loudly instead of skipping its step.
const char* MissingLayerHook();
