// The process heap and process exit.
#pragma once

#include <stddef.h>

void* allocate(size_t bytes);                 // null on failure
void release(void* block);                    // nothing for null
void* reallocate(void* block, size_t bytes);  // null on failure; the old block stays valid
[[noreturn]] void exitProcess(unsigned code);
