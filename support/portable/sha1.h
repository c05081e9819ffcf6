// SHA-1 (sha1.cpp), incremental: start, any number of updates, finish.
#pragma once

#include <stddef.h>
#include <stdint.h>

const size_t kSha1DigestBytes = 20;
const size_t kSha1BlockBytes = 64;

struct Sha1 {
  uint32_t state[5];
  uint64_t length;                   // bytes taken so far
  uint8_t pending[kSha1BlockBytes];  // the unfinished block
  uint32_t schedule[16];             // the compression's working words
  bool useInstructions;              // the processor's SHA instructions; a test may clear it
};

// True when the processor has the SHA instructions (and SSE2).
bool sha1HasInstructions();

// Also asks the processor once per hash, not per block (a question that
// a virtual machine answers slowly).
void sha1Start(Sha1* sha);
void sha1Update(Sha1* sha, const uint8_t* data, size_t length);
// Pads, writes the digest and leaves the record spent (start it again to reuse).
void sha1Finish(Sha1* sha, uint8_t* digest);
