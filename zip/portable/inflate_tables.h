// Decoding tables of the Deflate decoder: the packed table entry, the
// constant lists of RFC 1951 and the builder that turns a list of code
// lengths into a root table with sub-tables. Shared by the decoder
// (inflate.cpp) and the builder (inflate_tables.cpp); nobody else needs it.
#pragma once

#include <stdint.h>

#include "zip/portable/inflate.h"

// One lookup slot, 32 bits. A table is indexed by the next input bits in
// arrival order; the slot says what the code means and how many input bits
// go with it. Everything the decoder needs for a symbol comes from this one
// load:
//   bits 0..7    bits to drop: the code's bits at this level, plus for a
//                length or a distance its extra bits, so that one shift
//                consumes the code and its extra bits together
//   bits 8..11   the code's bits at this level (the extra bits start above
//                them); for a link, the width of the sub-table
//   bit 12       end of block     } with bit 14
//   bit 13       link             }
//   bit 14       exceptional: a link, the end of block or an invalid code
//   bit 15       literal (a literal byte, or a code-length symbol)
//   bits 16..31  the value: literal byte, length or distance base,
//                code-length symbol, or for a link the sub-table's index
//                from the start of the root table
// A slot with none of bits 12..15 is a length or a distance.
// (CodeEntry, a 32-bit word, is declared in zip/portable/inflate.h.)

const CodeEntry kEntryLiteral = 0x8000;
const CodeEntry kEntryExceptional = 0x4000;
const CodeEntry kEntryLink = 0x2000 | kEntryExceptional;
const CodeEntry kEntryEnd = 0x1000 | kEntryExceptional;
const CodeEntry kEntryInvalid = kEntryExceptional;

inline unsigned entryDrop(CodeEntry e) { return e & 0xFF; }
inline unsigned entryCodeBits(CodeEntry e) { return (e >> 8) & 0xF; }
inline unsigned entryValue(CodeEntry e) { return e >> 16; }
inline bool entryIsInvalid(CodeEntry e) { return (e & 0xF000) == kEntryInvalid; }
// A length or distance: its base plus the extra bits that follow its code
// in `bits` (the input as it stood before the entry's bits were dropped).
// The mask comes from a table: a 32-bit build has one register that can
// hold a shift count, and the shift that follows needs it.
extern const uint32_t lowMasks[32];  // entry n is 2^n - 1
template <typename Word>
inline uint32_t entryDecode(CodeEntry e, Word bits) {
  const uint32_t low = static_cast<uint32_t>(bits) & lowMasks[entryDrop(e)];
  return entryValue(e) + (low >> entryCodeBits(e));
}

const unsigned kMaxCodeLength = 16;    // the count array has 17 slots
const unsigned kMaxSymbols = 288;      // symbols of the largest code
const unsigned kLiteralSymbols = 257;  // 0..255 literal bytes, 256 end of block
// The widest root table (the decoder's static_asserts say what it allows).
const unsigned kMaxRootBits = 11;
// Deflate's codes are at most 15 bits long, so a level never needs more
// than 15 code bits: the 4-bit field holds them.
const unsigned kLongestDeflateCode = 15;
static_assert(kLongestDeflateCode <= 0xF, "code bits fit their field");
// The most extra bits of any code: Deflate64's length code 285.
const unsigned kMostExtraBits = 16;
static_assert(kLongestDeflateCode + kMostExtraBits <= 0xFF, "bits to drop fit their field");

// Constant lists of RFC 1951 (3.2.5 and 3.2.7). The length lists hold 31
// entries (codes 257..287) and mark 286 and 287 invalid; the distance lists
// hold 32 entries (codes 0..31) and mark 30 and 31 invalid, so that a code
// length given to one of those symbols can never index beyond the lists.
const uint8_t kExtraInvalid = 99;
extern const uint8_t kCodeLengthOrder[19];
extern const uint16_t kLengthBase[31];
extern const uint8_t kLengthExtra[31];
extern const uint16_t kDistanceBase[32];
extern const uint8_t kDistanceExtra[32];
// The same lists for Deflate64: code 285 is a length of 3..65538 (16 extra
// bits), codes 30 and 31 distances of up to 65536 (14 extra bits).
extern const uint16_t kLengthBase64[31];
extern const uint8_t kLengthExtra64[31];
extern const uint16_t kDistanceBase64[32];
extern const uint8_t kDistanceExtra64[32];

// Builds the tables of one code into one heap block: the root table, then
// its sub-tables. lengths: n code lengths (0..15); symbols below simpleCount
// become literals (below 256) or the end of block (256); symbols from
// simpleCount up take their value and extra bits from base and extra at
// (symbol - simpleCount). lookupBits: the root width (at most kMaxRootBits),
// which the root has whatever the lengths; set to 0 when every length is 0,
// which leaves no table.
// The builder's results; the decoder turns them into its own (inflate.cpp).
enum CodeTableResult {
  kCodeComplete = 0,
  kCodeIncomplete = 1,      // the table is built; its gaps are invalid slots
  kCodeOverSubscribed = 2,  // nothing is left
  kCodeNoMemory = 3,        // nothing is left
};
CodeTableResult buildCodeTable(const uint8_t* lengths, unsigned n, unsigned simpleCount,
                   const uint16_t* base, const uint8_t* extra, CodeEntry** table,
                   unsigned* lookupBits);

// The same in two steps, for a caller that places the table itself (the
// decoder puts both codes of a block in one block of its own, see
// inflate.cpp): planCodeTable checks and sorts the code and sizes its table
// (plan->size entries: root and sub-tables; 0 and plan->root 0 when every
// length is 0) and answers as buildCodeTable does, without kCodeNoMemory;
// fillCodeTable then writes the table of a complete or incomplete code
// where it is told. The plan holds pointers to base and extra, not to the
// lengths.
struct LengthCounts {
  unsigned count[kMaxCodeLength + 1];
  unsigned shortest;
  unsigned longest;
};
struct CodePlan {
  LengthCounts counts;
  uint16_t sorted[kMaxSymbols];
  unsigned symbolCount;
  unsigned root;
  unsigned simpleCount;
  const uint16_t* base;
  const uint8_t* extra;
  unsigned size;
};
CodeTableResult planCodeTable(const uint8_t* lengths, unsigned n, unsigned simpleCount, const uint16_t* base,
                  const uint8_t* extra, unsigned lookupBits, CodePlan* plan);
void fillCodeTable(const CodePlan& plan, CodeEntry* table);

// Releases a built code (null is allowed). Returns 0.
int freeCodeTable(CodeEntry* table);
