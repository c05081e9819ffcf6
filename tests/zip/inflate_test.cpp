// Deflate decoder: streams made by zlib at every level and strategy must come
// out byte for byte, and hand-made bit streams probe the corners of the format
// (and of Deflate64's) and the decoder's contract with its byte source and
// sink.
#include "zip/portable/inflate.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "support/portable/crc32.h"
#include "zip/portable/inflate_tables.h"

namespace {

using Bytes = std::vector<uint8_t>;

// ---------------------------------------------------------------------------
// Byte source and sink
// ---------------------------------------------------------------------------

// Hands out a stream in chunks of a chosen size, like the engine's buffer,
// and counts every request made after the stream was used up.
struct MemorySource {
  ByteCursor cursor{nullptr, 0};
  const Bytes* data = nullptr;
  size_t chunk = 8192;
  size_t offset = 0;  // start of the next chunk
  int refills = 0;
  int requestsPastEnd = 0;
  // When set, every chunk is copied to end right where this memory ends
  // (an inaccessible page follows), so a read past the chunk faults.
  uint8_t* guardedEnd = nullptr;

  // Bytes the decoder actually took.
  size_t consumed() const {
    const int32_t unread = cursor.unread > 0 ? cursor.unread : 0;
    return offset - static_cast<size_t>(unread);
  }
};

int refillFromMemory(void* context);

struct MemorySink {
  Bytes output;
  std::vector<uint32_t> flushes;
  uint32_t crc = 0;
};

struct Harness {
  MemorySource source;
  MemorySink sink;
  Bytes window = Bytes(kDeflate64WindowSize, 0);  // Deflate uses its first half
  InflateState state{};
  bool deflate64 = false;  // the format of the next decode
  int blocks = 0;
  int stopAfterBlocks = -1;  // afterBlock answers non-zero from this block on

  Harness() {
    state.input = &source.cursor;
    state.refill = &refillFromMemory;
    state.flush = [](void* context, const uint8_t* window, uint32_t count) {
      auto* h = static_cast<Harness*>(context);
      h->sink.flushes.push_back(count);
      h->sink.crc = crc32Update(h->sink.crc, window, count);
      h->sink.output.insert(h->sink.output.end(), window, window + count);
      return 0;
    };
    state.afterBlock = [](void* context) {
      auto* h = static_cast<Harness*>(context);
      ++h->blocks;
      return (h->stopAfterBlocks >= 0 && h->blocks >= h->stopAfterBlocks) ? 1 : 0;
    };
    state.context = this;
    state.window = window.data();
  }
  ~Harness() { releaseFixedTables(&state); }
  Harness(const Harness&) = delete;
  Harness& operator=(const Harness&) = delete;

