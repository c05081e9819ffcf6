// LZMA decoder.
//
// The stream is one range-coded sequence of symbols - a literal byte, a
// match (length and distance), or a match at one of the last four distances
// - each bit coded with an adaptive probability chosen by what came before:
// the state machine of the last symbols, the low bits of the output position
// (pb, lp) and the high bits of the previous byte (lc).
//
// Why it is fast:
// - Nearly every symbol is decoded by the fast loop (runSymbols with
//   FastInput). It runs only while the input cursor holds at least
//   kSymbolInputMost bytes, the most one symbol can take (every bit takes at
//   most one byte of input, see below), so inside it the input is a bare
//   pointer with no bounds test and no refill. The range, the code, the
//   input and output positions and the repeated distances are locals,
//   written back once when the loop ends.
// - Output goes straight into the dictionary, which is the history matches
//   copy from: no second window, no copy between the two. The loop stops at
//   a stop position no further than the dictionary's end, the end of a
//   chunk or the output asked for; a match that does not fit is cut there
//   and its rest kept for the next call, so nothing in the loop tests for
//   the dictionary turning round except the match source.
// - The few symbols near the end of each input buffer are decoded one at a
//   time by the same loop, over a small staging area that holds the bytes
//   they may need (decodeStaged). It runs rarely and costs little; being the
//   same code, the two paths cannot decode differently, and the stub holds
//   the loop once.
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

// The most input one symbol takes: a match with the longest length (two
// choices and eight bits), a six-bit slot, 26 direct bits and four aligned
// ones, after its two flags; one byte per bit at most.
const int32_t kSymbolInputMost = 2 + 2 + 8 + 6 + 26 + 4;
static_assert(kSymbolInputMost == kLzmaStagingSize, "the staging area holds one symbol's input");

#define LZMA_INLINE inline __attribute__((always_inline))

// The input of the fast loop: a bare pointer, valid while it stays at or
// before `last` when a symbol begins.
struct FastInput {
  const uint8_t* next;
  const uint8_t* last;
  LZMA_INLINE uint8_t take() { return *next++; }
  LZMA_INLINE bool roomForSymbol() const { return next <= last; }
};

template <class Input>
struct RangeDecoder {
  uint32_t range;
  uint32_t code;
  Input in;

