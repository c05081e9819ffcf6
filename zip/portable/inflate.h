// Deflate decoder (RFC 1951): all three block types, 32 KiB window; and
// Deflate64, the ZIP application note's method 9: the same stream with a
// 64 KiB window, length code 285 as 3..65538 (16 extra bits) and distance
// codes 30 and 31 (up to 65536 back).
//
// The decoder pulls compressed bytes from a ByteCursor and pushes every full
// window (and the last partial one) to a flush callback. It knows
// nothing of archives or files, so it runs over any byte source and sink: the
// extraction engine feeds it an archive member, the tests and the benchmark
// feed it memory.
#pragma once

#include <stdint.h>

const uint32_t kWindowSize = 32768;
const uint32_t kDeflate64WindowSize = 65536;

// The byte source. The fast path takes bytes straight from `next` while
// `unread`, decremented first, stays 0 or more; only then is `refill` called,
// which returns the next byte (0..255) or -1 at the end of the input, and may
// point `next` / `unread` at a new buffer.
struct ByteCursor {
  const uint8_t* next;
  int32_t unread;
};

// A decoding table's slot (zip/portable/inflate_tables.h).
typedef uint32_t CodeEntry;

struct InflateState {
  // Source.
  ByteCursor* input;
  int (*refill)(void* context);
  // Sink: called with the whole window when it is full and once at the end
  // with the final count (also 0). Its result is not looked at.
  int (*flush)(void* context, const uint8_t* window, uint32_t count);
  // Called after each block; a non-zero answer stops the member (kInflateStopped).
  int (*afterBlock)(void* context);
  void* context;

  uint8_t* window;  // kWindowSize bytes (Deflate64: kDeflate64WindowSize), owned by the caller

  uint32_t bitBuffer;
  uint32_t bitCount;
  uint32_t windowPosition;
  // A whole window has been flushed in this member, so every distance the
  // window holds reaches the member's own output. Deflate64 refuses a
  // distance before the start of the output until then.
  bool historyFull;

  // Fixed-code tables: built on first use, kept until releaseFixedTables.
  CodeEntry* fixedLiteralTable;
  CodeEntry* fixedDistanceTable;
  CodeEntry* fixedDeflate64Tables;  // both Deflate64 fixed codes, one block
};

enum InflateResult {
  kInflateOk,
  kInflateBadData,   // damaged data or premature end of input (Deflate64: also
                     // a distance before the start of the output)
  kInflateBadCode,   // block type 3 or an over-subscribed code set
  kInflateNoMemory,
  kInflateStopped,   // afterBlock asked to stop: not a fault of the data
};

// Decodes one whole Deflate stream.
InflateResult decodeDeflateMember(InflateState* state);
// Decodes one whole Deflate64 stream into a window of kDeflate64WindowSize
// bytes, flushed whole at that size.
InflateResult decodeDeflate64Member(InflateState* state);

// Releases the fixed tables if they were built.
void releaseFixedTables(InflateState* state);
