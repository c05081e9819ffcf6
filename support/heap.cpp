#include "support/heap.h"

#include <windows.h>

void* allocate(size_t bytes) { return HeapAlloc(GetProcessHeap(), 0, bytes); }

void release(void* block) {
  if (block != nullptr) HeapFree(GetProcessHeap(), 0, block);
}

void* reallocate(void* block, size_t bytes) {
  if (block == nullptr) return allocate(bytes);
  return HeapReAlloc(GetProcessHeap(), 0, block, bytes);
}

void exitProcess(unsigned code) {
  ExitProcess(code);
}
