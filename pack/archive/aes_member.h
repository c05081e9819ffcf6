// AES-encrypted members (ZIP method 99 with its 0x9901 field), written and
// read with libcrypto. A member's data: a salt, a 2-byte password
// verifier, the compressed data in AES counter mode, and a 10-byte
// HMAC-SHA1 authentication code over the encrypted bytes. Every key comes
// from PBKDF2-HMAC-SHA1 of the password and the member's own salt.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

struct evp_cipher_ctx_st;
struct evp_mac_ctx_st;

// The key strength byte of the field.
enum class AesStrength : uint8_t { kAes128 = 1, kAes192 = 2, kAes256 = 3 };

const uint16_t kMethodAes = 99;
const uint16_t kAesExtraTag = 0x9901;
const size_t kAesExtraSize = 7;
// Version 2 stores no CRC: nothing of the plain data is left in the
// archive, and the authentication code is the member's only check.
const uint16_t kAesVersionCrcKept = 1;
const uint16_t kAesVersionNoCrc = 2;
const uint16_t kVersionAes = 51;
const size_t kAesVerifierSize = 2;
const size_t kAesCodeSize = 10;
const int kAesKeyIterations = 1000;

inline size_t AesKeyBytes(AesStrength s) { return 8 + 8 * static_cast<size_t>(s); }
inline size_t AesSaltBytes(AesStrength s) { return AesKeyBytes(s) / 2; }
// What encryption adds to a member's compressed size.
inline size_t AesOverhead(AesStrength s) { return AesSaltBytes(s) + kAesVerifierSize + kAesCodeSize; }
// "AES-256" and the like.
std::string AesStrengthName(AesStrength s);
// False for a byte that names no strength.
bool AesStrengthOf(uint8_t byte, AesStrength* strength);

// The field as both headers carry it.
struct AesField {
  bool present = false;     // a field with the tag
  bool wellFormed = false;  // of its size, vendor "AE", a known version and strength
  uint16_t version = 0;
  AesStrength strength = AesStrength::kAes256;
  uint16_t method = 0;      // the compression method under the encryption
  bool operator==(const AesField& o) const {
    return present == o.present && wellFormed == o.wellFormed && version == o.version && strength == o.strength &&
           method == o.method;
  }
};

std::string AesExtra(AesStrength strength, uint16_t method);
// The field in an extra field block, when it holds one.
AesField ReadAesField(const std::vector<uint8_t>& extra);

// One member's keys and its two running states: the counter-mode stream
// (a little-endian block counter from 1, each block encrypted with AES)
// and the HMAC over the encrypted bytes. The data may come in pieces of
// any length; only the last may end inside a block. Keys are wiped when
// it goes. Not shared between threads: each member has its own.
class AesMemberCipher {
 public:
  // Throws PackError when libcrypto fails.
  AesMemberCipher(const std::string& password, AesStrength strength, const uint8_t* salt);
  ~AesMemberCipher();
  AesMemberCipher(const AesMemberCipher&) = delete;
  AesMemberCipher& operator=(const AesMemberCipher&) = delete;

  const uint8_t* verifier() const { return verifier_; }
  void Encrypt(uint8_t* data, size_t length);
  void Decrypt(uint8_t* data, size_t length);
  // The authentication code of everything encrypted or decrypted so far.
  std::array<uint8_t, kAesCodeSize> Code();

 private:
  void Apply(uint8_t* data, size_t length);
  void Refill();

  static const size_t kStreamBlocks = 512;  // 8 KiB of key stream a call into libcrypto
  evp_cipher_ctx_st* aes_ = nullptr;
  evp_mac_ctx_st* mac_ = nullptr;
  uint8_t verifier_[kAesVerifierSize] = {};
  uint8_t counter_[16] = {};
  uint8_t counters_[kStreamBlocks * 16];
  uint8_t stream_[kStreamBlocks * 16];
  size_t used_ = sizeof stream_;  // bytes of stream_ already applied
};

// The start of a new member's data: a salt from the system's random source
// and the verifier; cipher then goes on with the data.
std::vector<uint8_t> StartAesMember(const std::string& password, AesStrength strength,
                                    std::unique_ptr<AesMemberCipher>* cipher);

// A whole member encrypted in place: the bytes that go before it, and its
// authentication code after it.
struct AesSealed {
  std::vector<uint8_t> head;
  std::array<uint8_t, kAesCodeSize> code{};
};
AesSealed SealAesMember(const std::string& password, AesStrength strength, std::vector<uint8_t>* data);

// Two codes compared in a time that does not depend on where they differ.
bool SameCode(const uint8_t* a, const uint8_t* b);
