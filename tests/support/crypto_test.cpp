// The stub's cryptography against the published test vectors (FIPS-197,
// RFC 3174, RFC 2202, RFC 6070), through the portable path and, where the
// processor has them, the AES instructions; the secret-byte helpers. The
// counter mode, and everything on random input against libcrypto and
// against 7-Zip's members, is tests/native/crypto_check.cpp.
#include "support/portable/aes.h"
#include "support/portable/hmac_sha1.h"
#include "support/portable/pbkdf2.h"
#include "support/portable/secret_bytes.h"
#include "support/portable/sha1.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes hex(const std::string& digits, size_t times = 1) {
  Bytes once;
  for (size_t i = 0; i + 1 < digits.size(); i += 2) once.push_back(static_cast<uint8_t>(std::stoul(digits.substr(i, 2), nullptr, 16)));
  Bytes all;
  for (size_t n = 0; n < times; ++n) all.insert(all.end(), once.begin(), once.end());
  return all;
}

Bytes text(const std::string& characters, size_t times = 1) {
  Bytes all;
  for (size_t n = 0; n < times; ++n) all.insert(all.end(), characters.begin(), characters.end());
  return all;
}

enum Primitive { kAesBlock, kSha1Digest, kHmac, kPbkdf2 };

struct Vector {
  const char* source;
  Primitive primitive;
  Bytes key;      // the AES key, the HMAC key, the PBKDF2 password
  Bytes message;  // the AES plaintext, the hashed message, the PBKDF2 salt
  uint32_t iterations;
  Bytes expected;  // its length is PBKDF2's output length, or HMAC's truncation
};

const std::vector<Vector>& publishedVectors() {
  static const std::vector<Vector> vectors = {
      {"FIPS-197 B", kAesBlock, hex("2b7e151628aed2a6abf7158809cf4f3c"), hex("3243f6a8885a308d313198a2e0370734"), 0,
       hex("3925841d02dc09fbdc118597196a0b32")},
      {"FIPS-197 C.1", kAesBlock, hex("000102030405060708090a0b0c0d0e0f"), hex("00112233445566778899aabbccddeeff"), 0,
       hex("69c4e0d86a7b0430d8cdb78070b4c55a")},
      {"FIPS-197 C.2", kAesBlock, hex("000102030405060708090a0b0c0d0e0f1011121314151617"),
       hex("00112233445566778899aabbccddeeff"), 0, hex("dda97ca4864cdfe06eaf70a0ec0d7191")},
      {"FIPS-197 C.3", kAesBlock, hex("000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f"),
       hex("00112233445566778899aabbccddeeff"), 0, hex("8ea2b7ca516745bfeafc49904b496089")},
      {"RFC 3174 1", kSha1Digest, {}, text("abc"), 0, hex("a9993e364706816aba3e25717850c26c9cd0d89d")},
      {"RFC 3174 2", kSha1Digest, {}, text("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"), 0,
       hex("84983e441c3bd26ebaae4aa1f95129e5e54670f1")},
      {"RFC 3174 3", kSha1Digest, {}, text("a", 1000000), 0, hex("34aa973cd4c4daa4f61eeb2bdbad27316534016f")},
      {"RFC 3174 4", kSha1Digest, {}, text("01234567", 80), 0, hex("dea356a2cddd90c7a7ecedc5ebb563934f460452")},
      {"empty message", kSha1Digest, {}, {}, 0, hex("da39a3ee5e6b4b0d3255bfef95601890afd80709")},
      {"RFC 2202 1", kHmac, hex("0b", 20), text("Hi There"), 0, hex("b617318655057264e28bc0b6fb378c8ef146be00")},
      {"RFC 2202 2", kHmac, text("Jefe"), text("what do ya want for nothing?"), 0,
       hex("effcdf6ae5eb2fa2d27416d5f184df9c259a7c79")},
      {"RFC 2202 3", kHmac, hex("aa", 20), hex("dd", 50), 0, hex("125d7342b9ac11cd91a39af48aa17b4f63f175d3")},
      {"RFC 2202 4", kHmac, hex("0102030405060708090a0b0c0d0e0f10111213141516171819"), hex("cd", 50), 0,
       hex("4c9007f4026250c6bc8414f9bf50c86c2d7235da")},
      {"RFC 2202 5", kHmac, hex("0c", 20), text("Test With Truncation"), 0, hex("4c1a03424b55e07fe7f27be1")},
      {"RFC 2202 6", kHmac, hex("aa", 80), text("Test Using Larger Than Block-Size Key - Hash Key First"), 0,
       hex("aa4ae5e15272d00e95705637ce8a3b55ed402112")},
      {"RFC 2202 7", kHmac, hex("aa", 80),
       text("Test Using Larger Than Block-Size Key and Larger Than One Block-Size Data"), 0,
       hex("e8e99d0f45237d786d6bbaa7965c7808bbff1a91")},
      {"RFC 6070 1", kPbkdf2, text("password"), text("salt"), 1, hex("0c60c80f961f0e71f3a9b524af6012062fe037a6")},
      {"RFC 6070 2", kPbkdf2, text("password"), text("salt"), 2, hex("ea6c014dc72d6f8ccd1ed92ace1d41f0d8de8957")},
      {"RFC 6070 3", kPbkdf2, text("password"), text("salt"), 4096, hex("4b007901b765489abead49d926f721d065a429c1")},
      {"RFC 6070 5", kPbkdf2, text("passwordPASSWORDpassword"), text("saltSALTsaltSALTsaltSALTsaltSALTsalt"), 4096,
       hex("3d2eec4fe41c849b80c8d83662c0e44a8b291a964cf2f07038")},
      {"RFC 6070 6", kPbkdf2, hex("7061737300776f7264"), hex("7361006c74"), 4096, hex("56fa6aa75548099dcc37d7f03425e0c3")},
  };
  return vectors;
}

