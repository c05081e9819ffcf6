// The traditional ZIP cipher over the keys of the engine's state.
#pragma once

#include <stdint.h>

struct EngineState;

void InitKeys(EngineState* state, const char* password);
void UpdateKeys(EngineState* state, uint8_t plain);
uint8_t DecryptByte(EngineState* state);
// Deciphers count bytes in place (nothing for a count of 0 or less).
void decryptBytes(EngineState* state, uint8_t* bytes, int32_t count);
