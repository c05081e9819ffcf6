// The stub's cryptography against libcrypto on random keys, data and
// pieces, and against AES-encrypted members that 7-Zip writes at test time
// (the whole chain: key derivation, password verifier, counter mode and the
// authentication code over the encrypted data). The published vectors are
// tests/support/crypto_test.cpp.
#include "support/portable/aes.h"
#include "support/portable/hmac_sha1.h"
#include "support/portable/pbkdf2.h"
#include "support/portable/secret_bytes.h"
#include "support/portable/sha1.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

std::mt19937 random32(20240613);

Bytes randomBytes(size_t n) {
  Bytes b(n);
  for (auto& x : b) x = static_cast<uint8_t>(random32());
  return b;
}

const EVP_CIPHER* ecbOf(AesKeyLength length) {
  return length == kAes128 ? EVP_aes_128_ecb() : length == kAes192 ? EVP_aes_192_ecb() : EVP_aes_256_ecb();
}

Bytes opensslEcb(AesKeyLength length, const Bytes& key, const Bytes& blocks) {
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  EVP_EncryptInit_ex(ctx, ecbOf(length), nullptr, key.data(), nullptr);
  EVP_CIPHER_CTX_set_padding(ctx, 0);
  Bytes out(blocks.size());
  int written = 0;
  EVP_EncryptUpdate(ctx, out.data(), &written, blocks.data(), static_cast<int>(blocks.size()));
  EVP_CIPHER_CTX_free(ctx);
  return out;
}

// Feeds data to update in random pieces (some empty, some over a block).
template <typename Update>
void inRandomPieces(const Bytes& data, Update update) {
  for (size_t at = 0; at < data.size();) {
    const size_t piece = std::min<size_t>(random32() % 150, data.size() - at);
    update(data.data() + at, piece);
    at += piece;
  }
}

std::vector<bool> paths() {
  std::vector<bool> p = {false};
  if (aesHasInstructions()) p.push_back(true);
  return p;
}

TEST(CryptoAgainstLibcrypto, AesCounterMode) {
  for (int round = 0; round < 300; ++round) {
    const AesKeyLength length = static_cast<AesKeyLength>(round % 3);
    const Bytes key = randomBytes(aesKeyBytes(length));
    const Bytes data = randomBytes(random32() % 3000);
    // The keystream: libcrypto's encryption of the little-endian counter
    // blocks 1, 2, 3, ... laid end to end.
    Bytes counters((data.size() + 15) / 16 * 16);
    for (size_t block = 0; block < counters.size() / 16; ++block) {
      uint64_t value = block + 1;
      for (size_t i = 0; i < 8; ++i) counters[16 * block + i] = static_cast<uint8_t>(value >> (8 * i));
    }
    const Bytes stream = opensslEcb(length, key, counters);
    Bytes expected = data;
    for (size_t i = 0; i < data.size(); ++i) expected[i] ^= stream[i];
    for (bool instructions : paths()) {
      AesCtr ctr;
      aesCtrStart(&ctr, key.data(), length);
      ctr.key.useInstructions = instructions;
      Bytes got;
      inRandomPieces(data, [&](const uint8_t* piece, size_t n) {
        Bytes copy(piece, piece + n);
        aesCtrApply(&ctr, copy.data(), n);
        got.insert(got.end(), copy.begin(), copy.end());
      });
      ASSERT_EQ(got, expected) << "round " << round << " instructions " << instructions;
    }
  }
}

TEST(CryptoAgainstLibcrypto, Sha1AndHmac) {
  for (int round = 0; round < 400; ++round) {
    const Bytes data = randomBytes(random32() % 2000);
    const Bytes key = randomBytes(random32() % 200);
    uint8_t expected[20], got[20];
    unsigned expectedLength = 0;
    EVP_Digest(data.data(), data.size(), expected, &expectedLength, EVP_sha1(), nullptr);
    Sha1 sha;
    sha1Start(&sha);
    inRandomPieces(data, [&](const uint8_t* piece, size_t n) { sha1Update(&sha, piece, n); });
    sha1Finish(&sha, got);
    ASSERT_EQ(Bytes(got, got + 20), Bytes(expected, expected + 20)) << "SHA-1 of " << data.size() << " bytes";

    HMAC(EVP_sha1(), key.data(), static_cast<int>(key.size()), data.data(), data.size(), expected, &expectedLength);
    HmacSha1 hmac;
    hmacSha1Start(&hmac, key.data(), key.size());
    inRandomPieces(data, [&](const uint8_t* piece, size_t n) { hmacSha1Update(&hmac, piece, n); });
    hmacSha1Finish(&hmac, got);
    ASSERT_EQ(Bytes(got, got + 20), Bytes(expected, expected + 20)) << "HMAC, key of " << key.size() << " bytes";
  }
}

