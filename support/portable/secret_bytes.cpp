#include "support/portable/secret_bytes.h"

bool sameSecretBytes(const uint8_t* a, const uint8_t* b, size_t length) {
  uint8_t difference = 0;
  for (size_t i = 0; i < length; ++i) {
    difference |= static_cast<uint8_t>(a[i] ^ b[i]);
    // An empty barrier on the running value: the compiler may not prove
    // that the outcome is settled and leave the loop early.
    __asm__("" : "+r"(difference));
  }
  return difference == 0;
}

void wipeSecret(void* bytes, size_t length) {
  volatile uint8_t* target = static_cast<volatile uint8_t*>(bytes);
  for (size_t i = 0; i < length; ++i) target[i] = 0;
  __asm__ __volatile__("" : : "r"(bytes) : "memory");
}