  // Decodes one member from the start of a stream.
  int decode(const Bytes& stream, size_t chunk = 8192) {
    source.cursor = ByteCursor{nullptr, 0};
    source.data = &stream;
    source.chunk = chunk;
    source.offset = 0;
    source.refills = 0;
    source.requestsPastEnd = 0;
    sink = MemorySink{};
    blocks = 0;
    return deflate64 ? decodeDeflate64Member(&state) : decodeDeflateMember(&state);
  }
};

int refillFromMemory(void* context) {
  auto* h = static_cast<Harness*>(context);
  MemorySource& s = h->source;
  ++s.refills;
  if (s.offset >= s.data->size()) {
    ++s.requestsPastEnd;
    s.cursor.unread = 0;
    return -1;
  }
  const size_t n = std::min(s.chunk, s.data->size() - s.offset);
  const uint8_t* start = s.data->data() + s.offset;
  if (s.guardedEnd != nullptr) {
    memcpy(s.guardedEnd - n, start, n);
    start = s.guardedEnd - n;
  }
  s.offset += n;
  s.cursor.next = start + 1;
  s.cursor.unread = static_cast<int32_t>(n - 1);
  return start[0];
}

// ---------------------------------------------------------------------------
// Test data and zlib
// ---------------------------------------------------------------------------

// Text, structured binary, runs and noise, mixed in pieces of varying size:
// gives every block type zlib chooses, short and long matches, and distances
// that reach across window flushes.
Bytes mixedData(size_t size, uint32_t seed) {
  static const char* const kWords[] = {"the ",     "archive ", "member ", "window ", "flush ",
                                       "Deflate ", "code ",    "table ",  "length\n", "distance, ",
                                       "0123 ",    "zimbro ",  "extract ", "\r\n",     "setup.exe "};
  std::mt19937 random(seed);
  Bytes data;
  data.reserve(size);
  while (data.size() < size) {
    const size_t piece = 1 + random() % 3000;
    switch (random() % 5) {
      case 0:
      case 1:
        for (size_t i = 0; i < piece; i += 6) {
          const char* word = kWords[random() % 15];
          data.insert(data.end(), word, word + strlen(word));
        }
        break;
      case 2:  // records with counters
        for (uint32_t i = 0; i < piece / 8; ++i) {
          const uint32_t record[2] = {i * 16u, 0x00400000u + (random() % 64) * 4};
          const uint8_t* p = reinterpret_cast<const uint8_t*>(record);
          data.insert(data.end(), p, p + 8);
        }
        break;
      case 3:
        data.insert(data.end(), piece, static_cast<uint8_t>(random()));
        break;
      default:
        for (size_t i = 0; i < piece; ++i) data.push_back(static_cast<uint8_t>(random()));
        break;
    }
  }
  data.resize(size);
  return data;
}

Bytes zlibDeflate(const Bytes& data, int level, int strategy = Z_DEFAULT_STRATEGY, int memLevel = 8) {
  z_stream z{};
  EXPECT_EQ(deflateInit2(&z, level, Z_DEFLATED, -15, memLevel, strategy), Z_OK);
  Bytes out(deflateBound(&z, data.size()) + 64);
  z.next_in = const_cast<Bytef*>(data.data());
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

uint32_t zlibCrc(const Bytes& data) {
  return static_cast<uint32_t>(crc32(0, data.data(), static_cast<uInt>(data.size())));
}

// ---------------------------------------------------------------------------
// Hand-made streams
// ---------------------------------------------------------------------------

// Writes bits least significant first, Huffman codes most significant first.
struct BitWriter {
  Bytes bytes;
  uint32_t buffer = 0;
  int count = 0;

  void put(uint32_t value, int n) {
    for (int i = 0; i < n; ++i) {
      buffer |= ((value >> i) & 1u) << count;
      if (++count == 8) {
        bytes.push_back(static_cast<uint8_t>(buffer));
        buffer = 0;
        count = 0;
      }
    }
  }
  void code(uint32_t code, int length) {
    for (int i = length - 1; i >= 0; --i) put((code >> i) & 1u, 1);
  }
  void align() {
    if (count != 0) put(0, 8 - count);
  }
  Bytes finish() {
    align();
    return bytes;
  }
};

// Canonical codes for a list of lengths (RFC 1951, 3.2.2).
std::vector<uint32_t> canonicalCodes(const std::vector<int>& lengths) {
  int counts[17] = {};
  for (int l : lengths) counts[l]++;
  counts[0] = 0;
  uint32_t next[17] = {};
  uint32_t code = 0;
  for (int bits = 1; bits <= 16; ++bits) {
    code = (code + counts[bits - 1]) << 1;
    next[bits] = code;
  }
  std::vector<uint32_t> codes(lengths.size());
  for (size_t i = 0; i < lengths.size(); ++i) {
    if (lengths[i] != 0) codes[i] = next[lengths[i]]++;
  }
  return codes;
}

const int kLengthBases[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                              31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
const int kLengthExtras[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                               2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
const int kDistanceBases[30] = {1,   2,   3,   4,   5,   7,    9,    13,   17,   25,
                                33,  49,  65,  97,  129, 193,  257,  385,  513,  769,
                                1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
const int kDistanceExtras[30] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6,
                                 6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
// Deflate64 (ZIP method 9): code 285 is 3 + 16 extra bits, codes 30 and 31
// reach up to 65536 back.
const int kLengthBases64[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 3};
const int kLengthExtras64[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 16};
const int kDistanceBases64[32] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,    33,
                                  49,   65,   97,   129,  193,  257,  385,  513,   769,   1025,  1537,
                                  2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577, 32769, 49153};
const int kDistanceExtras64[32] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6,
                                   7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13, 14, 14};

// A Huffman code for one block: lengths per symbol and their codes.
struct Code {
  std::vector<int> lengths;
  std::vector<uint32_t> codes;
  explicit Code(std::vector<int> l) : lengths(std::move(l)), codes(canonicalCodes(lengths)) {}
  void write(BitWriter& w, int symbol) const {
    ASSERT_LT(static_cast<size_t>(symbol), lengths.size());
    ASSERT_NE(lengths[symbol], 0) << "symbol " << symbol << " has no code";
    w.code(codes[symbol], lengths[symbol]);
  }
};

Code fixedLiteralCode() {
  std::vector<int> l(288);
  for (int i = 0; i < 288; ++i) l[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
  return Code(l);
}
Code fixedDistanceCode() { return Code(std::vector<int>(32, 5)); }

void writeMatch(BitWriter& w, const Code& literals, const Code& distances, int length, int distance) {
  int l = 28;
  while (kLengthBases[l] > length) --l;
  if (length == 258) l = 28;
  literals.write(w, 257 + l);
  w.put(length - kLengthBases[l], kLengthExtras[l]);
  int d = 29;
  while (kDistanceBases[d] > distance) --d;
  distances.write(w, d);
  w.put(distance - kDistanceBases[d], kDistanceExtras[d]);
}

// A Deflate64 match: code 285 for lengths past 258 or when asked.
void writeMatch64(BitWriter& w, const Code& literals, const Code& distances, int length, int distance,
                  bool code285) {
  int l = 28;
  if (length <= 258 && !code285) {
    l = 27;
    while (kLengthBases64[l] > length) --l;
  }
  literals.write(w, 257 + l);
  w.put(length - kLengthBases64[l], kLengthExtras64[l]);
  int d = 31;
  while (kDistanceBases64[d] > distance) --d;
  distances.write(w, d);
  w.put(distance - kDistanceBases64[d], kDistanceExtras64[d]);
}

// The code-length code used by the dynamic headers below: complete, every
// symbol 0..18 has a code (0..12 four bits, 13..18 five bits).
Code codeLengthCode() {
  std::vector<int> l(19);
  for (int i = 0; i < 19; ++i) l[i] = i < 13 ? 4 : 5;
  return Code(l);
}

const int kOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

// One code-length symbol with its repeat bits.
struct LengthSymbol {
  int symbol;
  int extra;
};

// Writes the header of a dynamic block. The code lengths are written one
// symbol each, unless an explicit sequence of code-length symbols is given.
void writeDynamicHeader(BitWriter& w, bool last, int literalCount, int distanceCount,
                        const std::vector<int>& allLengths,
                        const std::vector<LengthSymbol>* sequence = nullptr) {
  w.put(last ? 1 : 0, 1);
  w.put(2, 2);
  w.put(literalCount - 257, 5);
  w.put(distanceCount - 1, 5);
  w.put(19 - 4, 4);
  const Code cl = codeLengthCode();
  for (int i = 0; i < 19; ++i) w.put(cl.lengths[kOrder[i]], 3);
  if (sequence == nullptr) {
    for (int l : allLengths) cl.write(w, l);
  } else {
    for (const LengthSymbol& s : *sequence) {
      cl.write(w, s.symbol);
      if (s.symbol == 16) w.put(s.extra, 2);
      if (s.symbol == 17) w.put(s.extra, 3);
      if (s.symbol == 18) w.put(s.extra, 7);
    }
  }
}

std::vector<int> concat(const std::vector<int>& a, const std::vector<int>& b) {
  std::vector<int> all = a;
  all.insert(all.end(), b.begin(), b.end());
  return all;
}

// A dynamic block with the given codes around a body written by the caller.
template <typename Body>
Bytes dynamicStream(const std::vector<int>& literalLengths, const std::vector<int>& distanceLengths,
                    Body body) {
  BitWriter w;
  writeDynamicHeader(w, true, static_cast<int>(literalLengths.size()),
                     static_cast<int>(distanceLengths.size()), concat(literalLengths, distanceLengths));
  body(w, Code(literalLengths), Code(distanceLengths));
  return w.finish();
}

// A complete literal/length code of 288 lengths (224 of 8 bits, 64 of 9).
std::vector<int> fullLiteralLengths() {
  std::vector<int> l(288, 8);
  for (int i = 0; i < 64; ++i) l[100 + i] = 9;
  return l;
}

Bytes text(const char* s) { return Bytes(s, s + strlen(s)); }

// ---------------------------------------------------------------------------
// zlib round trips
// ---------------------------------------------------------------------------

struct StrategyCase {
  int strategy;
  const char* name;
};
const StrategyCase kStrategies[] = {{Z_DEFAULT_STRATEGY, "default"},
                                    {Z_FILTERED, "filtered"},
                                    {Z_HUFFMAN_ONLY, "huffman-only"},
                                    {Z_RLE, "rle"},
                                    {Z_FIXED, "fixed"}};

void expectRoundTrip(Harness& h, const Bytes& data, const Bytes& stream, size_t chunk,
                     const std::string& what) {
  ASSERT_EQ(h.decode(stream, chunk), 0) << what;
  ASSERT_EQ(h.sink.output.size(), data.size()) << what;
  ASSERT_TRUE(h.sink.output == data) << what;
  EXPECT_EQ(h.sink.crc, zlibCrc(data)) << what;
  EXPECT_EQ(h.source.requestsPastEnd, 0) << what;
  EXPECT_EQ(h.source.consumed(), stream.size()) << what;
  // Every flush but the last is a whole window.
  for (size_t i = 0; i + 1 < h.sink.flushes.size(); ++i) ASSERT_EQ(h.sink.flushes[i], kWindowSize) << what;
}

TEST(InflateZlib, EveryLevelAndStrategy) {
  const Bytes data = mixedData(300000, 11);
  Harness h;
  for (int level = 0; level <= 9; ++level) {
    for (const StrategyCase& s : kStrategies) {
      const Bytes stream = zlibDeflate(data, level, s.strategy);
      expectRoundTrip(h, data, stream, 8192,
                      "level " + std::to_string(level) + " " + s.name);
    }
  }
}

TEST(InflateZlib, SizesAroundTheWindow) {
  Harness h;
  for (size_t size : {0u, 1u, 2u, 3u, 100u, 258u, 259u, 32767u, 32768u, 32769u, 65535u, 65536u,
                      65537u, 98304u + 13u}) {
    const Bytes data = mixedData(size, static_cast<uint32_t>(size));
    for (int level : {0, 1, 6, 9}) {
      expectRoundTrip(h, data, zlibDeflate(data, level), 8192,
                      "size " + std::to_string(size) + " level " + std::to_string(level));
    }
  }
}

TEST(InflateZlib, SeveralMebibytes) {
  const Bytes data = mixedData(5 * 1024 * 1024 + 321, 99);
  Harness h;
  for (int level : {1, 6, 9}) {
    expectRoundTrip(h, data, zlibDeflate(data, level), 8192, "level " + std::to_string(level));
  }
  expectRoundTrip(h, data, zlibDeflate(data, 6, Z_FIXED), 8192, "fixed");
}

TEST(InflateZlib, HighlyRepetitiveData) {
  Bytes data(3 * 1024 * 1024, 'a');
  for (size_t i = 0; i < data.size(); i += 4096) data[i] = 'b';
  Bytes pattern;
  for (int i = 0; i < 200000; ++i) pattern.push_back("abc"[i % 3]);
  Harness h;
  for (int level : {1, 6, 9}) {
    expectRoundTrip(h, data, zlibDeflate(data, level), 8192, "runs, level " + std::to_string(level));
    expectRoundTrip(h, pattern, zlibDeflate(pattern, level), 8192, "abc, level " + std::to_string(level));
  }
}

// Small and odd buffer sizes move the switch between the fast loop and the
// byte-at-a-time path to every possible place.
TEST(InflateZlib, AnyInputChunking) {
  const Bytes data = mixedData(200000, 5);
  Harness h;
  for (int level : {0, 1, 6}) {
    const Bytes stream = zlibDeflate(data, level);
    for (size_t chunk : {1u, 2u, 3u, 13u, 31u, 32u, 33u, 100u, 4096u, 1u << 30}) {
      expectRoundTrip(h, data, stream, chunk,
                      "level " + std::to_string(level) + " chunk " + std::to_string(chunk));
    }
  }
}

TEST(InflateZlib, ExactlyOneWindowFlushesOnceThenZero) {
  const Bytes data = mixedData(32768, 3);
  for (int level : {0, 6}) {
    Harness h;
    ASSERT_EQ(h.decode(zlibDeflate(data, level)), 0);
    EXPECT_EQ(h.sink.flushes, (std::vector<uint32_t>{32768, 0})) << level;
    EXPECT_TRUE(h.sink.output == data);
  }
}

TEST(InflateZlib, EmptyInputFlushesZeroOnce) {
  Harness h;
  ASSERT_EQ(h.decode(zlibDeflate(Bytes(), 6)), 0);
  EXPECT_EQ(h.sink.flushes, (std::vector<uint32_t>{0}));
}

TEST(InflateZlib, TruncatedStreamsFail) {
  const Bytes data = mixedData(20000, 8);
  for (int level : {0, 1, 6}) {
    const Bytes stream = zlibDeflate(data, level);
    Harness h;
    for (size_t cut = 0; cut < stream.size(); cut += (cut < 64 || stream.size() - cut < 64) ? 1 : 97) {
      const Bytes part(stream.begin(), stream.begin() + cut);
      EXPECT_EQ(h.decode(part, 1000), 1) << "level " << level << " cut at " << cut;
    }
  }
}

// Damaged streams must end with some result and never run off a table or
// the window; the sanitiser here is that the process survives.
TEST(InflateZlib, DamagedStreamsDoNotCrash) {
  const Bytes data = mixedData(40000, 21);
  const Bytes stream = zlibDeflate(data, 6);
  std::mt19937 random(1234);
  Harness h;
  for (int round = 0; round < 1500; ++round) {
    Bytes damaged = stream;
    const int flips = 1 + random() % 4;
    for (int i = 0; i < flips; ++i) damaged[random() % damaged.size()] ^= 1u << (random() % 8);
    const int result = h.decode(damaged, 4096);
    EXPECT_TRUE(result >= 0 && result <= 2) << round;
  }
  for (int round = 0; round < 1500; ++round) {
    Bytes noise(1 + random() % 2000);
    for (auto& b : noise) b = static_cast<uint8_t>(random());
    const int result = h.decode(noise, 1 + random() % 5000);
    EXPECT_TRUE(result >= 0 && result <= 2) << round;
  }
}

// ---------------------------------------------------------------------------
// Stored blocks
// ---------------------------------------------------------------------------

TEST(InflateStored, LengthZeroIsValidAndEmpty) {
  BitWriter w;
  w.put(1, 1);
  w.put(0, 2);
  w.align();
  w.put(0x0000, 16);
  w.put(0xFFFF, 16);
  Harness h;
  ASSERT_EQ(h.decode(w.finish()), 0);
  EXPECT_TRUE(h.sink.output.empty());
  EXPECT_EQ(h.sink.flushes, (std::vector<uint32_t>{0}));
  EXPECT_EQ(h.source.requestsPastEnd, 0);
}

TEST(InflateStored, WrongComplementFails) {
  BitWriter w;
  w.put(1, 1);
  w.put(0, 2);
  w.align();
  w.put(3, 16);
  w.put(0xFFFF, 16);  // should be 0xFFFC
  w.put('a', 8);
  w.put('b', 8);
  w.put('c', 8);
  Harness h;
  EXPECT_EQ(h.decode(w.finish()), 1);
}

TEST(InflateStored, BytesAfterAFixedBlockAndAcrossWindows) {
  // A fixed block with one literal, then stored blocks totalling more than
  // a window, read both from the bit buffer and straight from the cursor.
  const Code lit = fixedLiteralCode();
  BitWriter w;
  w.put(0, 1);
  w.put(1, 2);
  lit.write(w, 'x');
  lit.write(w, 256);
  Bytes expected = {'x'};
  std::mt19937 random(2);
  for (int block = 0; block < 3; ++block) {
    const uint32_t length = block == 1 ? 65535 : 1000 + block;
    w.put(block == 2 ? 1 : 0, 1);
    w.put(0, 2);
    w.align();
    w.put(length, 16);
    w.put(length ^ 0xFFFF, 16);
    for (uint32_t i = 0; i < length; ++i) {
      const uint8_t b = static_cast<uint8_t>(random());
      w.put(b, 8);
      expected.push_back(b);
    }
  }
  const Bytes stream = w.finish();
  for (size_t chunk : {1u, 7u, 8192u}) {
    Harness h;
    ASSERT_EQ(h.decode(stream, chunk), 0) << chunk;
    EXPECT_TRUE(h.sink.output == expected) << chunk;
    EXPECT_EQ(h.source.requestsPastEnd, 0);
  }
}

TEST(InflateStored, TruncatedDataFails) {
  BitWriter w;
  w.put(1, 1);
  w.put(0, 2);
  w.align();
  w.put(10, 16);
  w.put(10 ^ 0xFFFF, 16);
  w.put('a', 8);
  Harness h;
  EXPECT_EQ(h.decode(w.finish()), 1);
}

// ---------------------------------------------------------------------------
// Fixed blocks
// ---------------------------------------------------------------------------

TEST(InflateFixed, DistanceOneLength258RepeatsTheLastByte) {
  const Code lit = fixedLiteralCode();
  const Code dist = fixedDistanceCode();
  BitWriter w;
  w.put(1, 1);
  w.put(1, 2);
  lit.write(w, 'q');
  writeMatch(w, lit, dist, 258, 1);
  lit.write(w, 256);
  Harness h;
  ASSERT_EQ(h.decode(w.finish()), 0);
  EXPECT_TRUE(h.sink.output == Bytes(259, 'q'));
}

TEST(InflateFixed, DistanceCodes30And31AreInvalid) {
  const Code lit = fixedLiteralCode();
  const Code dist = fixedDistanceCode();
  for (int code : {30, 31}) {
    BitWriter w;
    w.put(1, 1);
    w.put(1, 2);
    for (int i = 0; i < 40; ++i) lit.write(w, 'a');
    lit.write(w, 257);  // length 3
    dist.write(w, code);
    w.put(0, 13);
    lit.write(w, 256);
    for (size_t chunk : {1u, 8192u}) {
      Harness h;
      EXPECT_EQ(h.decode(w.finish(), chunk), 1) << code;
    }
  }
}

TEST(InflateFixed, LiteralLengthCodes286And287AreInvalid) {
  const Code lit = fixedLiteralCode();
  for (int code : {286, 287}) {
    BitWriter w;
    w.put(1, 1);
    w.put(1, 2);
    lit.write(w, 'a');
    lit.write(w, code);
    w.put(0, 16);
    lit.write(w, 256);
    Harness h;
    EXPECT_EQ(h.decode(w.finish()), 1) << code;
  }
}

TEST(InflateFixed, TablesAreBuiltOnceAndReusedByLaterMembers) {
  const Code lit = fixedLiteralCode();
  BitWriter w;
  w.put(1, 1);
  w.put(1, 2);
  lit.write(w, 'o');
  lit.write(w, 'k');
  lit.write(w, 256);
  const Bytes stream = w.finish();

  Harness h;
  EXPECT_EQ(h.state.fixedLiteralTable, nullptr);
  ASSERT_EQ(h.decode(stream), 0);
  const CodeEntry* literalTable = h.state.fixedLiteralTable;
  const CodeEntry* distanceTable = h.state.fixedDistanceTable;
  ASSERT_NE(literalTable, nullptr);
  ASSERT_NE(distanceTable, nullptr);

  ASSERT_EQ(h.decode(stream), 0);
  EXPECT_TRUE(h.sink.output == text("ok"));
  EXPECT_EQ(h.state.fixedLiteralTable, literalTable);
  EXPECT_EQ(h.state.fixedDistanceTable, distanceTable);

  releaseFixedTables(&h.state);
  EXPECT_EQ(h.state.fixedLiteralTable, nullptr);
  EXPECT_EQ(h.state.fixedDistanceTable, nullptr);
  ASSERT_EQ(h.decode(stream), 0);  // built again after a release
  EXPECT_NE(h.state.fixedLiteralTable, nullptr);
}

// Codes of 7, 8 and 9 bits: every literal, and every length with the
// longest distance code, come out of the tables built for fixed blocks.
TEST(InflateFixed, EveryLiteralAndLengthOfTheFixedCodeDecodes) {
  const Code lit = fixedLiteralCode();
  const Code dist = fixedDistanceCode();
  BitWriter w;
  w.put(1, 1);
  w.put(1, 2);
  Bytes expected;
  for (int byte = 0; byte < 256; ++byte) {
    lit.write(w, byte);
    expected.push_back(static_cast<uint8_t>(byte));
  }
  for (int length = 3; length <= 258; ++length) {
    writeMatch(w, lit, dist, length, 1);
    expected.insert(expected.end(), length, 255);
  }
  lit.write(w, 256);

  Harness h;
  ASSERT_EQ(h.decode(w.finish()), 0);
  EXPECT_TRUE(h.sink.output == expected);
}

// The window is not cleared between members: a distance reaching before the
// member's start copies what the window holds (zeros in a fresh window).
TEST(InflateFixed, DistanceBeforeTheMemberReadsTheWindow) {
  const Code lit = fixedLiteralCode();
  const Code dist = fixedDistanceCode();
  BitWriter w;
  w.put(1, 1);
  w.put(1, 2);
  writeMatch(w, lit, dist, 4, 100);
  lit.write(w, 256);
  const Bytes stream = w.finish();
  Harness h;
  ASSERT_EQ(h.decode(stream), 0);
  EXPECT_TRUE(h.sink.output == Bytes(4, 0));
}

TEST(InflateBlocks, BlockType3Fails) {
  BitWriter w;
  w.put(1, 1);
  w.put(3, 2);
  w.put(0, 16);
  Harness h;
  EXPECT_EQ(h.decode(w.finish()), 2);
}

TEST(InflateBlocks, AfterBlockCanStopTheMember) {
  const Bytes data = mixedData(300000, 4);
  const Bytes stream = zlibDeflate(data, 6);
  Harness all;
  ASSERT_EQ(all.decode(stream), 0);
  ASSERT_GT(all.blocks, 2);  // called once per block

  Harness h;
  h.stopAfterBlocks = 2;
  EXPECT_EQ(h.decode(stream), kInflateStopped);
  EXPECT_EQ(h.blocks, 2);
  EXPECT_LT(h.sink.output.size(), data.size());
  EXPECT_TRUE(std::equal(h.sink.output.begin(), h.sink.output.end(), data.begin()));
}

TEST(InflateBlocks, AfterBlockIsAskedAfterTheLastBlockToo) {
  Harness h;
  h.stopAfterBlocks = 1;
  EXPECT_EQ(h.decode(zlibDeflate(text("hello"), 6)), kInflateStopped);
}

// ---------------------------------------------------------------------------
// Dynamic blocks
// ---------------------------------------------------------------------------

TEST(InflateDynamic, LargestHeaderCountsAreAccepted) {
  // HLIT 31 (288 lengths) and HDIST 31 (32 lengths), codes 286/287 and
  // distance codes 30/31 given lengths but not used.
  const Bytes stream = dynamicStream(fullLiteralLengths(), std::vector<int>(32, 5),
                                     [](BitWriter& w, const Code& lit, const Code& dist) {
                                       lit.write(w, 'a');
                                       lit.write(w, 'b');
                                       writeMatch(w, lit, dist, 10, 2);
                                       lit.write(w, 256);
                                     });
  Harness h;
  ASSERT_EQ(h.decode(stream), 0);
  EXPECT_TRUE(h.sink.output == text("abababababab"));
}

TEST(InflateDynamic, DistanceCodes30And31AreInvalid) {
  for (int code : {30, 31}) {
    const Bytes stream = dynamicStream(fullLiteralLengths(), std::vector<int>(32, 5),
                                       [code](BitWriter& w, const Code& lit, const Code& dist) {
                                         for (int i = 0; i < 50; ++i) lit.write(w, 'a');
                                         lit.write(w, 257);
                                         dist.write(w, code);
                                         w.put(0, 13);
                                         lit.write(w, 256);
                                       });
    for (size_t chunk : {1u, 8192u}) {
      Harness h;
      EXPECT_EQ(h.decode(stream, chunk), 1) << code;
    }
  }
}

TEST(InflateDynamic, IncompleteDistanceCodeDecodes) {
  std::vector<int> distances(30, 0);
  distances[0] = 1;  // distance 1
  distances[4] = 2;  // distances 5..6; the code leaves a quarter unused
  const Bytes stream = dynamicStream(fullLiteralLengths(), distances,
                                     [](BitWriter& w, const Code& lit, const Code& dist) {
                                       for (char c : std::string("hello")) lit.write(w, c);
                                       writeMatch(w, lit, dist, 5, 5);
                                       writeMatch(w, lit, dist, 3, 1);
                                       lit.write(w, 256);
                                     });
  Harness h;
  ASSERT_EQ(h.decode(stream), 0);
  EXPECT_TRUE(h.sink.output == text("hellohelloooo"));
}

TEST(InflateDynamic, IncompleteLiteralCodeFails) {
  std::vector<int> literals(257, 0);
  literals['a'] = 2;
  literals['b'] = 2;
  literals[256] = 2;  // three quarters of the code space
  const Bytes stream = dynamicStream(literals, {1}, [](BitWriter& w, const Code& lit, const Code&) {
    lit.write(w, 'a');
    lit.write(w, 256);
  });
  Harness h;
  EXPECT_EQ(h.decode(stream), 1);
}

TEST(InflateDynamic, OnlyLiteralsAndNoDistanceCodeDecodes) {
  std::vector<int> literals(257, 0);
  literals['x'] = 1;
  literals[256] = 1;
  const Bytes stream = dynamicStream(literals, {0}, [](BitWriter& w, const Code& lit, const Code&) {
    for (int i = 0; i < 5; ++i) lit.write(w, 'x');
    lit.write(w, 256);
  });
  Harness h;
  ASSERT_EQ(h.decode(stream), 0);
  EXPECT_TRUE(h.sink.output == text("xxxxx"));
}

TEST(InflateDynamic, LengthCodesWithoutDistanceCodesFail) {
  std::vector<int> literals(258, 0);
  literals['x'] = 1;
  literals[256] = 2;
  literals[257] = 2;
  const Bytes stream = dynamicStream(literals, {0}, [](BitWriter& w, const Code& lit, const Code&) {
    lit.write(w, 'x');
    lit.write(w, 256);
  });
  Harness h;
  EXPECT_EQ(h.decode(stream), 1);
}

TEST(InflateDynamic, CodeLengthsMayStartWithRepeat16) {
  // Symbol 16 first repeats length 0 three times: 'a'..'c' and below get no
  // code; then literal lengths are given one by one.
  std::vector<int> literals(257, 0);
  literals['x'] = 1;
  literals[256] = 1;
  std::vector<LengthSymbol> sequence = {{16, 0}};  // lengths 0..2 = 0
  int position = 3;
  auto zeros = [&](int upTo) {
    while (position < upTo) {
      int n = std::min(138, upTo - position);
      if (n >= 11) {
        sequence.push_back({18, n - 11});
      } else {
        sequence.push_back({0, 0});
        n = 1;
      }
      position += n;
    }
  };
  zeros('x');
  sequence.push_back({1, 0});
  position++;
  zeros(256);
  sequence.push_back({1, 0});  // end of block
  sequence.push_back({0, 0});  // the one distance length
  BitWriter w;
  writeDynamicHeader(w, true, 257, 1, {}, &sequence);
  const Code lit(literals);
  lit.write(w, 'x');
  lit.write(w, 'x');
  lit.write(w, 256);
  Harness h;
  ASSERT_EQ(h.decode(w.finish()), 0);
  EXPECT_TRUE(h.sink.output == text("xx"));
}

TEST(InflateDynamic, RepeatPastTheDeclaredCountFails) {
  std::vector<LengthSymbol> sequence = {{18, 127}, {18, 127}, {18, 127}};  // 3 * 138 > 258
  BitWriter w;
  writeDynamicHeader(w, true, 257, 1, {}, &sequence);
  Harness h;
  EXPECT_EQ(h.decode(w.finish()), 1);
}

TEST(InflateDynamic, RepeatMayCrossIntoTheDistanceLengths) {
  // Literal lengths 0..255 = 0 except 'x', 256 = 2, 257 = 2 (length 3), and
  // one repeat of 16 writes 257's length and both distance lengths.
  std::vector<LengthSymbol> sequence;
  int position = 0;
  while (position < 'x') {
    const int n = std::min(138, 'x' - position);
    sequence.push_back({18, n - 11});
    position += n;
  }
  sequence.push_back({1, 0});
  position++;
  while (position < 256) {
    const int n = std::min(138, 256 - position);
    sequence.push_back({18, n - 11});
    position += n;
  }
  sequence.push_back({2, 0});   // 256
  sequence.push_back({16, 0});  // 257, distance 0, distance 1: all 2
  BitWriter w;
  writeDynamicHeader(w, true, 258, 2, {}, &sequence);
  std::vector<int> literals(258, 0);
  literals['x'] = 1;
  literals[256] = 2;
  literals[257] = 2;
  const Code lit(literals);
  const Code dist(std::vector<int>{2, 2});
  lit.write(w, 'x');
  lit.write(w, 257);  // length 3
  dist.write(w, 0);   // distance 1
  lit.write(w, 256);
  Harness h;
  ASSERT_EQ(h.decode(w.finish()), 0);
  EXPECT_TRUE(h.sink.output == text("xxxx"));
}

TEST(InflateDynamic, OverSubscribedCodesFail) {
  std::vector<int> literals(257, 0);
  literals['a'] = 1;
  literals['b'] = 1;
  literals[256] = 1;
  const Bytes stream = dynamicStream(literals, {1}, [](BitWriter&, const Code&, const Code&) {});
  Harness h;
  EXPECT_EQ(h.decode(stream), 2);

  // An over-subscribed code-length code: five of its lengths are 1.
  BitWriter w;
  w.put(1, 1);
  w.put(2, 2);
  w.put(0, 5);
  w.put(0, 5);
  w.put(15, 4);
  for (int i = 0; i < 19; ++i) w.put(i < 5 ? 1 : 0, 3);
  w.put(0, 32);
  EXPECT_EQ(h.decode(w.finish()), 2);
}

TEST(InflateDynamic, IncompleteCodeLengthCodeFails) {
  BitWriter w;
  w.put(1, 1);
  w.put(2, 2);
  w.put(0, 5);
  w.put(0, 5);
  w.put(0, 4);  // four code-length lengths: 16, 17, 18, 0
  w.put(2, 3);
  w.put(2, 3);
  w.put(2, 3);
  w.put(0, 3);  // three of four two-bit codes
  w.put(0, 32);
  Harness h;
  EXPECT_EQ(h.decode(w.finish()), 1);
}

// With a short end-of-block code the last lookups of a block must not ask
// for bits beyond the stream: the root table is cut at the end-of-block
// length, and every lookup takes input only as far as its code needs.
TEST(InflateDynamic, ShortEndOfBlockNeedsNoByteAfterTheStream) {
  std::vector<int> literals(257, 0);
  literals[256] = 1;  // end of block: one bit
  literals['a'] = 2;
  literals['b'] = 3;
  literals['c'] = 4;
  literals['d'] = 4;
  std::vector<int> distances = {1};
  for (int count = 0; count < 24; ++count) {
    const Bytes stream = dynamicStream(literals, distances,
                                       [count](BitWriter& w, const Code& lit, const Code&) {
                                         for (int i = 0; i < count; ++i) lit.write(w, i % 3 ? 'a' : 'b');
                                         lit.write(w, 256);
                                       });
    Bytes expected;
    for (int i = 0; i < count; ++i) expected.push_back(i % 3 ? 'a' : 'b');
    for (size_t chunk : {1u, 5u, 8192u}) {
      Harness h;
      ASSERT_EQ(h.decode(stream, chunk), 0) << count << " " << chunk;
      EXPECT_TRUE(h.sink.output == expected);
      EXPECT_EQ(h.source.requestsPastEnd, 0) << count << " " << chunk;
      EXPECT_EQ(h.source.consumed(), stream.size()) << count << " " << chunk;
    }
  }
}

TEST(InflateFixed, FinalEndOfBlockNeedsNoByteAfterTheStream) {
  const Code lit = fixedLiteralCode();
  for (int count = 0; count < 16; ++count) {
    BitWriter w;
    w.put(1, 1);
    w.put(1, 2);
    for (int i = 0; i < count; ++i) lit.write(w, i % 2 ? 200 : 'z');  // 9- and 8-bit codes
    lit.write(w, 256);
    const Bytes stream = w.finish();
    for (size_t chunk : {1u, 8192u}) {
      Harness h;
      ASSERT_EQ(h.decode(stream, chunk), 0) << count;
      EXPECT_EQ(h.sink.output.size(), static_cast<size_t>(count));
      EXPECT_EQ(h.source.requestsPastEnd, 0) << count << " " << chunk;
      EXPECT_EQ(h.source.consumed(), stream.size()) << count << " " << chunk;
    }
  }
}

// Several members in one buffer: each ends exactly where its stream ends, so
// the bytes after it stay in the cursor for whoever reads next.
TEST(InflateZlib, CursorStopsAtTheEndOfTheStream) {
  const Bytes first = mixedData(70000, 1);
  Bytes stream = zlibDeflate(first, 6);
  const size_t firstSize = stream.size();
  stream.insert(stream.end(), 100, 0xAB);
  Harness h;
  ASSERT_EQ(h.decode(stream, 1u << 30), 0);
  EXPECT_TRUE(h.sink.output == first);
  EXPECT_EQ(h.source.consumed(), firstSize);
}

// ---------------------------------------------------------------------------
// Deflate64
// ---------------------------------------------------------------------------

// Deflate64 steps, written as fixed-code and stored blocks, with the bytes
// they stand for.
struct Deflate64Writer {
  BitWriter w;
  Bytes expected;
  const Code lit = fixedLiteralCode();
  const Code dist = fixedDistanceCode();
  bool inFixedBlock = false;

  void literal(uint8_t byte) {
    openFixedBlock();
    lit.write(w, byte);
    expected.push_back(byte);
  }
  // A distance beyond the output so far adds nothing to `expected`: such a
  // stream is to be refused.
  void match(int length, int distance, bool code285 = false) {
    openFixedBlock();
    writeMatch64(w, lit, dist, length, distance, code285);
    if (static_cast<size_t>(distance) > expected.size()) return;
    for (int i = 0; i < length; ++i) expected.push_back(expected[expected.size() - distance]);
  }
  void stored(const Bytes& bytes) {
    closeFixedBlock();
    w.put(0, 1);
    w.put(0, 2);
    w.align();
    w.put(static_cast<uint32_t>(bytes.size()), 16);
    w.put(static_cast<uint32_t>(bytes.size()) ^ 0xFFFF, 16);
    for (uint8_t b : bytes) w.put(b, 8);
    expected.insert(expected.end(), bytes.begin(), bytes.end());
  }
  Bytes finish() {
    closeFixedBlock();
    w.put(1, 1);  // an empty last block
    w.put(1, 2);
    lit.write(w, 256);
    return w.finish();
  }

 private:
  void openFixedBlock() {
    if (inFixedBlock) return;
    w.put(0, 1);
    w.put(1, 2);
    inFixedBlock = true;
  }
  void closeFixedBlock() {
    if (inFixedBlock) lit.write(w, 256);
    inFixedBlock = false;
  }
};

Bytes noise(size_t n, uint32_t seed) {
  std::mt19937 random(seed);
  Bytes bytes(n);
  for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
  return bytes;
}

// Every case through the byte-at-a-time path (chunks of 1 and 7) and the
// fast loop (8192): the bytes meant, windows of 64 KiB, and no byte asked
// for beyond the stream; or damaged data.
TEST(InflateDeflate64, LongLengthsFarDistancesAndDistancesBeforeTheStart) {
  const struct {
    const char* what;
    void (*steps)(Deflate64Writer&);
    int result;
  } cases[] = {
      {"code 285 with few of its extra bits", [](Deflate64Writer& s) { s.literal('a'); s.literal('b'); s.match(10, 2, true); }, 0},
      {"code 285 at its longest, past the window's end",
       [](Deflate64Writer& s) { s.literal('q'); s.match(65538, 1); s.literal('!'); s.match(300, 7); }, 0},
      {"lengths around Deflate's longest",
       [](Deflate64Writer& s) { s.stored(noise(300, 1)); s.match(257, 300); s.match(258, 299); s.match(259, 3); }, 0},
      {"distance codes 30 and 31, and the whole window back",
       [](Deflate64Writer& s) {
         s.stored(noise(65535, 2)); s.stored(noise(1, 3));
         s.match(300, 32769); s.match(258, 49153); s.match(1000, 65536); s.match(40, 40000); s.match(3, 65535);
       }, 0},
      {"a distance of all the output so far", [](Deflate64Writer& s) { s.stored(noise(40000, 4)); s.match(3, 40000); }, 0},
      {"a distance before the start", [](Deflate64Writer& s) { s.literal('a'); s.match(3, 2); }, 1},
      {"a far distance before the start", [](Deflate64Writer& s) { s.stored(noise(40000, 5)); s.match(300, 40001); }, 1},
      {"code 285 before the start", [](Deflate64Writer& s) { s.literal('a'); s.match(65538, 5); }, 1},
  };
  for (const auto& c : cases) {
    Deflate64Writer writer;
    c.steps(writer);
    // Literals after the steps keep the cursor full enough for the fast
    // loop to take the steps.
    for (int i = 0; i < 48; ++i) writer.literal(static_cast<uint8_t>('0' + i % 10));
    const Bytes stream = writer.finish();
    for (size_t chunk : {1u, 7u, 8192u}) {
      Harness h;
      h.deflate64 = true;
      ASSERT_EQ(h.decode(stream, chunk), c.result) << c.what << ", chunk " << chunk;
      if (c.result != 0) continue;
      EXPECT_TRUE(h.sink.output == writer.expected) << c.what << ", chunk " << chunk;
      for (size_t i = 0; i + 1 < h.sink.flushes.size(); ++i) EXPECT_EQ(h.sink.flushes[i], kDeflate64WindowSize);
      EXPECT_EQ(h.source.consumed(), stream.size()) << c.what;
      EXPECT_EQ(h.source.requestsPastEnd, 0) << c.what;
    }
  }
}

// The formats keep fixed tables of their own in the same state: code 285
// is 258 in the one and 3 + 16 bits in the other.
TEST(InflateDeflate64, FixedTablesOfTheTwoFormatsStayApart) {
  Deflate64Writer writer;
  writer.literal('z');
  writer.match(1000, 1);
  const Bytes stream64 = writer.finish();
  const Code lit = fixedLiteralCode();
  BitWriter w;
  w.put(1, 1);
  w.put(1, 2);
  lit.write(w, 'z');
  writeMatch(w, lit, fixedDistanceCode(), 258, 1);
  lit.write(w, 256);
  const Bytes stream = w.finish();
  Harness h;
  for (int round = 0; round < 2; ++round) {
    h.deflate64 = true;
    ASSERT_EQ(h.decode(stream64), 0);
    EXPECT_TRUE(h.sink.output == Bytes(1001, 'z'));
    h.deflate64 = false;
    ASSERT_EQ(h.decode(stream), 0);
    EXPECT_TRUE(h.sink.output == Bytes(259, 'z'));
  }
  EXPECT_NE(h.state.fixedDeflate64Tables, nullptr);
  releaseFixedTables(&h.state);
  EXPECT_EQ(h.state.fixedDeflate64Tables, nullptr);
}

// ---------------------------------------------------------------------------
// Table builder
// ---------------------------------------------------------------------------

// A random complete code: leaves split at random until there are n of them,
// then dealt out to the symbols in random order.
std::vector<uint8_t> randomCompleteLengths(unsigned symbols, unsigned used, unsigned maxLength,
                                           std::mt19937& random) {
  std::vector<unsigned> leaves = {0};
  const bool skewed = random() % 2 == 0;  // keeps splitting the newest leaf: long codes
  while (leaves.size() < used) {
    const size_t pick = skewed && random() % 4 != 0 ? leaves.size() - 1 : random() % leaves.size();
    if (leaves[pick] >= maxLength) continue;
    const unsigned depth = ++leaves[pick];
    leaves.push_back(depth);
  }
  std::vector<unsigned> order(symbols);
  for (unsigned i = 0; i < symbols; ++i) order[i] = i;
  std::shuffle(order.begin(), order.end(), random);
  std::vector<uint8_t> lengths(symbols, 0);
  for (size_t i = 0; i < leaves.size(); ++i) lengths[order[i]] = static_cast<uint8_t>(leaves[i]);
  return lengths;
}

// Walks the tables with a symbol's code (bits in arrival order, followed by
// random bits) and returns the final slot; widths are the table widths seen.
// `consumed` counts the code's bits, without the extra bits of the slot.
CodeEntry walk(const CodeEntry* root, unsigned rootBits, uint32_t input, unsigned* consumed,
               std::vector<unsigned>* widths) {
  unsigned width = rootBits;
  const CodeEntry* table = root;
  *consumed = 0;
  for (;;) {
    widths->push_back(width);
    const CodeEntry entry = table[input & ((1u << width) - 1)];
    if ((entry & kEntryLink) != kEntryLink) {
      *consumed += entryCodeBits(entry);
      return entry;
    }
    input >>= entryDrop(entry);
    *consumed += entryDrop(entry);
    width = entryCodeBits(entry);
    table = root + entryValue(entry);
  }
}

uint32_t reversed(uint32_t code, int length) {
  uint32_t r = 0;
  for (int i = 0; i < length; ++i) r |= ((code >> i) & 1u) << (length - 1 - i);
  return r;
}

TEST(InflateTables, EveryCodeLeadsToItsSymbolThroughOneLinkAtMost) {
  std::mt19937 random(77);
  for (int round = 0; round < 300; ++round) {
    const bool literal = round % 2 == 0;
    const unsigned n = literal ? 257 + random() % 32 : 2 + random() % 29;
    const unsigned used = 2 + random() % (n - 1);
    std::vector<uint8_t> lengths = randomCompleteLengths(n, used > n ? n : used, 15, random);
    if (literal && lengths[256] == 0) {
      // Give the end-of-block code a place: swap it with a used symbol.
      for (unsigned i = 0; i < n; ++i) {
        if (lengths[i] != 0) {
          std::swap(lengths[i], lengths[256]);
          break;
        }
      }
    }
    const unsigned simple = literal ? 257 : 0;
    const uint16_t* base = literal ? kLengthBase : kDistanceBase;
    const uint8_t* extra = literal ? kLengthExtra : kDistanceExtra;
    CodeEntry* table = nullptr;
    unsigned rootBits = literal ? 9 : 6;
    ASSERT_EQ(buildCodeTable(lengths.data(), n, simple, base, extra, &table, &rootBits), kCodeComplete) << round;
    ASSERT_NE(table, nullptr);

    const std::vector<int> asInts(lengths.begin(), lengths.end());
    const std::vector<uint32_t> codes = canonicalCodes(asInts);
    for (unsigned symbol = 0; symbol < n; ++symbol) {
      const int length = lengths[symbol];
      if (length == 0) continue;
      const uint32_t input = reversed(codes[symbol], length) | (static_cast<uint32_t>(random()) << length);
      unsigned consumed;
      std::vector<unsigned> widths;
      const CodeEntry entry = walk(table, rootBits, input, &consumed, &widths);
      ASSERT_EQ(consumed, static_cast<unsigned>(length)) << round << " symbol " << symbol;
      EXPECT_LE(widths.size(), 2u);
      EXPECT_EQ(entryValue(entry), symbol < simple ? symbol : base[symbol - simple]);
      if (symbol < simple) {
        EXPECT_EQ(entry & 0xF000, symbol < 256 ? kEntryLiteral : kEntryEnd);
        EXPECT_EQ(entryDrop(entry), entryCodeBits(entry));
      } else if (extra[symbol - simple] == kExtraInvalid) {
        EXPECT_TRUE(entryIsInvalid(entry));
      } else {
        EXPECT_EQ(entry & 0xF000, 0u);
        EXPECT_EQ(entryDrop(entry) - entryCodeBits(entry), extra[symbol - simple]);  // extra bits in one shift
      }
    }
    freeCodeTable(table);
  }
}

TEST(InflateTables, RootIsAsWideAsAskedWhateverTheLengths) {
  CodeEntry* table;
  unsigned bits;
  // Fixed literal/length code at 7 bits: the 8- and 9-bit codes go to
  // sub-tables.
  std::vector<uint8_t> fixed(288);
  for (unsigned i = 0; i < 288; ++i) fixed[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
  bits = 7;
  ASSERT_EQ(buildCodeTable(fixed.data(), 288, 257, kLengthBase, kLengthExtra, &table, &bits), kCodeComplete);
  EXPECT_EQ(bits, 7u);
  EXPECT_EQ(table[0] & 0xF000, kEntryEnd);  // code 0000000 is the end of block
  unsigned links = 0;
  for (unsigned slot = 0; slot < 128; ++slot) links += (table[slot] & kEntryLink) == kEntryLink;
  EXPECT_EQ(links, 152u / 2 + 112u / 4);  // the 7-bit prefixes of the 8- and 9-bit codes
  freeCodeTable(table);

  // Codes shorter than the root fill every slot that starts with them.
  std::vector<uint8_t> short4 = {2, 2, 2, 3, 3};
  bits = 9;
  ASSERT_EQ(buildCodeTable(short4.data(), 5, 0, kDistanceBase, kDistanceExtra, &table, &bits), kCodeComplete);
  EXPECT_EQ(bits, 9u);
  for (unsigned slot = 0; slot < 512; slot += 4) EXPECT_EQ(entryValue(table[slot]), kDistanceBase[0]) << slot;
  freeCodeTable(table);
}

TEST(InflateTables, IncompleteOverSubscribedAndEmptyCodes) {
  CodeEntry* table;
  unsigned bits;
  std::vector<uint8_t> incomplete = {1, 2, 0, 0};
  bits = 6;
  EXPECT_EQ(buildCodeTable(incomplete.data(), 4, 0, kDistanceBase, kDistanceExtra, &table, &bits), kCodeIncomplete);
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(bits, 6u);
  EXPECT_TRUE(entryIsInvalid(table[3]));  // code 11 is unused
  freeCodeTable(table);

  std::vector<uint8_t> single = {0, 1};
  bits = 6;
  EXPECT_EQ(buildCodeTable(single.data(), 2, 0, kDistanceBase, kDistanceExtra, &table, &bits), kCodeComplete);
  EXPECT_EQ(bits, 6u);
  EXPECT_EQ(entryValue(table[0]), kDistanceBase[1]);
  EXPECT_TRUE(entryIsInvalid(table[1]));
  EXPECT_EQ(entryValue(table[1]), kDistanceBase[1]);  // the dummy keeps the last value
  freeCodeTable(table);

  std::vector<uint8_t> over = {1, 1, 1};
  bits = 6;
  EXPECT_EQ(buildCodeTable(over.data(), 3, 0, kDistanceBase, kDistanceExtra, &table, &bits), kCodeOverSubscribed);
  EXPECT_EQ(table, nullptr);

  std::vector<uint8_t> none(30, 0);
  bits = 6;
  EXPECT_EQ(buildCodeTable(none.data(), 30, 0, kDistanceBase, kDistanceExtra, &table, &bits), kCodeComplete);
  EXPECT_EQ(table, nullptr);
  EXPECT_EQ(bits, 0u);
}

// ---------------------------------------------------------------------------
// Random streams, checked against zlib's inflate
// ---------------------------------------------------------------------------
// zlib's encoder never makes codes of 15 bits, lopsided codes or unusual
// code-length runs; a random encoder does. Every stream is valid Deflate,
// so zlib's inflate and ours must both give exactly the bytes the encoder
// meant.

struct RandomEncoder {
  std::mt19937 random;
  BitWriter w;
  Bytes expected;
  // Deflate64: code 285 with its 16 extra bits, distance codes 30 and 31
  // and the 64 KiB window.
  bool deflate64;
  const int* lengthBases;
  const int* lengthExtras;
  const int* distanceBases;
  const int* distanceExtras;
  int distanceCodes;
  int window;

  explicit RandomEncoder(uint32_t seed, bool deflate64 = false)
      : random(seed),
        deflate64(deflate64),
        lengthBases(deflate64 ? kLengthBases64 : kLengthBases),
        lengthExtras(deflate64 ? kLengthExtras64 : kLengthExtras),
        distanceBases(deflate64 ? kDistanceBases64 : kDistanceBases),
        distanceExtras(deflate64 ? kDistanceExtras64 : kDistanceExtras),
        distanceCodes(deflate64 ? 32 : 30),
        window(deflate64 ? 65536 : 32768) {}

  void literal(const Code& lit, int symbol) {
    lit.write(w, symbol);
    expected.push_back(static_cast<uint8_t>(symbol));
  }

  // A match with a symbol the codes have, reaching at most as far back as
  // there is output; false when none fits.
  bool match(const Code& lit, const Code& dist) {
    std::vector<int> lengths, distances;
    for (int l = 0; l < 29; ++l) {
      if (lit.lengths.size() > static_cast<size_t>(257 + l) && lit.lengths[257 + l] != 0) lengths.push_back(l);
    }
    for (int d = 0; d < distanceCodes && d < static_cast<int>(dist.lengths.size()); ++d) {
      if (dist.lengths[d] != 0 && distanceBases[d] <= static_cast<int>(expected.size())) distances.push_back(d);
    }
    if (lengths.empty() || distances.empty()) return false;
    const int l = lengths[random() % lengths.size()];
    const int d = distances[random() % distances.size()];
    // Deflate64's 16 extra bits: now and then any of them, mostly short
    // lengths, so that the streams stay small.
    const uint32_t lengthLimit = lengthExtras[l] == 16 && random() % 4 != 0 ? 512 : 1u << lengthExtras[l];
    const int lengthExtra = lengthExtras[l] ? static_cast<int>(random() % lengthLimit) : 0;
    int maxDistanceExtra = distanceExtras[d] ? (1 << distanceExtras[d]) - 1 : 0;
    maxDistanceExtra = std::min(maxDistanceExtra, static_cast<int>(expected.size()) - distanceBases[d]);
    maxDistanceExtra = std::min(maxDistanceExtra, window - distanceBases[d]);
    const int distanceExtra = static_cast<int>(random() % (maxDistanceExtra + 1));
    lit.write(w, 257 + l);
    w.put(lengthExtra, lengthExtras[l]);
    dist.write(w, d);
    w.put(distanceExtra, distanceExtras[d]);
    const size_t length = lengthBases[l] + lengthExtra;
    const size_t distance = distanceBases[d] + distanceExtra;
    for (size_t i = 0; i < length; ++i) expected.push_back(expected[expected.size() - distance]);
    return true;
  }

  void body(const Code& lit, const Code& dist, int symbols) {
    std::vector<int> literals;
    for (int c = 0; c < 256; ++c) {
      if (lit.lengths[c] != 0) literals.push_back(c);
    }
    for (int i = 0; i < symbols; ++i) {
      if (random() % 3 == 0 && match(lit, dist)) continue;
      if (!literals.empty()) literal(lit, literals[random() % literals.size()]);
    }
    lit.write(w, 256);
  }

  void storedBlock(bool last) {
    w.put(last, 1);
    w.put(0, 2);
    w.align();
    const uint32_t length = random() % 3 == 0 ? 0 : random() % 3000;
    w.put(length, 16);
    w.put(length ^ 0xFFFF, 16);
    for (uint32_t i = 0; i < length; ++i) {
      const uint8_t b = static_cast<uint8_t>(random() % 4 == 0 ? random() : 'a' + random() % 3);
      w.put(b, 8);
      expected.push_back(b);
    }
  }

  void fixedBlock(bool last) {
    w.put(last, 1);
    w.put(1, 2);
    // Codes 286, 287 (and in Deflate, distances 30, 31) are never chosen by
    // body().
    body(fixedLiteralCode(), fixedDistanceCode(), static_cast<int>(random() % 2000));
  }

  // Code lengths with runs written as repeats (16, 17, 18) at random.
  void writeLengths(const Code& cl, const std::vector<int>& all) {
    int previous = -1;
    for (size_t i = 0; i < all.size();) {
      const int v = all[i];
      size_t run = 1;
      while (i + run < all.size() && all[i + run] == v) ++run;
      const bool pack = random() % 4 != 0;
      if (pack && v == 0 && run >= 11) {
        const size_t n = std::min<size_t>(run, 138);
        cl.write(w, 18);
        w.put(static_cast<uint32_t>(n - 11), 7);
        i += n;
      } else if (pack && v == 0 && run >= 3) {
        const size_t n = std::min<size_t>(run, 10);
        cl.write(w, 17);
        w.put(static_cast<uint32_t>(n - 3), 3);
        i += n;
      } else if (pack && v == previous && run >= 3) {
        const size_t n = std::min<size_t>(run, 6);
        cl.write(w, 16);
        w.put(static_cast<uint32_t>(n - 3), 2);
        i += n;
      } else {
        cl.write(w, v);
        i += 1;
      }
      previous = v;
    }
  }

  void dynamicBlock(bool last) {
    const unsigned literalCount = 257 + random() % 30;
    const unsigned distanceCount = 1 + random() % distanceCodes;
    std::vector<uint8_t> lit = randomCompleteLengths(literalCount, 2 + random() % (literalCount - 1), 15, random);
    // The end-of-block code and at least one literal must have codes.
    for (unsigned i = 0; i < literalCount && lit[256] == 0; ++i) {
      if (i != 256 && lit[i] != 0) std::swap(lit[i], lit[256]);
    }
    bool anyLiteral = false;
    for (unsigned i = 0; i < 256; ++i) anyLiteral = anyLiteral || lit[i] != 0;
    if (!anyLiteral) {
      for (unsigned i = 257; i < literalCount; ++i) {
        if (lit[i] != 0) {
          std::swap(lit[i], lit[random() % 256]);
          break;
        }
      }
    }
    std::vector<uint8_t> dist(distanceCount, 0);
    if (distanceCount >= 2) dist = randomCompleteLengths(distanceCount, 2 + random() % (distanceCount - 1), 15, random);
    else dist[0] = 1;  // a single one-bit code

    const std::vector<int> literalLengths(lit.begin(), lit.end());
    const std::vector<int> distanceLengths(dist.begin(), dist.end());
    w.put(last, 1);
    w.put(2, 2);
    w.put(literalCount - 257, 5);
    w.put(distanceCount - 1, 5);
    w.put(19 - 4, 4);
    const Code cl = codeLengthCode();
    for (int i = 0; i < 19; ++i) w.put(cl.lengths[kOrder[i]], 3);
    writeLengths(cl, concat(literalLengths, distanceLengths));
    body(Code(literalLengths), Code(distanceLengths), static_cast<int>(random() % 3000));
  }

  Bytes stream() {
    const int blocks = 1 + random() % 12;
    for (int b = 0; b < blocks; ++b) {
      const bool last = b == blocks - 1;
      const uint32_t kind = random() % 8;
      if (kind == 0) storedBlock(last);
      else if (kind == 1) fixedBlock(last);
      else dynamicBlock(last);
    }
    return w.finish();
  }
};

bool zlibInflate(const Bytes& stream, size_t expectedSize, Bytes* out, std::string* message) {
  z_stream z{};
  if (inflateInit2(&z, -15) != Z_OK) return false;
  out->assign(expectedSize + 16, 0);
  z.next_in = const_cast<Bytef*>(stream.data());
  z.avail_in = static_cast<uInt>(stream.size());
  z.next_out = out->data();
  z.avail_out = static_cast<uInt>(out->size());
  const int status = inflate(&z, Z_FINISH);
  *message = z.msg != nullptr ? z.msg : "";
  out->resize(z.total_out);
  inflateEnd(&z);
  return status == Z_STREAM_END;
}

TEST(InflateRandomStreams, DecodeLikeZlib) {
  for (uint32_t seed = 1; seed <= 400; ++seed) {
    RandomEncoder encoder(seed);
    const Bytes stream = encoder.stream();
    Bytes reference;
    std::string message;
    ASSERT_TRUE(zlibInflate(stream, encoder.expected.size(), &reference, &message))
        << "seed " << seed << ": " << message;
    ASSERT_TRUE(reference == encoder.expected) << "seed " << seed;
    Harness h;
    ASSERT_EQ(h.decode(stream, seed % 2 ? 8192 : 1 + seed % 50), 0) << "seed " << seed;
    ASSERT_TRUE(h.sink.output == encoder.expected) << "seed " << seed;
    EXPECT_EQ(h.source.consumed(), stream.size()) << "seed " << seed;
    EXPECT_EQ(h.source.requestsPastEnd, 0) << "seed " << seed;
  }
}

// Random Deflate64 streams: code 285 with any of its extra bits, distance
// codes 30 and 31 in fixed and dynamic blocks. No other decoder is at hand;
// the encoder knows the bytes it meant.
TEST(InflateRandomStreams, Deflate64DecodesAsMeant) {
  size_t pastOneWindow = 0;
  for (uint32_t seed = 1; seed <= 150; ++seed) {
    RandomEncoder encoder(seed, true);
    const Bytes stream = encoder.stream();
    Harness h;
    h.deflate64 = true;
    ASSERT_EQ(h.decode(stream, seed % 2 ? 8192 : 1 + seed % 50), 0) << "seed " << seed;
    ASSERT_TRUE(h.sink.output == encoder.expected) << "seed " << seed;
    EXPECT_EQ(h.source.consumed(), stream.size()) << "seed " << seed;
    EXPECT_EQ(h.source.requestsPastEnd, 0) << "seed " << seed;
    if (encoder.expected.size() > 65536) ++pastOneWindow;
  }
  EXPECT_GT(pastOneWindow, 30u) << pastOneWindow;  // the streams do reach past a whole window
}

// ---------------------------------------------------------------------------
// Memory safety: the decoder touches only its cursor's bytes and its window
// ---------------------------------------------------------------------------

// Committed memory with an inaccessible page right after it (and, when asked,
// right before it).
class GuardedMemory {
 public:
  GuardedMemory(size_t bytes, bool guardBefore) {
    const size_t page = 4096;
    const size_t body = (bytes + page - 1) / page * page;
    base_ = static_cast<uint8_t*>(
        VirtualAlloc(nullptr, body + 2 * page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    DWORD old;
    VirtualProtect(base_, page, PAGE_NOACCESS, &old);
    VirtualProtect(base_ + page + body, page, PAGE_NOACCESS, &old);
    start_ = guardBefore ? base_ + page : base_ + page + body - bytes;
  }
  ~GuardedMemory() { VirtualFree(base_, 0, MEM_RELEASE); }
  GuardedMemory(const GuardedMemory&) = delete;
  GuardedMemory& operator=(const GuardedMemory&) = delete;
  uint8_t* start() const { return start_; }

 private:
  uint8_t* base_;
  uint8_t* start_;
};

// Decodes a stream with every input chunk ending at a guard page and with
// the window placed against a guard page on either side. A stray read or
// write ends the test process.
int decodeGuarded(const Bytes& stream, size_t chunk, bool windowGuardBefore, Bytes* output,
                  bool deflate64 = false) {
  GuardedMemory input(chunk, false);
  GuardedMemory window(deflate64 ? kDeflate64WindowSize : kWindowSize, windowGuardBefore);
  Harness h;
  h.deflate64 = deflate64;
  h.state.window = window.start();
  h.source.guardedEnd = input.start() + chunk;
  const int result = h.decode(stream, chunk);
  *output = h.sink.output;
  return result;
}

TEST(InflateSafety, NoAccessOutsideTheInputChunkOrTheWindow) {
  std::vector<Bytes> streams;
  const Bytes data = mixedData(150000, 31);
  for (int level : {0, 1, 6, 9}) streams.push_back(zlibDeflate(data, level));
  streams.push_back(zlibDeflate(data, 6, Z_FIXED));
  streams.push_back(zlibDeflate(data, 6, Z_HUFFMAN_ONLY));
  for (uint32_t seed = 1000; seed < 1040; ++seed) streams.push_back(RandomEncoder(seed).stream());
  const size_t deflateStreams = streams.size();
  for (uint32_t seed = 1000; seed < 1020; ++seed) streams.push_back(RandomEncoder(seed, true).stream());
  for (size_t i = 0; i < streams.size(); ++i) {
    const bool deflate64 = i >= deflateStreams;
    for (size_t chunk : {8192u, 37u, 1u}) {
      Bytes expected;
      {
        Harness plain;
        plain.deflate64 = deflate64;
        ASSERT_EQ(plain.decode(streams[i], 8192), 0) << i;
        expected = plain.sink.output;
      }
      for (bool before : {false, true}) {
        Bytes output;
        ASSERT_EQ(decodeGuarded(streams[i], chunk, before, &output, deflate64), 0) << i << " " << chunk;
        ASSERT_TRUE(output == expected) << i << " " << chunk;
      }
    }
  }
}

TEST(InflateSafety, DamagedStreamsStayInsideTheirBuffers) {
  const Bytes data = mixedData(60000, 32);
  const Bytes stream = zlibDeflate(data, 6);
  std::mt19937 random(99);
  for (int round = 0; round < 600; ++round) {
    // Every fifth round a Deflate64 stream.
    const bool deflate64 = round % 5 == 4;
    Bytes damaged = round % 3 == 0 || deflate64 ? RandomEncoder(5000 + round, deflate64).stream() : stream;
    const int flips = 1 + random() % 3;
    for (int i = 0; i < flips; ++i) damaged[random() % damaged.size()] ^= 1u << (random() % 8);
    Bytes output;
    const int result = decodeGuarded(damaged, round % 2 ? 8192 : 64, round % 4 < 2, &output, deflate64);
    EXPECT_TRUE(result >= 0 && result <= 2) << round;
  }
}

}  // namespace
