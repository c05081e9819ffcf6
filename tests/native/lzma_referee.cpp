#include "lzma_referee.h"

#include <lzma.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>

#include "tests/common/pieced_stream.h"
#include "zip/portable/lzma_decoder.h"

namespace lzma_referee {
namespace {

uint32_t readLe32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

void putLe(uint8_t* p, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) p[i] = static_cast<uint8_t>(value >> (8 * i));
}

// ---------------------------------------------------------------------------
// Our side: the stream in pieces, the output asked for in pieces, every
// buffer exactly as large as the engine makes it (so that the address
// sanitizer sees a write past it)
// ---------------------------------------------------------------------------

using testing_support::PiecedRun;
using testing_support::piecedFlush;
using testing_support::piecedRefill;

int keepGoing(void*) { return 0; }

struct Outcome {
  bool decoded = false;
  Bytes output;
  size_t consumed = 0;  // input bytes the decoder used, when it decoded
  std::string note;     // how it failed, or a broken promise of the interface
};

// `dictionaryFloor` 0: the dictionary the engine gives (the properties' size,
// no larger than the output, at least the format's smallest); otherwise at
// least this much.
Outcome decodeOurs(const Case& c, size_t chunk, uint32_t pieces, uint64_t dictionaryFloor) {
  Outcome outcome;
  LzmaProperties properties;
  if (parseLzmaProperties(c.properties, &properties) != kLzmaPropertiesOk) {
    outcome.note = "bad properties";
    return outcome;
  }
  uint64_t bytes = std::min<uint64_t>(properties.dictionarySize, c.size);
  bytes = std::max<uint64_t>(bytes, std::max<uint64_t>(dictionaryFloor, kLzmaSmallestDictionary));
  std::vector<uint8_t> dictionary(bytes);
  std::vector<uint16_t> probabilities(lzmaProbabilityCount(&properties));
  PiecedRun run;
  run.stream = &c.stream;
  run.chunk = chunk;
  LzmaState state{};
  state.input = &run.cursor;
  state.refill = piecedRefill;
  state.flush = piecedFlush;
  state.afterChunk = keepGoing;
  state.context = &run;
  state.dictionary = dictionary.data();
  state.dictionaryBytes = static_cast<uint32_t>(bytes);
  state.probabilities = probabilities.data();
  lzmaStart(&state, &properties);

  std::mt19937 random(pieces);
  uint64_t left = c.size;
  LzmaResult result = kLzmaSizeReached;
  while (left != 0 && result == kLzmaSizeReached) {
    const uint32_t r = random() % 4;
    uint64_t piece = left;
    if (r == 1) piece = 1 + random() % std::min<uint64_t>(left, 300);
    if (r == 2) piece = 1 + random() % std::min<uint64_t>(left, 100000);
    result = lzmaDecode(&state, piece);
    if (result == kLzmaSizeReached) left -= piece;
  }
  if (result == kLzmaSizeReached) result = lzmaFinish(&state, c.ending == Ending::kMarker);
  if (run.output.size() > c.size) outcome.note = "more output than asked for";
  else if (run.largestFlush > kLzmaChunk) outcome.note = "a flush larger than kLzmaChunk";
  outcome.decoded = result == kLzmaStreamEnd && run.output.size() == c.size && outcome.note.empty();
  if (outcome.note.empty() && !outcome.decoded) outcome.note = "result " + std::to_string(result);
  const size_t unread = run.cursor.unread > 0 ? static_cast<size_t>(run.cursor.unread) : 0;
  outcome.consumed = run.offset - unread - state.keptBack;
  outcome.output.swap(run.output);
  return outcome;
}

// ---------------------------------------------------------------------------
// liblzma's side: the end marker through the raw LZMA1 decoder, the declared
// size through the .lzma decoder, whose header carries it
// ---------------------------------------------------------------------------

Outcome decodeLiblzma(const Case& c) {
  Outcome outcome;
  lzma_stream z = LZMA_STREAM_INIT;
  Bytes input;
  lzma_filter filters[2] = {{LZMA_FILTER_LZMA1, nullptr}, {LZMA_VLI_UNKNOWN, nullptr}};
  size_t header = 0;
  if (c.ending == Ending::kMarker) {
    if (lzma_properties_decode(&filters[0], nullptr, c.properties, 5) != LZMA_OK) {
      outcome.note = "properties refused";
      return outcome;
    }
    const lzma_ret init = lzma_raw_decoder(&z, filters);
    free(filters[0].options);
    if (init != LZMA_OK) {
      outcome.note = "decoder refused";
      return outcome;
    }
    input = c.stream;
  } else {
    if (lzma_alone_decoder(&z, UINT64_MAX) != LZMA_OK) {
      outcome.note = "decoder refused";
      return outcome;
    }
    header = 13;
    input.resize(header);
    memcpy(input.data(), c.properties, 5);
    putLe(input.data() + 5, c.size, 8);
    input.insert(input.end(), c.stream.begin(), c.stream.end());
  }
  // One byte more than declared: a stream that goes on shows itself.
  outcome.output.resize(c.size + 1);
  z.next_in = input.data();
  z.avail_in = input.size();
  z.next_out = outcome.output.data();
  z.avail_out = outcome.output.size();
  const lzma_ret ret = lzma_code(&z, LZMA_FINISH);
  outcome.output.resize(z.total_out);
  outcome.decoded = ret == LZMA_STREAM_END && z.total_out == c.size;
  outcome.consumed = z.total_in >= header ? z.total_in - header : 0;
  if (!outcome.decoded) outcome.note = "lzma_ret " + std::to_string(ret) + ", " + std::to_string(z.total_out) + " bytes";
  lzma_end(&z);
  return outcome;
}

// ---------------------------------------------------------------------------
// Seed streams
// ---------------------------------------------------------------------------

Bytes makeData(std::mt19937& random, size_t size) {
  static const char* const kWords[] = {"the ", "archive ", "member ", "window ", "0123 ", "code\n", "zimbro ",
                                       "dictionary ", "literal ", "match "};
  Bytes data;
  const unsigned kind = random() % 6;
  while (data.size() < size) {
    switch (kind == 5 ? random() % 5 : kind) {
      case 0: {
        const char* w = kWords[random() % 10];
        data.insert(data.end(), w, w + strlen(w));
        break;
      }
      case 1:  // a small alphabet, skewed
        data.push_back(static_cast<uint8_t>(random() % (1 + random() % 40)));
        break;
      case 2:  // runs
        data.insert(data.end(), 1 + random() % 300, static_cast<uint8_t>(random() % 3));
        break;
      case 3: {  // records that repeat from near and far, some past a small dictionary
        const size_t back = std::min<size_t>(data.size(), 1 + random() % 20000);
        const size_t n = std::min<size_t>(back, 4 + random() % 200);
        if (back == 0) {
          data.push_back(static_cast<uint8_t>(random()));
        } else {
          const size_t from = data.size() - back;
          for (size_t i = 0; i < n; ++i) data.push_back(data[from + i]);
          data.push_back(static_cast<uint8_t>(random()));
        }
        break;
      }
      default:
        data.push_back(static_cast<uint8_t>(random()));
    }
  }
  data.resize(size);
  return data;
}

lzma_options_lzma encoderOptions(std::mt19937& random, uint32_t lc, uint32_t lp, uint32_t pb, uint32_t dictionary) {
  static const lzma_match_finder kFinders[] = {LZMA_MF_HC3, LZMA_MF_HC4, LZMA_MF_BT2, LZMA_MF_BT3, LZMA_MF_BT4};
  lzma_options_lzma options;
  lzma_lzma_preset(&options, random() % 10);
  options.lc = lc;
  options.lp = lp;
  options.pb = pb;
  options.dict_size = dictionary;
  if (random() % 2) {
    options.mode = random() % 2 ? LZMA_MODE_FAST : LZMA_MODE_NORMAL;
    options.mf = kFinders[random() % 5];
    options.nice_len = 8 + random() % 266;
  }
  return options;
}

bool encode(const Bytes& data, lzma_vli filter, lzma_options_lzma* options, Bytes* out) {
  lzma_filter filters[2] = {{filter, options}, {LZMA_VLI_UNKNOWN, nullptr}};
  lzma_stream z = LZMA_STREAM_INIT;
  if (lzma_raw_encoder(&z, filters) != LZMA_OK) return false;
  out->resize(data.size() + data.size() / 2 + 1024);
  z.next_in = data.data();
  z.avail_in = data.size();
  z.next_out = out->data();
  z.avail_out = out->size();
  const lzma_ret ret = lzma_code(&z, LZMA_FINISH);
  out->resize(z.total_out);
  lzma_end(&z);
  return ret == LZMA_STREAM_END;
}

// A seed without the end marker: the first chunk of a raw LZMA2 stream, when
// it is an LZMA chunk that resets the dictionary and sets the properties.
// Its data is a whole LZMA stream of its own, ending at its unpacked size
// with no marker. Its header: the control byte (0xE0 and bits 16-20 of the
// unpacked size less one), the unpacked size less one (its low 16 bits, big
// endian), the packed size less one (big endian), the properties byte.
bool firstLzma2Chunk(const Bytes& lzma2, Bytes* stream, uint64_t* unpacked) {
  if (lzma2.size() < 6 || lzma2[0] < 0xE0) return false;
  *unpacked = ((static_cast<uint64_t>(lzma2[0] & 0x1F) << 16) | (lzma2[1] << 8) | lzma2[2]) + 1;
  const size_t packed = ((static_cast<size_t>(lzma2[3]) << 8) | lzma2[4]) + 1;
  if (6 + packed > lzma2.size()) return false;
  stream->assign(lzma2.begin() + 6, lzma2.begin() + 6 + packed);
  return true;
}

Case makeSeed(std::mt19937& random, size_t size) {
  static const uint32_t kDictionaries[] = {4096, 4096 + 1000, 12345, 1u << 16, 1u << 20, 3u << 20};
  Case c;
  c.original = makeData(random, size);
  const uint32_t lc = random() % 5;
  const uint32_t lp = random() % (5 - lc);
  const uint32_t pb = random() % 5;
  const uint32_t dictionary = kDictionaries[random() % 6];
  lzma_options_lzma options = encoderOptions(random, lc, lp, pb, dictionary);
  c.properties[0] = static_cast<uint8_t>(lc + 9 * (lp + 5 * pb));
  putLe(c.properties + 1, dictionary, 4);
  c.intact = true;
  Bytes packed;
  if (!c.original.empty() && random() % 2) {
    // The declared size only: the data up to the first chunk's end.
    uint64_t unpacked = 0;
    if (encode(c.original, LZMA_FILTER_LZMA2, &options, &packed) && firstLzma2Chunk(packed, &c.stream, &unpacked)) {
      c.original.resize(unpacked);
      c.size = unpacked;
      c.ending = Ending::kSize;
      return c;
    }
  }
  encode(c.original, LZMA_FILTER_LZMA1, &options, &c.stream);
  c.size = c.original.size();
  c.ending = Ending::kMarker;
  return c;
}

}  // namespace

