// LZMA decoder.
//
// The stream is one range-coded sequence of symbols - a literal byte, a
// match (length and distance), or a match at one of the last four distances
// - each bit coded with an adaptive probability chosen by what came before:
// the state machine of the last symbols, the low bits of the output position
// (pb, lp) and the high bits of the previous byte (lc).
//
// Why it is fast (each point measured by `make bench`, the LZMA rows of the
// native decoder benchmark):
// - Nearly every symbol is decoded by the fast loop (runSymbols). It runs
//   only while the input cursor holds at least kSymbolInputMost bytes, the
//   most one symbol can take (every bit takes at most one byte of input, see
//   below), so inside it the input is a bare pointer with no bounds test and
//   no refill. The range, the code, the input pointer, the output position,
//   the state, the previous byte and the repeated distances are locals,
//   written back once when the loop ends: kept in the state record, each
//   byte stored to the dictionary could alias them and the compiler would
//   store and reload them around it.
// - Output goes straight into the dictionary, which is the history matches
//   copy from: no second window, no copy between the two. The loop stops at
//   a stop position no further than the dictionary's end, the end of a
//   chunk or the output asked for; a match that does not fit is cut there
//   and its rest kept for the next call, so nothing in the loop tests for
//   the dictionary turning round except the match source.
// - Decoding a bit is a chain: the probability, a multiplication, a
//   comparison, the next probability. Inside a bit tree (literals, lengths,
//   distance slots, the aligned bits) the next probability is one of the
//   node's two children, so both are read while the node's bit is decoded
//   and the chain loses its memory read. The trees are unrolled, the bits of
//   a literal after a match too (the match byte steers them through an
//   offset that turns 0 at the first bit that differs, with no branch).
// - Tree bits are decoded without a branch (their value is a coin toss to
//   the processor), except the high bits of a plain literal, which the
//   kind of data makes predictable (see plainLiteral). The bits that choose what comes next - literal or match,
//   which repeated distance, which length coder - branch, since the loop
//   branches on them anyway: each side does only its own update.
// - A match from 8 or more bytes back, whose source and end do not reach the
//   dictionary's end, is copied 8 bytes at a time (no step reads what it
//   writes); the few bytes the last step writes past the match's end are
//   read before and put back after, as they may still be history.
// - The symbols near the end of each input buffer are decoded one at a time
//   by the plain form of the same loop, over a small staging area that
//   holds the bytes they may need (decodeStaged). It runs rarely and costs
//   little.
// - The stub, built for size, has only the plain form (see kSpelledOut).
// - Probabilities are 16-bit, so the context of a literal (768 of them) and
//   all the rest (1847) fit the first-level cache for the common lc + lp of 3.
//
// Why one byte of input per bit is enough: after a normalization the range
// is at least 2^24, and a bit leaves at least range / 2^11 * 31 of it (a
// probability never falls below 31 or rises above 2048 - 31), which is more
// than 2^16; one shift by eight bits brings it back above 2^24.

#include "zip/portable/lzma_decoder.h"

