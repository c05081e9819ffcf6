// LZMA decoder: raw streams made by liblzma (Python's lzma) over a table of
// properties, one by 7-Zip without the end marker, and hand-coded ones
// (tests/zip/lzma_streams.py) must come out byte for byte, fed in any
// chunks and asked for in any pieces; a stream cut anywhere, or asked to end
// where it does not, never passes for a whole one.
#include "zip/portable/lzma_decoder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/test_support.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct RawCase {
  std::string tag;
  uint64_t size;
  bool marker;
  Bytes stream;  // the five property bytes, then the raw stream
  Bytes expected;
};
void PrintTo(const RawCase& c, std::ostream* out) { *out << c.tag; }

std::string LzmaData(const std::string& name) { return testing_support::Environment("ZIMBRO_TESTDATA") + "\\lzma\\" + name; }

std::vector<RawCase> LoadCases() {
  std::vector<RawCase> cases;
  Bytes list = testing_support::ReadWholeFile(LzmaData("cases.txt"));
  std::istringstream lines(std::string(list.begin(), list.end()));
  RawCase c;
  int marker = 0;
  while (lines >> c.tag >> c.size >> marker) {
    c.marker = marker != 0;
    c.stream = testing_support::ReadWholeFile(LzmaData(c.tag + ".lzma"));
    c.expected = testing_support::ReadWholeFile(LzmaData(c.tag + ".out"));
    cases.push_back(c);
  }
  return cases;
}

const std::vector<RawCase>& Cases() {
  static const std::vector<RawCase> cases = LoadCases();
  return cases;
}

const RawCase& Case(const std::string& tag) {
  for (const RawCase& c : Cases()) {
    if (c.tag == tag) return c;
  }
  ADD_FAILURE() << "no case " << tag;
  static const RawCase none{};
  return none;
}

// Hands out the raw stream (after its properties) in chunks of a chosen
// size, collects the output, and can stop after a number of chunks.
struct Harness {
  Bytes input;
  size_t chunk;
  size_t offset = 0;
  ByteCursor cursor{nullptr, 0};
  Bytes output;
  std::vector<uint32_t> flushes;
  int chunksBeforeStop = -1;
  Bytes dictionary;
  std::vector<uint16_t> probabilities;
  LzmaState state{};

  Harness(const Bytes& stream, size_t chunkSize, uint64_t outputSize) : chunk(chunkSize) {
    input.assign(stream.begin() + kLzmaPropertiesSize, stream.end());
    LzmaProperties properties;
    EXPECT_EQ(kLzmaPropertiesOk, parseLzmaProperties(stream.data(), &properties));
    // As the engine sizes it: no larger than the output.
    uint64_t bytes = properties.dictionarySize < outputSize ? properties.dictionarySize : outputSize;
    dictionary.resize(bytes < kLzmaSmallestDictionary ? kLzmaSmallestDictionary : bytes);
    probabilities.resize(lzmaProbabilityCount(&properties));
    state.input = &cursor;
    state.refill = [](void* context) {
      Harness* h = static_cast<Harness*>(context);
      if (h->offset >= h->input.size()) {
        h->cursor.unread = 0;
        return -1;
      }
      size_t n = std::min(h->chunk, h->input.size() - h->offset);
      h->cursor.next = h->input.data() + h->offset;
      h->cursor.unread = static_cast<int32_t>(n) - 1;
      h->offset += n;
      return static_cast<int>(*h->cursor.next++);
    };
    state.flush = [](void* context, const uint8_t* bytes, uint32_t count) {
      Harness* h = static_cast<Harness*>(context);
      h->flushes.push_back(count);
      h->output.insert(h->output.end(), bytes, bytes + count);
      return 0;
    };
    state.afterChunk = [](void* context) {
      Harness* h = static_cast<Harness*>(context);
      return (h->chunksBeforeStop >= 0 && h->chunksBeforeStop-- == 0) ? 1 : 0;
    };
    state.context = this;
    state.dictionary = dictionary.data();
    state.dictionaryBytes = static_cast<uint32_t>(dictionary.size());
    state.probabilities = probabilities.data();
    lzmaStart(&state, &properties);
  }

  // The whole stream, asked for in pieces of `piece` bytes.
  LzmaResult decodeAll(uint64_t size, bool marker, uint64_t piece) {
    for (uint64_t done = 0; done < size; done += piece) {
      const LzmaResult r = lzmaDecode(&state, std::min(piece, size - done));
      if (r != kLzmaSizeReached) return r;
    }
    return lzmaFinish(&state, marker);
  }
};

class RawStream : public ::testing::TestWithParam<size_t> {
 protected:
  void SetUp() override {
    if (testing_support::Environment("ZIMBRO_TESTDATA").empty()) GTEST_SKIP() << "ZIMBRO_TESTDATA not set";
    ASSERT_GE(Cases().size(), 9u);
  }
};

// Fed in chunks of 8192 bytes (the engine's buffer), of one byte (every
// symbol on the slow path), and of an odd size.
TEST_P(RawStream, EveryCaseComesOutByteForByte) {
  for (const RawCase& c : Cases()) {
    Harness h(c.stream, GetParam(), c.size);
    EXPECT_EQ(kLzmaStreamEnd, h.decodeAll(c.size, c.marker, c.size + 1)) << c.tag;
    EXPECT_TRUE(h.output == c.expected) << c.tag;
    for (uint32_t n : h.flushes) EXPECT_LE(n, kLzmaChunk) << c.tag;
  }
}

