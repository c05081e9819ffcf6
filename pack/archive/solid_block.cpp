#include "pack/archive/solid_block.h"

#include <lzma.h>

#include <algorithm>
#include <new>
#include <string>

#include "pack/archive/lzma_member.h"
#include "pack/common/file_reader.h"
#include "pack/common/pack_error.h"
#include "support/portable/crc32.h"

namespace {

const uint64_t kReadSize = 1u << 20;
const size_t kOutputStep = 1u << 20;

// liblzma's strongest search, as measured against other compressors'
// strongest settings on program files, headers and text: preset 9 with
// its extreme variant (the longest matches, the deepest match finder).
const uint32_t kSolidPreset = 9 | LZMA_PRESET_EXTREME;

struct Encoding {
  lzma_options_lzma options;
  lzma_filter filters[2];
};

void PrepareEncoding(uint64_t blockSize, const SolidSettings& settings, Encoding* e) {
  if (lzma_lzma_preset(&e->options, kSolidPreset)) throw InternalError("liblzma has no preset 9e");
  e->options.dict_size = SolidDictionarySize(blockSize, settings);
  e->filters[0] = {LZMA_FILTER_LZMA1, &e->options};
  e->filters[1] = {LZMA_VLI_UNKNOWN, nullptr};
}

[[noreturn]] void Failed(lzma_ret result) {
  if (result == LZMA_MEM_ERROR) throw std::bad_alloc();
  throw InternalError("liblzma's encoder failed (" + std::to_string(static_cast<int>(result)) + ")");
}

struct Encoder {
  lzma_stream stream = LZMA_STREAM_INIT;
  ~Encoder() { lzma_end(&stream); }
};

// Runs the encoder over bytes (or to the end of the stream), growing out.
void Encode(lzma_stream* s, const uint8_t* bytes, size_t count, bool last, std::vector<uint8_t>* out) {
  s->next_in = bytes;
  s->avail_in = count;
  for (;;) {
    size_t used = out->size();
    out->resize(used + kOutputStep);
    s->next_out = out->data() + used;
    s->avail_out = kOutputStep;
    const lzma_ret result = lzma_code(s, last ? LZMA_FINISH : LZMA_RUN);
    out->resize(out->size() - s->avail_out);
    if (result == LZMA_STREAM_END) return;
    if (result != LZMA_OK) Failed(result);
    if (!last && s->avail_in == 0) return;
  }
}

}  // namespace

bool InSolidBlock(const InputMember& m, const SolidSettings& settings) {
  return !m.folder && m.size > 0 && m.size <= settings.blockSize;
}

std::vector<InputMember> SolidOrder(std::vector<InputMember> members, const SolidSettings& settings) {
  std::stable_partition(members.begin(), members.end(),
                        [&](const InputMember& m) { return !InSolidBlock(m, settings); });
  return members;
}

std::vector<SolidBlockPlan> PlanSolidBlocks(const std::vector<InputMember>& members, const SolidSettings& settings) {
  std::vector<SolidBlockPlan> blocks;
  bool open = false;  // the last block may take the next member
  for (size_t i = 0; i < members.size(); ++i) {
    const InputMember& m = members[i];
    if (!InSolidBlock(m, settings)) {
      open = false;
      continue;
    }
    if (!open || blocks.back().size + m.size > settings.blockSize) {
      blocks.push_back({i, 0, 0});
      open = true;
    }
    blocks.back().count++;
    blocks.back().size += m.size;
  }
  return blocks;
}

uint32_t SolidDictionarySize(uint64_t blockSize, const SolidSettings& settings) {
  const uint64_t rounded = (blockSize + 4095) / 4096 * 4096;
  return static_cast<uint32_t>(std::clamp<uint64_t>(rounded, LZMA_DICT_SIZE_MIN, settings.dictionarySize));
}

uint64_t SolidEncoderMemory(uint64_t blockSize, const SolidSettings& settings) {
  Encoding e;
  PrepareEncoding(blockSize, settings, &e);
  const uint64_t memory = lzma_raw_encoder_memusage(e.filters);
  return memory == UINT64_MAX ? uint64_t{1} << 32 : memory;
}

PackedBlock CompressSolidBlock(const std::vector<InputMember>& members, const SolidBlockPlan& block,
                               const SolidSettings& settings) {
  Encoding e;
  PrepareEncoding(block.size, settings, &e);
  PackedBlock packed;
  // Method 14's frame: the encoder's version (which readers skip), the
  // properties' size, the properties.
  packed.bytes = {LZMA_VERSION_MAJOR, LZMA_VERSION_MINOR, 5, 0, 0, 0, 0, 0, 0};
  if (lzma_properties_encode(&e.filters[0], packed.bytes.data() + 4) != LZMA_OK) {
    throw InternalError("liblzma cannot encode the properties of its own preset");
  }
  Encoder encoder;
  const lzma_ret started = lzma_raw_encoder(&encoder.stream, e.filters);
  if (started != LZMA_OK) Failed(started);
  for (size_t i = block.first; i < block.first + block.count; ++i) {
    const InputMember& m = members[i];
    const FileReader source(m.source);
    if (source.size() != m.size) {
      throw PathError(m.source, "changed while it was being packed: nothing written, pack again");
    }
    uint32_t crc = 0;
    for (uint64_t at = 0; at < m.size; at += kReadSize) {
      const std::vector<uint8_t> bytes = source.Read(at, std::min(kReadSize, m.size - at));
      crc = crc32Update(crc, bytes.data(), bytes.size());
      Encode(&encoder.stream, bytes.data(), bytes.size(), false, &packed.bytes);
    }
    packed.crcs.push_back(crc);
  }
  Encode(&encoder.stream, nullptr, 0, true, &packed.bytes);
  packed.bytes.shrink_to_fit();
  return packed;
}
