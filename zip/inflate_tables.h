// Decoding tables of the Deflate decoder: the table entry, the constant lists
// of RFC 1951 and the builder that turns a list of code lengths into chained
// lookup tables. Shared by the decoder (inflate.cpp) and the builder
// (inflate_tables.cpp); nobody else needs it.
#pragma once

#include <stdint.h>

// One lookup slot, 8 bytes. A table is indexed by the next input bits in
// arrival order; the slot says how many of them its code uses at this level
// and what the code means.
struct CodeEntry {
  uint8_t operation;  // see the kOp* values below
  uint8_t bits;       // input bits this slot consumes at its table level
  union {
    uint16_t value;    // literal byte, length or distance base, code-length symbol
    CodeEntry* table;  // sub-table of a link slot
  };
};

// Operations: 0..13 = a length or distance base followed by that many extra
// bits; then end of block, literal, links to sub-tables (16 + their width,
// 17..31) and invalid codes.
const uint8_t kOpEndOfBlock = 15;
const uint8_t kOpLiteral = 16;
const uint8_t kOpInvalid = 99;

const unsigned kMaxCodeLength = 16;    // the count array has 17 slots
const unsigned kMaxSymbols = 288;      // symbols of the largest code
const unsigned kLiteralSymbols = 257;  // 0..255 literal bytes, 256 end of block

// Constant lists of RFC 1951 (3.2.5 and 3.2.7). The length lists hold 31
// entries (codes 257..287) and mark 286 and 287 invalid; the distance lists
// hold 32 entries (codes 0..31) and mark 30 and 31 invalid, so that a code
// length given to one of those symbols can never index beyond the lists.
extern const uint8_t kCodeLengthOrder[19];
extern const uint16_t kLengthBase[31];
extern const uint8_t kLengthExtra[31];
extern const uint16_t kDistanceBase[32];
extern const uint8_t kDistanceExtra[32];
extern const uint32_t kBitMask[17];  // entry i is 2^i - 1

// Builds the tables of one code. lengths: n code lengths (0..16); symbols
// below simpleCount become literals (below 256) or the end of block (256);
// symbols from simpleCount up take their value and operation from base and
// extra at (symbol - simpleCount). lookupBits: the wanted root width in, the
// actual root width out (0 when every length is 0, which leaves no table).
// The builder's results. The values are those of the decoder's results they
// become (kInflateBadData, kInflateBadCode, kInflateNoMemory), so a caller
// can hand a failure on unchanged.
enum CodeTableResult : int {
  kCodeComplete = 0,
  kCodeIncomplete = 1,      // the table is built; its gaps are invalid slots
  kCodeOverSubscribed = 2,  // nothing is left
  kCodeNoMemory = 3,        // nothing is left
};
int buildCodeTable(const uint8_t* lengths, unsigned n, unsigned simpleCount,
                   const uint16_t* base, const uint8_t* extra, CodeEntry** table,
                   unsigned* lookupBits);

// Releases every block of a built code (null is allowed). Returns 0.
int freeCodeTable(CodeEntry* table);