namespace {

const uint32_t kProbabilityBits = 11;
const uint32_t kProbabilityOne = 1u << kProbabilityBits;
const uint32_t kMoveBits = 5;
const uint32_t kTopValue = 1u << 24;

const uint32_t kStates = 12;
const uint32_t kPositionStatesMost = 16;  // pb at most 4
const uint32_t kLiteralCoderSize = 0x300;
const uint32_t kEndPositionSlot = 14;  // slots from here on take direct bits and the aligned four
const uint32_t kAlignBits = 4;
const uint32_t kMatchShortest = 2;
const uint32_t kEndMarkerDistance = 0xFFFFFFFFu;

// The probabilities of a length coder: two choices, then eight lengths per
// position state (low), eight more (mid), and 256 long ones (high).
const uint32_t kLengthChoice = 0;
const uint32_t kLengthChoice2 = 1;
const uint32_t kLengthLow = 2;
const uint32_t kLengthMid = kLengthLow + kPositionStatesMost * 8;
const uint32_t kLengthHigh = kLengthMid + kPositionStatesMost * 8;
const uint32_t kLengthCoderSize = kLengthHigh + 256;

// The probability array, in one block.
const uint32_t kIsMatch = 0;
const uint32_t kIsRepeat = kIsMatch + kStates * kPositionStatesMost;
const uint32_t kIsRepeatG0 = kIsRepeat + kStates;
const uint32_t kIsRepeatG1 = kIsRepeatG0 + kStates;
const uint32_t kIsRepeatG2 = kIsRepeatG1 + kStates;
const uint32_t kIsRepeat0Long = kIsRepeatG2 + kStates;
const uint32_t kPositionSlot = kIsRepeat0Long + kStates * kPositionStatesMost;  // 4 length states of 64
const uint32_t kSpecialPosition = kPositionSlot + 4 * 64;
// Indexed from 1 on, as every bit tree: the slot of distance 4 uses entry 1.
const uint32_t kAlign = kSpecialPosition + 1 + 128 - kEndPositionSlot;
const uint32_t kMatchLength = kAlign + (1u << kAlignBits);
const uint32_t kRepeatLength = kMatchLength + kLengthCoderSize;
const uint32_t kLiteral = kRepeatLength + kLengthCoderSize;
static_assert(kLiteral == 1847, "the probabilities before the literal coders");
// The middle bits of the distances of slots 4 to 13 (at most 5), from one
// tree per slot at kSpecialPosition + base - slot. The unrolled walk reads
// the children of its last node too, the farthest at slot 13 (base 3 << 5,
// last node 2^5 - 1): inside the probabilities, whatever lc and lp are.
const uint32_t kSpecialBitsMost = (13 >> 1) - 1;
const uint32_t kSpecialReadMost = kSpecialPosition + (3u << kSpecialBitsMost) - 13 + 2 * ((1u << kSpecialBitsMost) - 1) + 1;
static_assert(kSpecialReadMost < kLiteral, "the unrolled walk reads inside the probabilities");

// The most input one symbol takes: a match with the longest length (two
// choices and eight bits), a six-bit slot, 26 direct bits and four aligned
// ones, after its two flags; one byte per bit at most.
const int32_t kSymbolInputMost = 2 + 2 + 8 + 6 + 26 + 4;
static_assert(kSymbolInputMost == kLzmaStagingSize, "the staging area holds one symbol's input");

#define LZMA_INLINE inline __attribute__((always_inline))

// How the loop is compiled. Spelled out, every bit tree is unrolled and
// reads both children of a node while the node's bit is decoded, and a
// choice between symbols branches rather than computing both ways. The
// stub, built for size, keeps the plain loops: the spelled-out loop would
// cost it about 8 KiB. The other builds have both, the plain one decoding the
// symbols near the end of each input buffer (decodeStaged), so both stay
// tested.
#ifdef ZIMBRO_STUB
const bool kSpelledOut = false;
#else
const bool kSpelledOut = true;
#endif

// The input of the loop: a bare pointer, valid while it stays at or before
// `last` when a symbol begins.
struct FastInput {
  const uint8_t* next;
  const uint8_t* last;
  LZMA_INLINE uint8_t take() { return *next++; }
  LZMA_INLINE bool roomForSymbol() const { return next <= last; }
};

template <bool kUnrolled>
struct RangeDecoder {
  uint32_t range;
  uint32_t code;
  FastInput in;