// The ways a computation is run: AES and SHA-1 by each path (the
// processor's instructions where it has them), the hashes with the message
// whole and in uneven pieces. PBKDF2 takes the path the machine has.
struct Way {
  bool instructions;
  size_t piece;  // 0: the whole message in one update
};

std::vector<Way> waysOf(Primitive primitive) {
  if (primitive == kPbkdf2) return {{sha1HasInstructions(), 0}};
  const bool has = primitive == kAesBlock ? aesHasInstructions() : sha1HasInstructions();
  std::vector<Way> ways;
  for (bool instructions : {false, true}) {
    if (instructions && !has) continue;
    if (primitive == kAesBlock) {
      ways.push_back({instructions, 0});
    } else {
      for (size_t piece : {0, 1, 7, 64, 65}) ways.push_back({instructions, piece});
    }
  }
  return ways;
}

template <typename Hash, typename Update>
void updateInPieces(Hash* hash, Update update, const Bytes& message, size_t piece) {
  const size_t step = piece == 0 ? message.size() : piece;
  for (size_t at = 0; at < message.size(); at += step) {
    update(hash, message.data() + at, std::min(step, message.size() - at));
  }
}

Bytes compute(const Vector& v, const Way& way) {
  Bytes out(v.primitive == kPbkdf2 || v.primitive == kAesBlock ? v.expected.size() : kSha1DigestBytes);
  switch (v.primitive) {
    case kAesBlock: {
      AesKey key;
      aesExpandKey(&key, v.key.data(), static_cast<AesKeyLength>((v.key.size() - 16) / 8));
      key.useInstructions = way.instructions;
      aesEncryptBlock(&key, v.message.data(), out.data());
      break;
    }
    case kSha1Digest: {
      Sha1 sha;
      sha1Start(&sha);
      sha.useInstructions = way.instructions;
      updateInPieces(&sha, sha1Update, v.message, way.piece);
      sha1Finish(&sha, out.data());
      break;
    }
    case kHmac: {
      HmacSha1 hmac;
      hmacSha1Start(&hmac, v.key.data(), v.key.size());
      hmac.inner.useInstructions = hmac.outer.useInstructions = way.instructions;
      updateInPieces(&hmac, hmacSha1Update, v.message, way.piece);
      hmacSha1Finish(&hmac, out.data());
      out.resize(v.expected.size());
      break;
    }
    case kPbkdf2:
      pbkdf2HmacSha1(v.key.data(), v.key.size(), v.message.data(), v.message.size(), v.iterations, out.data(),
                     out.size());
      break;
  }
  return out;
}

TEST(Cryptography, PublishedVectors) {
  for (const Vector& v : publishedVectors()) {
    for (const Way& way : waysOf(v.primitive)) {
      EXPECT_EQ(compute(v, way), v.expected)
          << v.source << (way.instructions ? ", the processor's instructions" : "") << ", pieces of " << way.piece;
    }
  }
}

TEST(Cryptography, SecretBytes) {
  const Bytes a = hex("00112233445566778899");
  for (size_t flipped = 0; flipped < a.size(); ++flipped) {
    Bytes b = a;
    b[flipped] ^= 0x80;
    EXPECT_FALSE(sameSecretBytes(a.data(), b.data(), a.size())) << flipped;
  }
  EXPECT_TRUE(sameSecretBytes(a.data(), a.data(), a.size()));
  Bytes other = hex("ff");
  EXPECT_TRUE(sameSecretBytes(a.data(), other.data(), 0));
  Bytes secret = a;
  wipeSecret(secret.data(), secret.size());
  EXPECT_EQ(secret, Bytes(a.size(), 0));
}

}  // namespace
