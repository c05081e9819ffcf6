// The traditional ZIP encryption, as the stub decrypts it: three keys
// stepped by every plain byte, a 12-byte header before the data whose last
// byte is the check byte (the high byte of the CRC-32). It is weak; it keeps
// casual eyes out, nothing more.
#pragma once

#include <stdint.h>
#include <stddef.h>

#include <string>

const size_t kEncryptionHeaderSize = 12;

class TraditionalCipher {
 public:
  explicit TraditionalCipher(const std::string& password);
  void Encrypt(uint8_t* data, size_t length);
  void Decrypt(uint8_t* data, size_t length);

 private:
  void Update(uint8_t plain);
  uint8_t KeyByte() const;
  uint32_t key0_ = 0x12345678u, key1_ = 0x23456789u, key2_ = 0x34567890u;
};

// The header of one member: 11 bytes from the system's random source and the
// check byte, encrypted with a cipher that then goes on with the data.
void MakeEncryptionHeader(TraditionalCipher* cipher, uint32_t crc, uint8_t header[kEncryptionHeaderSize]);

// Fills bytes from the system's random source; throws PackError when it
// cannot.
void SystemRandom(uint8_t* bytes, size_t length);
