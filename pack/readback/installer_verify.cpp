#include "pack/readback/installer_verify.h"

#include <libdeflate.h>

#include <stdio.h>
#include <string.h>

#include <memory>
#include <new>

#include "pack/archive/compressor.h"
#include "pack/archive/lzma_member.h"
#include "pack/common/pack_error.h"
#include "pack/archive/traditional_cipher.h"
#include "pack/common/wording.h"
#include "pack/archive/zip_records.h"
#include "pack/common/little_endian.h"
#include "pack/readback/lzma_unpack.h"
#include "pack/readback/member_check.h"
#include "pack/readback/solid_verify.h"
#include "support/portable/crc32.h"
#include "zip/portable/inflate.h"

namespace {

const uint16_t kFlagDataDescriptor = 0x0008;
// Members up to this size are inflated at once (libdeflate); larger ones
// stream through the stub's own decoder, in its 32 KiB window.
const uint64_t kWholeLimit = 64u << 20;
const uint64_t kReadBlock = 1u << 20;

struct Decompressor {
  Decompressor() : d(libdeflate_alloc_decompressor()) {
    if (d == nullptr) throw std::bad_alloc();
  }
  ~Decompressor() { libdeflate_free_decompressor(d); }
  libdeflate_decompressor* d;
};

// The member's stored bytes, read a block at a time and deciphered.
struct DataReader {
  const FileReader* file;
  uint64_t position, left;
  TraditionalCipher* cipher;  // null: not encrypted
  std::vector<uint8_t> block;

