// SHA-1 (RFC 3174), in its compact form: the message schedule kept as a
// ring of 16 words, and the 80 steps in one loop that picks the step's
// function and constant: a fraction of the size of the unrolled steps, for
// a part of their speed.
#include "support/portable/sha1.h"

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

}  // namespace

void sha1Start(Sha1* sha) {
  sha->state[0] = 0x67452301u;
  sha->state[1] = 0xEFCDAB89u;
  sha->state[2] = 0x98BADCFEu;
  sha->state[3] = 0x10325476u;
  sha->state[4] = 0xC3D2E1F0u;
  sha->length = 0;
}

void sha1Update(Sha1* sha, const uint8_t* data, size_t length) {
  while (length != 0) {
    const unsigned held = static_cast<unsigned>(sha->length % kSha1BlockBytes);
    // Whole blocks of the caller's data go straight in, without a copy.
    if (held == 0 && length >= kSha1BlockBytes) {
      compress(sha, data);
      data += kSha1BlockBytes;
      length -= kSha1BlockBytes;
      sha->length += kSha1BlockBytes;
      continue;
    }
    sha->pending[held] = *data++;
    --length;
    if (++sha->length % kSha1BlockBytes == 0) compress(sha, sha->pending);
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
      compress(sha, sha->pending);
      held = 0;
    }
  } while (held != kSha1BlockBytes - 8);
  for (unsigned i = 0; i < 8; ++i) sha->pending[held + i] = static_cast<uint8_t>(bits >> (56 - 8 * i));
  compress(sha, sha->pending);
  for (unsigned i = 0; i < kSha1DigestBytes; ++i) {
    digest[i] = static_cast<uint8_t>(sha->state[i / 4] >> (24 - 8 * (i % 4)));
  }
}
