// Deflate decoder (RFC 1951), and Deflate64.
//
// The decoder reads Huffman codes by table lookup (inflate_tables.cpp builds
// the tables) and writes into the caller's window (32 KiB; 64 KiB for
// Deflate64), which doubles as the
// history that matches copy from: when the window is full it is handed to the
// flush callback and writing starts again at 0, while the old contents stay
// in place for matches that reach back across the turn.
//
// Why it is fast (each point is measured by `make bench`, decoder rows):
// - Nearly all the work happens in one tight loop, decodeFast. It runs only
//   while the input cursor holds plenty of bytes and the window has room for
//   the longest match, so inside it nothing needs a bounds check, a refill or
//   a flush. Its bit buffer, bit count, input pointer and output pointer are
//   plain locals, written back once when the loop ends. The margins it
//   relies on are static_asserts beside it, each with its argument.
// - One lookup gives a symbol whole. A table slot is a packed 32-bit word
//   (inflate_tables.h) holding the value (literal byte, length or distance
//   base), the code's bits, and the bits to drop: code plus extra bits. A
//   length or a distance is then base + (bits under the mask of the whole
//   drop, shifted down past the code), and one shift consumes code and extra
//   bits together: no second lookup of base and extra-bit lists, no second
//   shift. At 4 bytes a slot, the 11-bit literal/length root is 8 KiB and
//   the distance root 256 bytes, both at home in the first-level cache.
// - At most one link. The builder makes every sub-table as wide as the
//   codes under its root slot need, so a long code costs one more lookup,
//   never a chain; a link holds the sub-table's index from its root.
// - Both codes of a block share one heap block, the distance code at a
//   fixed offset behind the room the literal/length code can take at most
//   (kLiteralCapacity), so the loop reaches both through one base register
//   and a constant displacement rather than two pointers.
// - Every root is as wide as asked, the same for fixed and dynamic blocks,
//   so the loop masks with constants rather than with values kept in
//   registers, of which a 32-bit build has few.
// - The bits live in a machine word refilled without a loop or a branch: one
//   unaligned word load ORed in above the bits still held, the input pointer
//   advanced by the whole bytes that fitted. After a refill a 64-bit word
//   holds at least 56 bits, a whole match, so an x86-64 build refills once
//   per match; a 32-bit word holds at least 24, a whole length with its
//   extra bits, and refills again before the distance's extra bits. The
//   distance's root slot is looked up before that refill (every bit of the
//   word is input after a refill, and a length leaves enough of them), so
//   the lookup does not wait for it.
// - The bit count is kept modulo the word: a drop shifts by the whole slot
//   (the machine masks the count to the slot's drop) and subtracts the whole
//   slot, so the drop is never extracted from the slot.
// - Literals come in runs: after one refill, four root literals with a
//   64-bit word, two with a 32-bit one and a third when its code happens to
//   be held already; each costs one lookup and one store.
// - The masks for extra bits come from a small table: on a 32-bit build the
//   one register that can hold a shift count is then free for the shift.
// - The root slot of the code after a match is looked up before the match is
//   copied, so that its load overlaps the copy.
// - A short match (up to 16 bytes, from at least 16 back: most matches of
//   text; or up to 8 from at least 8 back: the near matches of records in
//   binary data; on a 32-bit build also up to 32 from at least 32 back, the
//   longer matches of text) moves as one block with no branch on its
//   length. The block
//   runs past the match's end over window bytes that are still history for
//   distances reaching back across the last flush, so those bytes are read
//   before and written back after. Longer matches go a machine word per
//   step (a distance of a word or more never reads a byte that the same step
//   writes), a run of one byte by storing a repeated pattern, and the last
//   step overlaps the previous one instead of ending in a byte loop.
// - The match copy is inlined into the loop: as a call, a 32-bit build
//   saved and restored four registers and passed three on every match.
// - Deflate64 costs Deflate nothing: the block decoders, the fast loop among
//   them, are templates over the format (window size, length and distance
//   lists, lengths past 258, the check of distances against the output),
//   compiled once for each. Deflate's loop holds no test of Deflate64's.
//   (The stub itself leaves Deflate64's loop out, for its size: see
//   Deflate64Format.)
//   Deflate64's length code 285 (16 extra bits, more than a refill is sure
//   to hold beside the code) takes a refill between its code and its extra
//   bits; a match longer than the window's margin goes the plain way.
// - Everything else - the last bytes of each input buffer, the last bytes
//   before each window flush, block headers - goes through the simple
//   byte-at-a-time path, which keeps the decoder's state in the state record
//   and asks the cursor for one byte at a time. It costs little because it
//   runs rarely. Stored blocks are copied straight from the cursor's buffer,
//   as many bytes at once as the buffer and the window allow.
// - The fast loop may load bytes ahead of the bits it decodes, but only bytes
//   that are already in the cursor's buffer; when it ends it hands the whole
//   bytes it did not use back to the cursor, so the cursor always stands just
//   after the last byte the decoder needed. The simple path fetches a byte
//   only while the slot it has selected wants more bits than it holds, so
//   the byte source is never asked for data beyond the end of the stream.

#include "zip/portable/inflate.h"

#include <stddef.h>

#include "support/portable/heap.h"
#include "zip/portable/inflate_tables.h"

