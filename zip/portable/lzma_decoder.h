// LZMA decoder: the raw stream (range coder, literals, matches, the four
// repeated distances, lc/lp/pb, the end marker) after its five property
// bytes.
//
// Like the Deflate decoder it pulls compressed bytes from a ByteCursor and
// pushes output to a flush callback, and knows nothing of archives or files.
// The dictionary and the probabilities belong to the caller, who sizes them
// from the properties (lzmaProbabilityCount) and allocates them once.
//
// The state survives between calls: lzmaDecode produces exactly as many
// bytes as it is asked for (or stops at the end marker), and the next call
// goes on where it stopped, even inside a match. So one stream can be handed
// out piece by piece, each piece a file of its own.
#pragma once

#include <stdint.h>

#include "zip/portable/inflate.h"

// The five property bytes: lc + 9 * (lp + 5 * pb), then the dictionary size.
const uint32_t kLzmaPropertiesSize = 5;
// Below this the format rounds a dictionary up; an encoder never asks less.
const uint32_t kLzmaSmallestDictionary = 4096;
// The most input one symbol takes (one byte per bit).
const uint32_t kLzmaStagingSize = 48;
// The output between two flushes (and two afterChunk calls) at most.
const uint32_t kLzmaChunk = 65536;

struct LzmaProperties {
  uint32_t literalContextBits;   // lc, 0..8
  uint32_t literalPositionBits;  // lp, 0..4
  uint32_t positionBits;         // pb, 0..4
  uint32_t dictionarySize;
};

enum LzmaPropertiesCheck {
  kLzmaPropertiesOk,
  kLzmaPropertiesBad,  // the first byte is 225 or more
};

LzmaPropertiesCheck parseLzmaProperties(const uint8_t bytes[kLzmaPropertiesSize], LzmaProperties* properties);

// The probabilities (uint16_t each) these properties need.
uint32_t lzmaProbabilityCount(const LzmaProperties* properties);

struct LzmaState {
  // Source, as for the Deflate decoder.
  ByteCursor* input;
  int (*refill)(void* context);
  // Sink: called with each stretch of new output (at most kLzmaChunk bytes),
  // always before the dictionary turns round over it. Its result is not
  // looked at.
  int (*flush)(void* context, const uint8_t* bytes, uint32_t count);
  // Called after each full chunk when more is to come; a non-zero answer
  // stops the decoder (kLzmaStopped).
  int (*afterChunk)(void* context);
  void* context;

  // Owned by the caller. The dictionary is the history matches copy from,
  // used round: at most the properties' dictionary size is ever needed, and
  // never more than the output the stream will produce (at least
  // kLzmaSmallestDictionary bytes all the same).
  uint8_t* dictionary;
  uint32_t dictionaryBytes;
  uint16_t* probabilities;  // lzmaProbabilityCount of them

  // Everything below is the decoder's; lzmaStart sets it.
  uint32_t literalContextBits;
  uint32_t literalPositionMask;
  uint32_t positionMask;
  uint32_t range;
  uint32_t code;
  uint32_t repeats[4];  // the last four distances, minus one
  uint32_t machineState;  // 0..11: what the last symbols were
  uint32_t position;      // where the next byte goes in the dictionary
  uint32_t produced;      // bytes of output so far, modulo 2^32 (its low bits choose contexts)
  uint32_t pendingMatch;  // bytes of a match still to copy when a call ended inside it
  // Input near the end of a buffer: the bytes the decoder took but has not
  // used yet, their buffer gone (the first keptBack of staging).
  uint8_t staging[kLzmaStagingSize];
  uint32_t keptBack;
  bool wrapped;           // the dictionary has turned round: all of it is history
  bool coderStarted;      // the range coder's first five bytes have been read
  bool ended;             // the end marker was read
};

enum LzmaResult {
  kLzmaSizeReached,   // the bytes asked for were produced
  // The stream ended, what came before flushed: at its end marker, or (only
  // lzmaFinish, where no marker is required) with a range coder that is done.
  kLzmaStreamEnd,
  kLzmaBadData,       // a distance before the start, a range coder out of step
  kLzmaTruncated,     // the input ended inside the stream
  kLzmaBeyondSize,    // lzmaFinish: more data where the stream should have ended
  kLzmaStopped,       // afterChunk asked to stop: not a fault of the data
};

// Readies a decoder whose callbacks, dictionary and probabilities are set,
// for a new stream of these properties.
void lzmaStart(LzmaState* state, const LzmaProperties* properties);

// Decodes until `count` more bytes have been produced and flushed, or up to
// the end marker (kLzmaStreamEnd).
LzmaResult lzmaDecode(LzmaState* state, uint64_t count);

// After kLzmaSizeReached for the last byte of the stream: kLzmaStreamEnd when
// the stream ends there, kLzmaBeyondSize when it goes on.
LzmaResult lzmaFinish(LzmaState* state, bool markerRequired);