TEST(CryptoAgainstLibcrypto, Pbkdf2) {
  for (int round = 0; round < 100; ++round) {
    const Bytes password = randomBytes(random32() % 100);
    const Bytes salt = randomBytes(random32() % 40);
    const uint32_t iterations = 1 + random32() % 40;
    Bytes expected(1 + random32() % 90), got(expected.size());
    PKCS5_PBKDF2_HMAC_SHA1(reinterpret_cast<const char*>(password.data()), static_cast<int>(password.size()),
                           salt.data(), static_cast<int>(salt.size()), static_cast<int>(iterations),
                           static_cast<int>(expected.size()), expected.data());
    pbkdf2HmacSha1(password.data(), password.size(), salt.data(), salt.size(), iterations, got.data(), got.size());
    ASSERT_EQ(got, expected) << "round " << round;
  }
}

// ---------------------------------------------------------------------------
// Members 7-Zip encrypts
// ---------------------------------------------------------------------------

unsigned field16(const Bytes& b, size_t at) { return b[at] | (b[at + 1] << 8); }
uint32_t field32(const Bytes& b, size_t at) { return field16(b, at) | (static_cast<uint32_t>(field16(b, at + 2)) << 16); }

TEST(CryptoAgainstSevenZip, StoredMembersOfEachKeyLength) {
  if (system("7zz >/dev/null 2>&1") != 0) GTEST_SKIP() << "7zz is not installed";
  char folder[] = "/tmp/zimbro-crypto-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  const std::string dir = folder;
  const Bytes plain = randomBytes(5000);
  std::ofstream(dir + "/member.bin", std::ios::binary).write(reinterpret_cast<const char*>(plain.data()), plain.size());
  const std::string password = "correct horse";
  const struct {
    const char* option;
    AesKeyLength length;
  } rows[] = {{"AES128", kAes128}, {"AES192", kAes192}, {"AES256", kAes256}};
  for (const auto& row : rows) {
    const std::string archive = dir + "/" + row.option + ".zip";
    const std::string command = "cd " + dir + " && 7zz a -tzip -mm=Copy -mem=" + row.option + " -p'" + password +
                                "' " + archive + " member.bin >/dev/null";
    ASSERT_EQ(system(command.c_str()), 0) << command;
    std::ifstream in(archive, std::ios::binary);
    const Bytes zip((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_EQ(field32(zip, 0), 0x04034B50u);
    ASSERT_EQ(field16(zip, 8), 99u) << "not an AES member";
    const size_t start = 30 + field16(zip, 26) + field16(zip, 28);
    const size_t stored = field32(zip, 18);
    const size_t saltBytes = aesMemberSaltBytes(row.length);
    ASSERT_EQ(stored, saltBytes + 2 + plain.size() + kAesMemberCodeBytes);

    AesMemberKeys keys;
    deriveAesMemberKeys(reinterpret_cast<const uint8_t*>(password.data()), password.size(), &zip[start], row.length,
                        &keys);
    EXPECT_TRUE(sameSecretBytes(aesMemberVerifier(&keys), &zip[start + saltBytes], 2)) << row.option;
    Bytes data(zip.begin() + start + saltBytes + 2, zip.begin() + start + stored - kAesMemberCodeBytes);
    HmacSha1 hmac;
    hmacSha1Start(&hmac, aesMemberAuthenticationKey(&keys), aesKeyBytes(row.length));
    hmacSha1Update(&hmac, data.data(), data.size());
    uint8_t code[20];
    hmacSha1Finish(&hmac, code);
    EXPECT_TRUE(sameSecretBytes(code, &zip[start + stored - kAesMemberCodeBytes], kAesMemberCodeBytes)) << row.option;
    AesCtr ctr;
    aesCtrStart(&ctr, aesMemberEncryptionKey(&keys), row.length);
    aesCtrApply(&ctr, data.data(), data.size());
    EXPECT_EQ(data, plain) << row.option;
  }
  system(("rm -rf " + dir).c_str());
}

}  // namespace
