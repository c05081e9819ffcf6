// The stub's cryptography against libcrypto's, natively (bench/native/):
// AES-256 counter mode through the portable path, through the processor's
// AES instructions and through libcrypto's EVP aes-256-ctr; HMAC-SHA1, the
// authentication code that runs over every encrypted byte; and the key
// derivation of one AES-256 member (PBKDF2, 1,000 iterations, 66 bytes).
// Our code is compiled at -Os, as the stub compiles it. The best of several
// runs counts, timed by the processor time this thread used: on a machine
// shared with other work the wall clock measures mostly the waiting. Not a test: the figures depend on the machine and its load.
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <stdint.h>
#include <stdio.h>
#include <time.h>

#include <vector>

#include "support/portable/aes.h"
#include "support/portable/hmac_sha1.h"
#include "support/portable/pbkdf2.h"

namespace {

const size_t kDataBytes = 16 << 20;
const int kRuns = 5;

double now() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return t.tv_sec + t.tv_nsec * 1e-9;
}

template <typename Work>
double bestSeconds(Work work) {
  double best = 1e30;
  for (int run = 0; run < kRuns; ++run) {
    const double start = now();
    work();
    const double took = now() - start;
    if (took < best) best = took;
  }
  return best;
}

void report(const char* what, double seconds, double reference) {
  printf("  %-40s %8.0f MB/s  %5.2fx libcrypto\n", what, kDataBytes / seconds / 1e6, reference / seconds);
}

}  // namespace

int main() {
  std::vector<uint8_t> data(kDataBytes);
  uint32_t seed = 7;
  for (auto& b : data) b = static_cast<uint8_t>((seed = seed * 1103515245u + 12345u) >> 24);
  uint8_t key[32], iv[16] = {1};
  for (int i = 0; i < 32; ++i) key[i] = static_cast<uint8_t>(i * 7 + 1);

  printf("-- AES-256 counter mode over %zu MiB, in pieces of 64 KiB as the engine reads\n", kDataBytes >> 20);
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  const double theirs = bestSeconds([&] {
    EVP_EncryptInit_ex(ctx, EVP_aes_256_ctr(), nullptr, key, iv);
    int written = 0;
    for (size_t at = 0; at < data.size(); at += 65536) EVP_EncryptUpdate(ctx, &data[at], &written, &data[at], 65536);
  });
  EVP_CIPHER_CTX_free(ctx);
  report("libcrypto EVP aes-256-ctr", theirs, theirs);
  for (bool instructions : {false, true}) {
    if (instructions && !aesHasInstructions()) {
      printf("  (this processor has no AES instructions)\n");
      continue;
    }
    AesCtr ctr;
    const double ours = bestSeconds([&] {
      aesCtrStart(&ctr, key, kAes256);
      ctr.key.useInstructions = instructions;
      for (size_t at = 0; at < data.size(); at += 65536) aesCtrApply(&ctr, &data[at], 65536);
    });
    report(instructions ? "ours, AES instructions" : "ours, portable", ours, theirs);
  }

  printf("-- HMAC-SHA1 over the same data\n");
  uint8_t code[20];
  unsigned codeLength = 0;
  const double theirsMac = bestSeconds([&] { HMAC(EVP_sha1(), key, 32, data.data(), data.size(), code, &codeLength); });
  report("libcrypto HMAC(EVP_sha1())", theirsMac, theirsMac);
  for (bool instructions : {false, true}) {
    if (instructions && !sha1HasInstructions()) continue;
    const double oursMac = bestSeconds([&] {
      HmacSha1 hmac;
      hmacSha1Start(&hmac, key, 32);
      hmac.inner.useInstructions = hmac.outer.useInstructions = instructions;
      for (size_t at = 0; at < data.size(); at += 65536) hmacSha1Update(&hmac, &data[at], 65536);
      hmacSha1Finish(&hmac, code);
    });
    report(instructions ? "ours, SHA instructions" : "ours, portable", oursMac, theirsMac);
  }

  printf("-- the keys of one AES-256 member (PBKDF2-HMAC-SHA1, 1,000 iterations, 66 bytes)\n");
  const uint8_t password[] = "a publisher's password";
  const uint8_t* salt = key;
  uint8_t derived[66];
  const double theirsKeys = bestSeconds([&] {
    PKCS5_PBKDF2_HMAC_SHA1(reinterpret_cast<const char*>(password), sizeof password - 1, salt, 16, 1000, 66, derived);
  });
  AesMemberKeys keys;
  const double oursKeys = bestSeconds([&] { deriveAesMemberKeys(password, sizeof password - 1, salt, kAes256, &keys); });
  printf("  %-40s %8.2f ms\n  %-40s %8.2f ms  %5.2fx libcrypto\n", "libcrypto PKCS5_PBKDF2_HMAC_SHA1", theirsKeys * 1e3,
         sha1HasInstructions() ? "ours, SHA instructions" : "ours, portable", oursKeys * 1e3, theirsKeys / oursKeys);
  return 0;
}
