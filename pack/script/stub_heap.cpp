// The heap calls of the stub's shared code (support/portable/heap.h), for the parts
// the packer compiles from the stub's tree: the process heap is malloc's.
#include <stdlib.h>

#include "support/portable/heap.h"

void* allocate(size_t bytes) { return malloc(bytes); }
void release(void* block) { free(block); }
