#include "pack/installer_verify.h"

#include <libdeflate.h>

#include <stdio.h>

#include <memory>
#include <new>

#include "pack/compressor.h"
#include "pack/traditional_cipher.h"
#include "pack/wording.h"
#include "pack/zip_records.h"
#include "support/crc32.h"

namespace {

const uint32_t kLocalSignature = 0x04034B50;
const uint16_t kFlagDataDescriptor = 0x0008;

uint32_t U16(const std::vector<uint8_t>& b, size_t at) { return b[at] | (b[at + 1] << 8); }
uint32_t U32(const std::vector<uint8_t>& b, size_t at) { return U16(b, at) | (U16(b, at + 2) << 16); }

std::string Hex(uint32_t value) {
  char text[16];
  snprintf(text, sizeof text, "%08x", value);
  return text;
}

struct Decompressor {
  Decompressor() : d(libdeflate_alloc_decompressor()) {
    if (d == nullptr) throw std::bad_alloc();
  }
  ~Decompressor() { libdeflate_free_decompressor(d); }
  libdeflate_decompressor* d;
};

// The member's plain bytes, or an empty what describing why there are none.
struct Unpacked {
  std::vector<uint8_t> bytes;
  MemberVerdict verdict = MemberVerdict::kIntact;
  std::string what;
};

Unpacked Fail(MemberVerdict verdict, std::string what) {
  Unpacked u;
  u.verdict = verdict;
  u.what = std::move(what);
  return u;
}

Unpacked Unpack(const FileReader& file, const ArchiveDirectory& archive, const CentralEntry& entry,
                const std::string& password, libdeflate_decompressor* decompressor) {
  const int64_t local = int64_t{entry.localOffset} + archive.shift;
  if (local < 0) return Fail(MemberVerdict::kDamaged, "its local header would lie before the file");
  const std::vector<uint8_t> header = file.Read(static_cast<uint64_t>(local), kLocalHeaderSize);
  if (header.size() < kLocalHeaderSize || U32(header, 0) != kLocalSignature) {
    return Fail(MemberVerdict::kDamaged, "no local header where the directory points");
  }
  const uint16_t flags = static_cast<uint16_t>(U16(header, 6));
  if (U16(header, 8) != entry.method) return Fail(MemberVerdict::kDamaged, "its two headers name different methods");
  if (!(flags & kFlagDataDescriptor) &&
      (U32(header, 14) != entry.crc || U32(header, 18) != entry.compressedSize || U32(header, 22) != entry.size)) {
    return Fail(MemberVerdict::kDamaged, "its two headers declare different sizes or CRCs");
  }
  const uint64_t nameLength = U16(header, 26), extraLength = U16(header, 28);
  const uint64_t dataStart = static_cast<uint64_t>(local) + kLocalHeaderSize + nameLength + extraLength;
  const std::vector<uint8_t> name = file.Read(static_cast<uint64_t>(local) + kLocalHeaderSize, nameLength);
  if (std::string(name.begin(), name.end()) != entry.name) {
    return Fail(MemberVerdict::kDamaged, "its two headers hold different names");
  }
  std::vector<uint8_t> data = file.Read(dataStart, entry.compressedSize);
  if (data.size() < entry.compressedSize) return Fail(MemberVerdict::kDamaged, "its data is cut off by the end of the file");

  if (entry.encrypted()) {
    if (password.empty()) return Fail(MemberVerdict::kNotTested, "encrypted: give --password to test it");
    if (data.size() < kEncryptionHeaderSize) return Fail(MemberVerdict::kDamaged, "shorter than its encryption header");
    TraditionalCipher cipher(password);
    cipher.Decrypt(data.data(), data.size());
    const uint8_t check = static_cast<uint8_t>((flags & kFlagDataDescriptor) ? entry.time >> 8 : entry.crc >> 24);
    if (data[kEncryptionHeaderSize - 1] != check) {
      return Fail(MemberVerdict::kDamaged, "the password does not open it (or its encryption header is damaged)");
    }
    data.erase(data.begin(), data.begin() + kEncryptionHeaderSize);
  }

  Unpacked out;
  if (entry.method == kMethodStored) {
    if (data.size() != entry.size) {
      return Fail(MemberVerdict::kDamaged, "stored with " + Grouped(data.size()) + " bytes, its header says " +
                                               Grouped(entry.size));
    }
    out.bytes = std::move(data);
  } else if (entry.method == kMethodDeflate) {
    out.bytes.resize(entry.size);
    size_t used = 0, produced = 0;
    const libdeflate_result result = libdeflate_deflate_decompress_ex(
        decompressor, data.data(), data.size(), out.bytes.data(), out.bytes.size(), &used, &produced);
    if (result == LIBDEFLATE_INSUFFICIENT_SPACE) {
      return Fail(MemberVerdict::kDamaged, "inflates to more than the " + Grouped(entry.size) + " bytes its header says");
    }
    if (result != LIBDEFLATE_SUCCESS) return Fail(MemberVerdict::kDamaged, "its Deflate data is damaged");
    if (produced != entry.size) {
      return Fail(MemberVerdict::kDamaged, "inflates to " + Grouped(produced) + " bytes, its header says " +
                                               Grouped(entry.size));
    }
  } else {
    return Fail(MemberVerdict::kDamaged, "method " + std::to_string(entry.method) + ", which the stub cannot extract");
  }
  const uint32_t crc = crc32Update(0, out.bytes.data(), out.bytes.size());
  if (crc != entry.crc) return Fail(MemberVerdict::kDamaged, "its data has CRC " + Hex(crc) + ", its header says " + Hex(entry.crc));
  return out;
}

}  // namespace

std::vector<MemberProblem> VerifyMembers(const FileReader& file, const ArchiveDirectory& archive,
                                         const std::string& password, const SourceBytes& source) {
  Decompressor decompressor;
  std::vector<MemberProblem> problems;
  for (size_t k = 0; k < archive.entries.size(); ++k) {
    const CentralEntry& entry = archive.entries[k];
    Unpacked unpacked = Unpack(file, archive, entry, password, decompressor.d);
    if (unpacked.verdict == MemberVerdict::kIntact && entry.folder() && !unpacked.bytes.empty()) {
      unpacked = Fail(MemberVerdict::kDamaged, "a folder entry that holds data");
    }
    if (unpacked.verdict == MemberVerdict::kIntact && source && unpacked.bytes != source(k)) {
      unpacked = Fail(MemberVerdict::kDiffersFromSource, "does not hold the bytes of its source file");
    }
    if (unpacked.verdict != MemberVerdict::kIntact) problems.push_back({k, unpacked.verdict, unpacked.what});
  }
  return problems;
}
