// SHA-1 (RFC 3174), in its compact form: the message schedule kept as a
// ring of 16 words, and the 80 steps in one loop that picks the step's
// function and constant: a fraction of the size of the unrolled steps, for
// a part of their speed.
#include "support/portable/sha1.h"

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#include <immintrin.h>
#define ZIMBRO_SHA_INSTRUCTIONS 1
#endif

namespace {

inline uint32_t rotateLeft(uint32_t x, unsigned n) { return (x << n) | (x >> (32 - n)); }

// The schedule lives in the record rather than in a local array, which the
// stack protector would guard in every block.
void compress(Sha1* sha, const uint8_t* block) {
  uint32_t* const state = sha->state;
  uint32_t* const w = sha->schedule;
  for (unsigned t = 0; t < 16; ++t) {
    w[t] = (static_cast<uint32_t>(block[4 * t]) << 24) | (static_cast<uint32_t>(block[4 * t + 1]) << 16) |
           (static_cast<uint32_t>(block[4 * t + 2]) << 8) | block[4 * t + 3];
  }
  uint32_t a = state[0], b = state[1], c = state[2], d = state[3], e = state[4];
  for (unsigned t = 0; t < 80; ++t) {
    if (t >= 16) {
      w[t & 15] = rotateLeft(w[(t - 3) & 15] ^ w[(t - 8) & 15] ^ w[(t - 14) & 15] ^ w[t & 15], 1);
    }
    uint32_t f, k;
    if (t < 20) {
      f = (b & c) | (~b & d);
      k = 0x5A827999u;
    } else if (t < 40) {
      f = b ^ c ^ d;
      k = 0x6ED9EBA1u;
    } else if (t < 60) {
      f = (b & c) | (b & d) | (c & d);
      k = 0x8F1BBCDCu;
    } else {
      f = b ^ c ^ d;
      k = 0xCA62C1D6u;
    }
    const uint32_t next = rotateLeft(a, 5) + f + e + w[t & 15] + k;
    e = d;
    d = c;
    c = rotateLeft(b, 30);
    b = a;
    a = next;
  }
  state[0] += a;
  state[1] += b;
  state[2] += c;
  state[3] += d;
  state[4] += e;
}

#if ZIMBRO_SHA_INSTRUCTIONS
// The same compression by the processor's SHA instructions, four steps an
// instruction. A register holds A, B, C and D with A in its highest word,
// and the next four schedule words with the first in the highest word (E
// added to it). The block's big-endian words are turned round without a
// table of shuffles: no constant in memory, nothing to relocate.
__attribute__((target("sha,sse2"))) inline __m128i bigEndianWords(const uint8_t* bytes) {
  __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
  x = _mm_shuffle_epi32(x, 0x1B);  // the words' order
  x = _mm_shufflehi_epi16(_mm_shufflelo_epi16(x, 0xB1), 0xB1);  // the halves of each word
  return _mm_or_si128(_mm_slli_epi16(x, 8), _mm_srli_epi16(x, 8));  // the bytes of each half
}

__attribute__((target("sha,sse2"))) void compressWithInstructions(Sha1* sha, const uint8_t* block) {
  const __m128i abcdBefore = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(sha->state)), 0x1B);
  const __m128i eBefore = _mm_set_epi32(static_cast<int>(sha->state[4]), 0, 0, 0);
  // The words of the next four groups, w0 first. Locals, not an array: an
  // array would take the stack guard.
  __m128i w0 = bigEndianWords(block), w1 = bigEndianWords(block + 16), w2 = bigEndianWords(block + 32),
          w3 = bigEndianWords(block + 48);
  __m128i abcd = abcdBefore, e = _mm_add_epi32(eBefore, w0);
  // Twenty groups of four steps, five of each function. Each group's input
  // is its words with E of the group added, E being A of the group before
  // last turned by 30; from the fifth group on the words come from the
  // four groups before (W[t] = (W[t-3] ^ W[t-8] ^ W[t-14] ^ W[t-16]) <<< 1,
  // four at once).
  for (unsigned g = 0; g < 20; ++g) {
    const __m128i before = abcd;
    if (g < 5) {
      abcd = _mm_sha1rnds4_epu32(abcd, e, 0);
    } else if (g < 10) {
      abcd = _mm_sha1rnds4_epu32(abcd, e, 1);
    } else if (g < 15) {
      abcd = _mm_sha1rnds4_epu32(abcd, e, 2);
    } else {
      abcd = _mm_sha1rnds4_epu32(abcd, e, 3);
    }
    const __m128i next = _mm_sha1msg2_epu32(_mm_xor_si128(_mm_sha1msg1_epu32(w0, w1), w2), w3);
    w0 = w1;
    w1 = w2;
    w2 = w3;
    w3 = next;
    e = _mm_sha1nexte_epu32(before, g < 19 ? w0 : eBefore);
  }
  abcd = _mm_add_epi32(abcd, abcdBefore);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(sha->state), _mm_shuffle_epi32(abcd, 0x1B));
  sha->state[4] = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_shuffle_epi32(e, 0xFF)));
}
#endif

void compressBlock(Sha1* sha, const uint8_t* block) {
#if ZIMBRO_SHA_INSTRUCTIONS
  if (sha->useInstructions) return compressWithInstructions(sha, block);
#endif
  compress(sha, block);
}

}  // namespace

bool sha1HasInstructions() {
#if ZIMBRO_SHA_INSTRUCTIONS
  unsigned eax, ebx, ecx, edx;
  if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx) || (edx & bit_SSE2) == 0) return false;
  return __get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx) && (ebx & bit_SHA) != 0;
#else
  return false;
#endif
}

void sha1Start(Sha1* sha) {
  sha->state[0] = 0x67452301u;
  sha->state[1] = 0xEFCDAB89u;
  sha->state[2] = 0x98BADCFEu;
  sha->state[3] = 0x10325476u;
  sha->state[4] = 0xC3D2E1F0u;
  sha->length = 0;
  sha->useInstructions = sha1HasInstructions();
}

void sha1Update(Sha1* sha, const uint8_t* data, size_t length) {
  while (length != 0) {
    const unsigned held = static_cast<unsigned>(sha->length % kSha1BlockBytes);
    // Whole blocks of the caller's data go straight in, without a copy.
    if (held == 0 && length >= kSha1BlockBytes) {
      compressBlock(sha, data);
      data += kSha1BlockBytes;
      length -= kSha1BlockBytes;
      sha->length += kSha1BlockBytes;
      continue;
    }
    sha->pending[held] = *data++;
    --length;
    if (++sha->length % kSha1BlockBytes == 0) compressBlock(sha, sha->pending);
  }
}

void sha1Finish(Sha1* sha, uint8_t* digest) {
  // The padding: 0x80, zeros up to 8 bytes before the end of a block, and
  // the message's length in bits, big-endian, in those 8 bytes.
  const uint64_t bits = sha->length * 8;
  unsigned held = static_cast<unsigned>(sha->length % kSha1BlockBytes);
  uint8_t fill = 0x80;
  do {
    sha->pending[held++] = fill;
    fill = 0;
    if (held == kSha1BlockBytes) {
      compressBlock(sha, sha->pending);
      held = 0;
    }
  } while (held != kSha1BlockBytes - 8);
  for (unsigned i = 0; i < 8; ++i) sha->pending[held + i] = static_cast<uint8_t>(bits >> (56 - 8 * i));
  compressBlock(sha, sha->pending);
  for (unsigned i = 0; i < kSha1DigestBytes; ++i) {
    digest[i] = static_cast<uint8_t>(sha->state[i / 4] >> (24 - 8 * (i % 4)));
  }
}
