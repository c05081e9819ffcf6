// Our Deflate decoder against zlib's inflate as the referee, in one process,
// and a source of random and damaged streams to put before both. Shared by
// the differential test (a fixed seed, part of every test run) and the
// decoder fuzzer (a new seed each time, many more inputs).
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <random>
#include <string>
#include <vector>

namespace inflate_referee {

using Bytes = std::vector<uint8_t>;

enum class Verdict {
  kAgree,     // same success or failure, and on success the same bytes
  kExcused,   // we decode what zlib refuses for a reason our format rules accept (see the .cpp)
  kDisagree,
};

struct Judgement {
  Verdict verdict;
  bool oursDecoded;
  bool zlibDecoded;
  std::string detail;  // what differed, for the report
};

// Decodes the stream with both (ours fed in pieces of `chunk` bytes) and
// compares success and output.
Judgement judge(const Bytes& stream, size_t chunk);

// Streams made by zlib from varied data at every level and strategy, then
// damaged in varied ways: bit flips, overwritten bytes, cuts, removed and
// repeated ranges, splices of two streams, headers scrambled, plain noise;
// one in eight stays intact.
class StreamSource {
 public:
  explicit StreamSource(uint32_t seed);
  Bytes next();
  size_t chunkFor();  // a piece size for the next decode: 1..8192, mostly large

 private:
  std::mt19937 random_;
  std::vector<Bytes> seeds_;
};

}  // namespace inflate_referee
