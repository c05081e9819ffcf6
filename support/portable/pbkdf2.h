// PBKDF2 with HMAC-SHA1 (pbkdf2.cpp), and the keys of an AES-encrypted ZIP
// member derived with it.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "support/portable/aes.h"

// Fills out with outLength bytes derived from the password and the salt;
// iterations is at least 1.
void pbkdf2HmacSha1(const uint8_t* password, size_t passwordLength, const uint8_t* salt, size_t saltLength,
                    uint32_t iterations, uint8_t* out, size_t outLength);

// The iterations every AES-encrypted member's keys take.
const uint32_t kAesMemberIterations = 1000;

inline size_t aesMemberSaltBytes(AesKeyLength length) { return aesKeyBytes(length) / 2; }
const size_t kAesMemberVerifierBytes = 2;
const size_t kAesMemberCodeBytes = 10;  // the stored, truncated HMAC-SHA1

// What one member's password and salt give, in this order: the key of the
// counter-mode encryption, the key of the authentication code over the
// encrypted data (each aesKeyBytes(length) long), and the two bytes stored
// before the data that reject a wrong password early.
struct AesMemberKeys {
  AesKeyLength length;
  uint8_t derived[2 * 32 + kAesMemberVerifierBytes];
};

inline const uint8_t* aesMemberEncryptionKey(const AesMemberKeys* keys) { return keys->derived; }
inline const uint8_t* aesMemberAuthenticationKey(const AesMemberKeys* keys) {
  return keys->derived + aesKeyBytes(keys->length);
}
inline const uint8_t* aesMemberVerifier(const AesMemberKeys* keys) {
  return keys->derived + 2 * aesKeyBytes(keys->length);
}

// salt holds aesMemberSaltBytes(length) bytes.
void deriveAesMemberKeys(const uint8_t* password, size_t passwordLength, const uint8_t* salt, AesKeyLength length,
                         AesMemberKeys* keys);
