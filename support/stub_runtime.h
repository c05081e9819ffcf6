// What the stub's own runtime (support/stub_runtime.cpp) gives the process
// entry; the tests link the normal runtime instead.
#pragma once

#include <stdint.h>

// Gives the stack protector's guard a value of this run. Called first at
// entry, before any function that the protector guards is entered; the
// functions active while it runs (the entry and this one) must not be
// guarded, or they would find their copy changed as they return. It loads
// no DLL.
__attribute__((no_stack_protector)) void SeedStackGuard();
