// The member input: the compressed bytes of one member, taken from the
// engine's input buffer.
//
// While a member is read, the buffer is limited to the member's own data:
// whatever lies beyond it (the next local header, the directory) is put
// aside as the deferred part, so the decoder's fast path, which only watches
// the unread count, can never run into the next member. The budget counts
// the member's bytes that are not in the buffer yet; a refill reads the next
// block and limits it again. RestoreInput gives the deferred part back.
#include "zip/cipher.h"
#include "zip/engine_internal.h"

void DeferInput() {
  if (engine.input.unread > engine.budget) {
    if (engine.budget < 0) engine.budget = 0;
    engine.deferredPointer = engine.input.next + engine.budget;
    engine.deferredCount = engine.input.unread - engine.budget;
    engine.input.unread = engine.budget;
  } else {
    engine.deferredCount = 0;
  }
  engine.budget -= engine.input.unread;
}

void RestoreInput() {
  if (engine.input.unread > 0) engine.budget += engine.input.unread;
  if (engine.deferredCount > 0) {
    engine.input.unread = engine.deferredCount + engine.budget;
    engine.input.next = engine.deferredPointer - engine.budget;
    engine.deferredCount = 0;
  } else if (engine.input.unread < 0) {
    engine.input.unread = 0;
  }
}

int RefillInput() {
  // A member past its declared size gets no further input (see WindowFlush).
  if (engine.outputOverrun) {
    engine.input.unread = 0;
    return -1;
  }
  if (engine.budget <= 0) {
    engine.budget -= 1;
    engine.input.unread = 0;
    return -1;
  }
  if (engine.input.unread <= 0) {
    if (!readFollowingBlock()) return -1;
    DeferInput();
    // Deciphered once per block, not per byte taken.
    if (engine.members[engine.currentMember].encrypted) {
      decryptBytes(engine.inputBuffer, engine.input.unread);
    }
  }
  engine.input.unread -= 1;
  return *engine.input.next++;
}

int32_t memberBytesTaken() {
  int32_t inBuffer = engine.input.unread > 0 ? engine.input.unread : 0;
  int32_t budget = engine.budget > 0 ? engine.budget : 0;
  int32_t taken = static_cast<int32_t>(engine.localHeader.compressedSize) - budget - inBuffer;
  return taken > 0 ? taken : 0;
}
