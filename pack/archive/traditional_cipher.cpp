#include "pack/archive/traditional_cipher.h"

#include <errno.h>
#include <string.h>
#include <sys/random.h>

#include "pack/common/pack_error.h"
#include "support/portable/crc32.h"

TraditionalCipher::TraditionalCipher(const std::string& password) {
  for (char c : password) Update(static_cast<uint8_t>(c));
}

void TraditionalCipher::Update(uint8_t plain) {
  const uint32_t* table = crcTable();
  key0_ = table[(key0_ ^ plain) & 0xFF] ^ (key0_ >> 8);
  key1_ = (key1_ + (key0_ & 0xFF)) * 0x08088405u + 1;
  key2_ = table[(key2_ ^ (key1_ >> 24)) & 0xFF] ^ (key2_ >> 8);
}

uint8_t TraditionalCipher::KeyByte() const {
  const uint32_t t = (key2_ & 0xFFFF) | 2;
  return static_cast<uint8_t>((t * (t ^ 1)) >> 8);
}

void TraditionalCipher::Encrypt(uint8_t* data, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    const uint8_t plain = data[i];
    data[i] = plain ^ KeyByte();
    Update(plain);
  }
}

void TraditionalCipher::Decrypt(uint8_t* data, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    data[i] ^= KeyByte();
    Update(data[i]);
  }
}

void MakeEncryptionHeader(TraditionalCipher* cipher, uint32_t crc, uint8_t header[kEncryptionHeaderSize]) {
  SystemRandom(header, kEncryptionHeaderSize - 1);
  header[kEncryptionHeaderSize - 1] = static_cast<uint8_t>(crc >> 24);
  cipher->Encrypt(header, kEncryptionHeaderSize);
}

void SystemRandom(uint8_t* bytes, size_t length) {
  while (length > 0) {
    const ssize_t got = getrandom(bytes, length, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) throw PackError(std::string("the system's random source: ") + SystemError(errno));
    bytes += got;
    length -= static_cast<size_t>(got);
  }
}
