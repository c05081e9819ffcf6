// Builder of the Deflate decoding tables.
//
// A Huffman code is decoded by table lookup: the next few input bits index a
// table whose slot holds the symbol and the length of its code. One table as
// wide as the longest code (15 bits) would be large and slow to fill for every
// dynamic block, so the root table covers only the common short codes (at most
// `lookupBits` wide) and the rare longer codes continue in small sub-tables,
// one per prefix that needs them. Because input bits arrive least significant
// bit first, a table is indexed by the code's bits in arrival order: a code of
// k bits at a level whose table is j bits wide fills every 2^k-th slot.
//
// Each table is one heap block with one extra entry in front; that entry
// links to the next block built for the same code, so that a code is released
// by walking one chain from its root table.
//
// The end-of-block rule: when a table would straddle the length of the
// end-of-block code, it is cut there, so the end-of-block code always ends
// exactly at a table boundary. The decoder then never needs to look at a bit
// after the final end-of-block code, so it never asks for input beyond the
// end of the Deflate stream.
#include "zip/inflate_tables.h"

#include "support/heap.h"

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

const uint32_t kBitMask[17] = {0x0000, 0x0001, 0x0003, 0x0007, 0x000F, 0x001F, 0x003F, 0x007F, 0x00FF,
                               0x01FF, 0x03FF, 0x07FF, 0x0FFF, 0x1FFF, 0x3FFF, 0x7FFF, 0xFFFF};

int freeCodeTable(CodeEntry* table) {
  while (table != nullptr) {
    CodeEntry* block = table - 1;
    table = block->table;
    release(block);
  }
  return 0;
}

// ---------------------------------------------------------------------------
// buildCodeTable, stage by stage
// ---------------------------------------------------------------------------

