// The traditional ZIP cipher over the keys of the engine's state.
#pragma once

#include <stdint.h>

void InitKeys(const char* password);
void UpdateKeys(uint8_t plain);
uint8_t DecryptByte();
// Deciphers count bytes in place (nothing for a count of 0 or less).
void decryptBytes(uint8_t* bytes, int32_t count);
