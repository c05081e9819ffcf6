// The traditional ZIP cipher: three keys stepped by every plain byte. Kept
// apart from the password test (decrypt.cpp) because the member input
// deciphers every block it reads with it, while the password test reads its
// header through the member input.
#include "zip/cipher.h"

#include "zip/engine_state.h"

static inline uint32_t crcStep(const uint32_t* table, uint32_t crc, uint8_t byte) {
  return table[(crc ^ byte) & 0xFF] ^ (crc >> 8);
}

void updateKeys(EngineState* state, uint8_t plain) {
  uint32_t* keys = state->keys;
  keys[0] = crcStep(state->crcTable, keys[0], plain);
  keys[1] = (keys[1] + (keys[0] & 0xFF)) * 0x08088405u + 1;
  keys[2] = crcStep(state->crcTable, keys[2], static_cast<uint8_t>(keys[1] >> 24));
}

uint8_t decryptByte(EngineState* state) {
  uint32_t t = (state->keys[2] & 0xFFFF) | 2;
  return static_cast<uint8_t>((t * (t ^ 1)) >> 8);
}

void initKeys(EngineState* state, const char* password) {
  state->keys[0] = 0x12345678u;
  state->keys[1] = 0x23456789u;
  state->keys[2] = 0x34567890u;
  for (const char* p = password; *p != '\0'; ++p) updateKeys(state, static_cast<uint8_t>(*p));
}

void decryptBytes(EngineState* state, uint8_t* bytes, int32_t count) {
  for (int32_t i = 0; i < count; ++i) {
    uint8_t plain = static_cast<uint8_t>(bytes[i] ^ decryptByte(state));
    updateKeys(state, plain);
    bytes[i] = plain;
  }
}