namespace {

// The number of codes of each length, and the shortest and longest used.
struct LengthCounts {
  unsigned count[kMaxCodeLength + 1];
  unsigned shortest;
  unsigned longest;
};

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

// The width of a new table starting after `start` code bits for a code of
// length k with `left` codes of that length still to place: the width the
// code needs, widened while the codes of the following lengths would not
// fill the table anyway, at most `limit`, and cut so that the end-of-block
// code ends at a table boundary.
unsigned tableWidth(unsigned k, unsigned start, unsigned left, unsigned limit, const unsigned* count,
                    unsigned endOfBlockLength) {
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
  if (start < endOfBlockLength && start + j > endOfBlockLength) j = endOfBlockLength - start;
  return j;
}

// A new table of 2^width entries, chained behind the previous block of the
// same code (or made the root); null without memory.
CodeEntry* addTable(unsigned width, CodeEntry** root, CodeEntry** lastBlock) {
  CodeEntry* block = static_cast<CodeEntry*>(allocate(((1u << width) + 1) * sizeof(CodeEntry)));
  if (block == nullptr) return nullptr;
  block[0].operation = 0;
  block[0].bits = 0;
  block[0].table = nullptr;
  if (*lastBlock == nullptr) {
    *root = block + 1;
  } else {
    (*lastBlock)[0].table = block + 1;
  }
  *lastBlock = block;
  return block + 1;
}

// What a code means: a literal or the end of block below simpleCount, else
// the base and extra bits of the symbol's list entry.
void describeSymbol(unsigned symbol, unsigned simpleCount, const uint16_t* base, const uint8_t* extra,
                    CodeEntry* entry) {
  if (symbol < simpleCount) {
    entry->operation = symbol < 256 ? kOpLiteral : kOpEndOfBlock;
    entry->value = static_cast<uint16_t>(symbol);
  } else {
    entry->operation = extra[symbol - simpleCount];
    entry->value = base[symbol - simpleCount];
  }
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

}  // namespace

int buildCodeTable(const uint8_t* lengths, unsigned n, unsigned simpleCount,
                   const uint16_t* base, const uint8_t* extra, CodeEntry** table,
                   unsigned* lookupBits) {
  *table = nullptr;
  LengthCounts counts;
  if (!countLengths(lengths, n, &counts)) {
    *lookupBits = 0;
    return kCodeComplete;
  }
  const unsigned shortest = counts.shortest;
  const unsigned longest = counts.longest;
  const unsigned endOfBlockLength = n > 256 ? lengths[256] : kMaxCodeLength;
  unsigned wanted = *lookupBits;
  if (wanted < shortest) wanted = shortest;
  if (wanted > longest) wanted = longest;

  const int unused = unusedCodes(counts);
  if (unused < 0) return kCodeOverSubscribed;
  const unsigned dummies = static_cast<unsigned>(unused);

  uint16_t sorted[kMaxSymbols];
  sortSymbols(lengths, n, counts, sorted);
  const unsigned symbolCount = n - counts.count[0];
  counts.count[longest] += dummies;

  // Walk the canonical codes, shortest first, making tables on demand. Level
  // h is the table the current code lands in: it starts after levelStart[h]
  // code bits, is levelWidth[h] bits wide and serves the codes whose first
  // levelStart[h] bits equal levelPrefix[h].
  CodeEntry* levelTable[kMaxCodeLength + 1];
  unsigned levelStart[kMaxCodeLength + 1];
  unsigned levelWidth[kMaxCodeLength + 1];
  uint32_t levelPrefix[kMaxCodeLength + 1];
  int h = -1;
  unsigned start = 0;  // levelStart[h]
  unsigned width = 0;  // levelWidth[h]; start + width = 0 before the root exists
  CodeEntry* lastBlock = nullptr;
  uint32_t code = 0;  // the current code, bits in arrival order
  unsigned next = 0;  // next sorted symbol
  uint16_t lastValue = 0;

  for (unsigned k = shortest; k <= longest; ++k) {
    for (unsigned left = counts.count[k]; left != 0; --left) {
      // Make tables until the code fits in the current one.
      while (k > start + width) {
        const unsigned newStart = start + width;
        unsigned limit = longest - newStart;
        if (limit > wanted) limit = wanted;
        const unsigned j = tableWidth(k, newStart, left, limit, counts.count, endOfBlockLength);
        CodeEntry* newTable = addTable(j, table, &lastBlock);
        if (newTable == nullptr) {
          freeCodeTable(*table);
          *table = nullptr;
          return kCodeNoMemory;
        }
        if (h >= 0) {
          CodeEntry& link = levelTable[h][(code >> start) & kBitMask[width]];
          link.operation = static_cast<uint8_t>(16 + j);
          link.bits = static_cast<uint8_t>(width);
          link.table = newTable;
        }
        ++h;
        levelTable[h] = newTable;
        levelStart[h] = newStart;
        levelWidth[h] = j;
        levelPrefix[h] = code & kBitMask[newStart];
        start = newStart;
        width = j;
      }

      // The code's entry, in every slot whose low bits are the code.
      CodeEntry entry;
      entry.bits = static_cast<uint8_t>(k - start);
      if (next >= symbolCount) {
        entry.operation = kOpInvalid;
        entry.value = lastValue;
      } else {
        describeSymbol(sorted[next++], simpleCount, base, extra, &entry);
        lastValue = entry.value;
      }
      CodeEntry* current = levelTable[h];
      const unsigned slots = 1u << width;
      for (unsigned x = code >> start; x < slots; x += 1u << (k - start)) current[x] = entry;

      code = nextCode(code, k);
      // Step back up while the current table's prefix is used up.
      while (h > 0 && (code & kBitMask[start]) != levelPrefix[h]) {
        --h;
        start = levelStart[h];
        width = levelWidth[h];
      }
    }
  }

  *lookupBits = levelWidth[0];
  return (dummies != 0 && longest != 1) ? kCodeIncomplete : kCodeComplete;
}
