// Decoder speed against zlib, in one process.
//
// Generates 64 MiB of mixed text and binary from a fixed seed, compresses it
// once with zlib (level 6, raw Deflate), then decodes it again and again:
// with our decoder plus our CRC-32, fed like the extraction engine feeds it
// (8192-byte input buffer, 32 KiB window handed to a flush that updates the
// CRC), and with zlib's inflate plus zlib's crc32 (all input at once, 32 KiB
// output buffer, the CRC of every piece). Each side is timed with
// QueryPerformanceCounter; the best of three runs counts. Prints MB/s of
// decoded output for both and the ratio ours/zlib. Not a test: the figures
// depend on the machine and its load.
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <windows.h>
#include <zlib.h>

#include <vector>

#include "support/crc32.h"
#include "zip/inflate.h"

namespace {

using Bytes = std::vector<uint8_t>;

const size_t kDataSize = 64u * 1024 * 1024;
const size_t kInputBuffer = 8192;
const int kRuns = 5;

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

// Pieces of prose-like text, program-like binary (records, small integers,
// code-like byte patterns), runs and a little noise, the mix an installer
// usually carries.
Bytes makeData() {
  static const char* const kWords[] = {
      "archive", "member",  "window", "block",   "length",  "distance", "literal", "code",
      "table",   "header",  "folder", "file",    "time",    "attribute", "stream", "buffer",
      "offset",  "setup",   "install", "program", "the",     "of",       "and",     "to",
      "a",       "is",      "for",    "with",    "version", "license",  "user",    "system"};
  Random random{1951};
  Bytes data;
  data.reserve(kDataSize + 4096);
  char line[256];
  while (data.size() < kDataSize) {
    const uint32_t kind = random.below(10);
    const size_t piece = 2048 + random.below(60000);
    const size_t end = data.size() + piece;
    if (kind < 5) {  // text lines
      while (data.size() < end) {
        int n = snprintf(line, sizeof line, "%07u ", static_cast<unsigned>(data.size() % 9999991));
        const uint32_t words = 4 + random.below(10);
        for (uint32_t w = 0; w < words; ++w) {
          n += snprintf(line + n, sizeof line - n, "%s ", kWords[random.below(32)]);
        }
        line[n - 1] = '\n';
        data.insert(data.end(), line, line + n);
      }
    } else if (kind < 8) {  // structured binary
      uint32_t base = random.next();
      while (data.size() < end) {
        const uint32_t record[4] = {base + static_cast<uint32_t>(data.size() & 0xFFF0), random.below(256),
                                    0x00401000u + random.below(64) * 16, kind == 5 ? 0u : random.below(3)};
        const uint8_t* p = reinterpret_cast<const uint8_t*>(record);
        data.insert(data.end(), p, p + (kind == 7 ? 12 : 16));
        if (random.below(16) == 0) base = random.next();
      }
    } else if (kind == 8) {  // runs
      while (data.size() < end) data.insert(data.end(), 1 + random.below(300), static_cast<uint8_t>(random.below(4)));
    } else {  // noise, shorter
      for (size_t i = 0; i < piece / 8; ++i) data.push_back(static_cast<uint8_t>(random.next()));
    }
  }
  data.resize(kDataSize);
  return data;
}

Bytes compress(const Bytes& data) {
  z_stream z{};
  deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  Bytes out(deflateBound(&z, data.size()));
  z.next_in = const_cast<Bytef*>(data.data());
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  if (deflate(&z, Z_FINISH) != Z_STREAM_END) {
    fprintf(stderr, "compression failed\n");
    ExitProcess(1);
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
  side->crc = crc32Update(side->crc, window, count);
  side->produced += count;
  return 0;
}

int noStop(void*) { return 0; }

uint8_t window[kWindowSize];

bool decodeOurs(const Bytes& compressed, InflateState* state, uint32_t* crc, uint64_t* produced) {
  OurSide side{{nullptr, 0}, &compressed, 0, 0, 0};
  state->input = &side.cursor;
  state->refill = refill;
  state->flush = flushWindow;
  state->afterBlock = noStop;
  state->context = &side;
  state->window = window;
  const int result = decodeDeflateMember(state);
  *crc = side.crc;
  *produced = side.produced;
  return result == 0;
}

uint8_t zlibOutput[kWindowSize];

bool decodeZlib(const Bytes& compressed, uint32_t* crc, uint64_t* produced) {
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
    c = crc32(c, zlibOutput, n);
    total += n;
  } while (status != Z_STREAM_END);
  inflateEnd(&z);
  *crc = static_cast<uint32_t>(c);
  *produced = total;
  return status == Z_STREAM_END;
}

double seconds(LARGE_INTEGER start, LARGE_INTEGER end, LARGE_INTEGER frequency) {
  return static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
}

}  // namespace

