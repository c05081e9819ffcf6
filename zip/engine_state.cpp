// The ZIP record signatures of the engine's state.
#include "zip/engine_state.h"

// The two bytes that follow "PK" in each signature. Read through a volatile
// table so that the compiler cannot fold "PK" and a tail into one four-byte
// constant: the program's image must hold no whole signature, or the search
// for the end record could stop inside the executable in front of a short
// archive.
static volatile const uint8_t signatureTails[6] = {1, 2, 3, 4, 5, 6};

uint32_t zipSignature(int kind) {
  uint32_t low = signatureTails[(kind - 1) * 2];
  uint32_t high = signatureTails[(kind - 1) * 2 + 1];
  return 0x50u | (0x4Bu << 8) | (low << 16) | (high << 24);
}

void buildSignatures(EngineState* state) {
  state->centralSignature = zipSignature(1);
  state->localSignature = zipSignature(2);
  state->endSignature = zipSignature(3);
}
