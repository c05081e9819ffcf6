#include "pack/readback/installer_verify.h"

#include <libdeflate.h>

#include <stdio.h>
#include <string.h>

#include <memory>
#include <new>

#include "pack/archive/aes_member.h"
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

// The member's stored bytes, read a block at a time and deciphered by one
// of the ciphers (or none).
struct DataReader {
  const FileReader* file;
  uint64_t position, left;
  TraditionalCipher* cipher;
  AesMemberCipher* aes;
  std::vector<uint8_t> block;

  bool Next() {
    if (left == 0) return false;
    block = file->Read(position, std::min(left, kReadBlock));
    if (block.empty()) return false;
    position += block.size();
    left -= block.size();
    if (cipher != nullptr) cipher->Decrypt(block.data(), block.size());
    if (aes != nullptr) aes->Decrypt(block.data(), block.size());
    return true;
  }
  // What the decoder left unread, so that the authentication code covers
  // all of the encrypted data.
  void Drain() {
    while (Next()) {
    }
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

// The plain bytes of the member's data, by its compression method, into sink.
Outcome Decode(uint16_t method, const CentralEntry& entry, uint16_t localFlags, uint64_t packedSize, DataReader* data,
               libdeflate_decompressor* decompressor, PlainSink* sink) {
  if (method == kMethodStored) {
    if (packedSize != entry.size) {
      return Fail(MemberVerdict::kDamaged, "stored with " + Grouped(packedSize) + " bytes, its header says " +
                                               Grouped(entry.size));
    }
    while (data->Next()) sink->Take(data->block.data(), data->block.size());
    return {};
  }
  if (method == kMethodDeflate) {
    return entry.size <= kWholeLimit && packedSize <= kWholeLimit ? InflateWhole(data, entry.size, decompressor, sink)
                                                                 : InflateStreaming(data, entry.size, sink);
  }
  if (method == kMethodLzma) {
    if ((localFlags ^ entry.flags) & kFlagLzmaEndMarker) {
      return Fail(MemberVerdict::kDamaged, "its two headers disagree on the LZMA end marker");
    }
    return UnpackedLzma(data, entry.size, (entry.flags & kFlagLzmaEndMarker) != 0, sink);
  }
  return Fail(MemberVerdict::kDamaged, "method " + std::to_string(method) + ", which the stub cannot extract");
}

// An AES member's field, the same in both headers, and its password
// verifier: the cipher for its data, or why there is none.
Outcome OpenAes(const FileReader& file, const CentralEntry& entry, const LocalHeaderFound& local,
                const std::string& password, std::unique_ptr<AesMemberCipher>* cipher) {
  const AesField& field = entry.aes;
  if (!field.wellFormed) {
    return Fail(MemberVerdict::kDamaged, field.present ? "its AES field is damaged" : "method 99 without an AES field");
  }
  if (!(ReadAesField(local.extra) == field)) return Fail(MemberVerdict::kDamaged, "its two headers' AES fields differ");
  if (!entry.encrypted()) return Fail(MemberVerdict::kDamaged, "an AES member not flagged as encrypted");
  if (password.empty()) return Fail(MemberVerdict::kNotTested, "encrypted: give --password to test it");
  const size_t salt = AesSaltBytes(field.strength);
  if (entry.compressedSize < AesOverhead(field.strength)) {
    return Fail(MemberVerdict::kDamaged, "shorter than its salt, verifier and authentication code");
  }
  const std::vector<uint8_t> head = file.Read(local.dataStart, salt + kAesVerifierSize);
  *cipher = std::make_unique<AesMemberCipher>(password, field.strength, head.data());
  if (head.size() != salt + kAesVerifierSize || memcmp((*cipher)->verifier(), head.data() + salt, kAesVerifierSize) != 0) {
    return Fail(MemberVerdict::kDamaged, "the password does not open it (or its password verifier is damaged)");
  }
  return {};
}

Outcome Check(const FileReader& file, const ArchiveDirectory& archive, const CentralEntry& entry,
              const MemberPasswords& passwords, libdeflate_decompressor* decompressor, PlainSink* sink) {
  LocalHeaderFound local;
  const Outcome header = CheckLocalHeader(file, archive, entry, &local);
  if (header.verdict != MemberVerdict::kIntact) return header;
  const uint16_t flags = local.flags;
  const uint64_t dataStart = local.dataStart;

  std::unique_ptr<TraditionalCipher> cipher;
  std::unique_ptr<AesMemberCipher> aes;
  uint16_t method = entry.method;
  uint64_t packedStart = dataStart, packedSize = entry.compressedSize;
  if (entry.method == kMethodAes) {
    const Outcome opened = OpenAes(file, entry, local, passwords.aes, &aes);
    if (opened.verdict != MemberVerdict::kIntact) return opened;
    method = entry.aes.method;
    packedStart += AesSaltBytes(entry.aes.strength) + kAesVerifierSize;
    packedSize -= AesOverhead(entry.aes.strength);
  } else if (entry.encrypted()) {
    const std::string& password = passwords.traditional;
    if (password.empty()) return Fail(MemberVerdict::kNotTested, "encrypted: give --password to test it");
    if (packedSize < kEncryptionHeaderSize) return Fail(MemberVerdict::kDamaged, "shorter than its encryption header");
    cipher = std::make_unique<TraditionalCipher>(password);
    std::vector<uint8_t> head = file.Read(dataStart, kEncryptionHeaderSize);
    cipher->Decrypt(head.data(), head.size());
    const uint8_t check = static_cast<uint8_t>((flags & kFlagDataDescriptor) ? entry.time >> 8 : entry.crc >> 24);
    if (head[kEncryptionHeaderSize - 1] != check) {
      return Fail(MemberVerdict::kDamaged, "the password does not open it (or its encryption header is damaged)");
    }
    packedStart += kEncryptionHeaderSize;
    packedSize -= kEncryptionHeaderSize;
  }
  DataReader data{&file, packedStart, packedSize, cipher.get(), aes.get(), {}};
  const Outcome decoded = Decode(method, entry, flags, packedSize, &data, decompressor, sink);
  if (aes != nullptr) {
    // Changed data says so before anything its decoding found.
    data.Drain();
    const std::array<uint8_t, kAesCodeSize> computed = aes->Code();
    const std::vector<uint8_t> stored = file.Read(packedStart + packedSize, kAesCodeSize);
    if (stored.size() != kAesCodeSize || !SameCode(computed.data(), stored.data())) {
      return Fail(MemberVerdict::kDamaged, "its authentication code does not match its encrypted data: the data "
                                           "was changed or damaged");
    }
  }
  if (decoded.verdict != MemberVerdict::kIntact) return decoded;
  // The second AES version stores no CRC: the authentication code stands for it.
  const bool crcStored = aes == nullptr || entry.aes.version == kAesVersionCrcKept;
  if (crcStored && sink->crc != entry.crc) {
    return Fail(MemberVerdict::kDamaged, "its data has CRC " + Hex(sink->crc) + ", its header says " + Hex(entry.crc));
  }
  return decoded;
}

}  // namespace

std::vector<MemberProblem> VerifyMembers(const FileReader& file, const ArchiveDirectory& archive,
                                         const MemberPasswords& passwords, const SourcePath& source) {
  Decompressor decompressor;
  std::vector<MemberProblem> problems;
  for (size_t k = 0; k < archive.entries.size();) {
    const CentralEntry& entry = archive.entries[k];
    if (entry.method == kMethodSolidLzma) {
      k = VerifySolidRun(file, archive, k, source, &problems);
      continue;
    }
    const std::unique_ptr<PlainSink> sink = SinkFor(source, k);
    const Outcome outcome = Concluded(entry, *sink, Check(file, archive, entry, passwords, decompressor.d, sink.get()));
    if (outcome.verdict != MemberVerdict::kIntact) problems.push_back({k, outcome.verdict, outcome.what});
    ++k;
  }
  return problems;
}
