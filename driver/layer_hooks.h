// The driver ties the layers together: the support library's fatal path,
// the information window's TempMode clean-up and the extraction engine's
// user interface are filled in here, at start-up, with the services of the
// layers above them.
#pragma once

// Fills every hook with the program's own services.
void RegisterLayerHooks();

// The name of the first hook the program relies on that is still null, or
// null when all are set. The stub checks it in a debug build, so that a hook
// forgotten in a change fails loudly instead of skipping its step.
const char* MissingLayerHook();