namespace {

// Root widths. The builder makes a root exactly as wide as asked, so the
// literal/length and distance roots of fixed and dynamic blocks are the same
// two constants: the fast loop masks with immediates and keeps two registers
// free, which a 32-bit build has few of. The fixed codes (at most 9 and 5
// bits) all lie in their roots, so a fixed block never follows a link.
const unsigned kLiteralRootBits = 11;
const unsigned kDistanceRootBits = 6;
const unsigned kCodeLengthBits = 7;
static_assert(kLiteralRootBits <= kMaxRootBits && kDistanceRootBits <= kMaxRootBits, "roots the fast loop allows");

// Both codes of a block live in one heap block, the distance code at a
// fixed distance behind the literal/length code, so that the fast loop
// reaches both through one base register and a constant displacement. The
// literal/length code gets room for the most its tables can take: a
// complete code (an incomplete one is refused before it is placed) puts
// under each linked root slot a sub-table of at most 2^(15 - root) slots,
// filled by at least two codes (a single code cannot cover a root slot's
// whole space), so there are at most kMaxSymbols / 2 sub-tables. The room
// left unused is never touched; it costs address space, not cache.
const unsigned kLiteralCapacity =
    (1u << kLiteralRootBits) + (kMaxSymbols / 2) * (1u << (kLongestDeflateCode - kLiteralRootBits));
const unsigned kDistanceOffset = kLiteralCapacity;

inline uint32_t lowBits(uint32_t value, unsigned n) { return value & ((1u << n) - 1); }

// ---------------------------------------------------------------------------
// The two formats
// ---------------------------------------------------------------------------

// What Deflate and Deflate64 differ in where it counts: the codes of a block
// (decodeCodes, with the fast loop) are a template over one of these, so
// that Deflate's are compiled with Deflate64's differences left out rather
// than tested at run time. The rest - block headers, tables, stored blocks -
// runs once per block and takes the format as a FormatCodes record, so
// that the stub carries one copy of it.
const uint32_t kLongestMatch = 258;  // of Deflate, and the most a fast pass writes
const unsigned kMostLengthExtra = 5;  // extra bits of Deflate's lengths
struct DeflateFormat {
  static constexpr uint32_t kWindow = kWindowSize;
  static constexpr bool kFastLoop = true;
  // Lengths of at most kLongestMatch, with at most kMostLengthExtra bits.
  static constexpr bool kLongLengths = false;
  // A distance before the member's start reads what the window holds.
  static constexpr bool kDistanceChecked = false;
};
struct Deflate64Format {
  static constexpr uint32_t kWindow = kDeflate64WindowSize;
#ifdef ZIMBRO_STUB
  // The stub decodes Deflate64 the byte-at-a-time way: its fast loop would
  // cost the stub 2.7 KiB, and the method is rare (large files from the
  // system's compressed folders). The other builds (tests, benchmark) keep
  // the loop, so both ways stay tested.
  static constexpr bool kFastLoop = false;
#else
  static constexpr bool kFastLoop = true;
#endif
  // Code 285: lengths up to 65538, with kMostExtraBits extra bits.
  static constexpr bool kLongLengths = true;
  // A distance before the output's start is damage: nothing older is the
  // member's, and a window twice the size of Deflate's holds nothing else
  // that a stream could mean.
  static constexpr bool kDistanceChecked = true;
};
const unsigned kMostDistanceExtra = 14;  // of either format (Deflate: 13)
static_assert(kDeflate64WindowSize == 1u << (kMostDistanceExtra + 2), "the farthest distance is the window");

// The fast loop runs while the cursor holds at least kFastInputMargin more
// bytes than the loop has taken and while the window has room for one pass's
// output (the static_asserts at the fast loop say why these suffice).
const int32_t kFastInputMargin = 24;
const int32_t kFastInputMinimum = 32;
const uint32_t kFastOutputRoom = 264;

// ---------------------------------------------------------------------------
// The byte-at-a-time path: bits and window position live in the state record
// ---------------------------------------------------------------------------

inline int nextByte(InflateState* s) {
  ByteCursor* cursor = s->input;
  if (--cursor->unread >= 0) return *cursor->next++;
  return s->refill(s->context);
}

// Makes n (at most 16) bits available; false at the end of the input.
inline bool needBits(InflateState* s, unsigned n) {
  while (s->bitCount < n) {
    const int byte = nextByte(s);
    if (byte < 0) return false;
    s->bitBuffer |= static_cast<uint32_t>(byte) << s->bitCount;
    s->bitCount += 8;
  }
  return true;
}

inline uint32_t takeBits(InflateState* s, unsigned n) {
  const uint32_t value = lowBits(s->bitBuffer, n);
  s->bitBuffer >>= n;
  s->bitCount -= n;
  return value;
}

// Looks up one code, following a sub-table link, and consumes its bits with
// the extra bits of a length or distance; *value is the literal byte, the
// length, the distance or the code-length symbol. Bits are fetched only while
// the selected slot wants more than are held (the missing high bits read as
// zero, and a slot that wants no more of them is right whatever they are),
// so a short code at the very end of the stream never makes the decoder ask
// for input that is not there. 0 for an invalid code or the end of the
// input, else the entry.
// The 32-bit bit buffer takes a byte while fewer bits are held than a slot
// wants, so a slot may want at most kMostWantedAtOnce bits at once: every
// Deflate slot does (the most is a distance code with 13 extra bits, in the
// root or in a sub-table, whose codes are at most 15 bits less the distance
// root) and so does every Deflate64 distance. Deflate64's length code 285 in
// the root, with its 16 extra bits, may want more: its code is taken first,
// then its extra bits.
const unsigned kMostWantedAtOnce = 32 - 8;
static_assert(kDistanceRootBits + kMostDistanceExtra <= kMostWantedAtOnce, "a root distance fits the 32-bit buffer");
static_assert(kLongestDeflateCode - kDistanceRootBits + kMostDistanceExtra <= kMostWantedAtOnce,
              "a sub-table distance fits too");
static_assert(kMaxRootBits + kMostLengthExtra <= kMostWantedAtOnce, "a Deflate length fits too");
static_assert(kLongestDeflateCode - kLiteralRootBits + kMostExtraBits <= kMostWantedAtOnce,
              "a sub-table length fits too, Deflate64's among them");
CodeEntry decodeSymbol(InflateState* s, const CodeEntry* root, unsigned tableBits, uint32_t* value) {
  const CodeEntry* table = root;
  for (;;) {
    CodeEntry entry;
    for (;;) {
      entry = table[lowBits(s->bitBuffer, tableBits)];
      unsigned wanted = entryDrop(entry);
      if (wanted > kMostWantedAtOnce) wanted = entryCodeBits(entry);  // the code alone first
      if (wanted <= s->bitCount) break;
      const int byte = nextByte(s);
      if (byte < 0) return 0;
      s->bitBuffer |= static_cast<uint32_t>(byte) << s->bitCount;
      s->bitCount += 8;
    }
    if (entryIsInvalid(entry)) return 0;
    if ((entry & kEntryLink) != kEntryLink) {
      if (entryDrop(entry) > s->bitCount) {
        // The code is held, its extra bits (at most 16) come now.
        const unsigned extra = entryDrop(entry) - entryCodeBits(entry);
        takeBits(s, entryCodeBits(entry));
        if (!needBits(s, extra)) return 0;
        *value = entryValue(entry) + takeBits(s, extra);
        return entry;
      }
      *value = entryDecode(entry, s->bitBuffer);
      s->bitBuffer >>= entryDrop(entry);
      s->bitCount -= entryDrop(entry);
      return entry;
    }
    s->bitBuffer >>= entryDrop(entry);
    s->bitCount -= entryDrop(entry);
    tableBits = entryCodeBits(entry);
    table = root + entryValue(entry);
  }
}

// The window (`size` bytes) is full: out it goes, and writing starts again
// at its start.
inline void flushWholeWindow(InflateState* s, uint32_t size) {
  s->flush(s->context, s->window, size);
  s->windowPosition = 0;
  s->historyFull = true;
}

inline void putByte(InflateState* s, uint8_t byte, uint32_t size) {
  s->window[s->windowPosition++] = byte;
  if (s->windowPosition == size) flushWholeWindow(s, size);
}

// A match, the plain way: the source index wraps around the window like the
// destination, and bytes go one at a time in ascending order so that a
// distance shorter than the length repeats the bytes just written.
// size: the window's, a power of two.
void copyMatchSlow(InflateState* s, uint32_t length, uint32_t distance, uint32_t size) {
  uint8_t* const window = s->window;
  uint32_t from = (s->windowPosition - distance) & (size - 1);
  while (length != 0) {
    uint32_t position = s->windowPosition;
    uint32_t n = size - (from > position ? from : position);
    if (n > length) n = length;
    length -= n;
    do {
      window[position++] = window[from++];
    } while (--n != 0);
    s->windowPosition = position;
    if (position == size) flushWholeWindow(s, size);
    if (from == size) from = 0;
  }
}

// ---------------------------------------------------------------------------
// The fast loop
// ---------------------------------------------------------------------------

enum FastExit { kFastSlowDown, kFastEndOfBlock, kFastInvalid };

// The fast loop's bit buffer is a machine word, refilled to at least
// kRefilledBits bits. The margins below are what the loop relies on; each is
// checked here rather than at run time:
typedef uintptr_t BitWord;
const unsigned kWordBits = sizeof(BitWord) * 8;
const bool kWideBits = kWordBits == 64;
const unsigned kRefilledBits = kWordBits - 8;
// The longest length code with its extra bits that the loop takes whole
// (Deflate64's code 285 is taken in two steps, see there), and the longest
// distance code with its extra bits (through a link or not: a link and its
// sub-table's code together are one code of at most 15 bits).
const unsigned kLongestLength = kLongestDeflateCode + kMostLengthExtra;
const unsigned kLongestDistance = kLongestDeflateCode + kMostDistanceExtra;
// Root literals decoded per refill: each takes at most kMaxRootBits bits,
// and the lookup of each needs kMaxRootBits bits held.
const unsigned kRootLiteralsPerRefill = kWideBits ? 4 : 2;
static_assert(kRefilledBits >= kRootLiteralsPerRefill * kMaxRootBits, "a run of root literals needs no refill");
// After a refill a whole length with its extra bits is held; a wide word
// holds the distance too, so a match costs one refill. A 32-bit word refills
// once more before the distance, which then holds any distance found in the
// root table (a distance found through a link may refill a third time).
static_assert(kRefilledBits >= kLongestLength, "a length is held after a refill");
static_assert(!kWideBits || kRefilledBits >= kLongestLength + kLongestDistance, "a wide word holds a whole match");
static_assert(kRefilledBits >= kDistanceRootBits + kMostDistanceExtra,
              "a root distance with its extra bits is held after a refill");
static_assert(kRefilledBits >= kLongestDistance - kDistanceRootBits,
              "a sub-table's distance with its extra bits is held after one more");
// Deflate64's code 285: its code is held as any length's is, a refill
// follows, then its 16 extra bits leave the distance's root slot held, and
// a wide word the whole distance too.
static_assert(kRefilledBits >= kMostExtraBits + kDistanceRootBits, "a distance root slot is held after code 285");
static_assert(!kWideBits || kRefilledBits >= kMostExtraBits + kLongestDistance, "a wide word holds the distance too");
// The input margin: a pass refills at most kRefillsPerPass times (one more
// for Deflate64's code 285), each advancing at most kRefillAdvance bytes and
// loading one word ahead; the first pass also follows the refill made on
// entry, before any check.
const unsigned kRefillsPerPass = (kWideBits ? 1 : 3) + 1;
const unsigned kRefillAdvance = (kWordBits - 1) / 8;
static_assert(kRefillsPerPass * kRefillAdvance + sizeof(BitWord) <= static_cast<unsigned>(kFastInputMargin),
              "a pass stays inside the cursor's buffer");
static_assert((kRefillsPerPass + 1) * kRefillAdvance + sizeof(BitWord) <= static_cast<unsigned>(kFastInputMinimum),
              "the first pass stays inside the cursor's buffer");
// The output margin: a pass writes at most the longest match of Deflate (a
// longer one of Deflate64 goes the plain way, flushing as it fills the
// window) or a run of root literals.
static_assert(kFastOutputRoom >= kLongestMatch && kFastOutputRoom >= kRootLiteralsPerRefill + 2,
              "a pass fits the window");

inline BitWord loadWord(const uint8_t* bytes) {
  BitWord word;
  __builtin_memcpy(&word, bytes, sizeof word);  // one unaligned load; the target is little-endian
  return word;
}

inline void copyWord(uint8_t* to, const uint8_t* from) { __builtin_memcpy(to, from, sizeof(BitWord)); }
const uint32_t kCopyWord = sizeof(BitWord);
// The matches moved as one block (kLongerMatch on a 32-bit build only); a
// pass may then touch a block's bytes past a match's end.
const uint32_t kShortMatch = 16;
const uint32_t kShorterMatch = 8;
const uint32_t kLongerMatch = 32;
static_assert(kFastOutputRoom >= 3 + 2 * kShortMatch, "a short match's block fits the window");
static_assert(kFastOutputRoom >= 3 + 2 * kLongerMatch, "a longer match's block fits the window");

// Copies n bytes in ascending words: right for separate buffers (a stored
// block's bytes) and for a source at or above the destination (a match whose
// source lies in the older, upper part of the window), since every word is
// read before anything at or above it is written.
inline uint8_t* copyForward(uint8_t* out, const uint8_t* from, uint32_t n) {
  for (; n >= kCopyWord; n -= kCopyWord, out += kCopyWord, from += kCopyWord) copyWord(out, from);
  while (n-- != 0) *out++ = *from++;
  return out;
}

// Moves a match of at most Block bytes, from at least Block back, as one
// block. The move runs past the match's end over bytes that are still
// history (the older upper part of the window), so those are read before
// and written back after.
template <uint32_t Block>
inline uint8_t* moveAsBlock(uint8_t* out, const uint8_t* from, uint8_t* end) {
  uint8_t keep[Block];
  __builtin_memcpy(keep, end, Block);
  __builtin_memcpy(out, from, Block);
  __builtin_memcpy(end, keep, Block);
  return end;
}

// Copies a match whose source lies distance bytes below the destination.
// Nothing is written past the match's end: the bytes there are still the
// window's history for distances that reach back across the last flush.
// Always inlined: as a call, a 32-bit build pays for saving and restoring
// four registers and passing three more on every match, more than a short
// match's block move costs itself.
__attribute__((always_inline)) inline uint8_t* copyFromBelow(uint8_t* out, uint32_t length, uint32_t distance) {
  uint8_t* const end = out + length;
  const uint8_t* from = out - distance;
  // A short match from at least its own block back, the common match of
  // text (16 bytes) or the nearer match of records and tables in binary
  // data (8): one block move, with no branch on the length.
  if (length <= kShortMatch && distance >= kShortMatch) return moveAsBlock<kShortMatch>(out, from, end);
  if (length <= kShorterMatch && distance >= kShorterMatch) return moveAsBlock<kShorterMatch>(out, from, end);
  // On a 32-bit build a match of up to 32 bytes from at least 32 back
  // (the longer matches of text at the higher levels) moves as one block
  // too: eight word moves and the eight of the bytes kept cost less there
  // than the word loop's steps and the mispredicted exit from it. A wide
  // word's loop takes such a match in four steps, so it keeps the loop.
  if (!kWideBits && length <= kLongerMatch && distance >= kLongerMatch) return moveAsBlock<kLongerMatch>(out, from, end);
  if (length >= kCopyWord) {
    if (distance >= kCopyWord) {
      // Each word reads only bytes written before it. The last word ends
      // exactly at the end and may rewrite bytes with the values they
      // already hold.
      do {
        copyWord(out, from);
        out += kCopyWord;
        from += kCopyWord;
      } while (end - out > static_cast<ptrdiff_t>(kCopyWord));
      copyWord(end - kCopyWord, end - kCopyWord - distance);
      return end;
    }
    if (distance == 1) {
      const BitWord pattern = (~static_cast<BitWord>(0) / 0xFF) * out[-1];
      do {
        __builtin_memcpy(out, &pattern, sizeof pattern);
        out += kCopyWord;
      } while (end - out > static_cast<ptrdiff_t>(kCopyWord));
      __builtin_memcpy(end - kCopyWord, &pattern, sizeof pattern);
      return end;
    }
  }
  if (length >= 4 && distance >= 4) {
    do {
      __builtin_memcpy(out, from, 4);
      out += 4;
      from += 4;
    } while (end - out > 4);
    __builtin_memcpy(end - 4, end - 4 - distance, 4);
    return end;
  }
  while (out != end) *out++ = *from++;
  return end;
}

// The fast loop keeps its bit count in a word of which only the low
// kCountBits bits mean anything: a drop subtracts the whole slot, whose low
// bits are the bits to drop (fewer than the word's bits, so the shift by the
// slot, which the machine masks to the same low bits, drops exactly them).
// That spares extracting the drop from the slot twice per code.
const unsigned kCountMask = kWordBits - 1;
static_assert(kLongestDeflateCode + kMostExtraBits < 32, "a slot's low five bits are its whole drop, on either word");
// The distance's root slot is looked up before the refill that follows a
// length: every bit of the word is input after a refill, and a length takes
// at most kLongestLength of them, so the slot's bits are there already and
// the lookup need not wait for the refill.
static_assert(kWordBits - kLongestLength >= kDistanceRootBits, "a distance root slot is held after a length");

// A length or a distance in the fast loop: entryDecode, with the shift past
// the code taken from the slot shifted down by 8 and left to the machine to
// mask to five bits, which spares masking the code's bits out of the slot. A
// length or distance slot has none of bits 12..15 set (inflate_tables.h), so
// the five bits from bit 8 are its code's bits alone.
static_assert((kEntryLiteral | kEntryExceptional | kEntryLink | kEntryEnd) == 0xF000, "flags lie in bits 12..15");
inline uint32_t lengthOrDistance(CodeEntry e, uint32_t bits) {
  return entryValue(e) + ((bits & lowMasks[entryDrop(e)]) >> ((e >> 8) & 31));
}

// Decodes codes while the input and the window allow it without checks.
// Entered with bit buffer, bit count and window position in the state record;
// leaves them there, with the whole unused bytes handed back to the cursor.
// tables: the block's tables (see buildBlockTables).
template <typename Format>
__attribute__((noinline)) int decodeFast(InflateState* s, const CodeEntry* tables) {
  ByteCursor* const cursor = s->input;
  const uint8_t* in = cursor->next;
  const uint8_t* const inStart = in;
  const uint8_t* const inLimit = in + (cursor->unread - kFastInputMargin);
  uint8_t* const window = s->window;
  uint8_t* out = window + s->windowPosition;
  uint8_t* const outLimit = window + (Format::kWindow - kFastOutputRoom);
  BitWord hold = s->bitBuffer;
  uint32_t bits = s->bitCount;  // only the bits under kCountMask count
  const uint32_t literalMask = (1u << kLiteralRootBits) - 1;
  const uint32_t distanceMask = (1u << kDistanceRootBits) - 1;
  int exit = kFastSlowDown;

  // The branch-free refill: the bits above the count may already hold the
  // low bits of the next byte (from the previous load); ORing the same byte
  // in again at the same place leaves them unchanged. Afterwards at least
  // kRefilledBits bits are held.
#define REFILL()                                   \
  do {                                             \
    hold |= loadWord(in) << (bits & kCountMask);   \
    in += (~bits & kCountMask) >> 3;               \
    bits |= kRefilledBits;                         \
  } while (0)
#define DROP(entry)                      \
  do {                                   \
    hold >>= (entry) & kCountMask;       \
    bits -= (entry);                     \
  } while (0)
#define HELD() (bits & kCountMask)
#define LITERAL(entry) tables[(entry)]
#define DISTANCE(index) tables[kDistanceOffset + (index)]

  // Each pass starts with a full bit buffer and the root slot of the next
  // code already looked up: the lookup for the code after a match is made
  // before the match is copied, so its load overlaps the copy.
  REFILL();
  CodeEntry entry = LITERAL(hold & literalMask);
  do {
    if (entry & kEntryLiteral) {
      // A run of root literals: kRootLiteralsPerRefill of them, each found
      // with one load and written with one store, before the next refill.
      DROP(entry);
      *out++ = static_cast<uint8_t>(entryValue(entry));
      entry = LITERAL(hold & literalMask);
      if (entry & kEntryLiteral) {
        DROP(entry);
        *out++ = static_cast<uint8_t>(entryValue(entry));
        if (!kWideBits) {
          // A third literal when its code happens to be held: the slot was
          // selected partly by bits not yet counted, but a code no longer
          // than the bits held depends on none of them.
          entry = LITERAL(hold & literalMask);
          if ((entry & kEntryLiteral) && entryDrop(entry) <= HELD()) {
            DROP(entry);
            *out++ = static_cast<uint8_t>(entryValue(entry));
          }
        } else {
          entry = LITERAL(hold & literalMask);
          if (entry & kEntryLiteral) {
            DROP(entry);
            *out++ = static_cast<uint8_t>(entryValue(entry));
            entry = LITERAL(hold & literalMask);
            if (entry & kEntryLiteral) {
              DROP(entry);
              *out++ = static_cast<uint8_t>(entryValue(entry));
            }
          }
        }
      }
      REFILL();
      entry = LITERAL(hold & literalMask);
      continue;
    }
    if (entry & kEntryExceptional) {
      if ((entry & kEntryLink) != kEntryLink) {
        exit = kFastInvalid;
        if ((entry & kEntryEnd) == kEntryEnd) {
          DROP(entry);
          exit = kFastEndOfBlock;
        }
        break;
      }
      DROP(entry);
      entry = LITERAL(entryValue(entry) + (static_cast<uint32_t>(hold) & lowMasks[entryCodeBits(entry)]));
      if (entry & kEntryLiteral) {
        DROP(entry);
        *out++ = static_cast<uint8_t>(entryValue(entry));
        REFILL();
        entry = LITERAL(hold & literalMask);
        continue;
      }
      if (entry & kEntryExceptional) {  // sub-tables hold no links
        exit = kFastInvalid;
        if ((entry & kEntryEnd) == kEntryEnd) {
          DROP(entry);
          exit = kFastEndOfBlock;
        }
        break;
      }
    }
    {
      // A length: its code and extra bits in one shift (at most
      // kLongestLength bits, held since the refill). Deflate64's code 285
      // has more extra bits than are sure to be held: its code goes, a
      // refill, then its extra bits.
      // (`if constexpr`: with a plain `if` on the constant, a 32-bit build
      // of Deflate's loop allocated its registers worse.)
      uint32_t length = lengthOrDistance(entry, static_cast<uint32_t>(hold));
      if constexpr (Format::kLongLengths) {
        if (entryDrop(entry) - entryCodeBits(entry) > kMostLengthExtra) {
          const unsigned codeBits = entryCodeBits(entry);
          hold >>= codeBits;
          bits -= codeBits;
          REFILL();
          length = entryValue(entry) + (static_cast<uint32_t>(hold) & lowMasks[kMostExtraBits]);
          hold >>= kMostExtraBits;
          bits -= kMostExtraBits;
        } else {
          DROP(entry);
        }
      } else {
        DROP(entry);
      }

      // The distance's root slot, then (a narrow word) the refill that
      // makes its extra bits held; a wide word holds them already.
      entry = DISTANCE(hold & distanceMask);
      if (!kWideBits) REFILL();
      if (entry & kEntryExceptional) {
        if ((entry & kEntryLink) != kEntryLink) {
          exit = kFastInvalid;
          break;
        }
        DROP(entry);
        entry = DISTANCE(entryValue(entry) + (static_cast<uint32_t>(hold) & lowMasks[entryCodeBits(entry)]));
        if (entry & kEntryExceptional) {
          exit = kFastInvalid;
          break;
        }
        if (!kWideBits && HELD() < entryDrop(entry)) REFILL();  // a long code with many extra bits
      }
      const uint32_t distance = lengthOrDistance(entry, static_cast<uint32_t>(hold));
      DROP(entry);

      REFILL();
      entry = LITERAL(hold & literalMask);

      const uint32_t written = static_cast<uint32_t>(out - window);
      if constexpr (Format::kDistanceChecked) {
        if (distance > written && !s->historyFull) {
          exit = kFastInvalid;  // before the start of the output
          break;
        }
      }
      if constexpr (Format::kLongLengths) {
        if (length > kLongestMatch) {
          // More than the room the loop keeps: the plain copy, which
          // flushes the window as it fills.
          s->windowPosition = written;
          copyMatchSlow(s, length, distance, Format::kWindow);
          out = window + s->windowPosition;
          continue;
        }
      }
      if (distance <= written) {
        out = copyFromBelow(out, length, distance);
      } else {
        // The source starts in the upper part of the window, written before
        // the last flush, and may continue from its start.
        const uint32_t back = distance - written;
        const uint8_t* from = window + Format::kWindow - back;
        if (length <= back) {
          out = copyForward(out, from, length);
        } else {
          out = copyForward(out, from, back);
          out = copyFromBelow(out, length - back, distance);
        }
      }
    }
  } while (in < inLimit && out < outLimit);
#undef REFILL
#undef DROP
#undef HELD
#undef LITERAL
#undef DISTANCE

  {
    // Hand the whole bytes not yet used back to the cursor (only bytes taken
    // in this loop, which all came from the current buffer).
    bits &= kCountMask;
    uint32_t giveBack = bits >> 3;
    const uint32_t taken = static_cast<uint32_t>(in - inStart);
    if (giveBack > taken) giveBack = taken;
    in -= giveBack;
    bits -= giveBack << 3;
    hold &= (static_cast<BitWord>(1) << bits) - 1;
  }
  cursor->unread -= static_cast<int32_t>(in - inStart);
  cursor->next = in;
  s->bitBuffer = static_cast<uint32_t>(hold);
  s->bitCount = bits;
  s->windowPosition = static_cast<uint32_t>(out - window);
  return exit;
}

// ---------------------------------------------------------------------------
// Codes of one block
// ---------------------------------------------------------------------------

// kInflateOk at the end of the block, kInflateBadData for invalid codes or
// the end of input. tables: the block's tables (see buildBlockTables).
template <typename Format>
InflateResult decodeCodes(InflateState* s, const CodeEntry* tables) {
  for (;;) {
    if constexpr (Format::kFastLoop) {
      if (s->input->unread >= kFastInputMinimum && s->windowPosition < Format::kWindow - kFastOutputRoom) {
        const int exit = decodeFast<Format>(s, tables);
        if (exit == kFastEndOfBlock) return kInflateOk;
        if (exit == kFastInvalid) return kInflateBadData;
        continue;  // the loop stopped for lack of input or room: one slow step
      }
    }

    uint32_t length;
    const CodeEntry entry = decodeSymbol(s, tables, kLiteralRootBits, &length);
    if (entry == 0) return kInflateBadData;
    if (entry & kEntryLiteral) {
      putByte(s, static_cast<uint8_t>(length), Format::kWindow);
      continue;
    }
    if (entry & kEntryExceptional) return kInflateOk;  // the end of block: links and invalid codes are gone
    uint32_t distance;
    if (decodeSymbol(s, tables + kDistanceOffset, kDistanceRootBits, &distance) == 0) return kInflateBadData;
    if (Format::kDistanceChecked && distance > s->windowPosition && !s->historyFull) return kInflateBadData;
    copyMatchSlow(s, length, distance, Format::kWindow);
  }
}

// The format as the block decoders take it.
struct FormatCodes {
  uint32_t window;
  const uint16_t* lengthBases;
  const uint8_t* lengthExtras;
  const uint16_t* distanceBases;
  const uint8_t* distanceExtras;
  unsigned distanceCodes;  // of the fixed code
  bool deflate64;          // which fixed tables
  InflateResult (*decodeCodes)(InflateState* s, const CodeEntry* tables);
};
const FormatCodes kDeflateCodes = {kWindowSize,   kLengthBase, kLengthExtra, kDistanceBase, kDistanceExtra,
                                   30,  // 30 and 31 are invalid
                                   false, decodeCodes<DeflateFormat>};
const FormatCodes kDeflate64Codes = {kDeflate64WindowSize, kLengthBase64, kLengthExtra64, kDistanceBase64,
                                     kDistanceExtra64,     32,            true,           decodeCodes<Deflate64Format>};

// ---------------------------------------------------------------------------
// Block types
// ---------------------------------------------------------------------------

// A code that cannot decode (or a full heap) as the decoder reports it: an
// incomplete literal or code-length code is damaged data, an over-subscribed
// one a bad code.
InflateResult failureOf(CodeTableResult planned) {
  switch (planned) {
    case kCodeComplete:
      return kInflateOk;
    case kCodeIncomplete:
      return kInflateBadData;
    case kCodeOverSubscribed:
      return kInflateBadCode;
    case kCodeNoMemory:
      return kInflateNoMemory;
  }
  return kInflateBadData;
}

InflateResult decodeStoredBlock(InflateState* s, uint32_t size) {
  takeBits(s, s->bitCount & 7);
  if (!needBits(s, 16)) return kInflateBadData;
  uint32_t length = takeBits(s, 16);
  if (!needBits(s, 16)) return kInflateBadData;
  const uint32_t complement = takeBits(s, 16);
  if ((length ^ 0xFFFFu) != complement) return kInflateBadData;

  // Whole bytes still in the bit buffer come first, then the bytes straight
  // from the cursor, as many at once as the buffer and the window allow.
  while (length != 0 && s->bitCount >= 8) {
    putByte(s, static_cast<uint8_t>(takeBits(s, 8)), size);
    --length;
  }
  ByteCursor* const cursor = s->input;
  while (length != 0) {
    if (cursor->unread > 0) {
      uint32_t n = static_cast<uint32_t>(cursor->unread);
      if (n > length) n = length;
      if (n > size - s->windowPosition) n = size - s->windowPosition;
      copyForward(s->window + s->windowPosition, cursor->next, n);
      cursor->next += n;
      cursor->unread -= static_cast<int32_t>(n);
      length -= n;
      s->windowPosition += n;
      if (s->windowPosition == size) flushWholeWindow(s, size);
    } else {
      const int byte = nextByte(s);
      if (byte < 0) return kInflateBadData;
      putByte(s, static_cast<uint8_t>(byte), size);
      --length;
    }
  }
  return kInflateOk;
}

// Builds the planned codes of a block into one heap block: the
// literal/length code at its start, the distance code kDistanceOffset
// entries further (see there). literal: a complete code; distance: complete,
// incomplete or empty. kInflateOk or kInflateNoMemory (kInflateBadCode for
// a literal/length code beyond its room, which a complete code never is: the
// check only guards the block).
InflateResult buildBlockTables(const CodePlan& literal, const CodePlan& distance, CodeEntry** tables) {
  if (literal.size > kDistanceOffset) return kInflateBadCode;
  CodeEntry* const block = static_cast<CodeEntry*>(allocate((kDistanceOffset + distance.size) * sizeof(CodeEntry)));
  if (block == nullptr) return kInflateNoMemory;
  fillCodeTable(literal, block);
  if (distance.size != 0) fillCodeTable(distance, block + kDistanceOffset);
  *tables = block;
  return kInflateOk;
}

InflateResult decodeFixedBlock(InflateState* s, const FormatCodes& f) {
  CodeEntry** const fixed = f.deflate64 ? &s->fixedDeflate64Tables : &s->fixedLiteralTable;
  if (*fixed == nullptr) {
    uint8_t lengths[288];
    unsigned i = 0;
    for (; i < 144; ++i) lengths[i] = 8;
    for (; i < 256; ++i) lengths[i] = 9;
    for (; i < 280; ++i) lengths[i] = 7;
    for (; i < 288; ++i) lengths[i] = 8;
    CodePlan literal;
    CodeTableResult planned =
        planCodeTable(lengths, 288, kLiteralSymbols, f.lengthBases, f.lengthExtras, kLiteralRootBits, &literal);
    if (planned != kCodeComplete) return failureOf(planned);
    for (i = 0; i < f.distanceCodes; ++i) lengths[i] = 5;
    CodePlan distance;
    planned = planCodeTable(lengths, f.distanceCodes, 0, f.distanceBases, f.distanceExtras, kDistanceRootBits,
                            &distance);
    if (planned != kCodeComplete && planned != kCodeIncomplete) return failureOf(planned);  // Deflate's is incomplete
    CodeEntry* tables;
    const InflateResult built = buildBlockTables(literal, distance, &tables);
    if (built != kInflateOk) return built;
    *fixed = tables;
    if (!f.deflate64) s->fixedDistanceTable = tables + kDistanceOffset;
  }
  return f.decodeCodes(s, *fixed) != kInflateOk ? kInflateBadData : kInflateOk;
}

InflateResult decodeDynamicBlock(InflateState* s, const FormatCodes& f) {
  if (!needBits(s, 14)) return kInflateBadData;
  const unsigned literalCount = takeBits(s, 5) + 257;
  const unsigned distanceCount = takeBits(s, 5) + 1;
  const unsigned codeLengthCount = takeBits(s, 4) + 4;

  // The code-length code: lengths in the fixed order, missing ones zero.
  uint8_t lengths[288 + 32];
  unsigned i = 0;
  for (; i < codeLengthCount; ++i) {
    if (!needBits(s, 3)) return kInflateBadData;
    lengths[kCodeLengthOrder[i]] = static_cast<uint8_t>(takeBits(s, 3));
  }
  for (; i < 19; ++i) lengths[kCodeLengthOrder[i]] = 0;
  CodeEntry* codeLengthTable;
  unsigned codeLengthBits = kCodeLengthBits;
  CodeTableResult planned = buildCodeTable(lengths, 19, 19, nullptr, nullptr, &codeLengthTable, &codeLengthBits);
  if (codeLengthBits == 0) planned = kCodeIncomplete;  // no code at all
  if (planned != kCodeComplete) {
    freeCodeTable(codeLengthTable);
    return failureOf(planned);
  }

  // The literal/length and distance code lengths, as one sequence: a repeat
  // may run from the one into the other. All code-length codes fit the root
  // table; its only invalid slot (a single one-bit code) holds the same
  // symbol as the valid one, so the slot's operation is not looked at.
  const unsigned total = literalCount + distanceCount;
  unsigned previous = 0;
  i = 0;
  while (i < total) {
    // One byte more at a time while the slot wants bits not yet held, so
    // that nothing beyond the stream is asked for.
    CodeEntry entry = codeLengthTable[lowBits(s->bitBuffer, codeLengthBits)];
    while (entryDrop(entry) > s->bitCount) {
      if (!needBits(s, s->bitCount + 1)) {
        freeCodeTable(codeLengthTable);
        return kInflateBadData;
      }
      entry = codeLengthTable[lowBits(s->bitBuffer, codeLengthBits)];
    }
    takeBits(s, entryDrop(entry));
    const unsigned symbol = entryValue(entry);
    if (symbol < 16) {
      lengths[i++] = static_cast<uint8_t>(symbol);
      previous = symbol;
      continue;
    }
    unsigned repeat;
    unsigned value = 0;
    if (symbol == 16) {
      if (!needBits(s, 2)) break;
      repeat = 3 + takeBits(s, 2);
      value = previous;
    } else if (symbol == 17) {
      if (!needBits(s, 3)) break;
      repeat = 3 + takeBits(s, 3);
      previous = 0;
    } else {
      if (!needBits(s, 7)) break;
      repeat = 11 + takeBits(s, 7);
      previous = 0;
    }
    if (i + repeat > total) break;
    while (repeat-- != 0) lengths[i++] = static_cast<uint8_t>(value);
  }
  freeCodeTable(codeLengthTable);
  if (i < total) return kInflateBadData;  // end of input or a repeat past the count

  CodePlan literal;
  planned = planCodeTable(lengths, literalCount, kLiteralSymbols, f.lengthBases, f.lengthExtras, kLiteralRootBits,
                          &literal);
  if (literal.root == 0) planned = kCodeIncomplete;  // no code at all
  if (planned != kCodeComplete) return failureOf(planned);
  CodePlan distance;
  planned = planCodeTable(lengths + literalCount, distanceCount, 0, f.distanceBases, f.distanceExtras,
                          kDistanceRootBits, &distance);
  if (distance.root == 0 && literalCount > 257) return kInflateBadData;  // length codes but no distances
  if (planned != kCodeComplete && planned != kCodeIncomplete) return failureOf(planned);  // incomplete is fine

  CodeEntry* tables;
  const InflateResult built = buildBlockTables(literal, distance, &tables);
  if (built != kInflateOk) return built;
  const InflateResult result = f.decodeCodes(s, tables) != kInflateOk ? kInflateBadData : kInflateOk;
  freeCodeTable(tables);
  return result;
}

InflateResult decodeBlock(InflateState* s, const FormatCodes& f, bool* last) {
  if (!needBits(s, 3)) return kInflateBadData;
  *last = takeBits(s, 1) != 0;
  switch (takeBits(s, 2)) {
    case 0:
      return decodeStoredBlock(s, f.window);
    case 1:
      return decodeFixedBlock(s, f);
    case 2:
      return decodeDynamicBlock(s, f);
    default:
      return kInflateBadCode;  // block type 3
  }
}

InflateResult decodeMember(InflateState* state, const FormatCodes& f) {
  state->bitBuffer = 0;
  state->bitCount = 0;
  state->windowPosition = 0;
  state->historyFull = false;
  bool last = false;
  do {
    const InflateResult result = decodeBlock(state, f, &last);
    if (result != kInflateOk) return result;
    if (state->afterBlock != nullptr && state->afterBlock(state->context) != 0) return kInflateStopped;
  } while (!last);
  state->flush(state->context, state->window, state->windowPosition);
  return kInflateOk;
}

}  // namespace

// ---------------------------------------------------------------------------
// Entries
// ---------------------------------------------------------------------------

InflateResult decodeDeflateMember(InflateState* state) { return decodeMember(state, kDeflateCodes); }

InflateResult decodeDeflate64Member(InflateState* state) { return decodeMember(state, kDeflate64Codes); }

void releaseFixedTables(InflateState* state) {
  freeCodeTable(state->fixedLiteralTable);  // the distance table lies in the same block
  state->fixedLiteralTable = nullptr;
  state->fixedDistanceTable = nullptr;
  freeCodeTable(state->fixedDeflate64Tables);
  state->fixedDeflate64Tables = nullptr;
}
