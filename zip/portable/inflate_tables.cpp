// Builder of the Deflate decoding tables.
//
// A Huffman code is decoded by table lookup: the next few input bits index a
// table whose slot holds the symbol and the length of its code. One table as
// wide as the longest code (15 bits) would be large and slow to fill for every
// dynamic block, so the root table covers only the common short codes (at most
// `lookupBits` wide) and the rare longer codes continue in sub-tables, one per
// root slot whose codes are longer. Because input bits arrive least
// significant bit first, a table is indexed by the code's bits in arrival
// order: a code of k bits at a level whose table is j bits wide fills every
// 2^k-th slot.
//
// There are two levels, never more: a sub-table is as wide as the longest
// code under its root slot needs (the codes under one slot fill its
// sub-table exactly, see tableWidth), so a decoder follows at most one link.
// The root table and all its sub-tables are one heap block, the root first,
// sized by a first walk over the codes before the second walk fills it; a
// link holds the sub-table's index from the root, which fits the entry's
// 16-bit value on every build and keeps entries at 4 bytes (a root table of
// 11 bits is 8 KiB, which stays in the first-level cache beside the window
// being written). A block holds at most 2^15 sub-table slots (the code space
// below the root) besides the root, so every index fits those 16 bits.
//
// Decoding never asks for input beyond the end of the Deflate stream: the
// decoder's byte-at-a-time path fetches a byte only while the slot it has
// selected wants more bits than it holds (inflate.cpp), so an end-of-block
// code needs no table boundary of its own.
#include "zip/portable/inflate_tables.h"

#include "support/portable/heap.h"

// ---------------------------------------------------------------------------
// Constant lists (RFC 1951, 3.2.5 and 3.2.7)
// ---------------------------------------------------------------------------

const uint8_t kCodeLengthOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

// Literal/length codes 257..285, then the invalid codes 286 and 287.
const uint16_t kLengthBase[31] = {3,  4,  5,  6,  7,  8,  9,  10,  11,  13,  15,  17,  19,  23, 27, 31,
                                  35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258, 0,  0};
const uint8_t kLengthExtra[31] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2,  2, 2,
                                  3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0, 99, 99};

// Distance codes 0..29, then the invalid codes 30 and 31.
const uint16_t kDistanceBase[32] = {1,    2,    3,    4,    5,    7,     9,     13,    17,  25,  33,
                                    49,   65,   97,   129,  193,  257,   385,   513,   769, 1025, 1537,
                                    2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577, 0,   0};
const uint8_t kDistanceExtra[32] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,  6,
                                    7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13, 99, 99};

// Deflate64 (the ZIP application note's method 9) differs only at the
// edges: length code 285 is base 3 with 16 extra bits (lengths 3..65538),
// and distance codes 30 and 31 are valid, reaching up to 65536 back.
const uint16_t kLengthBase64[31] = {3,  4,  5,  6,  7,  8,  9,  10,  11,  13,  15,  17,  19,  23, 27, 31,
                                    35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 3,   0,  0};
const uint8_t kLengthExtra64[31] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2,  2, 2,
                                    3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 16, 99, 99};
const uint16_t kDistanceBase64[32] = {1,    2,    3,    4,    5,    7,     9,     13,    17,    25,    33,
                                      49,   65,   97,   129,  193,  257,   385,   513,   769,   1025,  1537,
                                      2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577, 32769, 49153};
const uint8_t kDistanceExtra64[32] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,  6,
                                      7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13, 14, 14};

// Constant data, so that any number of decoders may read it at once (the
// packer reads back installers on several threads); 128 bytes of the file.
const uint32_t lowMasks[32] = {
    0x0, 0x1, 0x3, 0x7, 0xF, 0x1F, 0x3F, 0x7F,
    0xFF, 0x1FF, 0x3FF, 0x7FF, 0xFFF, 0x1FFF, 0x3FFF, 0x7FFF,
    0xFFFF, 0x1FFFF, 0x3FFFF, 0x7FFFF, 0xFFFFF, 0x1FFFFF, 0x3FFFFF, 0x7FFFFF,
    0xFFFFFF, 0x1FFFFFF, 0x3FFFFFF, 0x7FFFFFF, 0xFFFFFFF, 0x1FFFFFFF, 0x3FFFFFFF, 0x7FFFFFFF,
};