// What must agree. On success: the output, and the input byte after the
// stream's last (the next member starts there). On failure only that both
// failed: how much output came before the error differs by design - ours
// hands out whole chunks of up to kLzmaChunk bytes, liblzma what its buffer
// took - and the engine throws a failed member's output away either way.
// Ours must never produce more than it was asked for, nor a flush larger
// than kLzmaChunk, whatever the stream.
Judgement judge(const Case& c, size_t chunk, uint32_t pieces) {
  const Outcome ours = decodeOurs(c, chunk, pieces, 0);
  const Outcome theirs = decodeLiblzma(c);
  Judgement j{Verdict::kAgree, ours.decoded, theirs.decoded, ""};
  if (c.intact && !(ours.decoded && ours.output == c.original)) {
    j.verdict = Verdict::kDisagree;
    j.detail = "an intact stream does not come out whole (" + ours.note + ")";
  } else if (ours.note.find("than") != std::string::npos) {
    j.verdict = Verdict::kDisagree;
    j.detail = ours.note;
  } else if (ours.decoded && theirs.decoded) {
    if (ours.output != theirs.output) {
      j.verdict = Verdict::kDisagree;
      j.detail = "different output";
    } else if (ours.consumed != theirs.consumed) {
      j.verdict = Verdict::kDisagree;
      j.detail = "the stream ends at input byte " + std::to_string(ours.consumed) + " for ours, " +
                 std::to_string(theirs.consumed) + " for liblzma";
    }
  } else if (ours.decoded != theirs.decoded) {
    j.verdict = Verdict::kDisagree;
    j.detail = ours.decoded ? "liblzma refuses (" + theirs.note + "), ours decodes"
                            : "ours refuses (" + ours.note + "), liblzma decodes";
  }
  return j;
}

