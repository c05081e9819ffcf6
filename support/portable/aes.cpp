// AES (FIPS-197), encryption only, written for size: the stub carries it to
// every installer. Bytes throughout, in the standard's column order (byte
// r + 4c is row r of column c), so no byte order or alignment matters.
// - The S-box is computed into the key record when the key is expanded
//   (a few microseconds against the milliseconds of the
//   password's key derivation): fewer bytes than the 256-byte table, and
//   nothing shared that threads would have to agree on.
// - No T-tables: SubBytes, ShiftRows and MixColumns work byte by byte.
//   Where the processor has the AES instructions they replace all of it;
//   the round keys are the same bytes for both paths.
// - Counter mode makes four blocks of keystream at a time, so that the
//   instructions, whose results come several cycles later, work on four
//   independent blocks side by side.
#include "support/portable/aes.h"

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#include <immintrin.h>
#define ZIMBRO_AES_INSTRUCTIONS 1
#endif

namespace {

// Multiplication by x in GF(2^8) modulo x^8 + x^4 + x^3 + x + 1.
inline uint8_t timesX(uint8_t b) { return static_cast<uint8_t>((b << 1) ^ ((b >> 7) * 0x1B)); }

uint8_t multiply(uint8_t a, uint8_t b) {
  uint8_t product = 0;
  for (; b != 0; b >>= 1, a = timesX(a)) {
    if (b & 1) product ^= a;
  }
  return product;
}

// Walks the field's non-zero elements as powers of the generator 3 while a
// second value walks the inverse powers (0xF6 is 3's inverse), so each
// element meets its multiplicative inverse; the affine transform of the
// inverse is the S-box entry.
void makeSbox(uint8_t* sbox) {
  uint8_t element = 1, inverse = 1;
  do {
    uint8_t entry = inverse, rotated = inverse;
    for (int k = 0; k < 4; ++k) {
      rotated = static_cast<uint8_t>((rotated << 1) | (rotated >> 7));
      entry ^= rotated;
    }
    sbox[element] = static_cast<uint8_t>(entry ^ 0x63);
    element ^= timesX(element);
    inverse = multiply(inverse, 0xF6);
  } while (element != 1);
  sbox[0] = 0x63;
}

// scratch: 16 bytes of the caller's (a local array would take a stack guard
// in every call).
void encryptPortable(const AesKey* key, uint8_t* block, uint8_t* scratch) {
  const uint8_t* roundKey = key->roundKeys;
  for (unsigned i = 0; i < 16; ++i) block[i] ^= roundKey[i];
  for (unsigned round = 1; round <= key->rounds; ++round) {
    roundKey += 16;
    // SubBytes and ShiftRows, into the scratch: row r moves r columns left.
    for (unsigned i = 0; i < 16; ++i) scratch[i] = key->sbox[block[(i + 4 * (i & 3)) & 15]];
    // MixColumns, in the form a_i ^ (a0^a1^a2^a3) ^ 2(a_i ^ a_i+1), and
    // AddRoundKey, back into the block. The last round mixes nothing.
    for (unsigned i = 0; i < 16; ++i) {
      uint8_t value = scratch[i];
      if (round != key->rounds) {
        const uint8_t* column = scratch + (i & ~3u);
        value ^= column[0] ^ column[1] ^ column[2] ^ column[3] ^ timesX(value ^ column[(i + 1) & 3]);
      }
      block[i] = value ^ roundKey[i];
    }
  }
}

#if ZIMBRO_AES_INSTRUCTIONS
__attribute__((target("aes,sse2"))) void encryptWithInstructions(const AesKey* key, uint8_t* blocks) {
  static_assert(kAesCtrBatch == 4, "four blocks in four registers");
  const __m128i* roundKeys = reinterpret_cast<const __m128i*>(key->roundKeys);
  __m128i* data = reinterpret_cast<__m128i*>(blocks);
  const __m128i first = _mm_loadu_si128(roundKeys);
  __m128i b0 = _mm_xor_si128(_mm_loadu_si128(data + 0), first);
  __m128i b1 = _mm_xor_si128(_mm_loadu_si128(data + 1), first);
  __m128i b2 = _mm_xor_si128(_mm_loadu_si128(data + 2), first);
  __m128i b3 = _mm_xor_si128(_mm_loadu_si128(data + 3), first);
  for (unsigned round = 1; round < key->rounds; ++round) {
    const __m128i k = _mm_loadu_si128(roundKeys + round);
    b0 = _mm_aesenc_si128(b0, k);
    b1 = _mm_aesenc_si128(b1, k);
    b2 = _mm_aesenc_si128(b2, k);
    b3 = _mm_aesenc_si128(b3, k);
  }
  const __m128i last = _mm_loadu_si128(roundKeys + key->rounds);
  _mm_storeu_si128(data + 0, _mm_aesenclast_si128(b0, last));
  _mm_storeu_si128(data + 1, _mm_aesenclast_si128(b1, last));
  _mm_storeu_si128(data + 2, _mm_aesenclast_si128(b2, last));
  _mm_storeu_si128(data + 3, _mm_aesenclast_si128(b3, last));
}
#endif

// Encrypts kAesCtrBatch blocks in place; scratch: 16 bytes.
void encryptBatch(const AesKey* key, uint8_t* blocks, uint8_t* scratch) {
#if ZIMBRO_AES_INSTRUCTIONS
  if (key->useInstructions) {
    encryptWithInstructions(key, blocks);
    return;
  }
#endif
  for (unsigned b = 0; b < kAesCtrBatch; ++b) encryptPortable(key, blocks + 16 * b, scratch);
}

}  // namespace

