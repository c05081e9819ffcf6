// The driver ties the layers together: the support library's fatal path
// and the information window's TempMode clean-up are filled in here, at
// start-up, with the services of the layers above them; the extraction
// engine's user interface is a table of the same services that each
// extraction is handed.
#pragma once

#include "zip/engine_ui.h"

// Fills every hook with the program's own services.
void RegisterLayerHooks();

// The engine's user interface made of the program's dialogs and lines.
const EngineUi& EngineServices();

// The name of the first service of the table that is null, or null.
const char* MissingEngineService(const EngineUi& ui);

// The name of the first hook the program relies on that is still null, or
// null when all are set. The stub checks it in a debug build, so that a hook
// forgotten in a change fails loudly instead of skipping its step.
const char* MissingLayerHook();
