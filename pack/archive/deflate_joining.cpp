#include "pack/archive/deflate_joining.h"

namespace {

const int kMaxBits = 15;

struct Bits {
  const uint8_t* data;
  size_t size;
  uint64_t position = 0;  // in bits
  bool overrun = false;

  uint32_t Take(int count) {
    uint32_t value = 0;
    for (int k = 0; k < count; ++k, ++position) {
      const size_t byte = static_cast<size_t>(position >> 3);
      if (byte >= size) {
        overrun = true;
        return 0;
      }
      value |= static_cast<uint32_t>((data[byte] >> (position & 7)) & 1) << k;
    }
    return value;
  }
};

// A canonical Huffman code by its lengths: counts per length and the
// symbols in code order (the decoding of RFC 1951, 3.2.2), read bit by bit.
struct Code {
  uint16_t count[kMaxBits + 1] = {};
  uint16_t symbol[320] = {};

  bool Build(const uint8_t* lengths, int n) {
    for (int s = 0; s < n; ++s) ++count[lengths[s]];
    count[0] = 0;
    int left = 1;
    for (int len = 1; len <= kMaxBits; ++len) {
      left = 2 * left - count[len];
      if (left < 0) return false;  // over-subscribed
    }
    uint16_t offset[kMaxBits + 2] = {};
    for (int len = 1; len <= kMaxBits; ++len) offset[len + 1] = offset[len] + count[len];
    for (int s = 0; s < n; ++s) {
      if (lengths[s] != 0) symbol[offset[lengths[s]]++] = static_cast<uint16_t>(s);
    }
    return true;
  }

  int Decode(Bits* in) const {
    int code = 0, first = 0, index = 0;
    for (int len = 1; len <= kMaxBits; ++len) {
      code |= static_cast<int>(in->Take(1));
      if (in->overrun) return -1;
      if (code - first < count[len]) return symbol[index + code - first];
      index += count[len];
      first = (first + count[len]) << 1;
      code <<= 1;
    }
    return -1;
  }
};

const uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
const uint8_t kDistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11,
                                    12, 12, 13, 13};

// Walks the symbols of one Huffman-coded block up to its end-of-block code.
bool SkipSymbols(Bits* in, const Code& literals, const Code& distances) {
  for (;;) {
    const int s = literals.Decode(in);
    if (s < 0 || s > 285) return false;
    if (s == 256) return true;
    if (s < 256) continue;
    in->Take(kLengthExtra[s - 257]);
    const int d = distances.Decode(in);
    if (d < 0 || d > 29) return false;
    in->Take(kDistanceExtra[d]);
    if (in->overrun) return false;
  }
}

bool SkipDynamicBlock(Bits* in) {
  const int literalCount = static_cast<int>(in->Take(5)) + 257;
  const int distanceCount = static_cast<int>(in->Take(5)) + 1;
  const int lengthCodeCount = static_cast<int>(in->Take(4)) + 4;
  static const uint8_t kOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
  uint8_t lengths[320] = {};
  for (int k = 0; k < lengthCodeCount; ++k) lengths[kOrder[k]] = static_cast<uint8_t>(in->Take(3));
  Code lengthCode;
  if (in->overrun || !lengthCode.Build(lengths, 19)) return false;
  uint8_t all[320] = {};
  for (int k = 0; k < literalCount + distanceCount;) {
    const int s = lengthCode.Decode(in);
    if (s < 0) return false;
    if (s < 16) {
      all[k++] = static_cast<uint8_t>(s);
      continue;
    }
    int repeat = 0;
    uint8_t value = 0;
    if (s == 16) {
      if (k == 0) return false;
      value = all[k - 1];
      repeat = 3 + static_cast<int>(in->Take(2));
    } else {
      repeat = s == 17 ? 3 + static_cast<int>(in->Take(3)) : 11 + static_cast<int>(in->Take(7));
    }
    if (in->overrun || k + repeat > literalCount + distanceCount) return false;
    while (repeat-- > 0) all[k++] = value;
  }
  Code literals, distances;
  if (!literals.Build(all, literalCount) || !distances.Build(all + literalCount, distanceCount)) return false;
  return SkipSymbols(in, literals, distances);
}

bool SkipFixedBlock(Bits* in) {
  uint8_t lengths[320];
  for (int s = 0; s < 288; ++s) lengths[s] = s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8;
  for (int s = 0; s < 30; ++s) lengths[288 + s] = 5;
  Code literals, distances;
  literals.Build(lengths, 288);
  distances.Build(lengths + 288, 30);
  return SkipSymbols(in, literals, distances);
}

}  // namespace

bool MakeJoinable(std::vector<uint8_t>* stream) {
  Bits in{stream->data(), stream->size()};
  uint64_t finalStart = 0;
  for (bool last = false; !last;) {
    finalStart = in.position;
    last = in.Take(1) != 0;
    const uint32_t type = in.Take(2);
    bool ok = false;
    if (type == 0) {
      in.position = (in.position + 7) & ~uint64_t{7};
      const uint32_t length = in.Take(16), complement = in.Take(16);
      ok = !in.overrun && (length ^ complement) == 0xFFFF;
      in.position += uint64_t{length} * 8;
    } else if (type == 1) {
      ok = SkipFixedBlock(&in);
    } else if (type == 2) {
      ok = SkipDynamicBlock(&in);
    }
    if (!ok || in.overrun || in.position > stream->size() * uint64_t{8}) return false;
  }
  if ((in.position + 7) / 8 != stream->size()) return false;  // bytes after the stream
  (*stream)[finalStart >> 3] &= static_cast<uint8_t>(~(1u << (finalStart & 7)));
  // An empty Stored block: its three header bits fit in the padding of the
  // last byte when three are free there, else they take one more byte.
  const uint64_t free = stream->size() * uint64_t{8} - in.position;
  if (free > 0) stream->back() &= static_cast<uint8_t>((1u << (8 - free)) - 1);
  if (free < 3) stream->push_back(0);
  for (uint8_t b : {0x00, 0x00, 0xFF, 0xFF}) stream->push_back(b);
  return true;
}
