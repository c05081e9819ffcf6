// The process entry of the stub. There is no C runtime start-up code: the
// linker names this function as the entry point, and nothing runs before it.
#include "driver/startup.h"

extern "C" void __stdcall StubEntry() { RunSelfExtractor(); }
