// The process entry of the stub. There is no C runtime start-up code: the
// linker names this function as the entry point, and nothing of the program
// runs before it. It seeds the stack protector's guard first (it is not
// guarded itself, since the guard changes while it runs), then fixes where
// DLLs come from before any other than kernel32 is loaded (the first call
// into user32 or any other loads it, through support/delay_load.cpp).
#include "driver/startup.h"
#include "support/stub_runtime.h"
#include "support/system_library.h"

extern "C" __attribute__((no_stack_protector)) void __stdcall StubEntry() {
  SeedStackGuard();
  RestrictDllSearch();
  PreloadIndirectLibraries();
  RunSelfExtractor();
}
