// The process heap and process exit.
#pragma once

#include <stddef.h>

void* allocate(size_t bytes);                 // null on failure
void release(void* block);                    // nothing for null
void* reallocate(void* block, size_t bytes);  // null on failure; the old block stays valid
[[noreturn]] void exitProcess(unsigned code);

#ifndef ZIMBRO_STUB
// Tests only: allocations of at least this many bytes fail, so that the
// paths of a full heap can be reached; 0 fails none.
extern size_t failAllocationsFrom;
#endif
