#include "pack/archive/aes_member.h"

#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/params.h>
#include <openssl/rand.h>
#include <string.h>

#include <algorithm>

#include "pack/common/little_endian.h"
#include "pack/common/pack_error.h"

namespace {

const size_t kMacBytes = 20;  // SHA-1's

PackError CryptoFailure(const char* step) { return PackError(std::string("libcrypto failed to ") + step); }

const EVP_CIPHER* BlockCipher(AesStrength s) {
  switch (s) {
    case AesStrength::kAes128: return EVP_aes_128_ecb();
    case AesStrength::kAes192: return EVP_aes_192_ecb();
    case AesStrength::kAes256: return EVP_aes_256_ecb();
  }
  return EVP_aes_256_ecb();
}

}  // namespace

std::string AesStrengthName(AesStrength s) { return "AES-" + std::to_string(AesKeyBytes(s) * 8); }

bool AesStrengthOf(uint8_t byte, AesStrength* strength) {
  if (byte < 1 || byte > 3) return false;
  *strength = static_cast<AesStrength>(byte);
  return true;
}

std::string AesExtra(AesStrength strength, uint16_t method) {
  std::string extra;
  const auto put16 = [&](uint32_t v) {
    extra.push_back(static_cast<char>(v & 0xFF));
    extra.push_back(static_cast<char>((v >> 8) & 0xFF));
  };
  put16(kAesExtraTag);
  put16(kAesExtraSize);
  put16(kAesVersionNoCrc);
  extra += "AE";
  extra.push_back(static_cast<char>(strength));
  put16(method);
  return extra;
}

AesField ReadAesField(const std::vector<uint8_t>& extra) {
  AesField field;
  for (size_t at = 0; at + 4 <= extra.size();) {
    const size_t length = U16(extra, at + 2);
    if (U16(extra, at) == kAesExtraTag) {
      field.present = true;
      if (length != kAesExtraSize || at + 4 + length > extra.size()) return field;
      field.version = static_cast<uint16_t>(U16(extra, at + 4));
      field.method = static_cast<uint16_t>(U16(extra, at + 9));
      field.wellFormed = extra[at + 6] == 'A' && extra[at + 7] == 'E' &&
                         (field.version == kAesVersionCrcKept || field.version == kAesVersionNoCrc) &&
                         AesStrengthOf(extra[at + 8], &field.strength);
      return field;
    }
    at += 4 + length;
  }
  return field;
}

AesMemberCipher::AesMemberCipher(const std::string& password, AesStrength strength, const uint8_t* salt) {
  const size_t keyBytes = AesKeyBytes(strength);
  // The AES key, the HMAC key and the verifier, in this order.
  uint8_t derived[2 * 32 + kAesVerifierSize];
  const size_t derivedBytes = 2 * keyBytes + kAesVerifierSize;
  const bool derivedOk = PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()), salt,
                                           static_cast<int>(AesSaltBytes(strength)), kAesKeyIterations, EVP_sha1(),
                                           static_cast<int>(derivedBytes), derived) == 1;
  memcpy(verifier_, derived + 2 * keyBytes, kAesVerifierSize);
  aes_ = EVP_CIPHER_CTX_new();
  EVP_MAC* hmac = EVP_MAC_fetch(nullptr, "HMAC", nullptr);
  if (hmac != nullptr) mac_ = EVP_MAC_CTX_new(hmac);
  EVP_MAC_free(hmac);  // the context keeps its own reference
  char digest[] = "SHA1";
  const OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, digest, 0),
                               OSSL_PARAM_construct_end()};
  const bool ready = derivedOk && aes_ != nullptr && mac_ != nullptr &&
                     EVP_EncryptInit_ex(aes_, BlockCipher(strength), nullptr, derived, nullptr) == 1 &&
                     EVP_CIPHER_CTX_set_padding(aes_, 0) == 1 &&
                     EVP_MAC_init(mac_, derived + keyBytes, keyBytes, params) == 1;
  OPENSSL_cleanse(derived, sizeof derived);
  if (!ready) {
    EVP_CIPHER_CTX_free(aes_);
    EVP_MAC_CTX_free(mac_);
    throw CryptoFailure("set up AES and HMAC-SHA1 for a member");
  }
  counter_[0] = 1;
}

