#include "pack/readback/lzma_unpack.h"

#include <lzma.h>
#include <stdlib.h>

#include <algorithm>
#include <vector>

namespace {

const size_t kFrameSize = 9;  // version (2), properties size (2), properties (5)
const size_t kOutputBlock = 1u << 20;

struct Decoder {
  lzma_stream stream = LZMA_STREAM_INIT;
  ~Decoder() { lzma_end(&stream); }
};

LzmaUnpackResult FromLiblzma(lzma_ret result) {
  switch (result) {
    case LZMA_MEM_ERROR: return LzmaUnpackResult::kNoMemory;
    case LZMA_OPTIONS_ERROR: return LzmaUnpackResult::kBadProperties;
    case LZMA_BUF_ERROR: return LzmaUnpackResult::kCutShort;  // no progress: the input ran out
    default: return LzmaUnpackResult::kDamaged;
  }
}

}  // namespace

LzmaUnpackResult UnpackLzma(const NextBlock& next, uint64_t declared, bool endMarker, const TakeBytes& take) {
  // The frame, which may in principle straddle blocks.
  std::vector<uint8_t> frame;
  const uint8_t* in = nullptr;
  size_t inCount = 0;
  while (frame.size() < kFrameSize) {
    if (inCount == 0 && !next(&in, &inCount)) return LzmaUnpackResult::kBadFrame;
    const size_t n = std::min(inCount, kFrameSize - frame.size());
    frame.insert(frame.end(), in, in + n);
    in += n;
    inCount -= n;
  }
  if (frame[2] != 5 || frame[3] != 0) return LzmaUnpackResult::kBadFrame;

  lzma_filter filters[2] = {{LZMA_FILTER_LZMA1, nullptr}, {LZMA_VLI_UNKNOWN, nullptr}};
  const lzma_ret decoded = lzma_properties_decode(&filters[0], nullptr, frame.data() + 4, 5);
  if (decoded != LZMA_OK) return FromLiblzma(decoded);
  lzma_options_lzma* options = static_cast<lzma_options_lzma*>(filters[0].options);
  // A dictionary larger than the output can never be referenced: no need
  // to allocate what the properties ask beyond that.
  options->dict_size = static_cast<uint32_t>(
      std::clamp<uint64_t>(declared, LZMA_DICT_SIZE_MIN, std::max<uint32_t>(options->dict_size, LZMA_DICT_SIZE_MIN)));
  if (!endMarker) {
    // Exactly the declared size, and no marker allowed.
    filters[0].id = LZMA_FILTER_LZMA1EXT;
    options->ext_flags = 0;
    options->ext_size_low = static_cast<uint32_t>(declared);
    options->ext_size_high = static_cast<uint32_t>(declared >> 32);
  }
  Decoder decoder;
  const lzma_ret started = lzma_raw_decoder(&decoder.stream, filters);
  free(options);
  if (started != LZMA_OK) return FromLiblzma(started);

  std::vector<uint8_t> output(kOutputBlock);
  uint64_t total = 0;
  bool inputDone = false;
  lzma_stream& s = decoder.stream;
  s.next_in = in;
  s.avail_in = inCount;
  for (;;) {
    if (s.avail_in == 0 && !inputDone) {
      inputDone = !next(&s.next_in, &s.avail_in);
      if (inputDone) s.avail_in = 0;
    }
    s.next_out = output.data();
    s.avail_out = output.size();
    const lzma_ret result = lzma_code(&s, inputDone ? LZMA_FINISH : LZMA_RUN);
    const size_t produced = output.size() - s.avail_out;
    if (total + produced > declared) return LzmaUnpackResult::kLonger;
    take(output.data(), produced);
    total += produced;
    if (result == LZMA_STREAM_END) break;
    if (result != LZMA_OK) return FromLiblzma(result);
  }
  if (total != declared) return LzmaUnpackResult::kShorter;
  const uint8_t* more = nullptr;
  size_t moreCount = 0;
  while (s.avail_in == 0 && !inputDone && next(&more, &moreCount)) s.avail_in = moreCount;
  if (s.avail_in > 0) return LzmaUnpackResult::kTrailingData;
  return LzmaUnpackResult::kIntact;
}
