// Bytes that hold keys and passwords (secret_bytes.cpp).
#pragma once

#include <stddef.h>
#include <stdint.h>

// Whether a and b hold the same length bytes, in a time that depends on the
// length alone: an authentication code compared byte by byte until the
// first difference would tell an attacker how many leading bytes he has
// right.
bool sameSecretBytes(const uint8_t* a, const uint8_t* b, size_t length);

// Zeroes the bytes in a way the compiler cannot leave out, even when the
// buffer is never read again (which is exactly when a wipe matters).
void wipeSecret(void* bytes, size_t length);