int main() {
  setvbuf(stdout, nullptr, _IONBF, 0);
  const Bytes data = makeData();
  const uint32_t expectedCrc = crc32Update(0, data.data(), data.size());
  const Bytes compressed = compress(data);
  printf("data %.1f MiB, compressed by zlib level 6 to %.1f MiB (%.1f%%)\n", data.size() / 1048576.0,
         compressed.size() / 1048576.0, 100.0 * compressed.size() / data.size());

  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  InflateState state{};
  double bestOurs = 1e30;
  double bestZlib = 1e30;
  for (int run = 0; run < kRuns; ++run) {
    LARGE_INTEGER t0, t1, t2;
    uint32_t crcOurs, crcZlib;
    uint64_t producedOurs, producedZlib;
    QueryPerformanceCounter(&t0);
    const bool okOurs = decodeOurs(compressed, &state, &crcOurs, &producedOurs);
    QueryPerformanceCounter(&t1);
    const bool okZlib = decodeZlib(compressed, &crcZlib, &producedZlib);
    QueryPerformanceCounter(&t2);
    if (!okOurs || crcOurs != expectedCrc || producedOurs != data.size()) {
      printf("our decoder failed (result %d, %llu bytes, crc %08x, expected %08x)\n", okOurs ? 0 : 1,
             static_cast<unsigned long long>(producedOurs), crcOurs, expectedCrc);
      return 1;
    }
    if (!okZlib || crcZlib != expectedCrc || producedZlib != data.size()) {
      printf("zlib failed\n");
      return 1;
    }
    const double ours = seconds(t0, t1, frequency);
    const double theirs = seconds(t1, t2, frequency);
    printf("run %d: ours %.3f s, zlib %.3f s\n", run + 1, ours, theirs);
    if (ours < bestOurs) bestOurs = ours;
    if (theirs < bestZlib) bestZlib = theirs;
  }
  releaseFixedTables(&state);

  // The CRC alone, over the same bytes in window-sized pieces, to show how
  // the time splits between decoding and checking.
  double bestCrcOurs = 1e30;
  double bestCrcZlib = 1e30;
  for (int run = 0; run < kRuns; ++run) {
    LARGE_INTEGER t0, t1, t2;
    uint32_t a = 0;
    uLong b = crc32(0, nullptr, 0);
    QueryPerformanceCounter(&t0);
    for (size_t at = 0; at < data.size(); at += kWindowSize) a = crc32Update(a, data.data() + at, kWindowSize);
    QueryPerformanceCounter(&t1);
    for (size_t at = 0; at < data.size(); at += kWindowSize) b = crc32(b, data.data() + at, kWindowSize);
    QueryPerformanceCounter(&t2);
    if (a != expectedCrc || b != expectedCrc) {
      printf("CRC mismatch\n");
      return 1;
    }
    const double ours = seconds(t0, t1, frequency);
    const double theirs = seconds(t1, t2, frequency);
    if (ours < bestCrcOurs) bestCrcOurs = ours;
    if (theirs < bestCrcZlib) bestCrcZlib = theirs;
  }

  const double megabytes = data.size() / 1e6;
  const double oursRate = megabytes / bestOurs;
  const double zlibRate = megabytes / bestZlib;
  // Figures of the i686 and the x86-64 build are not comparable: say which.
  printf("decoder + CRC-32, %s build, best of %d:\n", sizeof(void*) == 8 ? "x86-64" : "i686", kRuns);
  printf("  ours  %8.1f MB/s\n", oursRate);
  printf("  zlib  %8.1f MB/s  (zlib %s)\n", zlibRate, zlibVersion());
  printf("  ratio ours/zlib %.2f\n", oursRate / zlibRate);
  printf("CRC-32 alone, 32 KiB pieces, best of %d: ours %.0f MB/s, zlib %.0f MB/s\n", kRuns,
         megabytes / bestCrcOurs, megabytes / bestCrcZlib);
  printf("decoding alone (total minus CRC): ours %.0f MB/s, zlib %.0f MB/s\n",
         megabytes / (bestOurs - bestCrcOurs), megabytes / (bestZlib - bestCrcZlib));
  return 0;
}
