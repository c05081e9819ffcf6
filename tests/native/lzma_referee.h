// Our LZMA decoder against liblzma as the referee, in one process, and a
// source of random and damaged streams to put before both. Shared by the
// differential test (a fixed seed, part of every test run) and the LZMA
// fuzzer (a new seed each time, many more streams).
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <random>
#include <string>
#include <vector>

namespace lzma_referee {

using Bytes = std::vector<uint8_t>;

// How the stream says where it ends, as a ZIP member says it: with the end
// marker (general-purpose bit 1), or at the declared size alone.
enum class Ending { kMarker, kSize };

struct Case {
  uint8_t properties[5];  // lc + 9 * (lp + 5 * pb), then the dictionary size
  Bytes stream;           // the raw stream after the properties
  uint64_t size;          // the declared output size
  Ending ending;
  Bytes original;         // an intact stream's input, which both must give back; else empty
  bool intact;
};

enum class Verdict {
  kAgree,  // same success or failure; on success the same bytes, ending at the same input byte
  kDisagree,
};

struct Judgement {
  Verdict verdict;
  bool oursDecoded;
  bool liblzmaDecoded;
  std::string detail;  // what differed, for the report
};

// Decodes the case with both: ours fed in pieces of `chunk` bytes and asked
// for its output in pieces drawn from `pieces`, as the solid reader asks.
Judgement judge(const Case& c, size_t chunk, uint32_t pieces);

// Streams made by liblzma from varied data with varied lc, lp, pb,
// dictionary sizes and encoder settings, with and without the end marker,
// then damaged: bit flips, overwritten, inserted and removed bytes, cuts,
// a wrong declared size, the other ending; and plain noise. One in eight
// stays intact.
class CaseSource {
 public:
  explicit CaseSource(uint32_t seed);
  Case next();
  size_t chunkFor();   // a piece size for the input: 1..8192, mostly large
  uint32_t piecesFor();  // a seed for the output's pieces

 private:
  std::mt19937 random_;
  std::vector<Case> seeds_;
};

// The case as one file (properties, declared size, ending, stream), for the
// cases a fuzzer run keeps, and back.
Bytes saveCase(const Case& c);
bool loadCase(const Bytes& file, Case* c);

}  // namespace lzma_referee
