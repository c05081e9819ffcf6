// LZMA members (ZIP method 14) by liblzma. The member's data is the frame
// the ZIP application note gives: the encoder's version (2 bytes), the size
// of the properties (2 bytes, 5), the properties (lc/lp/pb in one byte,
// the dictionary size in four), then the raw LZMA stream.
//
// The stream ends with the end-of-stream marker, and general-purpose bit 1
// says so: the stream then delimits itself, so a decoder finds its end
// without trusting the declared size and a reader can check the two
// against each other (a stream that stops early or runs on is caught at
// its end, not only by the CRC). It costs about six bytes a member.
//
// The dictionary is no larger than the member (a larger one could never be
// referenced) and at most kLzmaDictionaryCap: the installer allocates it,
// once per member, on the user's machine.
#pragma once

#include <lzma.h>
#include <stddef.h>
#include <stdint.h>

#include <vector>

const uint16_t kFlagLzmaEndMarker = 0x0002;
const uint16_t kVersionLzma = 63;
const size_t kLzmaFrameSize = 9;  // version, properties size, properties
const uint32_t kLzmaDictionaryCap = 16u << 20;

uint32_t LzmaDictionarySize(uint64_t memberSize);

// A whole member in method 14's frame, or empty when that would not be
// smaller than limit bytes.
std::vector<uint8_t> LzmaCompress(const std::vector<uint8_t>& input, size_t limit);

// One LZMA stream fed in pieces, for data too large to hold at once: the
// frame comes out first, then the stream as the encoder releases it.
class LzmaStreamEncoder {
 public:
  // memberSize: all the bytes the stream will take, for the dictionary.
  explicit LzmaStreamEncoder(uint64_t memberSize);
  ~LzmaStreamEncoder();
  LzmaStreamEncoder(const LzmaStreamEncoder&) = delete;
  LzmaStreamEncoder& operator=(const LzmaStreamEncoder&) = delete;

  // What the stream has ready after these bytes; last ends the stream
  // (with its end marker).
  std::vector<uint8_t> Encode(const uint8_t* bytes, size_t count, bool last);

 private:
  lzma_stream stream_ = LZMA_STREAM_INIT;
  std::vector<uint8_t> frame_;  // not yet handed out
};
