// Deflate decoder (RFC 1951): all three block types, 32 KiB window.
//
// The decoder pulls compressed bytes from a ByteCursor and pushes every full
// 32 KiB window (and the last partial one) to a flush callback. It knows
// nothing of archives or files, so it runs over any byte source and sink: the
// extraction engine feeds it an archive member, the tests and the benchmark
// feed it memory.
#pragma once

#include <stdint.h>

const uint32_t kWindowSize = 32768;

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

  uint8_t* window;  // kWindowSize bytes, owned by the caller

  uint32_t bitBuffer;
  uint32_t bitCount;
  uint32_t windowPosition;

  // Fixed-code tables: built on first use, kept until releaseFixedTables.
  CodeEntry* fixedLiteralTable;
  CodeEntry* fixedDistanceTable;
};

enum InflateResult {
  kInflateOk,
  kInflateBadData,   // damaged data or premature end of input
  kInflateBadCode,   // block type 3 or an over-subscribed code set
  kInflateNoMemory,
  kInflateStopped,   // afterBlock asked to stop: not a fault of the data
};

// Decodes one whole Deflate stream.
InflateResult decodeDeflateMember(InflateState* state);

// Releases the fixed tables if they were built.
void releaseFixedTables(InflateState* state);
