// The traditional ZIP cipher over the keys of the engine's state.
#pragma once

#include <stdint.h>

struct EngineState;

// Sets the three keys from the password.
void initKeys(EngineState* state, const char* password);
// Steps the keys by one plain byte.
void updateKeys(EngineState* state, uint8_t plain);
// The key byte that the next stored byte is XORed with.
uint8_t decryptByte(EngineState* state);
// Deciphers count bytes in place (nothing for a count of 0 or less).
void decryptBytes(EngineState* state, uint8_t* bytes, int32_t count);
