#include "pack/readback/member_check.h"

#include <stdio.h>
#include <string.h>

#include "pack/archive/zip_records.h"
#include "pack/common/little_endian.h"
#include "pack/common/pack_error.h"
#include "support/portable/crc32.h"

namespace {

const uint32_t kLocalSignature = 0x04034B50;
const uint16_t kFlagDataDescriptor = 0x0008;

}  // namespace

std::string Hex(uint32_t value) {
  char text[16];
  snprintf(text, sizeof text, "%08x", value);
  return text;
}

void PlainSink::Take(const uint8_t* bytes, size_t n) {
  crc = crc32Update(crc, bytes, n);
  if (compare && !differs) {
    if (source == nullptr) {
      differs = n > 0;
    } else {
      try {
        const std::vector<uint8_t> expected = source->Read(total, n);
        differs = expected.size() != n || memcmp(expected.data(), bytes, n) != 0;
      } catch (const PackError&) {
        differs = true;  // it got shorter since
      }
    }
  }
  total += n;
}

std::unique_ptr<PlainSink> SinkFor(const SourcePath& source, size_t index) {
  auto sink = std::make_unique<PlainSink>();
  if (!source) return sink;
  sink->compare = true;
  const std::string path = source(index);
  try {
    if (!path.empty()) sink->source = std::make_unique<FileReader>(path);
  } catch (const PackError&) {
    sink->differs = true;  // gone or unreadable since
  }
  return sink;
}

Outcome Concluded(const CentralEntry& entry, const PlainSink& sink, Outcome outcome) {
  if (outcome.verdict == MemberVerdict::kIntact && entry.folder() && sink.total > 0) {
    return Fail(MemberVerdict::kDamaged, "a folder entry that holds data");
  }
  if (outcome.verdict == MemberVerdict::kIntact && sink.SourceDiffers()) {
    return Fail(MemberVerdict::kDiffersFromSource, "does not hold the bytes of its source file");
  }
  return outcome;
}

Outcome CheckLocalHeader(const FileReader& file, const ArchiveDirectory& archive, const CentralEntry& entry,
                         LocalHeaderFound* found) {
  const int64_t local = static_cast<int64_t>(entry.localOffset) + archive.shift;
  if (local < 0) return Fail(MemberVerdict::kDamaged, "its local header would lie before the file");
  const std::vector<uint8_t> header = file.Read(static_cast<uint64_t>(local), kLocalHeaderSize);
  if (header.size() < kLocalHeaderSize || U32(header, 0) != kLocalSignature) {
    return Fail(MemberVerdict::kDamaged, "no local header where the directory points");
  }
  const uint16_t flags = static_cast<uint16_t>(U16(header, 6));
  if (U16(header, 8) != entry.method) return Fail(MemberVerdict::kDamaged, "its two headers name different methods");
  const uint64_t nameLength = U16(header, 26), extraLength = U16(header, 28);
  const std::vector<uint8_t> name = file.Read(static_cast<uint64_t>(local) + kLocalHeaderSize, nameLength);
  if (std::string(name.begin(), name.end()) != entry.name) {
    return Fail(MemberVerdict::kDamaged, "its two headers hold different names");
  }
  found->extra = file.Read(static_cast<uint64_t>(local) + kLocalHeaderSize + nameLength, extraLength);
  if (!(flags & kFlagDataDescriptor)) {
    uint64_t compressed = U32(header, 18), size = U32(header, 22);
    if (!ResolveZip64Markers(found->extra, &size, &compressed, nullptr)) {
      return Fail(MemberVerdict::kDamaged, "its local header's sizes need a Zip64 field it does not hold");
    }
    if (U32(header, 14) != entry.crc || compressed != entry.compressedSize || size != entry.size) {
      return Fail(MemberVerdict::kDamaged, "its two headers declare different sizes or CRCs");
    }
  }
  const uint64_t dataStart = static_cast<uint64_t>(local) + kLocalHeaderSize + nameLength + extraLength;
  if (dataStart > file.size() || file.size() - dataStart < entry.compressedSize) {
    return Fail(MemberVerdict::kDamaged, "its data is cut off by the end of the file");
  }
  found->offset = static_cast<uint64_t>(local);
  found->dataStart = dataStart;
  found->flags = flags;
  return {};
}
