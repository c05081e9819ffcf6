// Decoder speed against zlib, in one process.
//
// Three kinds of data made from a fixed seed (text, binary, data that is
// already compressed), each compressed by zlib at levels 1, 6 and 9 (raw
// Deflate), then decoded again and again: with our decoder plus our CRC-32,
// fed like the extraction engine feeds it (8192-byte input buffer, 32 KiB
// window handed to a flush that updates the CRC), and with zlib's inflate
// plus zlib's crc32 (all input at once, 32 KiB output buffer, the CRC of
// every piece); then both decoders without the CRC, and the CRCs alone. The
// sides run in turns, stream by stream (see kPieceSize), timed with
// QueryPerformanceCounter; the best of several runs counts, which keeps most
// of the noise of a busy machine out.
// Prints MB/s of decoded output and the ratio ours/zlib. Not a test: the
// figures depend on the machine and its load.
//
// The same file builds natively too (bench/native/, the host compiler, the
// decoder at -O2 as in the stub): there libdeflate joins as a third side,
// decoding each stream in one call into a whole buffer and taking its CRC
// after, which is the way it is fastest; its column shows how far ours is
// from the fastest decoder we know of.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <zlib.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <time.h>
#endif
#ifdef ZIMBRO_BENCH_LIBDEFLATE
#include <libdeflate.h>
#endif
#ifdef ZIMBRO_BENCH_LIBLZMA
#include <lzma.h>
#endif

#include <vector>

#include "support/portable/crc32.h"
#include "zip/portable/inflate.h"
#include "zip/portable/lzma_decoder.h"