// A link's 16-bit index reaches every sub-table slot (see the top).
static_assert((1u << kLongestDeflateCode) + (1u << kMaxRootBits) <= 0x10000, "sub-table indexes fit a slot's value");

int freeCodeTable(CodeEntry* table) {
  release(table);
  return 0;
}

// ---------------------------------------------------------------------------
// buildCodeTable, stage by stage
// ---------------------------------------------------------------------------

namespace {

// False when no symbol has a code.
bool countLengths(const uint8_t* lengths, unsigned n, LengthCounts* counts) {
  for (unsigned k = 0; k <= kMaxCodeLength; ++k) counts->count[k] = 0;
  for (unsigned i = 0; i < n; ++i) counts->count[lengths[i]]++;
  if (counts->count[0] == n) return false;
  counts->shortest = 1;
  while (counts->count[counts->shortest] == 0) ++counts->shortest;
  counts->longest = kMaxCodeLength;
  while (counts->count[counts->longest] == 0) --counts->longest;
  return true;
}

// The code space left unused at the longest length (those slots become
// dummy codes that decode as invalid), or -1 when the code is
// over-subscribed.
int unusedCodes(const LengthCounts& counts) {
  int unused = 1 << counts.shortest;
  for (unsigned k = counts.shortest; k < counts.longest; ++k) {
    unused -= static_cast<int>(counts.count[k]);
    if (unused < 0) return -1;
    unused <<= 1;
  }
  unused -= static_cast<int>(counts.count[counts.longest]);
  return unused < 0 ? -1 : unused;
}

// The symbols with a code, sorted by code length, in symbol order within a
// length: the order of the canonical codes.
void sortSymbols(const uint8_t* lengths, unsigned n, const LengthCounts& counts, uint16_t* sorted) {
  unsigned offset[kMaxCodeLength + 2];
  offset[1] = 0;
  for (unsigned k = 1; k <= kMaxCodeLength; ++k) offset[k + 1] = offset[k] + counts.count[k];
  for (unsigned i = 0; i < n; ++i) {
    if (lengths[i] != 0) sorted[offset[lengths[i]]++] = static_cast<uint16_t>(i);
  }
}

// The width of a new sub-table starting after `start` code bits for a code
// of length k with `left` codes of that length still to place: the width
// the code needs, widened while the codes of the following lengths would not
// fill the table anyway, at most `limit`. With `limit` the longest code less
// `start`, the result covers every code under the table's root slot: the
// loop stops only where the codes of one length fill the space left, and
// canonical codes under one slot come one after another.
unsigned tableWidth(unsigned k, unsigned start, unsigned left, unsigned limit, const unsigned* count) {
  unsigned j = k - start;
  int spare = (1 << j) - static_cast<int>(left);
  if (spare > 0 && j < limit) {
    for (;;) {
      if (++j >= limit) break;
      spare <<= 1;
      if (spare <= static_cast<int>(count[start + j])) break;
      spare -= static_cast<int>(count[start + j]);
    }
  }
  return j;
}

// What a code means: a literal or the end of block below simpleCount, else
// the base and extra bits of the symbol's list entry. `codeBits`: the
// code's bits at its level.
CodeEntry describeSymbol(unsigned symbol, unsigned simpleCount, const uint16_t* base, const uint8_t* extra,
                         unsigned codeBits) {
  const CodeEntry bitsPart = codeBits << 8 | codeBits;
  if (symbol < simpleCount) {
    return static_cast<CodeEntry>(symbol) << 16 | (symbol < 256 ? kEntryLiteral : kEntryEnd) | bitsPart;
  }
  const unsigned more = extra[symbol - simpleCount];
  const CodeEntry value = static_cast<CodeEntry>(base[symbol - simpleCount]) << 16;
  if (more == kExtraInvalid) return value | kEntryInvalid | bitsPart;
  return value | (bitsPart + more);
}

// The canonical code after `code` (k bits, in arrival order): one added in
// the reversed bit order.
uint32_t nextCode(uint32_t code, unsigned k) {
  uint32_t bit = 1u << (k - 1);
  while (code & bit) {
    code ^= bit;
    bit >>= 1;
  }
  return code ^ bit;
}

// Walks the canonical codes, shortest first: with `table` null it only
// sizes the block (root and sub-tables, in entries); otherwise it fills it.
// Codes past the sorted symbols are the dummies of an incomplete code: they
// become invalid slots that keep the value of the last real code.
unsigned walkCodes(const LengthCounts& counts, const uint16_t* sorted, unsigned symbolCount, unsigned root,
                   unsigned simpleCount, const uint16_t* base, const uint8_t* extra, CodeEntry* table) {
  unsigned size = 1u << root;
  uint32_t code = 0;       // the current code, bits in arrival order
  unsigned next = 0;       // next sorted symbol
  CodeEntry last = 0;      // the last real code's entry
  uint32_t prefix = ~0u;   // root slot of the current sub-table
  unsigned subStart = 0;   // its index
  unsigned subWidth = 0;
  const uint32_t rootMask = (1u << root) - 1;
  for (unsigned k = counts.shortest; k <= counts.longest; ++k) {
    for (unsigned left = counts.count[k]; left != 0; --left) {
      const bool inRoot = k <= root;
      if (!inRoot && (code & rootMask) != prefix) {
        prefix = code & rootMask;
        subStart = size;
        subWidth = tableWidth(k, root, left, counts.longest - root, counts.count);
        size += 1u << subWidth;
        if (table != nullptr) {
          table[prefix] = static_cast<CodeEntry>(subStart) << 16 | kEntryLink | subWidth << 8 | root;
        }
      }
      if (table != nullptr) {
        const unsigned codeBits = inRoot ? k : k - root;
        CodeEntry entry;
        if (next < symbolCount) {
          entry = describeSymbol(sorted[next++], simpleCount, base, extra, codeBits);
          last = entry;
        } else {
          entry = (last & 0xFFFF0000u) | kEntryInvalid | codeBits << 8 | codeBits;
        }
        CodeEntry* level = inRoot ? table : table + subStart;
        const unsigned slots = 1u << (inRoot ? root : subWidth);
        for (unsigned x = inRoot ? code : code >> root; x < slots; x += 1u << codeBits) level[x] = entry;
      }
      code = nextCode(code, k);
    }
  }
  return size;
}

}  // namespace

