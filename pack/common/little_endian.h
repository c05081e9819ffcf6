// Little-endian fields of the formats the packer reads and edits: ZIP
// records, PE headers, resources and certificate tables. One set for all of
// them, reading from a byte vector at an offset the caller has checked.
#pragma once

#include <stdint.h>

#include <vector>

inline uint32_t U16(const std::vector<uint8_t>& b, uint64_t at) { return b[at] | (b[at + 1] << 8); }
inline uint32_t U32(const std::vector<uint8_t>& b, uint64_t at) { return U16(b, at) | (U16(b, at + 2) << 16); }
inline uint64_t U64(const std::vector<uint8_t>& b, uint64_t at) { return U32(b, at) | (uint64_t{U32(b, at + 4)} << 32); }

// Writing in place, at an offset inside the vector.
inline void Put16At(std::vector<uint8_t>* b, uint64_t at, uint32_t v) {
  (*b)[at] = static_cast<uint8_t>(v);
  (*b)[at + 1] = static_cast<uint8_t>(v >> 8);
}
inline void Put32At(std::vector<uint8_t>* b, uint64_t at, uint32_t v) {
  Put16At(b, at, v & 0xFFFF);
  Put16At(b, at + 2, v >> 16);
}

// Writing at the end, growing the vector.
inline void Append16(std::vector<uint8_t>* b, uint32_t v) {
  b->push_back(static_cast<uint8_t>(v));
  b->push_back(static_cast<uint8_t>(v >> 8));
}
inline void Append32(std::vector<uint8_t>* b, uint32_t v) {
  Append16(b, v & 0xFFFF);
  Append16(b, v >> 16);
}