AesMemberCipher::~AesMemberCipher() {
  OPENSSL_cleanse(stream_, sizeof stream_);
  OPENSSL_cleanse(verifier_, sizeof verifier_);
  EVP_CIPHER_CTX_free(aes_);  // wipes the key schedule
  EVP_MAC_CTX_free(mac_);
}

// The next blocks of key stream: the counter's values, encrypted as one
// batch (libcrypto pipelines the blocks of one call).
void AesMemberCipher::Refill() {
  for (size_t block = 0; block < kStreamBlocks; ++block) {
    memcpy(counters_ + 16 * block, counter_, 16);
    for (size_t k = 0; k < 16 && ++counter_[k] == 0; ++k) {
    }
  }
  int made = 0;
  if (EVP_EncryptUpdate(aes_, stream_, &made, counters_, static_cast<int>(sizeof counters_)) != 1 ||
      made != static_cast<int>(sizeof stream_)) {
    throw CryptoFailure("encrypt the counter blocks");
  }
  used_ = 0;
}

void AesMemberCipher::Apply(uint8_t* data, size_t length) {
  while (length > 0) {
    if (used_ == sizeof stream_) Refill();
    const size_t step = std::min(length, sizeof stream_ - used_);
    for (size_t i = 0; i < step; ++i) data[i] ^= stream_[used_ + i];
    used_ += step;
    data += step;
    length -= step;
  }
}

void AesMemberCipher::Encrypt(uint8_t* data, size_t length) {
  Apply(data, length);
  if (EVP_MAC_update(mac_, data, length) != 1) throw CryptoFailure("compute HMAC-SHA1");
}

void AesMemberCipher::Decrypt(uint8_t* data, size_t length) {
  if (EVP_MAC_update(mac_, data, length) != 1) throw CryptoFailure("compute HMAC-SHA1");
  Apply(data, length);
}

std::array<uint8_t, kAesCodeSize> AesMemberCipher::Code() {
  uint8_t full[kMacBytes];
  size_t made = 0;
  if (EVP_MAC_final(mac_, full, &made, sizeof full) != 1 || made != kMacBytes) {
    throw CryptoFailure("compute HMAC-SHA1");
  }
  std::array<uint8_t, kAesCodeSize> code;
  memcpy(code.data(), full, kAesCodeSize);
  return code;
}

std::vector<uint8_t> StartAesMember(const std::string& password, AesStrength strength,
                                    std::unique_ptr<AesMemberCipher>* cipher) {
  std::vector<uint8_t> head(AesSaltBytes(strength) + kAesVerifierSize);
  if (RAND_bytes(head.data(), static_cast<int>(AesSaltBytes(strength))) != 1) {
    throw PackError("the system's random source gave no salt (libcrypto's RAND_bytes failed)");
  }
  *cipher = std::make_unique<AesMemberCipher>(password, strength, head.data());
  memcpy(head.data() + AesSaltBytes(strength), (*cipher)->verifier(), kAesVerifierSize);
  return head;
}

AesSealed SealAesMember(const std::string& password, AesStrength strength, std::vector<uint8_t>* data) {
  std::unique_ptr<AesMemberCipher> cipher;
  AesSealed sealed;
  sealed.head = StartAesMember(password, strength, &cipher);
  cipher->Encrypt(data->data(), data->size());
  sealed.code = cipher->Code();
  return sealed;
}

bool SameCode(const uint8_t* a, const uint8_t* b) { return CRYPTO_memcmp(a, b, kAesCodeSize) == 0; }