CaseSource::CaseSource(uint32_t seed) : random_(seed) {
  for (int i = 0; i < 64; ++i) {
    const size_t size = i < 4 ? i : 16 + random_() % (i < 48 ? 9000 : 150000);
    seeds_.push_back(makeSeed(random_, size));
  }
}

size_t CaseSource::chunkFor() {
  const uint32_t r = random_() % 8;
  if (r < 5) return 8192;
  if (r < 7) return 1 + random_() % 512;
  return 1 + random_() % 8;
}

uint32_t CaseSource::piecesFor() { return random_(); }

Case CaseSource::next() {
  std::mt19937& r = random_;
  Case c = seeds_[r() % seeds_.size()];
  const unsigned kind = r() % 9;
  if (kind == 8) return c;  // intact
  c.intact = false;
  c.original.clear();
  Bytes& s = c.stream;
  switch (s.empty() && kind != 6 ? 7 : kind) {
    case 0:  // a few flipped bits anywhere
      for (unsigned n = 1 + r() % 4; n != 0; --n) s[r() % s.size()] ^= static_cast<uint8_t>(1u << (r() % 8));
      break;
    case 1:  // overwritten bytes
      for (unsigned n = 1 + r() % 3; n != 0; --n) s[r() % s.size()] = static_cast<uint8_t>(r());
      break;
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
    case 4: {  // random bytes inserted
      const size_t at = r() % (s.size() + 1);
      for (unsigned n = 1 + r() % 8; n != 0; --n) s.insert(s.begin() + at, static_cast<uint8_t>(r()));
      break;
    }
    case 5:  // a wrong declared size, the other ending, or both
      if (r() % 3 != 0) {
        const uint64_t delta = 1 + r() % (r() % 2 ? 3 : 5000);
        c.size = r() % 2 || c.size < delta ? c.size + delta : c.size - delta;
      }
      if (r() % 2) c.ending = c.ending == Ending::kMarker ? Ending::kSize : Ending::kMarker;
      break;
    case 6: {  // noise, under random properties (lc + lp at most 4, as liblzma takes them)
      s.resize(1 + r() % 600);
      for (auto& b : s) b = static_cast<uint8_t>(r());
      if (r() % 4 != 0) s[0] = 0;  // else the coder's first byte is refused at once
      const uint32_t lc = r() % 5, lp = r() % (5 - lc), pb = r() % 5;
      c.properties[0] = static_cast<uint8_t>(lc + 9 * (lp + 5 * pb));
      putLe(c.properties + 1, 4096 + r() % (1u << 20), 4);
      c.size = r() % 3 == 0 ? r() % 16 : r() % 30000;
      c.ending = r() % 2 ? Ending::kMarker : Ending::kSize;
      break;
    }
    default:  // empty: left as it is
      break;
  }
  return c;
}

Bytes saveCase(const Case& c) {
  Bytes file(14);
  memcpy(file.data(), c.properties, 5);
  putLe(file.data() + 5, c.size, 8);
  file[13] = c.ending == Ending::kMarker ? 1 : 0;
  file.insert(file.end(), c.stream.begin(), c.stream.end());
  return file;
}

bool loadCase(const Bytes& file, Case* c) {
  if (file.size() < 14) return false;
  memcpy(c->properties, file.data(), 5);
  c->size = static_cast<uint64_t>(readLe32(file.data() + 5)) | (static_cast<uint64_t>(readLe32(file.data() + 9)) << 32);
  c->ending = file[13] != 0 ? Ending::kMarker : Ending::kSize;
  c->stream.assign(file.begin() + 14, file.end());
  c->original.clear();
  c->intact = false;
  return true;
}

}  // namespace lzma_referee