  bool Next() {
    if (left == 0) return false;
    block = file->Read(position, std::min(left, kReadBlock));
    if (block.empty()) return false;
    position += block.size();
    left -= block.size();
    if (cipher != nullptr) cipher->Decrypt(block.data(), block.size());
    return true;
  }
};

struct Streaming {
  DataReader* data;
  PlainSink* sink;
  ByteCursor cursor{nullptr, 0};
  uint64_t limit;
  bool overrun = false;
};

int RefillInput(void* context) {
  Streaming* s = static_cast<Streaming*>(context);
  if (!s->data->Next()) {
    s->cursor.unread = 0;
    return -1;
  }
  s->cursor.next = s->data->block.data();
  s->cursor.unread = static_cast<int32_t>(s->data->block.size()) - 1;
  return *s->cursor.next++;
}

int FlushWindow(void* context, const uint8_t* window, uint32_t count) {
  Streaming* s = static_cast<Streaming*>(context);
  if (s->sink->total + count > s->limit) s->overrun = true;
  if (!s->overrun) s->sink->Take(window, count);
  return 0;
}

int AfterBlock(void* context) { return static_cast<Streaming*>(context)->overrun ? 1 : 0; }

Outcome Inflated(uint64_t produced, uint64_t declared) {
  if (produced > declared) return Fail(MemberVerdict::kDamaged, "decodes to more than the " + Grouped(declared) + " bytes its header says");
  if (produced != declared) {
    return Fail(MemberVerdict::kDamaged, "decodes to " + Grouped(produced) + " bytes, its header says " + Grouped(declared));
  }
  return {};
}

Outcome InflateStreaming(DataReader* data, uint64_t declared, PlainSink* sink) {
  Streaming s{data, sink, {nullptr, 0}, declared};
  std::vector<uint8_t> window(kWindowSize);
  InflateState decoder = {};
  decoder.input = &s.cursor;
  decoder.refill = RefillInput;
  decoder.flush = FlushWindow;
  decoder.afterBlock = AfterBlock;
  decoder.context = &s;
  decoder.window = window.data();
  const InflateResult result = decodeDeflateMember(&decoder);
  releaseFixedTables(&decoder);
  if (s.overrun) return Inflated(declared + 1, declared);
  if (result != kInflateOk) return Fail(MemberVerdict::kDamaged, "its Deflate data is damaged");
  return Inflated(sink->total, declared);
}

Outcome InflateWhole(DataReader* data, uint64_t declared, libdeflate_decompressor* decompressor, PlainSink* sink) {
  std::vector<uint8_t> packed;
  while (data->Next()) packed.insert(packed.end(), data->block.begin(), data->block.end());
  std::vector<uint8_t> plain(declared);
  size_t used = 0, produced = 0;
  const libdeflate_result result = libdeflate_deflate_decompress_ex(decompressor, packed.data(), packed.size(),
                                                                    plain.data(), plain.size(), &used, &produced);
  if (result == LIBDEFLATE_INSUFFICIENT_SPACE) return Inflated(declared + 1, declared);
  if (result != LIBDEFLATE_SUCCESS) return Fail(MemberVerdict::kDamaged, "its Deflate data is damaged");
  sink->Take(plain.data(), produced);
  return Inflated(produced, declared);
}

Outcome UnpackedLzma(DataReader* data, uint64_t declared, bool endMarker, PlainSink* sink) {
  const NextBlock next = [data](const uint8_t** bytes, size_t* count) {
    if (!data->Next()) return false;
    *bytes = data->block.data();
    *count = data->block.size();
    return true;
  };
  const TakeBytes take = [sink](const uint8_t* bytes, size_t count) { sink->Take(bytes, count); };
  switch (UnpackLzma(next, declared, endMarker, take)) {
    case LzmaUnpackResult::kIntact: return {};
    case LzmaUnpackResult::kBadFrame: return Fail(MemberVerdict::kDamaged, "its LZMA header is damaged");
    case LzmaUnpackResult::kBadProperties: return Fail(MemberVerdict::kDamaged, "its LZMA properties are out of range");
    case LzmaUnpackResult::kDamaged: return Fail(MemberVerdict::kDamaged, "its LZMA data is damaged");
    case LzmaUnpackResult::kCutShort: return Fail(MemberVerdict::kDamaged, "its LZMA data ends before its stream does");
    case LzmaUnpackResult::kLonger: return Inflated(declared + 1, declared);
    case LzmaUnpackResult::kShorter: return Inflated(sink->total, declared);
    case LzmaUnpackResult::kTrailingData: return Fail(MemberVerdict::kDamaged, "holds data after its LZMA end marker");
    case LzmaUnpackResult::kNoMemory: throw std::bad_alloc();
  }
  return Fail(MemberVerdict::kDamaged, "its LZMA data is damaged");
}

Outcome Check(const FileReader& file, const ArchiveDirectory& archive, const CentralEntry& entry,
              const std::string& password, libdeflate_decompressor* decompressor, PlainSink* sink) {
  LocalHeaderFound local;
  const Outcome header = CheckLocalHeader(file, archive, entry, &local);
  if (header.verdict != MemberVerdict::kIntact) return header;
  const uint16_t flags = local.flags;
  const uint64_t dataStart = local.dataStart;

  std::unique_ptr<TraditionalCipher> cipher;
  uint64_t packedSize = entry.compressedSize;
  if (entry.encrypted()) {
    if (password.empty()) return Fail(MemberVerdict::kNotTested, "encrypted: give --password to test it");
    if (packedSize < kEncryptionHeaderSize) return Fail(MemberVerdict::kDamaged, "shorter than its encryption header");
    cipher = std::make_unique<TraditionalCipher>(password);
    std::vector<uint8_t> head = file.Read(dataStart, kEncryptionHeaderSize);
    cipher->Decrypt(head.data(), head.size());
    const uint8_t check = static_cast<uint8_t>((flags & kFlagDataDescriptor) ? entry.time >> 8 : entry.crc >> 24);
    if (head[kEncryptionHeaderSize - 1] != check) {
      return Fail(MemberVerdict::kDamaged, "the password does not open it (or its encryption header is damaged)");
    }
    packedSize -= kEncryptionHeaderSize;
  }
  DataReader data{&file, dataStart + entry.compressedSize - packedSize, packedSize, cipher.get(), {}};

  Outcome outcome;
  if (entry.method == kMethodStored) {
    if (packedSize != entry.size) {
      return Fail(MemberVerdict::kDamaged, "stored with " + Grouped(packedSize) + " bytes, its header says " +
                                               Grouped(entry.size));
    }
    while (data.Next()) sink->Take(data.block.data(), data.block.size());
  } else if (entry.method == kMethodDeflate) {
    outcome = entry.size <= kWholeLimit && packedSize <= kWholeLimit ? InflateWhole(&data, entry.size, decompressor, sink)
                                                                    : InflateStreaming(&data, entry.size, sink);
    if (outcome.verdict != MemberVerdict::kIntact) return outcome;
  } else if (entry.method == kMethodLzma) {
    if ((flags ^ entry.flags) & kFlagLzmaEndMarker) {
      return Fail(MemberVerdict::kDamaged, "its two headers disagree on the LZMA end marker");
    }
    outcome = UnpackedLzma(&data, entry.size, (entry.flags & kFlagLzmaEndMarker) != 0, sink);
    if (outcome.verdict != MemberVerdict::kIntact) return outcome;
  } else {
    return Fail(MemberVerdict::kDamaged, "method " + std::to_string(entry.method) + ", which the stub cannot extract");
  }
  if (sink->crc != entry.crc) {
    return Fail(MemberVerdict::kDamaged, "its data has CRC " + Hex(sink->crc) + ", its header says " + Hex(entry.crc));
  }
  return outcome;
}

}  // namespace

std::vector<MemberProblem> VerifyMembers(const FileReader& file, const ArchiveDirectory& archive,
                                         const std::string& password, const SourcePath& source) {
  Decompressor decompressor;
  std::vector<MemberProblem> problems;
  for (size_t k = 0; k < archive.entries.size();) {
    const CentralEntry& entry = archive.entries[k];
    if (entry.method == kMethodSolidLzma) {
      k = VerifySolidRun(file, archive, k, source, &problems);
      continue;
    }
    const std::unique_ptr<PlainSink> sink = SinkFor(source, k);
    const Outcome outcome = Concluded(entry, *sink, Check(file, archive, entry, password, decompressor.d, sink.get()));
    if (outcome.verdict != MemberVerdict::kIntact) problems.push_back({k, outcome.verdict, outcome.what});
    ++k;
  }
  return problems;
}
