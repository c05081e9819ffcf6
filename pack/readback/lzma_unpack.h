// The read-back's LZMA decoder: liblzma's raw decoder, never the stub's, so
// that a mistake the stub's decoder shares with the packer cannot pass.
// It reads method 14's frame and the stream after it, as the stub must:
// with general-purpose bit 1 the stream ends with its end marker right
// after the declared size; without it, there is no marker and the stream
// ends at the declared size.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <functional>

enum class LzmaUnpackResult {
  kIntact,
  kBadFrame,         // shorter than the frame, or a properties size other than 5
  kBadProperties,    // lc, lp, pb or the dictionary out of range
  kDamaged,          // the stream does not decode
  kCutShort,         // the data ends before the stream does
  kLonger,           // it decodes to more than the declared size
  kShorter,          // its end marker comes before the declared size
  kTrailingData,     // data after the end marker
  kNoMemory,
};

// The member's stored bytes, block by block (already deciphered); false
// when there are no more.
using NextBlock = std::function<bool(const uint8_t** bytes, size_t* count)>;
// Where the decoded bytes go.
using TakeBytes = std::function<void(const uint8_t* bytes, size_t count)>;

LzmaUnpackResult UnpackLzma(const NextBlock& next, uint64_t declared, bool endMarker, const TakeBytes& take);