  LZMA_INLINE void normalize() {
    if (range < kTopValue) {
      range <<= 8;
      code = (code << 8) | in.take();
    }
  }
  // One bit whose probability `p` was read already from *probability.
  LZMA_INLINE uint32_t bitOf(uint32_t p, uint16_t* probability) {
    const uint32_t bound = (range >> kProbabilityBits) * p;
    // Without a branch: which way a bit goes is a coin toss to the
    // processor, and a wrong guess costs more than both ways computed.
    // (Written with masks: as choices, the compiler makes branches of them.)
    const uint32_t result = code >= bound ? 1u : 0u;
    const uint32_t mask = 0u - result;
    range = (bound & ~mask) | ((range - bound) & mask);
    code -= bound & mask;
    const uint32_t up = p + ((kProbabilityOne - p) >> kMoveBits);
    const uint32_t down = p - (p >> kMoveBits);
    *probability = static_cast<uint16_t>((up & ~mask) | (down & mask));
    normalize();
    return result;
  }
  LZMA_INLINE uint32_t bit(uint16_t* probability) { return bitOf(*probability, probability); }
  // A bit that chooses the next step of the loop (literal or match, which
  // distance, which length coder): the branch on it is taken anyway, so each
  // side of it may as well do its own part of the work.
  LZMA_INLINE bool flag(uint16_t* probability) {
    if (!kUnrolled) return bit(probability) != 0;
    const uint32_t p = *probability;
    const uint32_t bound = (range >> kProbabilityBits) * p;
    bool one;
    if (code < bound) {
      range = bound;
      *probability = static_cast<uint16_t>(p + ((kProbabilityOne - p) >> kMoveBits));
      one = false;
    } else {
      range -= bound;
      code -= bound;
      *probability = static_cast<uint16_t>(p - (p >> kMoveBits));
      one = true;
    }
    normalize();
    return one;
  }
  // A walk down a bit tree of `bits` levels, probabilities indexed from 1:
  // the index of the leaf, and (*reversed) the bits read, first bit lowest.
  // Unrolled, both children of a node are read while its bit is decoded, so
  // that the next probability does not wait for the bit.
  template <uint32_t bits>
  LZMA_INLINE uint32_t walkUnrolled(uint16_t* probabilities, uint32_t* reversed) {
    uint32_t m = 1, p = probabilities[1], symbol = 0;
#pragma GCC unroll 8
    for (uint32_t i = 0; i < bits; ++i) {
      uint32_t p0 = 0, p1 = 0;
      if (i + 1 < bits) {
        p0 = probabilities[2 * m];
        p1 = probabilities[2 * m + 1];
      }
      const uint32_t b = bitOf(p, probabilities + m);
      m = 2 * m + b;
      symbol |= b << i;
      p = b != 0 ? p1 : p0;
    }
    *reversed = symbol;
    return m;
  }
  uint32_t walk(uint16_t* probabilities, uint32_t bits, uint32_t* reversed) {
    uint32_t m = 1, symbol = 0;
    for (uint32_t i = 0; i < bits; ++i) {
      const uint32_t b = bit(probabilities + m);
      m = 2 * m + b;
      symbol |= b << i;
    }
    *reversed = symbol;
    return m;
  }
  // A bit tree, most significant bit first.
  template <uint32_t bits>
  LZMA_INLINE uint32_t tree(uint16_t* probabilities) {
    uint32_t unused;
    if (kUnrolled) return walkUnrolled<bits>(probabilities, &unused) - (1u << bits);
    return walk(probabilities, bits, &unused) - (1u << bits);
  }
  // A literal not after a match. Its high bits follow the kind of data
  // (text keeps to a few rows of the byte table), so the processor guesses
  // them well and a branch costs less than the masks there; the low bits
  // are the coin tosses and are decoded without one. Measured by the
  // native benchmark against all bits without a branch: text +4 %, program
  // files and compressed data unchanged up to four high bits, slower with
  // more (compressed data -20 % with all eight branched).
  LZMA_INLINE uint32_t plainLiteral(uint16_t* probabilities) {
    if (!kUnrolled) return tree<8>(probabilities);
    const uint32_t kBranchedBits = 4;
    uint32_t symbol = 1;
    for (uint32_t i = 0; i < kBranchedBits; ++i) symbol = 2 * symbol + (flag(probabilities + symbol) ? 1u : 0u);
    uint32_t p = probabilities[symbol];
#pragma GCC unroll 8
    for (uint32_t i = kBranchedBits; i < 8; ++i) {
      uint32_t p0 = 0, p1 = 0;
      if (i < 7) {
        p0 = probabilities[2 * symbol];
        p1 = probabilities[2 * symbol + 1];
      }
      const uint32_t b = bitOf(p, probabilities + symbol);
      symbol = 2 * symbol + b;
      p = b != 0 ? p1 : p0;
    }
    return symbol - 0x100;
  }
  // A bit tree, least significant bit first.
  template <uint32_t bits>
  LZMA_INLINE uint32_t reverseTree(uint16_t* probabilities) {
    uint32_t symbol;
    if (kUnrolled) {
      walkUnrolled<bits>(probabilities, &symbol);
    } else {
      walk(probabilities, bits, &symbol);
    }
    return symbol;
  }
  // The same with a count known only at run time (the middle bits of the
  // shorter distances, 1 to kSpecialBitsMost). The children of the last
  // node are read too, never used: they lie inside the probabilities (see
  // kSpecialReadMost).
  LZMA_INLINE uint32_t reverseTree(uint16_t* probabilities, uint32_t bits) {
    uint32_t symbol;
    if (!kUnrolled) {
      walk(probabilities, bits, &symbol);
      return symbol;
    }
    uint32_t m = 1, p = probabilities[1];
    symbol = 0;
    for (uint32_t i = 0; i < bits; ++i) {
      const uint32_t p0 = probabilities[2 * m], p1 = probabilities[2 * m + 1];
      const uint32_t b = bitOf(p, probabilities + m);
      m = 2 * m + b;
      symbol |= b << i;
      p = b != 0 ? p1 : p0;
    }
    return symbol;
  }
  // Bits of probability one half. A code that reaches the range is a stream
  // out of step with its coder.
  uint32_t directBits(uint32_t bits, bool* bad) {
    uint32_t result = 0, reached = 0;
    do {
      range >>= 1;
      code -= range;
      uint32_t mask = 0u - (code >> 31);  // all ones when the subtraction went below 0: a 0 bit
      code += range & mask;
      reached |= code == range ? 1u : 0u;
      normalize();
      result = (result << 1) + (mask + 1);
    } while (--bits != 0);
    *bad = reached != 0;
    return result;
  }
  // A length, less kMatchShortest: inlined where the loop is spelled out,
  // one call otherwise (the loop decodes two kinds of length).
  LZMA_INLINE uint32_t length(uint16_t* coder, uint32_t positionState) {
    return kUnrolled ? lengthHere(coder, positionState) : lengthCalled(coder, positionState);
  }
  LZMA_INLINE uint32_t lengthHere(uint16_t* coder, uint32_t positionState) {
    if (!flag(coder + kLengthChoice)) return tree<3>(coder + kLengthLow + positionState * 8);
    if (!flag(coder + kLengthChoice2)) return 8 + tree<3>(coder + kLengthMid + positionState * 8);
    return 16 + tree<8>(coder + kLengthHigh);
  }
  __attribute__((noinline)) uint32_t lengthCalled(uint16_t* coder, uint32_t positionState) {
    return lengthHere(coder, positionState);
  }
};

enum SymbolsEnd {
  kSymbolsGoOn,    // the stop position was reached, or the input margin
  kSymbolsMarker,  // the end marker was read
  kSymbolsBad,     // a distance before the start of the data, or a coder out of step
};

// Copies up to `length` bytes of the match at distance + 1 to the output
// position, no further than stop; the bytes that did not fit.
const uint32_t kCopyStep = 8;
template <bool kByStep>
LZMA_INLINE uint32_t copyMatch(uint8_t* dictionary, uint32_t size, uint32_t* position, uint32_t distance,
                               uint32_t length, uint32_t stop) {
  uint32_t out = *position;
  uint32_t n = stop - out;
  if (n > length) n = length;
  uint32_t from = out >= distance + 1 ? out - distance - 1 : out + size - distance - 1;
  uint8_t* to = dictionary + out;
  const uint8_t* source = dictionary + from;
  if (kByStep && distance + 1 >= kCopyStep && size - from >= n + kCopyStep && size - out >= n + kCopyStep) {
    // A step at a time; a source kCopyStep or more back never reads what the
    // same step writes (a source ahead, past the dictionary's turn, is read
    // before it is written). The last step may write up to kCopyStep - 1
    // bytes past the match's end: inside the dictionary (the test above),
    // and put back after, as they may still be history.
    uint8_t saved[kCopyStep];
    __builtin_memcpy(saved, to + n, kCopyStep);
    uint32_t i = 0;
    do {
      __builtin_memcpy(to + i, source + i, kCopyStep);
      i += kCopyStep;
    } while (i < n);
    __builtin_memcpy(to + n, saved, kCopyStep);
  } else if (from + n <= size) {
    for (uint32_t i = 0; i < n; ++i) to[i] = source[i];
  } else {
    for (uint32_t i = 0; i < n; ++i) {
      to[i] = dictionary[from];
      if (++from == size) from = 0;
    }
  }
  *position = out + n;
  return length - n;
}

// A literal after a match, whose bits take their probabilities from one of
// two further sets of 256 while they agree with the byte at the last
// distance (`offset` is 0x100 until one differs, then 0). Unrolled, the
// next index and its probability are read for both values of each bit, as
// in a tree walk.
template <bool kUnrolled>
LZMA_INLINE uint32_t matchedLiteral(RangeDecoder<kUnrolled>* rc, uint16_t* literal, uint32_t matchByte) {
  uint32_t symbol = 1, offset = 0x100;
  if (!kUnrolled) {
    do {
      matchByte <<= 1;
      const uint32_t b = rc->bit(literal + offset + (matchByte & offset) + symbol);
      symbol = (symbol << 1) | b;
      offset &= matchByte ^ (b - 1u);  // kept while the bit equals the match byte's
    } while (symbol < 0x100);
    return symbol - 0x100;
  }
  matchByte <<= 1;
  uint32_t index = offset + (matchByte & offset) + symbol;
  uint32_t p = literal[index];
#pragma GCC unroll 8
  for (int i = 0; i < 8; ++i) {
    const uint32_t nextMatch = matchByte << 1;
    const uint32_t offset0 = offset & ~matchByte, offset1 = offset & matchByte;
    const uint32_t index0 = offset0 + (nextMatch & offset0) + 2 * symbol;
    const uint32_t index1 = offset1 + (nextMatch & offset1) + 2 * symbol + 1;
    uint32_t p0 = 0, p1 = 0;
    if (i < 7) {
      p0 = literal[index0];
      p1 = literal[index1];
    }
    const uint32_t b = rc->bitOf(p, literal + index);
    symbol = 2 * symbol + b;
    offset = b != 0 ? offset1 : offset0;
    index = b != 0 ? index1 : index0;
    p = b != 0 ? p1 : p0;
    matchByte = nextMatch;
  }
  return symbol - 0x100;
}

// Decodes symbols until the output position reaches stop (the caller has it
// below stop) or the input margin runs out: over the staging area, whose
// last allowed start is its first byte, exactly one symbol. The coder and
// the input pointer live in locals (in registers) until the loop ends: in
// the state record, every byte stored to the dictionary might alias them.
template <bool kUnrolled>
SymbolsEnd runSymbols(LzmaState* s, FastInput* input, uint32_t stop) {
  RangeDecoder<kUnrolled> rc{s->range, s->code, *input};
  uint8_t* const dictionary = s->dictionary;
  const uint32_t size = s->dictionaryBytes;
  uint16_t* const probabilities = s->probabilities;
  const uint32_t literalShift = 8 - s->literalContextBits;
  const uint32_t literalPositionMask = s->literalPositionMask;
  const uint32_t positionMask = s->positionMask;
  uint32_t position = s->position;
  uint32_t produced = s->produced;
  uint32_t state = s->machineState;
  uint32_t rep0 = s->repeats[0], rep1 = s->repeats[1], rep2 = s->repeats[2], rep3 = s->repeats[3];
  const bool wrapped = s->wrapped;
  uint32_t previous = position != 0 ? dictionary[position - 1] : (wrapped ? dictionary[size - 1] : 0);
  uint32_t pending = 0;  // of the last match, when the stop cut it
  SymbolsEnd end = kSymbolsGoOn;

  do {
    const uint32_t positionState = produced & positionMask;
    // Bytes of history: the position until the dictionary first turns round.
    const uint32_t history = wrapped ? size : position;
    if (!rc.flag(probabilities + kIsMatch + state * kPositionStatesMost + positionState)) {
      // The coder of lp low bits of the position and lc high bits of the
      // previous byte, with one shift.
      uint16_t* literal = probabilities + kLiteral +
                          kLiteralCoderSize * ((((produced & literalPositionMask) << 8) | previous) >> literalShift);
      uint32_t symbol;
      if (state >= 7) {
        // After a match the byte at the last distance steers the bits until
        // one differs from it. Every match checked its distance.
        const uint32_t from = position >= rep0 + 1 ? position - rep0 - 1 : position + size - rep0 - 1;
        symbol = matchedLiteral(&rc, literal, dictionary[from]);
      } else {
        symbol = rc.plainLiteral(literal);
      }
      previous = symbol;
      dictionary[position++] = static_cast<uint8_t>(symbol);
      ++produced;
      state = state < 4 ? 0 : (state < 10 ? state - 3 : state - 6);
      continue;
    }

    uint32_t length;
    if (!rc.flag(probabilities + kIsRepeat + state)) {
      // A new distance.
      length = rc.length(probabilities + kMatchLength, positionState);
      state = state < 7 ? 7 : 10;
      const uint32_t lengthState = length < 3 ? length : 3;
      const uint32_t slot = rc.template tree<6>(probabilities + kPositionSlot + (lengthState << 6));
      uint32_t distance = slot;
      if (slot >= 4) {
        const uint32_t directCount = (slot >> 1) - 1;
        distance = (2 | (slot & 1)) << directCount;
        if (slot < kEndPositionSlot) {
          distance += rc.reverseTree(probabilities + kSpecialPosition + distance - slot, directCount);
        } else {
          bool bad = false;
          distance += rc.directBits(directCount - kAlignBits, &bad) << kAlignBits;
          distance += rc.template reverseTree<kAlignBits>(probabilities + kAlign);
          if (bad) {
            end = kSymbolsBad;
            break;
          }
          if (distance == kEndMarkerDistance) {
            end = kSymbolsMarker;
            break;
          }
        }
      }
      rep3 = rep2;
      rep2 = rep1;
      rep1 = rep0;
      rep0 = distance;
    } else {
      if (!rc.flag(probabilities + kIsRepeatG0 + state)) {
        if (!rc.flag(probabilities + kIsRepeat0Long + state * kPositionStatesMost + positionState)) {
          // One byte from the last distance.
          if (rep0 >= history) {
            end = kSymbolsBad;
            break;
          }
          state = state < 7 ? 9 : 11;
          uint32_t from = position >= rep0 + 1 ? position - rep0 - 1 : position + size - rep0 - 1;
          previous = dictionary[from];
          dictionary[position] = static_cast<uint8_t>(previous);
          ++position;
          ++produced;
          continue;
        }
      } else {
        uint32_t distance;
        if (!rc.flag(probabilities + kIsRepeatG1 + state)) {
          distance = rep1;
        } else {
          if (!rc.flag(probabilities + kIsRepeatG2 + state)) {
            distance = rep2;
          } else {
            distance = rep3;
            rep3 = rep2;
          }
          rep2 = rep1;
        }
        rep1 = rep0;
        rep0 = distance;
      }
      length = rc.length(probabilities + kRepeatLength, positionState);
      state = state < 7 ? 8 : 11;
    }
    if (rep0 >= history) {
      end = kSymbolsBad;
      break;
    }
    length += kMatchShortest;
    const uint32_t before = position;
    pending = copyMatch<kUnrolled>(dictionary, size, &position, rep0, length, stop);
    produced += position - before;
    previous = dictionary[position - 1];
  } while (position < stop && rc.in.roomForSymbol());

  s->position = position;
  s->produced = produced;
  s->pendingMatch = pending;
  s->machineState = state;
  s->repeats[0] = rep0;
  s->repeats[1] = rep1;
  s->repeats[2] = rep2;
  s->repeats[3] = rep3;
  s->range = rc.range;
  s->code = rc.code;
  *input = rc.in;
  return end;
}

// One byte through the cursor, refilling it; -1 at the end of the input.
int takeByte(LzmaState* s) {
  ByteCursor* cursor = s->input;
  return (--cursor->unread >= 0) ? *cursor->next++ : s->refill(s->context);
}

// The range coder's first five bytes: a zero, then the code, which must lie
// below the whole range.
LzmaResult startCoder(LzmaState* s) {
  int bytes[5];
  for (int& byte : bytes) {
    byte = takeByte(s);
    if (byte < 0) return kLzmaTruncated;
  }
  uint32_t code = 0;
  for (int i = 1; i < 5; ++i) code = (code << 8) | static_cast<uint32_t>(bytes[i]);
  if (bytes[0] != 0 || code == 0xFFFFFFFFu) return kLzmaBadData;
  s->range = 0xFFFFFFFFu;
  s->code = code;
  s->coderStarted = true;
  return kLzmaSizeReached;
}

LzmaResult symbolsResult(LzmaState* s, SymbolsEnd end) {
  if (end == kSymbolsBad) return kLzmaBadData;
  s->ended = true;
  // The encoder's last bytes leave the code at 0; anything else is damage.
  return s->code == 0 ? kLzmaStreamEnd : kLzmaBadData;
}

// One symbol near the end of the cursor's buffer, where the fast loop's
// margin is not there: the bytes it may need - those the decoder kept back,
// the rest of the buffer, and what refills bring - are gathered into the
// staging area and the symbol is decoded from there by the same code. The
// bytes of the last buffer that it did not use go back to the cursor;
// earlier ones, whose buffer is gone, are kept back for the next symbol.
// Past the end of the input the area holds zeros: a symbol that reads into
// them is a stream cut short.
LzmaResult decodeStaged(LzmaState* s, uint32_t stop) {
  ByteCursor* cursor = s->input;
  uint8_t* staging = s->staging;
  uint32_t held = s->keptBack;  // staging[0, held): bytes whose buffer is gone
  uint32_t fromBuffer = 0;      // then this many of the cursor's present buffer
  for (;;) {
    const uint32_t wanted = kLzmaStagingSize - held - fromBuffer;
    const uint32_t available = cursor->unread > 0 ? static_cast<uint32_t>(cursor->unread) : 0;
    const uint32_t n = available < wanted ? available : wanted;
    for (uint32_t i = 0; i < n; ++i) staging[held + fromBuffer + i] = cursor->next[i];
    cursor->next += n;
    cursor->unread -= static_cast<int32_t>(n);
    fromBuffer += n;
    if (held + fromBuffer == kLzmaStagingSize) break;
    // The buffer is used up: what came from it is kept back from now on.
    held += fromBuffer;
    fromBuffer = 0;
    cursor->unread = 0;
    const int byte = s->refill(s->context);
    if (byte < 0) break;
    staging[held++] = static_cast<uint8_t>(byte);
  }
  const uint32_t real = held + fromBuffer;
  for (uint32_t i = real; i < kLzmaStagingSize; ++i) staging[i] = 0;

  FastInput in{staging, staging};
  const SymbolsEnd end = runSymbols<false>(s, &in, stop);
  const uint32_t used = static_cast<uint32_t>(in.next - staging);
  if (used > real) return kLzmaTruncated;
  // Give back what was not used, at the stream's end too: the present
  // buffer's bytes to the cursor, the rest moved to the front of the staging
  // area.
  uint32_t unused = real - used;
  const uint32_t giveBack = unused < fromBuffer ? unused : fromBuffer;
  cursor->next -= giveBack;
  cursor->unread += static_cast<int32_t>(giveBack);
  unused -= giveBack;
  for (uint32_t i = 0; i < unused; ++i) staging[i] = staging[used + i];
  s->keptBack = unused;
  return end != kSymbolsGoOn ? symbolsResult(s, end) : kLzmaSizeReached;
}

// Decodes into the dictionary until the position reaches stop (no further
// than the dictionary's end): kLzmaSizeReached, or where it ended otherwise.
LzmaResult decodeTo(LzmaState* s, uint32_t stop) {
  if (s->pendingMatch != 0) {
    const uint32_t before = s->position;
    s->pendingMatch = copyMatch<false>(s->dictionary, s->dictionaryBytes, &s->position, s->repeats[0], s->pendingMatch, stop);
    s->produced += s->position - before;
  }
  ByteCursor* cursor = s->input;
  while (s->position < stop) {
    if (s->keptBack == 0 && cursor->unread >= kSymbolInputMost) {
      FastInput in{cursor->next, cursor->next + (cursor->unread - kSymbolInputMost)};
      const SymbolsEnd end = runSymbols<kSpelledOut>(s, &in, stop);
      cursor->unread -= static_cast<int32_t>(in.next - cursor->next);
      cursor->next = in.next;
      if (end != kSymbolsGoOn) return symbolsResult(s, end);
    } else {
      const LzmaResult staged = decodeStaged(s, stop);
      if (staged != kLzmaSizeReached) return staged;
    }
  }
  return kLzmaSizeReached;
}

// The dictionary turns round once its end is reached and flushed.
void turnRoundWhenFull(LzmaState* s) {
  if (s->position == s->dictionaryBytes) {
    s->position = 0;
    s->wrapped = true;
  }
}

}  // namespace

