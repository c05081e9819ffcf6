// PBKDF2 (RFC 8018, section 5.2) with HMAC-SHA1 as the pseudorandom
// function. The password is keyed into the HMAC once; every iteration
// copies that keyed record instead of hashing the pads again, which halves
// the work of the thousand iterations.
#include "support/portable/pbkdf2.h"

#include "support/portable/hmac_sha1.h"
#include "support/portable/secret_bytes.h"

void pbkdf2HmacSha1(const uint8_t* password, size_t passwordLength, const uint8_t* salt, size_t saltLength,
                    uint32_t iterations, uint8_t* out, size_t outLength) {
  // Everything secret in one record, wiped at once.
  struct {
    HmacSha1 keyed;
    HmacSha1 hmac;
    uint8_t u[kSha1DigestBytes];
    uint8_t t[kSha1DigestBytes];
  } work;
  hmacSha1Start(&work.keyed, password, passwordLength);
  for (uint32_t blockIndex = 1; outLength != 0; ++blockIndex) {
    // U1 = PRF(P, S || INT(i)) with i big-endian, Uj = PRF(P, Uj-1), and
    // T = U1 ^ U2 ^ ... ^ Uc.
    uint32_t round = 0;
    do {
      work.hmac = work.keyed;
      if (round == 0) {
        hmacSha1Update(&work.hmac, salt, saltLength);
        for (unsigned j = 0; j < 4; ++j) work.u[j] = static_cast<uint8_t>(blockIndex >> (24 - 8 * j));
        hmacSha1Update(&work.hmac, work.u, 4);
      } else {
        hmacSha1Update(&work.hmac, work.u, kSha1DigestBytes);
      }
      hmacSha1Finish(&work.hmac, work.u);
      for (unsigned j = 0; j < kSha1DigestBytes; ++j) work.t[j] = (round == 0 ? 0 : work.t[j]) ^ work.u[j];
    } while (++round < iterations);
    const size_t take = outLength < kSha1DigestBytes ? outLength : kSha1DigestBytes;
    for (size_t j = 0; j < take; ++j) out[j] = work.t[j];
    out += take;
    outLength -= take;
  }
  wipeSecret(&work, sizeof work);
}

void deriveAesMemberKeys(const uint8_t* password, size_t passwordLength, const uint8_t* salt, AesKeyLength length,
                         AesMemberKeys* keys) {
  keys->length = length;
  pbkdf2HmacSha1(password, passwordLength, salt, aesMemberSaltBytes(length), kAesMemberIterations, keys->derived,
                 2 * aesKeyBytes(length) + kAesMemberVerifierBytes);
}
