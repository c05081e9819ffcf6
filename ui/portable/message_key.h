// The key under which the messages block stores the translation of a text.
//
// Both sides of a translation need this one rule: the stub looks texts up by
// it, and the packer (pack/) writes templates and validates blocks with it.
// It lives in a header of plain portable code, so that the packer, a Linux
// program, compiles the very same definition as the stub.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "support/portable/crc32.h"

const int kMessageKeyLength = 8;

// Eight lower-case hexadecimal digits of the CRC-32 of kind ("s" for a
// string-table message, "$" for a dialog text), the dialog name (may be null)
// and the source text, concatenated without terminators. key receives the
// digits only, no terminator.
inline void MessageKey(const char* kind, const char* dialogName, const char* source, char* key) {
  // Byte by byte: a loop that only measures the text would be turned into a
  // call of strlen, which the stub (built without a C library) lacks.
  auto feed = [](uint32_t crc, const char* text) {
    for (; *text != '\0'; ++text) crc = crc32Raw(crc, reinterpret_cast<const uint8_t*>(text), 1);
    return crc;
  };
  uint32_t crc = crc32Raw(0xFFFFFFFFu, reinterpret_cast<const uint8_t*>(kind), 1);
  if (dialogName != nullptr) crc = feed(crc, dialogName);
  crc = ~feed(crc, source);
  const char digits[] = "0123456789abcdef";
  for (int i = kMessageKeyLength - 1; i >= 0; --i) {
    key[i] = digits[crc & 0xF];
    crc >>= 4;
  }
}
