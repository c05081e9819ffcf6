#include "inflate_referee.h"

#include <string.h>
#include <zlib.h>

#include <algorithm>

#include "tests/common/pieced_stream.h"
#include "zip/portable/inflate.h"

namespace inflate_referee {
namespace {

// ---------------------------------------------------------------------------
// Our side: memory in pieces, a zeroed window, output collected
// ---------------------------------------------------------------------------

using testing_support::PiecedRun;
using testing_support::piecedFlush;
using testing_support::piecedRefill;

int keepGoing(void*) { return 0; }

int decodeOurs(const Bytes& stream, size_t chunk, Bytes* output) {
  static uint8_t window[kWindowSize];
  // A distance that reaches before the stream's start reads the window as it
  // is; zeroed here, matching the zero dictionary given to zlib.
  memset(window, 0, sizeof window);
  PiecedRun run;
  run.stream = &stream;
  run.chunk = chunk;
  InflateState state{};
  state.input = &run.cursor;
  state.refill = piecedRefill;
  state.flush = piecedFlush;
  state.afterBlock = keepGoing;
  state.context = &run;
  state.window = window;
  const InflateResult result = decodeDeflateMember(&state);
  releaseFixedTables(&state);
  output->swap(run.output);
  return result;
}

// ---------------------------------------------------------------------------
// zlib's side
// ---------------------------------------------------------------------------

bool decodeZlib(const Bytes& stream, Bytes* output, std::string* message) {
  static const Bytes zeros(kWindowSize, 0);
  z_stream z{};
  if (inflateInit2(&z, -15) != Z_OK) return false;
  inflateSetDictionary(&z, zeros.data(), static_cast<uInt>(zeros.size()));
  output->assign(std::max<size_t>(stream.size() * 4, 4096), 0);
  z.next_in = const_cast<Bytef*>(stream.data());
  z.avail_in = static_cast<uInt>(stream.size());
  int status;
  for (;;) {
    z.next_out = output->data() + z.total_out;
    z.avail_out = static_cast<uInt>(output->size() - z.total_out);
    status = inflate(&z, Z_FINISH);
    if (status == Z_BUF_ERROR && z.avail_out == 0) {
      output->resize(output->size() * 2);
      continue;
    }
    break;
  }
  *message = z.msg != nullptr ? z.msg : "";
  output->resize(z.total_out);
  inflateEnd(&z);
  return status == Z_STREAM_END;
}

// zlib refuses these, our format rules accept them: up to 288 literal/length
// and 32 distance code lengths in a header, an incomplete distance code, a
// code-length code of one single one-bit code, and a repeat code 16 as the
// first code length (it repeats length 0).
bool excusable(const std::string& zlibMessage) {
  static const char* const kMessages[] = {"too many length or distance symbols", "invalid distances set",
                                          "invalid code lengths set", "invalid bit length repeat"};
  for (const char* m : kMessages) {
    if (zlibMessage == m) return true;
  }
  return false;
}

// ---------------------------------------------------------------------------
// Data for the seed streams
// ---------------------------------------------------------------------------

Bytes makeData(std::mt19937& random, size_t size) {
  static const char* const kWords[] = {"the ", "archive ", "member ", "window ", "0123 ", "code\n", "zimbro "};
  Bytes data;
  const unsigned kind = random() % 4;
  while (data.size() < size) {
    switch (kind) {
      case 0: {
        const char* w = kWords[random() % 7];
        data.insert(data.end(), w, w + strlen(w));
        break;
      }
      case 1:
        data.push_back(static_cast<uint8_t>(random() % (1 + random() % 40)));
        break;
      case 2:
        data.insert(data.end(), 1 + random() % 300, static_cast<uint8_t>(random() % 3));
        break;
      default:
        data.push_back(static_cast<uint8_t>(random()));
    }
  }
  data.resize(size);
  return data;
}

Bytes zlibCompress(const Bytes& data, int level, int strategy) {
  z_stream z{};
  deflateInit2(&z, level, Z_DEFLATED, -15, 8, strategy);
  Bytes out(deflateBound(&z, data.size()) + 16);
  z.next_in = const_cast<Bytef*>(data.data());
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

}  // namespace

Judgement judge(const Bytes& stream, size_t chunk) {
  Bytes ours, theirs;
  std::string message;
  const int result = decodeOurs(stream, chunk, &ours);
  const bool zlibOk = decodeZlib(stream, &theirs, &message);
  Judgement j{Verdict::kAgree, result == 0, zlibOk, ""};
  if (j.oursDecoded && j.zlibDecoded) {
    if (ours != theirs) {
      j.verdict = Verdict::kDisagree;
      j.detail = "different output: ours " + std::to_string(ours.size()) + " bytes, zlib " +
                 std::to_string(theirs.size());
    }
  } else if (j.oursDecoded != j.zlibDecoded) {
    if (j.oursDecoded && excusable(message)) {
      j.verdict = Verdict::kExcused;
    } else {
      j.verdict = Verdict::kDisagree;
      j.detail = j.oursDecoded ? "zlib refuses (" + message + "), ours decodes"
                               : "ours refuses with result " + std::to_string(result) + ", zlib decodes";
    }
  }
  return j;
}

StreamSource::StreamSource(uint32_t seed) : random_(seed) {
  static const int kStrategies[] = {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED};
  for (int i = 0; i < 48; ++i) {
    const size_t size = i < 4 ? i : 16 + random_() % (i < 40 ? 6000 : 70000);
    const Bytes data = makeData(random_, size);
    seeds_.push_back(zlibCompress(data, static_cast<int>(random_() % 10), kStrategies[random_() % 5]));
  }
}

size_t StreamSource::chunkFor() {
  const uint32_t r = random_() % 8;
  if (r < 5) return 8192;
  if (r < 7) return 1 + random_() % 512;
  return 1 + random_() % 8;
}

Bytes StreamSource::next() {
  std::mt19937& r = random_;
  Bytes s = seeds_[r() % seeds_.size()];
  const unsigned kind = r() % 8;
  if (s.empty() && kind != 5) return s;
  switch (kind) {
    case 0: {  // a few flipped bits anywhere
      for (unsigned n = 1 + r() % 4; n != 0; --n) s[r() % s.size()] ^= static_cast<uint8_t>(1u << (r() % 8));
      break;
    }
    case 1: {  // overwritten bytes
      for (unsigned n = 1 + r() % 3; n != 0; --n) s[r() % s.size()] = static_cast<uint8_t>(r());
      break;
    }
    case 2:  // cut short
      s.resize(r() % s.size());
      break;
    case 3: {  // a range removed, or repeated
      const size_t at = r() % s.size();
      const size_t n = std::min<size_t>(1 + r() % 64, s.size() - at);
      if (r() % 2) s.erase(s.begin() + at, s.begin() + at + n);
      else s.insert(s.begin() + at, s.begin() + at, s.begin() + at + n);
      break;
    }
    case 4: {  // the start of one stream, the rest of another
      const Bytes& other = seeds_[r() % seeds_.size()];
      s.resize(r() % s.size());
      if (!other.empty()) s.insert(s.end(), other.begin() + r() % other.size(), other.end());
      break;
    }
    case 5: {  // noise
      s.resize(1 + r() % 400);
      for (auto& b : s) b = static_cast<uint8_t>(r());
      break;
    }
    case 6: {  // the block header and its code lengths scrambled
      const size_t span = std::min<size_t>(s.size(), 40);
      for (unsigned n = 1 + r() % 3; n != 0; --n) s[r() % span] ^= static_cast<uint8_t>(1u << (r() % 8));
      break;
    }
    default:  // intact
      break;
  }
  return s;
}

}  // namespace inflate_referee