  LZMA_INLINE void normalize() {
    if (range < kTopValue) {
      range <<= 8;
      code = (code << 8) | in.take();
    }
  }
  LZMA_INLINE uint32_t bit(uint16_t* probability) {
    const uint32_t p = *probability;
    const uint32_t bound = (range >> kProbabilityBits) * p;
    // Without a branch: which way a bit goes is a coin toss to the
    // processor, and a wrong guess costs more than both ways computed.
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
  // A bit tree, most significant bit first; probabilities indexed from 1.
  uint32_t tree(uint16_t* probabilities, uint32_t bits) {
    uint32_t m = 1;
    for (uint32_t i = 0; i < bits; ++i) m = (m << 1) | bit(probabilities + m);
    return m - (1u << bits);
  }
  // A bit tree, least significant bit first.
  uint32_t reverseTree(uint16_t* probabilities, uint32_t bits) {
    uint32_t m = 1, symbol = 0;
    for (uint32_t i = 0; i < bits; ++i) {
      uint32_t b = bit(probabilities + m);
      m = (m << 1) | b;
      symbol |= b << i;
    }
    return symbol;
  }
  // Bits of probability one half. A code that reaches the range is a stream
  // out of step with its coder.
  uint32_t directBits(uint32_t bits, bool* bad) {
    uint32_t result = 0;
    do {
      range >>= 1;
      code -= range;
      uint32_t mask = 0u - (code >> 31);  // all ones when the subtraction went below 0: a 0 bit
      code += range & mask;
      if (code == range) *bad = true;
      normalize();
      result = (result << 1) + (mask + 1);
    } while (--bits != 0);
    return result;
  }
  uint32_t length(uint16_t* coder, uint32_t positionState) {
    if (bit(coder + kLengthChoice) == 0) return tree(coder + kLengthLow + positionState * 8, 3);
    if (bit(coder + kLengthChoice2) == 0) return 8 + tree(coder + kLengthMid + positionState * 8, 3);
    return 16 + tree(coder + kLengthHigh, 8);
  }
};

enum SymbolsEnd {
  kSymbolsGoOn,    // the stop position was reached, or the input margin
  kSymbolsMarker,  // the end marker was read
  kSymbolsBad,     // a distance before the start of the data, or a coder out of step
};

// Copies up to `length` bytes of the match at distance + 1 to the output
// position, no further than stop; the bytes that did not fit.
LZMA_INLINE uint32_t copyMatch(uint8_t* dictionary, uint32_t size, uint32_t* position, uint32_t distance,
                               uint32_t length, uint32_t stop) {
  uint32_t out = *position;
  uint32_t n = stop - out;
  if (n > length) n = length;
  uint32_t from = out >= distance + 1 ? out - distance - 1 : out + size - distance - 1;
  uint8_t* to = dictionary + out;
  if (from + n <= size) {
    // Forward: a match overlaps its own output when the distance is below
    // its length. From eight bytes back, eight at a time (no step reads
    // what it writes); never past the match's end, where the bytes may
    // still be history.
    const uint8_t* source = dictionary + from;
    uint32_t i = 0;
    if (distance >= 7) {
      for (; i + 8 <= n; i += 8) __builtin_memcpy(to + i, source + i, 8);
    }
    for (; i < n; ++i) to[i] = source[i];
  } else {
    for (uint32_t i = 0; i < n; ++i) {
      to[i] = dictionary[from];
      if (++from == size) from = 0;
    }
  }
  *position = out + n;
  return length - n;
}

// Decodes symbols until the output position reaches stop (the caller has it
// below stop) or the input margin runs out: over the staging area, whose
// last allowed start is its first byte, exactly one symbol.
template <class Input>
SymbolsEnd runSymbols(LzmaState* s, RangeDecoder<Input>& rc, uint32_t stop) {
  uint8_t* const dictionary = s->dictionary;
  const uint32_t size = s->dictionaryBytes;
  uint16_t* const probabilities = s->probabilities;
  const uint32_t lc = s->literalContextBits;
  const uint32_t literalPositionMask = s->literalPositionMask;
  const uint32_t positionMask = s->positionMask;
  uint32_t position = s->position;
  uint32_t produced = s->produced;
  uint32_t state = s->machineState;
  uint32_t rep0 = s->repeats[0], rep1 = s->repeats[1], rep2 = s->repeats[2], rep3 = s->repeats[3];
  const bool wrapped = s->wrapped;
  SymbolsEnd end = kSymbolsGoOn;

  do {
    const uint32_t positionState = produced & positionMask;
    // Bytes of history: the position until the dictionary first turns round.
    const uint32_t history = wrapped ? size : position;
    if (rc.bit(probabilities + kIsMatch + state * kPositionStatesMost + positionState) == 0) {
      uint32_t previous = position != 0 ? dictionary[position - 1] : (wrapped ? dictionary[size - 1] : 0);
      uint16_t* literal = probabilities + kLiteral +
                          kLiteralCoderSize * (((produced & literalPositionMask) << lc) + (previous >> (8 - lc)));
      uint32_t symbol = 1;
      if (state >= 7) {
        // After a match the byte at the last distance steers the bits until
        // one differs from it. Every match checked its distance.
        uint32_t from = position >= rep0 + 1 ? position - rep0 - 1 : position + size - rep0 - 1;
        uint32_t matchByte = dictionary[from];
        do {
          uint32_t matchBit = (matchByte >> 7) & 1;
          matchByte <<= 1;
          uint32_t b = rc.bit(literal + ((1 + matchBit) << 8) + symbol);
          symbol = (symbol << 1) | b;
          if (matchBit != b) break;
        } while (symbol < 0x100);
      }
      while (symbol < 0x100) symbol = (symbol << 1) | rc.bit(literal + symbol);
      dictionary[position++] = static_cast<uint8_t>(symbol);
      ++produced;
      state = state < 4 ? 0 : (state < 10 ? state - 3 : state - 6);
      continue;
    }

    uint32_t length;
    if (rc.bit(probabilities + kIsRepeat + state) == 0) {
      // A new distance.
      length = rc.length(probabilities + kMatchLength, positionState);
      state = state < 7 ? 7 : 10;
      const uint32_t lengthState = length < 3 ? length : 3;
      const uint32_t slot = rc.tree(probabilities + kPositionSlot + (lengthState << 6), 6);
      uint32_t distance = slot;
      if (slot >= 4) {
        const uint32_t directCount = (slot >> 1) - 1;
        distance = (2 | (slot & 1)) << directCount;
        if (slot < kEndPositionSlot) {
          distance += rc.reverseTree(probabilities + kSpecialPosition + distance - slot, directCount);
        } else {
          bool bad = false;
          distance += rc.directBits(directCount - kAlignBits, &bad) << kAlignBits;
          distance += rc.reverseTree(probabilities + kAlign, kAlignBits);
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
      if (rc.bit(probabilities + kIsRepeatG0 + state) == 0) {
        if (rc.bit(probabilities + kIsRepeat0Long + state * kPositionStatesMost + positionState) == 0) {
          // One byte from the last distance.
          if (rep0 >= history) {
            end = kSymbolsBad;
            break;
          }
          state = state < 7 ? 9 : 11;
          uint32_t from = position >= rep0 + 1 ? position - rep0 - 1 : position + size - rep0 - 1;
          dictionary[position] = dictionary[from];
          ++position;
          ++produced;
          continue;
        }
      } else {
        uint32_t distance;
        if (rc.bit(probabilities + kIsRepeatG1 + state) == 0) {
          distance = rep1;
        } else {
          if (rc.bit(probabilities + kIsRepeatG2 + state) == 0) {
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
    s->pendingMatch = copyMatch(dictionary, size, &position, rep0, length, stop);
    produced += position - before;
  } while (position < stop && rc.in.roomForSymbol());

  s->position = position;
  s->produced = produced;
  s->machineState = state;
  s->repeats[0] = rep0;
  s->repeats[1] = rep1;
  s->repeats[2] = rep2;
  s->repeats[3] = rep3;
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

  RangeDecoder<FastInput> rc{s->range, s->code, {staging, staging}};
  const SymbolsEnd end = runSymbols(s, rc, stop);
  s->range = rc.range;
  s->code = rc.code;
  const uint32_t used = static_cast<uint32_t>(rc.in.next - staging);
  if (used > real) return kLzmaTruncated;
  if (end != kSymbolsGoOn) return symbolsResult(s, end);
  // Give back what was not used: the present buffer's bytes to the cursor,
  // the rest moved to the front of the staging area.
  uint32_t unused = real - used;
  const uint32_t giveBack = unused < fromBuffer ? unused : fromBuffer;
  cursor->next -= giveBack;
  cursor->unread += static_cast<int32_t>(giveBack);
  unused -= giveBack;
  for (uint32_t i = 0; i < unused; ++i) staging[i] = staging[used + i];
  s->keptBack = unused;
  return kLzmaSizeReached;
}

// Decodes into the dictionary until the position reaches stop (no further
// than the dictionary's end): kLzmaSizeReached, or where it ended otherwise.
LzmaResult decodeTo(LzmaState* s, uint32_t stop) {
  if (s->pendingMatch != 0) {
    const uint32_t before = s->position;
    s->pendingMatch = copyMatch(s->dictionary, s->dictionaryBytes, &s->position, s->repeats[0], s->pendingMatch, stop);
    s->produced += s->position - before;
  }
  ByteCursor* cursor = s->input;
  while (s->position < stop) {
    if (s->keptBack == 0 && cursor->unread >= kSymbolInputMost) {
      RangeDecoder<FastInput> rc{s->range, s->code, {cursor->next, cursor->next + (cursor->unread - kSymbolInputMost)}};
      const SymbolsEnd end = runSymbols(s, rc, stop);
      cursor->unread -= static_cast<int32_t>(rc.in.next - cursor->next);
      cursor->next = rc.in.next;
      s->range = rc.range;
      s->code = rc.code;
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
