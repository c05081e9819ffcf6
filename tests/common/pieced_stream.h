// Our decoders' side of a differential test: the stream handed over in
// pieces through the decoders' refill callback (every buffer exactly as the
// engine hands it, so that the address sanitizer sees a read past it), the
// output collected through their flush callback.
#pragma once

#include <stdint.h>

#include <algorithm>
#include <vector>

#include "zip/portable/inflate.h"

namespace testing_support {

struct PiecedRun {
  ByteCursor cursor{nullptr, 0};
  const std::vector<uint8_t>* stream = nullptr;
  size_t chunk = 8192;
  size_t offset = 0;
  std::vector<uint8_t> output;
  uint32_t largestFlush = 0;
};

inline int piecedRefill(void* context) {
  PiecedRun* run = static_cast<PiecedRun*>(context);
  if (run->offset >= run->stream->size()) {
    run->cursor.unread = 0;
    return -1;
  }
  const size_t n = std::min(run->chunk, run->stream->size() - run->offset);
  const uint8_t* start = run->stream->data() + run->offset;
  run->offset += n;
  run->cursor.next = start + 1;
  run->cursor.unread = static_cast<int32_t>(n - 1);
  return start[0];
}

inline int piecedFlush(void* context, const uint8_t* bytes, uint32_t count) {
  PiecedRun* run = static_cast<PiecedRun*>(context);
  run->output.insert(run->output.end(), bytes, bytes + count);
  run->largestFlush = std::max(run->largestFlush, count);
  return 0;
}

}  // namespace testing_support
