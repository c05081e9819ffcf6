// The ZIP record signatures of the engine's state.
#include "zip/engine_state.h"

// The two bytes that follow "PK" in each signature. The empty asm hides the
// tail's value from the optimiser, so that it cannot fold "PK" and a tail
// into one four-byte constant: the program's image must hold no whole
// signature, or the search for the end record could stop inside the
// executable in front of a short archive.
static const uint16_t signatureTails[5] = {0x0201, 0x0403, 0x0605, 0x0606, 0x0706};

uint32_t zipSignature(int kind) {
  uint32_t tail = signatureTails[kind - 1];
  __asm__("" : "+r"(tail));
  return 0x4B50u | (tail << 16);
}

void buildSignatures(EngineState* state) {
  state->centralSignature = zipSignature(1);
  state->localSignature = zipSignature(2);
  state->endSignature = zipSignature(3);
  state->zip64EndSignature = zipSignature(4);
  state->zip64LocatorSignature = zipSignature(5);
}