bool aesHasInstructions() {
#if ZIMBRO_AES_INSTRUCTIONS
  unsigned eax, ebx, ecx, edx;
  if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return false;
  return (ecx & bit_AES) != 0 && (edx & bit_SSE2) != 0;
#else
  return false;
#endif
}

void aesExpandKey(AesKey* key, const uint8_t* keyBytes, AesKeyLength length) {
  makeSbox(key->sbox);
  const unsigned keyWords = 4 + 2 * static_cast<unsigned>(length);
  key->rounds = static_cast<uint8_t>(keyWords + 6);
  uint8_t* words = key->roundKeys;
  for (unsigned i = 0; i < 4 * keyWords; ++i) words[i] = keyBytes[i];
  uint8_t roundConstant = 1;
  for (unsigned i = keyWords; i < 4 * (key->rounds + 1u); ++i) {
    // The new word is built where it belongs, from a copy of the one before.
    uint8_t* word = words + 4 * i;
    for (unsigned j = 0; j < 4; ++j) word[j] = words[4 * (i - 1) + j];
    const bool rotate = i % keyWords == 0;
    if (rotate || (keyWords > 6 && i % keyWords == 4)) {
      if (rotate) {
        const uint8_t firstByte = word[0];
        word[0] = word[1];
        word[1] = word[2];
        word[2] = word[3];
        word[3] = firstByte;
      }
      for (unsigned j = 0; j < 4; ++j) word[j] = key->sbox[word[j]];
      if (rotate) {
        word[0] ^= roundConstant;
        roundConstant = timesX(roundConstant);
      }
    }
    for (unsigned j = 0; j < 4; ++j) word[j] ^= words[4 * (i - keyWords) + j];
  }
  key->useInstructions = aesHasInstructions();
}

void aesEncryptBlock(const AesKey* key, const uint8_t* in, uint8_t* out) {
  uint8_t batch[kAesCtrBatch * 16 + 16];
  for (unsigned i = 0; i < 16; ++i) batch[i] = in[i];
  encryptBatch(key, batch, batch + kAesCtrBatch * 16);
  for (unsigned i = 0; i < 16; ++i) out[i] = batch[i];
}

void aesCtrStart(AesCtr* ctr, const uint8_t* keyBytes, AesKeyLength length) {
  aesExpandKey(&ctr->key, keyBytes, length);
  for (unsigned i = 0; i < 16; ++i) ctr->counter[i] = 0;
  ctr->counter[0] = 1;
  ctr->used = sizeof ctr->keystream;
}

void aesCtrApply(AesCtr* ctr, uint8_t* data, size_t length) {
  while (length != 0) {
    if (ctr->used == sizeof ctr->keystream) {
      for (unsigned b = 0; b < kAesCtrBatch; ++b) {
        for (unsigned i = 0; i < 16; ++i) ctr->keystream[16 * b + i] = ctr->counter[i];
        for (unsigned i = 0; i < 16 && ++ctr->counter[i] == 0; ++i) {
        }
      }
      encryptBatch(&ctr->key, ctr->keystream, ctr->scratch);
      ctr->used = 0;
    }
    size_t run = sizeof ctr->keystream - ctr->used;
    if (run > length) run = length;
    const uint8_t* stream = ctr->keystream + ctr->used;
    for (size_t i = 0; i < run; ++i) data[i] ^= stream[i];
    data += run;
    length -= run;
    ctr->used += static_cast<unsigned>(run);
  }
}