// Asked for in pieces: each call gives exactly its piece, and the next goes
// on where it stopped, inside a match too.
TEST_P(RawStream, PiecesJoinIntoTheWholeOutput) {
  for (uint64_t piece : {1u, 1000u, 7777u, 65537u}) {
    for (const char* tag : {"lc3-lp0-pb2", "lc1-lp3-pb1", "7z-no-marker"}) {
      const RawCase& c = Case(tag);
      Harness h(c.stream, GetParam(), c.size);
      EXPECT_EQ(kLzmaStreamEnd, h.decodeAll(c.size, c.marker, piece)) << tag << " in pieces of " << piece;
      EXPECT_TRUE(h.output == c.expected) << tag << " in pieces of " << piece;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(InputChunks, RawStream, ::testing::Values(8192, 1, 333));

// A stream asked to end where it does not, or cut anywhere: never a whole
// stream, never a crash.
TEST(LzmaDecoder, EndsOnlyWhereTheStreamEnds) {
  if (testing_support::Environment("ZIMBRO_TESTDATA").empty()) GTEST_SKIP() << "ZIMBRO_TESTDATA not set";
  const struct {
    const char* tag;
    int64_t sizeChange;  // against the true output size
    bool marker;
    LzmaResult expected;
  } kCases[] = {
      {"lc3-lp0-pb2", -1, true, kLzmaBeyondSize},
      {"lc3-lp0-pb2", -1, false, kLzmaBeyondSize},
      {"7z-no-marker", -1, false, kLzmaBeyondSize},
      {"7z-no-marker", 0, true, kLzmaTruncated},  // no marker where one is required
      {"7z-no-marker", +1, false, kLzmaTruncated},
      {"hand-good", +1, true, kLzmaStreamEnd},   // the marker comes early: the output is short
      {"empty", 0, false, kLzmaStreamEnd},
  };
  for (const auto& k : kCases) {
    const RawCase& c = Case(k.tag);
    const uint64_t size = c.size + k.sizeChange;
    Harness h(c.stream, 8192, size);
    EXPECT_EQ(k.expected, h.decodeAll(size, k.marker, size + 1)) << k.tag << " " << k.sizeChange;
    EXPECT_LE(h.output.size(), size) << k.tag;
  }
  // The stream cut at every 97th byte.
  const RawCase& c = Case("lc0-lp4-pb0");
  for (size_t cut = 0; cut + kLzmaPropertiesSize < c.stream.size(); cut += 97) {
    Bytes prefix(c.stream.begin(), c.stream.begin() + kLzmaPropertiesSize + cut);
    Harness h(prefix, 8192, c.size);
    const LzmaResult r = h.decodeAll(c.size, true, c.size);
    EXPECT_TRUE(r == kLzmaTruncated || r == kLzmaBadData) << "cut at " << cut << ": " << r;
  }
}

// Distances no history holds: bad data, whatever dictionary is at hand.
TEST(LzmaDecoder, DistanceBeforeTheStartIsBadData) {
  if (testing_support::Environment("ZIMBRO_TESTDATA").empty()) GTEST_SKIP() << "ZIMBRO_TESTDATA not set";
  for (const char* tag : {"distance-before-start", "far-distance", "repeat-without-history"}) {
    const Bytes stream = testing_support::ReadWholeFile(LzmaData(std::string("hostile-") + tag + ".lzma"));
    ASSERT_GT(stream.size(), kLzmaPropertiesSize) << tag;
    for (uint64_t size : {5u, 1u << 20}) {
      Harness h(stream, 8192, size);
      EXPECT_EQ(kLzmaBadData, h.decodeAll(size, true, size)) << tag;
    }
  }
}

TEST(LzmaDecoder, AfterChunkStopsTheDecoderAtOnce) {
  if (testing_support::Environment("ZIMBRO_TESTDATA").empty()) GTEST_SKIP() << "ZIMBRO_TESTDATA not set";
  const RawCase& c = Case("lc3-lp0-pb2");
  Harness h(c.stream, 8192, c.size);
  h.chunksBeforeStop = 1;
  EXPECT_EQ(kLzmaStopped, lzmaDecode(&h.state, c.size));
  EXPECT_EQ(2 * kLzmaChunk, h.output.size());
}

TEST(LzmaDecoder, PropertiesOutOfRangeAreRefused) {
  LzmaProperties p;
  const uint8_t highest[kLzmaPropertiesSize] = {224, 0, 0, 0, 0};
  ASSERT_EQ(kLzmaPropertiesOk, parseLzmaProperties(highest, &p));
  EXPECT_EQ(8u, p.literalContextBits);
  EXPECT_EQ(4u, p.literalPositionBits);
  EXPECT_EQ(4u, p.positionBits);
  EXPECT_EQ(kLzmaSmallestDictionary, p.dictionarySize);  // 0 is rounded up
  const uint8_t beyond[kLzmaPropertiesSize] = {225, 0, 0, 1, 0};
  EXPECT_EQ(kLzmaPropertiesBad, parseLzmaProperties(beyond, &p));
}

}  // namespace