namespace {

using Bytes = std::vector<uint8_t>;

const size_t kDataSize = 8u * 1024 * 1024;
// Each kind of data is compressed as 32 streams of 256 KiB, each timed on
// its own: a run of a millisecond or so is often left alone by the other
// jobs of a shared machine, where one of 8 MiB is nearly always
// interrupted. The best time of each piece counts, and the sum of those.
const size_t kPieceSize = 256u * 1024;
const size_t kPieces = kDataSize / kPieceSize;
const size_t kInputBuffer = 8192;
const int kRuns = 15;

// ---------------------------------------------------------------------------
// Reproducible test data
// ---------------------------------------------------------------------------

struct Random {
  uint32_t state;
  uint32_t next() {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
  }
  uint32_t below(uint32_t n) { return next() % n; }
};

enum DataKind { kText, kBinary, kCompressed };
const char* const kKindNames[] = {"text", "binary", "compressed"};

Bytes compress(const Bytes& data, int level);

// Prose-like text lines; program-like binary (records, small integers,
// code-like byte patterns, runs and a little noise); or text that went
// through a compressor already, as installers often carry.
Bytes makeData(DataKind kind) {
  static const char* const kWords[] = {
      "archive", "member",  "window", "block",   "length",  "distance", "literal", "code",
      "table",   "header",  "folder", "file",    "time",    "attribute", "stream", "buffer",
      "offset",  "setup",   "install", "program", "the",     "of",       "and",     "to",
      "a",       "is",      "for",    "with",    "version", "license",  "user",    "system"};
  Random random{1951u + kind};
  Bytes data;
  data.reserve(kDataSize * 4 + 4096);
  char line[256];
  const size_t wanted = kind == kCompressed ? kDataSize * 4 : kDataSize;
  while (data.size() < wanted) {
    if (kind != kBinary) {
      int n = snprintf(line, sizeof line, "%07u ", static_cast<unsigned>(data.size() % 9999991));
      const uint32_t words = 4 + random.below(10);
      for (uint32_t w = 0; w < words; ++w) {
        n += snprintf(line + n, sizeof line - n, "%s ", kWords[random.below(32)]);
      }
      line[n - 1] = '\n';
      data.insert(data.end(), line, line + n);
      continue;
    }
    const uint32_t piece = random.below(10);
    const size_t end = data.size() + 2048 + random.below(60000);
    if (piece < 6) {  // structured records
      uint32_t base = random.next();
      while (data.size() < end) {
        const uint32_t record[4] = {base + static_cast<uint32_t>(data.size() & 0xFFF0), random.below(256),
                                    0x00401000u + random.below(64) * 16, piece < 3 ? 0u : random.below(3)};
        const uint8_t* p = reinterpret_cast<const uint8_t*>(record);
        data.insert(data.end(), p, p + (piece == 5 ? 12 : 16));
        if (random.below(16) == 0) base = random.next();
      }
    } else if (piece < 8) {  // code-like bytes: a small alphabet, skewed
      while (data.size() < end) data.push_back(static_cast<uint8_t>(random.below(1 + random.below(200))));
    } else if (piece == 8) {  // runs
      while (data.size() < end) data.insert(data.end(), 1 + random.below(300), static_cast<uint8_t>(random.below(4)));
    } else {  // noise, shorter
      for (size_t i = 0; i < (end - data.size()) / 8; ++i) data.push_back(static_cast<uint8_t>(random.next()));
    }
  }
  if (kind == kCompressed) data = compress(data, 9);
  data.resize(kDataSize);
  return data;
}

Bytes compress(const Bytes& data, int level) {
  z_stream z{};
  deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  Bytes out(deflateBound(&z, data.size()));
  z.next_in = const_cast<Bytef*>(data.data());
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  if (deflate(&z, Z_FINISH) != Z_STREAM_END) {
    fprintf(stderr, "compression failed\n");
    exit(1);
  }
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

// ---------------------------------------------------------------------------
// The two decoders
// ---------------------------------------------------------------------------

struct OurSide {
  ByteCursor cursor;
  const Bytes* compressed;
  size_t offset;
  bool withCrc;
  uint32_t crc;
  uint64_t produced;
};

int refill(void* context) {
  OurSide* side = static_cast<OurSide*>(context);
  if (side->offset >= side->compressed->size()) return -1;
  size_t n = side->compressed->size() - side->offset;
  if (n > kInputBuffer) n = kInputBuffer;
  const uint8_t* start = side->compressed->data() + side->offset;
  side->offset += n;
  side->cursor.next = start + 1;
  side->cursor.unread = static_cast<int32_t>(n - 1);
  return start[0];
}

int flushWindow(void* context, const uint8_t* window, uint32_t count) {
  OurSide* side = static_cast<OurSide*>(context);
  if (side->withCrc) side->crc = crc32Update(side->crc, window, count);
  side->produced += count;
  return 0;
}

int noStop(void*) { return 0; }

uint8_t window[kWindowSize];

bool decodeOurs(const Bytes& compressed, bool withCrc, InflateState* state, uint32_t* crc, uint64_t* produced) {
  OurSide side{{nullptr, 0}, &compressed, 0, withCrc, 0, 0};
  state->input = &side.cursor;
  state->refill = refill;
  state->flush = flushWindow;
  state->afterBlock = noStop;
  state->context = &side;
  state->window = window;
  const InflateResult result = decodeDeflateMember(state);
  *crc = side.crc;
  *produced = side.produced;
  return result == kInflateOk;
}

uint8_t zlibOutput[kWindowSize];

bool decodeZlib(const Bytes& compressed, bool withCrc, uint32_t* crc, uint64_t* produced) {
  z_stream z{};
  if (inflateInit2(&z, -15) != Z_OK) return false;
  z.next_in = const_cast<Bytef*>(compressed.data());
  z.avail_in = static_cast<uInt>(compressed.size());
  uLong c = crc32(0, nullptr, 0);
  uint64_t total = 0;
  int status;
  do {
    z.next_out = zlibOutput;
    z.avail_out = sizeof zlibOutput;
    status = inflate(&z, Z_NO_FLUSH);
    if (status != Z_OK && status != Z_STREAM_END) break;
    const uInt n = static_cast<uInt>(sizeof zlibOutput - z.avail_out);
    if (withCrc) c = crc32(c, zlibOutput, n);
    total += n;
  } while (status != Z_STREAM_END);
  inflateEnd(&z);
  *crc = static_cast<uint32_t>(c);
  *produced = total;
  return status == Z_STREAM_END;
}

#ifdef ZIMBRO_BENCH_LIBDEFLATE
Bytes libdeflateOutput;

bool decodeLibdeflate(const Bytes& compressed, bool withCrc, uint32_t* crc, uint64_t* produced) {
  static libdeflate_decompressor* decompressor = libdeflate_alloc_decompressor();
  size_t n = 0;
  if (libdeflate_deflate_decompress(decompressor, compressed.data(), compressed.size(), libdeflateOutput.data(),
                                    libdeflateOutput.size(), &n) != LIBDEFLATE_SUCCESS) {
    return false;
  }
  *crc = withCrc ? libdeflate_crc32(0, libdeflateOutput.data(), n) : 0;
  *produced = n;
  return true;
}
const bool kWithLibdeflate = true;
#else
bool decodeLibdeflate(const Bytes&, bool, uint32_t*, uint64_t*) { return false; }
const bool kWithLibdeflate = false;
#endif

double now() {
#ifdef _WIN32
  static LARGE_INTEGER frequency;
  if (frequency.QuadPart == 0) QueryPerformanceFrequency(&frequency);
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) / static_cast<double>(frequency.QuadPart);
#else
  // The thread's processor time: on a machine shared with other jobs it
  // leaves out the time this thread waited for a processor.
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
#endif
}

[[noreturn]] void fail(const char* what) {
  printf("FAILED: %s\n", what);
  exit(1);
}

struct Times {
  double ours = 1e30;
  double zlib = 1e30;
  double libdeflate = 1e30;
};

// The decoders in turns, piece by piece, with or without the CRC; the sums
// of the best times of the pieces.
Times timeDecoders(const Bytes& data, const std::vector<Bytes>& pieces, bool withCrc) {
  Times best[kPieces];
  InflateState state{};
  for (int run = 0; run < kRuns; ++run) {
    for (size_t piece = 0; piece < kPieces; ++piece) {
      const Bytes& compressed = pieces[piece];
      const uint8_t* original = data.data() + piece * kPieceSize;
      const uint32_t expectedCrc = static_cast<uint32_t>(crc32(0, original, static_cast<uInt>(kPieceSize)));
      Times& b = best[piece];
      // The sides take turns at going first: the first reads the piece
      // from memory, the others find it in the cache. The best time of each
      // side is then one with the piece in the cache.
      const int sides = kWithLibdeflate ? 3 : 2;
      for (int turn = 0; turn < sides; ++turn) {
        const int side = (turn + run + static_cast<int>(piece)) % sides;
        uint32_t crc;
        uint64_t produced;
        const double t0 = now();
        const bool ok = side == 0   ? decodeOurs(compressed, withCrc, &state, &crc, &produced)
                        : side == 1 ? decodeZlib(compressed, withCrc, &crc, &produced)
                                    : decodeLibdeflate(compressed, withCrc, &crc, &produced);
        const double t = now() - t0;
        if (!ok || produced != kPieceSize || (withCrc && crc != expectedCrc)) {
          fail(side == 0 ? "our decoder" : side == 1 ? "zlib" : "libdeflate");
        }
        double& slot = side == 0 ? b.ours : side == 1 ? b.zlib : b.libdeflate;
        if (t < slot) slot = t;
      }
    }
  }
  releaseFixedTables(&state);
  Times sum;
  sum.ours = sum.zlib = sum.libdeflate = 0;
  for (const Times& b : best) {
    sum.ours += b.ours;
    sum.zlib += b.zlib;
    sum.libdeflate += b.libdeflate;
  }
  return sum;
}

#ifdef ZIMBRO_BENCH_LIBLZMA
// ---------------------------------------------------------------------------
// LZMA (native build): ours against liblzma
// ---------------------------------------------------------------------------
// Each kind of data as one raw LZMA stream (liblzma's preset 6: lc 3, lp 0,
// pb 2, an 8 MiB dictionary, the end marker), decoded whole: ours fed like
// the engine feeds it (8192-byte input buffer, the CRC of each flushed
// stretch), liblzma given all input at once and a 64 KiB output buffer,
// with zlib's CRC of every piece. Best of kLzmaRuns, in turns.
const int kLzmaRuns = 5;
const uint32_t kLzmaDictionary = 8u << 20;

lzma_options_lzma lzmaOptions() {
  lzma_options_lzma options;
  lzma_lzma_preset(&options, 6);
  options.dict_size = kLzmaDictionary;
  return options;
}

Bytes compressLzma(const Bytes& data) {
  lzma_options_lzma options = lzmaOptions();
  lzma_filter filters[2] = {{LZMA_FILTER_LZMA1, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
  lzma_stream z = LZMA_STREAM_INIT;
  if (lzma_raw_encoder(&z, filters) != LZMA_OK) fail("liblzma encoder");
  Bytes out(data.size() + data.size() / 2 + 65536);
  z.next_in = data.data();
  z.avail_in = data.size();
  z.next_out = out.data();
  z.avail_out = out.size();
  if (lzma_code(&z, LZMA_FINISH) != LZMA_STREAM_END) fail("liblzma compression");
  out.resize(z.total_out);
  lzma_end(&z);
  return out;
}

int flushLzma(void* context, const uint8_t* bytes, uint32_t count) {
  OurSide* side = static_cast<OurSide*>(context);
  side->crc = crc32Update(side->crc, bytes, count);
  side->produced += count;
  return 0;
}

bool decodeLzmaOurs(const Bytes& compressed, LzmaState* state, uint32_t* crc, uint64_t* produced) {
  OurSide side{{nullptr, 0}, &compressed, 0, true, 0, 0};
  state->input = &side.cursor;
  state->refill = refill;
  state->flush = flushLzma;
  state->afterChunk = noStop;
  state->context = &side;
  LzmaProperties properties = {3, 0, 2, kLzmaDictionary};
  lzmaStart(state, &properties);
  LzmaResult r = lzmaDecode(state, kDataSize);
  if (r == kLzmaSizeReached) r = lzmaFinish(state, true);
  *crc = side.crc;
  *produced = side.produced;
  return r == kLzmaStreamEnd;
}

bool decodeLiblzma(const Bytes& compressed, uint32_t* crc, uint64_t* produced) {
  static Bytes out(65536);
  lzma_options_lzma options = lzmaOptions();
  lzma_filter filters[2] = {{LZMA_FILTER_LZMA1, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
  lzma_stream z = LZMA_STREAM_INIT;
  if (lzma_raw_decoder(&z, filters) != LZMA_OK) return false;
  z.next_in = compressed.data();
  z.avail_in = compressed.size();
  uLong c = crc32(0, nullptr, 0);
  lzma_ret ret;
  do {
    z.next_out = out.data();
    z.avail_out = out.size();
    ret = lzma_code(&z, LZMA_RUN);
    c = crc32(c, out.data(), static_cast<uInt>(out.size() - z.avail_out));
  } while (ret == LZMA_OK);
  *crc = static_cast<uint32_t>(c);
  *produced = z.total_out;
  lzma_end(&z);
  return ret == LZMA_STREAM_END;
}

void benchLzma(const Bytes* samples) {
  printf("LZMA decoder and CRC-32 against liblzma %s, one stream of each kind (preset 6, 8 MiB dictionary);\n",
         lzma_version_string());
  printf("MB/s of decoded output, best of %d runs in turns; ratio = ours / liblzma (higher is better)\n", kLzmaRuns);
  printf("%-11s %6s | %22s %5s\n", "data", "packed", "decoder+CRC ours/liblzma", "ratio");
  Bytes dictionary(kLzmaDictionary);
  const LzmaProperties properties = {3, 0, 2, kLzmaDictionary};
  std::vector<uint16_t> probabilities(lzmaProbabilityCount(&properties));
  LzmaState state{};
  state.dictionary = dictionary.data();
  state.dictionaryBytes = kLzmaDictionary;
  state.probabilities = probabilities.data();
  double worst = 1e30;
  for (int kind = kText; kind <= kCompressed; ++kind) {
    const Bytes& data = samples[kind];
    const Bytes compressed = compressLzma(data);
    const uint32_t expectedCrc = static_cast<uint32_t>(crc32(0, data.data(), static_cast<uInt>(data.size())));
    double ours = 1e30, theirs = 1e30;
    for (int run = 0; run < kLzmaRuns; ++run) {
      for (int turn = 0; turn < 2; ++turn) {
        const int side = (turn + run) % 2;
        uint32_t crc;
        uint64_t produced;
        const double t0 = now();
        const bool ok = side == 0 ? decodeLzmaOurs(compressed, &state, &crc, &produced)
                                  : decodeLiblzma(compressed, &crc, &produced);
        const double t = now() - t0;
        if (!ok || produced != kDataSize || crc != expectedCrc) fail(side == 0 ? "our LZMA decoder" : "liblzma");
        double& slot = side == 0 ? ours : theirs;
        if (t < slot) slot = t;
      }
    }
    const double megabytes = kDataSize / 1e6;
    if (theirs / ours < worst) worst = theirs / ours;
    printf("%-11s %5.1f%% | %10.0f / %10.0f %5.2f\n", kKindNames[kind], 100.0 * compressed.size() / data.size(),
           megabytes / ours, megabytes / theirs, theirs / ours);
  }
  printf("LZMA decoder+CRC, lowest ratio ours/liblzma of the three: %.2f (target >= 1.0)\n", worst);
}
#endif

}  // namespace

#ifndef _WIN32
// The native build has no process heap of its own (support/heap.cpp is
// Win32): the decoder's tables come from the C library's.
void* allocate(size_t bytes) { return malloc(bytes); }
void release(void* block) { free(block); }
#endif

int main() {
  setvbuf(stdout, nullptr, _IONBF, 0);
#ifdef _WIN32
  const char* build = sizeof(void*) == 8 ? "x86-64" : "i686";
#else
  const char* build = sizeof(void*) == 8 ? "native x86-64" : "native";
#endif
  const double megabytes = kDataSize / 1e6;
#ifdef ZIMBRO_BENCH_LIBDEFLATE
  libdeflateOutput.resize(kDataSize);
  printf("Deflate decoder and CRC-32 against zlib %s and libdeflate %s, %s build, one process; %.0f MiB of each kind;\n",
         zlibVersion(), LIBDEFLATE_VERSION_STRING, build, kDataSize / 1048576.0);
#else
  printf("Deflate decoder and CRC-32 against zlib %s, %s build, one process; %.0f MiB of each kind;\n",
         zlibVersion(), build, kDataSize / 1048576.0);
#endif
  printf("MB/s of decoded output, best of %d runs in turns; ratio = ours / zlib (higher is better)%s\n", kRuns,
         kWithLibdeflate ? "; ld = ours / libdeflate" : "");
  if (kWithLibdeflate) {
    printf("%-11s %5s %6s | %27s %5s %5s | %27s %5s %5s\n", "data", "level", "packed", "decoder+CRC ours/zlib/libdefl",
           "ratio", "ld", "decoding ours/zlib/libdefl", "ratio", "ld");
  } else {
    printf("%-11s %5s %6s | %18s %5s | %18s %5s\n", "data", "level", "packed", "decoder+CRC ours/zlib", "ratio",
           "decoding ours/zlib", "ratio");
  }
  double worst = 1e30, worstText = 1e30, worstLibdeflate = 1e30;
  Bytes samples[3];
  for (int kind = kText; kind <= kCompressed; ++kind) {
    const Bytes data = makeData(static_cast<DataKind>(kind));
    for (int level : {1, 6, 9}) {
      std::vector<Bytes> pieces;
      size_t packed = 0;
      for (size_t at = 0; at < kDataSize; at += kPieceSize) {
        pieces.push_back(compress(Bytes(data.begin() + at, data.begin() + at + kPieceSize), level));
        packed += pieces.back().size();
      }
      const Times full = timeDecoders(data, pieces, true);
      const Times bare = timeDecoders(data, pieces, false);
      const double ratio = full.zlib / full.ours;
      if (ratio < worst) worst = ratio;
      if (kind == kText && ratio < worstText) worstText = ratio;
      if (kWithLibdeflate) {
        const double toLibdeflate = full.libdeflate / full.ours;
        if (toLibdeflate < worstLibdeflate) worstLibdeflate = toLibdeflate;
        printf("%-11s %5d %5.1f%% | %8.0f / %8.0f / %8.0f %5.2f %5.2f | %8.0f / %8.0f / %8.0f %5.2f %5.2f\n",
               kKindNames[kind], level, 100.0 * packed / data.size(), megabytes / full.ours,
               megabytes / full.zlib, megabytes / full.libdeflate, ratio, toLibdeflate, megabytes / bare.ours,
               megabytes / bare.zlib, megabytes / bare.libdeflate, bare.zlib / bare.ours, bare.libdeflate / bare.ours);
      } else {
        printf("%-11s %5d %5.1f%% | %8.0f / %8.0f %5.2f | %8.0f / %8.0f %5.2f\n", kKindNames[kind], level,
               100.0 * packed / data.size(), megabytes / full.ours, megabytes / full.zlib, ratio,
               megabytes / bare.ours, megabytes / bare.zlib, bare.zlib / bare.ours);
      }
    }
    samples[kind] = data;
  }
  printf("decoder+CRC, lowest ratio ours/zlib of the nine: %.2f (target >= 1.6), of text: %.2f (target >= 2.0) (%s build)\n",
         worst, worstText, build);
  if (kWithLibdeflate) printf("decoder+CRC, lowest ratio ours/libdeflate of the nine: %.2f (%s build)\n", worstLibdeflate, build);

  // The CRC alone over the text, in window-sized pieces: the way chosen on
  // this processor, the table way every processor can take, and zlib's.
  const Bytes& data = samples[kText];
  const uint32_t expectedCrc = static_cast<uint32_t>(crc32(0, data.data(), static_cast<uInt>(data.size())));
  double bestChosen = 1e30, bestTables = 1e30, bestZlib = 1e30;
  for (int run = 0; run < kRuns; ++run) {
    uint32_t a = 0, t = 0xFFFFFFFFu;
    uLong b = crc32(0, nullptr, 0);
    const double t0 = now();
    for (size_t at = 0; at < data.size(); at += kWindowSize) a = crc32Update(a, data.data() + at, kWindowSize);
    const double t1 = now();
    for (size_t at = 0; at < data.size(); at += kWindowSize) t = crc32Steps(t, data.data() + at, kWindowSize, false);
    const double t2 = now();
    for (size_t at = 0; at < data.size(); at += kWindowSize) b = crc32(b, data.data() + at, kWindowSize);
    const double t3 = now();
    if (a != expectedCrc || (t ^ 0xFFFFFFFFu) != expectedCrc || b != expectedCrc) fail("CRC mismatch");
    if (t1 - t0 < bestChosen) bestChosen = t1 - t0;
    if (t2 - t1 < bestTables) bestTables = t2 - t1;
    if (t3 - t2 < bestZlib) bestZlib = t3 - t2;
  }
  printf("CRC-32 alone, 32 KiB pieces, %s build: ours %.0f MB/s (%s), ours with tables only %.0f MB/s, zlib %.0f MB/s; "
         "ratio ours/zlib %.2f\n",
         build, megabytes / bestChosen, crc32HasFolding() ? "carry-less multiplication" : "tables",
         megabytes / bestTables, megabytes / bestZlib, bestZlib / bestChosen);
#ifdef ZIMBRO_BENCH_LIBLZMA
  benchLzma(samples);
#endif
  return 0;
}
