// The process heap and process exit.
#pragma once

#include <stddef.h>

void* allocate(size_t bytes);                 // null on failure
void release(void* block);                    // nothing for null
void* reallocate(void* block, size_t bytes);  // null on failure; the old block stays valid
[[noreturn]] void exitProcess(unsigned code);

#ifndef ZIMBRO_STUB
// Tests only: allocations of at least failAllocationsFrom bytes fail, so
// that the paths of a full heap can be reached; 0 fails none. A
// failAllocationsBelow other than 0 spares the allocations of that many
// bytes or more, so that one allocation fails while larger ones succeed.
extern size_t failAllocationsFrom;
extern size_t failAllocationsBelow;
#endif
