// AES block encryption and the counter mode of encrypted ZIP members (aes.cpp).
// Only the forward cipher: counter mode decrypts by encrypting counters.
#pragma once

#include <stddef.h>
#include <stdint.h>

enum AesKeyLength { kAes128, kAes192, kAes256 };

inline size_t aesKeyBytes(AesKeyLength length) { return 16 + 8 * static_cast<size_t>(length); }

// An expanded key. The S-box is computed into the record with the round
// keys: no table travels in the program and none is shared between threads.
struct AesKey {
  uint8_t roundKeys[15 * 16];
  uint8_t sbox[256];
  uint8_t rounds;           // 10, 12 or 14
  bool useInstructions;     // the processor's AES instructions; a test may clear it
};

// True when the processor has the AES instructions (and SSE2).
bool aesHasInstructions();

// keyBytes holds aesKeyBytes(length) bytes.
void aesExpandKey(AesKey* key, const uint8_t* keyBytes, AesKeyLength length);

void aesEncryptBlock(const AesKey* key, const uint8_t* in, uint8_t* out);

// Counter mode as encrypted ZIP members use it: the counter is a 16-byte
// little-endian number that starts at 1, and each block of data is XORed
// with the encryption of the next value. Calls may split the data anywhere;
// the record keeps the place in the keystream.
const unsigned kAesCtrBatch = 4;  // blocks of keystream made at once

struct AesCtr {
  AesKey key;
  uint8_t counter[16];  // the next value to encrypt
  uint8_t keystream[kAesCtrBatch * 16];
  unsigned used;        // keystream bytes already consumed
  uint8_t scratch[16];  // the portable rounds' working block
};

void aesCtrStart(AesCtr* ctr, const uint8_t* keyBytes, AesKeyLength length);
// Encrypts or decrypts in place (the same operation).
void aesCtrApply(AesCtr* ctr, uint8_t* data, size_t length);
