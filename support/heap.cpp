#include "support/portable/heap.h"

#include <windows.h>

#ifndef ZIMBRO_STUB
size_t failAllocationsFrom = 0;
size_t failAllocationsBelow = 0;
static bool failsInTest(size_t bytes) {
  return failAllocationsFrom != 0 && bytes >= failAllocationsFrom &&
         (failAllocationsBelow == 0 || bytes < failAllocationsBelow);
}
#else
static bool failsInTest(size_t) { return false; }
#endif

void* allocate(size_t bytes) { return failsInTest(bytes) ? nullptr : HeapAlloc(GetProcessHeap(), 0, bytes); }

void release(void* block) {
  if (block != nullptr) HeapFree(GetProcessHeap(), 0, block);
}

void* reallocate(void* block, size_t bytes) {
  if (block == nullptr) return allocate(bytes);
  if (failsInTest(bytes)) return nullptr;
  return HeapReAlloc(GetProcessHeap(), 0, block, bytes);
}

void exitProcess(unsigned code) {
  ExitProcess(code);
}