CodeTableResult planCodeTable(const uint8_t* lengths, unsigned n, unsigned simpleCount, const uint16_t* base,
                  const uint8_t* extra, unsigned lookupBits, CodePlan* plan) {
  plan->size = 0;
  plan->root = lookupBits;
  plan->simpleCount = simpleCount;
  plan->base = base;
  plan->extra = extra;
  if (!countLengths(lengths, n, &plan->counts)) {
    plan->root = 0;
    return kCodeComplete;
  }
  const int unused = unusedCodes(plan->counts);
  if (unused < 0) return kCodeOverSubscribed;
  const unsigned dummies = static_cast<unsigned>(unused);
  sortSymbols(lengths, n, plan->counts, plan->sorted);
  plan->symbolCount = n - plan->counts.count[0];
  plan->counts.count[plan->counts.longest] += dummies;
  plan->size = walkCodes(plan->counts, plan->sorted, plan->symbolCount, plan->root, simpleCount, base, extra,
                         nullptr);
  return (dummies != 0 && plan->counts.longest != 1) ? kCodeIncomplete : kCodeComplete;
}

void fillCodeTable(const CodePlan& plan, CodeEntry* table) {
  walkCodes(plan.counts, plan.sorted, plan.symbolCount, plan.root, plan.simpleCount, plan.base, plan.extra, table);
}

CodeTableResult buildCodeTable(const uint8_t* lengths, unsigned n, unsigned simpleCount,
                   const uint16_t* base, const uint8_t* extra, CodeEntry** table,
                   unsigned* lookupBits) {
  *table = nullptr;
  // The root is exactly as wide as asked, whatever the code lengths: codes
  // shorter than it fill several slots, longer ones go to sub-tables. The
  // decoder then knows the width of every root before it sees a block.
  CodePlan plan;
  const CodeTableResult result = planCodeTable(lengths, n, simpleCount, base, extra, *lookupBits, &plan);
  *lookupBits = plan.root;
  if (result > kCodeIncomplete || plan.size == 0) return result;
  CodeEntry* block = static_cast<CodeEntry*>(allocate(plan.size * sizeof(CodeEntry)));
  if (block == nullptr) return kCodeNoMemory;
  fillCodeTable(plan, block);
  *table = block;
  return result;
}