LzmaPropertiesCheck parseLzmaProperties(const uint8_t bytes[kLzmaPropertiesSize], LzmaProperties* properties) {
  uint32_t d = bytes[0];
  if (d >= 9 * 5 * 5) return kLzmaPropertiesBad;
  properties->literalContextBits = d % 9;
  d /= 9;
  properties->literalPositionBits = d % 5;
  properties->positionBits = d / 5;
  uint32_t size = static_cast<uint32_t>(bytes[1]) | (static_cast<uint32_t>(bytes[2]) << 8) |
                  (static_cast<uint32_t>(bytes[3]) << 16) | (static_cast<uint32_t>(bytes[4]) << 24);
  properties->dictionarySize = size < kLzmaSmallestDictionary ? kLzmaSmallestDictionary : size;
  return kLzmaPropertiesOk;
}

uint32_t lzmaProbabilityCount(const LzmaProperties* properties) {
  return kLiteral + (kLiteralCoderSize << (properties->literalContextBits + properties->literalPositionBits));
}

void lzmaStart(LzmaState* state, const LzmaProperties* properties) {
  state->literalContextBits = properties->literalContextBits;
  state->literalPositionMask = (1u << properties->literalPositionBits) - 1;
  state->positionMask = (1u << properties->positionBits) - 1;
  const uint32_t count = lzmaProbabilityCount(properties);
  for (uint32_t i = 0; i < count; ++i) state->probabilities[i] = kProbabilityOne / 2;
  state->range = 0;
  state->code = 0;
  for (uint32_t& r : state->repeats) r = 0;
  state->machineState = 0;
  state->position = 0;
  state->produced = 0;
  state->pendingMatch = 0;
  state->keptBack = 0;
  state->wrapped = false;
  state->coderStarted = false;
  state->ended = false;
}

