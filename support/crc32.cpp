// The CRC-32 of the ZIP format: reflected polynomial 0xEDB88320, register
// inverted on entry and on exit.
//
// Why it looks the way it does:
// - Every byte of every extracted member passes through crc32Update, so it is
//   the second hot loop of extraction after the Deflate decoder. The classic
//   one-table loop is a chain of dependent steps: each step needs the result
//   of the previous one before it can even compute its table index. Here the
//   update works "sliced": eight further tables, generated from the standard
//   one, give the contribution of a byte that is 1..7 positions further from
//   the end of an 8-byte group, so the eight lookups of a group are
//   independent of each other and the processor can run them side by side.
//   The result is bit for bit the one of the plain loop.
// - All tables are constant data, computed by the compiler (constexpr): the
//   stub has no run-time initialisation and no global constructor, and
//   crcTable() hands out the standard table with no set-up at all.
// - crc32Raw serves the message keys of the messages block: short texts, once
//   each. It keeps its own table, computed on first use into zeroed static
//   data, and the simple shape that texts of a few dozen bytes need.
#include "support/crc32.h"

namespace {

// ---------------------------------------------------------------------------
// Constant tables, made by the compiler
// ---------------------------------------------------------------------------

const uint32_t kPolynomial = 0xEDB88320u;

// Slice 0 is the standard table: entry i is the CRC remainder of byte i.
// Slice k (k = 1..7) is the remainder of byte i followed by k zero bytes:
// slice[k][i] = (slice[k-1][i] >> 8) ^ slice[0][slice[k-1][i] & 0xFF].
struct SlicedTables {
  uint32_t slice[8][256];
};

constexpr SlicedTables makeSlicedTables() {
  SlicedTables tables{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t remainder = i;
    for (int bit = 0; bit < 8; ++bit) {
      remainder = (remainder >> 1) ^ ((remainder & 1u) ? kPolynomial : 0u);
    }
    tables.slice[0][i] = remainder;
  }
  for (int k = 1; k < 8; ++k) {
    for (uint32_t i = 0; i < 256; ++i) {
      const uint32_t previous = tables.slice[k - 1][i];
      tables.slice[k][i] = (previous >> 8) ^ tables.slice[0][previous & 0xFFu];
    }
  }
  return tables;
}

constexpr SlicedTables kTables = makeSlicedTables();

static_assert(kTables.slice[0][1] == 0x77073096u, "standard CRC table, entry 1");
static_assert(kTables.slice[0][255] == 0x2D02EF8Du, "standard CRC table, entry 255");

// The message-key table: zero until crc32Raw first runs.
uint32_t hashTable[256];

inline uint32_t littleEndianWord(const uint8_t* bytes) {
  return static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
         (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
}

}  // namespace

const uint32_t* crcTable() { return kTables.slice[0]; }

// ---------------------------------------------------------------------------
// crc32Update: eight bytes per pass, sliced
// ---------------------------------------------------------------------------
// With c the register, the plain loop over bytes b0..b7 equals
//   c' = T7[(c ^ w0) byte 0] ^ T6[(c ^ w0) byte 1] ^ T5[(c ^ w0) byte 2]
//      ^ T4[(c ^ w0) byte 3] ^ T3[b4] ^ T2[b5] ^ T1[b6] ^ T0[b7]
// where w0 is b0..b3 read as a little-endian word: each byte's contribution
// is its own remainder pushed through the zero bytes that follow it in the
// group, and the register, four bytes wide, only mixes into the first four.
// The four lookups of b4..b7 do not depend on the register at all, so they
// are combined first, off the chain from one group to the next; the XORs are
// paired so that the chain through the register stays three steps long
// instead of eight.

uint32_t crc32Update(uint32_t crc, const uint8_t* data, size_t length) {
  if (data == nullptr) return 0;
  const uint32_t(*const t)[256] = kTables.slice;
  uint32_t c = crc ^ 0xFFFFFFFFu;

  while (length >= 8) {
    const uint32_t high = littleEndianWord(data + 4);
    const uint32_t fromHigh = (t[3][high & 0xFF] ^ t[2][(high >> 8) & 0xFF]) ^
                              (t[1][(high >> 16) & 0xFF] ^ t[0][high >> 24]);
    const uint32_t low = c ^ littleEndianWord(data);
    const uint32_t fromLow = (t[7][low & 0xFF] ^ t[6][(low >> 8) & 0xFF]) ^
                             (t[5][(low >> 16) & 0xFF] ^ t[4][low >> 24]);
    c = fromLow ^ fromHigh;
    data += 8;
    length -= 8;
  }
  while (length-- != 0) {
    c = t[0][(c ^ *data++) & 0xFF] ^ (c >> 8);
  }
  return c ^ 0xFFFFFFFFu;
}

// ---------------------------------------------------------------------------
// crc32Raw: the table step without inversions, for the message keys
// ---------------------------------------------------------------------------
// Single bytes up to an 8-byte boundary, then two words per pass (each XORed
// into the register and followed by four table steps), then the tail.

uint32_t crc32Raw(uint32_t value, const uint8_t* data, size_t length) {
  if (hashTable[1] == 0) {
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t a = i;
      for (int bit = 0; bit < 8; ++bit) a = (a >> 1) ^ ((a & 1u) ? kPolynomial : 0u);
      hashTable[i] = a;
    }
  }
  const uint32_t* t = hashTable;
  uint32_t c = value;
  while (length != 0 && (reinterpret_cast<uintptr_t>(data) & 7u) != 0) {
    c = t[(c ^ *data++) & 0xFF] ^ (c >> 8);
    --length;
  }
  while (length >= 8) {
    for (int half = 0; half < 2; ++half) {
      c ^= littleEndianWord(data);
      data += 4;
      c = t[c & 0xFF] ^ (c >> 8);
      c = t[c & 0xFF] ^ (c >> 8);
      c = t[c & 0xFF] ^ (c >> 8);
      c = t[c & 0xFF] ^ (c >> 8);
    }
    length -= 8;
  }
  while (length-- != 0) {
    c = t[(c ^ *data++) & 0xFF] ^ (c >> 8);
  }
  return c;
}
