// HMAC (RFC 2104) over SHA-1. Both pads are hashed at the start, so a
// record that has only been started can be copied and reused for many
// messages under one key (as PBKDF2 does a thousand times). The pads and
// the inner digest are made in the records' own block buffers, which hold
// nothing else at that moment: no local array, so no stack guard either,
// and nothing secret left behind on the stack.
#include "support/portable/hmac_sha1.h"

void hmacSha1Start(HmacSha1* hmac, const uint8_t* key, size_t keyLength) {
  uint8_t* const pad = hmac->outer.pending;
  if (keyLength > kSha1BlockBytes) {
    // A key longer than a block is replaced by its digest.
    sha1Start(&hmac->inner);
    sha1Update(&hmac->inner, key, keyLength);
    sha1Finish(&hmac->inner, pad);
    keyLength = kSha1DigestBytes;
  } else {
    for (size_t i = 0; i < keyLength; ++i) pad[i] = key[i];
  }
  for (size_t i = 0; i < kSha1BlockBytes; ++i) pad[i] = static_cast<uint8_t>((i < keyLength ? pad[i] : 0) ^ 0x36);
  // A whole block at the start of a hash is compressed where it lies, so
  // the pad may sit in the buffer of the very hash that takes it.
  sha1Start(&hmac->inner);
  sha1Update(&hmac->inner, pad, kSha1BlockBytes);
  for (size_t i = 0; i < kSha1BlockBytes; ++i) pad[i] ^= 0x36 ^ 0x5C;
  sha1Start(&hmac->outer);
  sha1Update(&hmac->outer, pad, kSha1BlockBytes);
}

void hmacSha1Update(HmacSha1* hmac, const uint8_t* data, size_t length) { sha1Update(&hmac->inner, data, length); }

void hmacSha1Finish(HmacSha1* hmac, uint8_t* code) {
  uint8_t* const innerDigest = hmac->inner.pending;  // free once the inner hash is finished
  sha1Finish(&hmac->inner, innerDigest);
  sha1Update(&hmac->outer, innerDigest, kSha1DigestBytes);
  sha1Finish(&hmac->outer, code);
}