LzmaResult lzmaDecode(LzmaState* state, uint64_t count) {
  if (state->ended) return count == 0 ? kLzmaSizeReached : kLzmaStreamEnd;
  if (!state->coderStarted) {
    const LzmaResult started = startCoder(state);
    if (started != kLzmaSizeReached) return started;
  }
  while (count != 0) {
    turnRoundWhenFull(state);
    const uint32_t start = state->position;
    uint32_t room = state->dictionaryBytes - start;
    if (room > kLzmaChunk) room = kLzmaChunk;
    if (count < room) room = static_cast<uint32_t>(count);
    const LzmaResult result = decodeTo(state, start + room);
    const uint32_t made = state->position - start;
    if ((result == kLzmaSizeReached || result == kLzmaStreamEnd) && made != 0) {
      state->flush(state->context, state->dictionary + start, made);
    }
    count -= made;
    if (result != kLzmaSizeReached) return result;
    if (count != 0 && state->afterChunk(state->context) != 0) return kLzmaStopped;
  }
  return kLzmaSizeReached;
}

LzmaResult lzmaFinish(LzmaState* state, bool markerRequired) {
  if (state->ended) return kLzmaStreamEnd;
  if (state->pendingMatch != 0) return kLzmaBeyondSize;
  if (!state->coderStarted) {
    const LzmaResult started = startCoder(state);
    if (started != kLzmaSizeReached) return started;
  }
  if (!markerRequired && state->code == 0) return kLzmaStreamEnd;
  // Room for one byte, never flushed: any symbol but the marker is output
  // the stream should not have.
  turnRoundWhenFull(state);
  const LzmaResult result = decodeTo(state, state->position + 1);
  return result == kLzmaSizeReached ? kLzmaBeyondSize : result;
}
