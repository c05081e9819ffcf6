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

void DeferInput(EngineState* state) {
  if (state->input.unread > state->budget) {
    if (state->budget < 0) state->budget = 0;
    const int32_t budget = static_cast<int32_t>(state->budget);  // below unread here
    state->deferredPointer = state->input.next + budget;
    state->deferredCount = state->input.unread - budget;
    state->input.unread = budget;
  } else {
    state->deferredCount = 0;
  }
  state->budget -= state->input.unread;
}

void RestoreInput(EngineState* state) {
  if (state->input.unread > 0) state->budget += state->input.unread;
  if (state->deferredCount > 0) {
    // The budget is the member's part of the buffer again, below its size.
    const int32_t budget = static_cast<int32_t>(state->budget);
    state->input.unread = state->deferredCount + budget;
    state->input.next = state->deferredPointer - budget;
    state->deferredCount = 0;
  } else if (state->input.unread < 0) {
    state->input.unread = 0;
  }
}

int RefillInput(EngineState* state) {
  // A member past its declared size gets no further input (see WindowFlush).
  if (state->outputOverrun) {
    state->input.unread = 0;
    return -1;
  }
  if (state->budget <= 0) {
    state->budget -= 1;
    state->input.unread = 0;
    return -1;
  }
  if (state->input.unread <= 0) {
    if (!readFollowingBlock(state)) return -1;
    DeferInput(state);
    // Deciphered once per block, not per byte taken.
    if (state->members[state->currentMember].encrypted) {
      if (state->aes.active) {
        decipherAesInput(state, state->inputBuffer, state->input.unread);
      } else {
        decryptBytes(state, state->inputBuffer, state->input.unread);
      }
    }
  }
  state->input.unread -= 1;
  return *state->input.next++;
}
