#include "pack/archive_directory.h"

#include <algorithm>

#include "pack/installer_signing.h"
#include "pack/pack_error.h"
#include "pack/zip_records.h"

namespace {

uint32_t U16(const std::vector<uint8_t>& b, size_t at) { return b[at] | (b[at + 1] << 8); }
uint32_t U32(const std::vector<uint8_t>& b, size_t at) { return U16(b, at) | (U16(b, at + 2) << 16); }

const uint32_t kEndSignature = 0x06054B50;
const uint32_t kCentralSignature = 0x02014B50;

}  // namespace

ArchiveDirectory ReadArchiveDirectory(const FileReader& file) {
  const std::string& path = file.path();
  const uint64_t dataEnd = SignedDataEnd(file.Read(0, 4096), file.size());
  const uint64_t tailStart = dataEnd > kEndRecordSearch ? dataEnd - kEndRecordSearch : 0;
  const std::vector<uint8_t> tail = file.Read(tailStart, dataEnd - tailStart);
  int64_t end = -1;
  for (int64_t i = static_cast<int64_t>(tail.size()) - static_cast<int64_t>(kEndRecordSize); i >= 0; --i) {
    if (U32(tail, static_cast<size_t>(i)) == kEndSignature) {
      end = i;
      break;
    }
  }
  if (end < 0) throw PathError(path, "no ZIP archive at its end (no end-of-directory record)");
  const size_t e = static_cast<size_t>(end);
  const uint32_t count = U16(tail, e + 10);
  const uint32_t directorySize = U32(tail, e + 12);
  const uint32_t directoryOffset = U32(tail, e + 16);
  const size_t commentLength = std::min<size_t>(U16(tail, e + 20), tail.size() - e - kEndRecordSize);

  ArchiveDirectory archive;
  archive.comment.assign(tail.begin() + e + kEndRecordSize, tail.begin() + e + kEndRecordSize + commentLength);
  archive.shift = static_cast<int64_t>(tailStart) + end - (int64_t{directoryOffset} + directorySize);
  archive.lowestOffset = directoryOffset;
  const int64_t directoryStart = int64_t{directoryOffset} + archive.shift;
  if (directoryStart < 0) throw PathError(path, "a damaged archive (its directory would begin before the file)");
  const std::vector<uint8_t> directory = file.Read(static_cast<uint64_t>(directoryStart), directorySize);

  for (size_t at = 0, k = 0; k < count; ++k) {
    if (at + kCentralHeaderSize > directory.size() || U32(directory, at) != kCentralSignature) {
      throw PathError(path, "a damaged central directory (entry " + std::to_string(k + 1) + ")");
    }
    const size_t nameLength = U16(directory, at + 28);
    if (at + kCentralHeaderSize + nameLength > directory.size()) {
      throw PathError(path, "a damaged central directory (a cut name)");
    }
    CentralEntry entry;
    entry.versionMadeBy = directory[at + 4];
    entry.hostSystem = directory[at + 5];
    entry.flags = static_cast<uint16_t>(U16(directory, at + 8));
    entry.method = static_cast<uint16_t>(U16(directory, at + 10));
    entry.time = U32(directory, at + 12);
    entry.crc = U32(directory, at + 16);
    entry.compressedSize = U32(directory, at + 20);
    entry.size = U32(directory, at + 24);
    entry.externalAttributes = U32(directory, at + 38);
    entry.localOffset = U32(directory, at + 42);
    entry.name.assign(directory.begin() + at + kCentralHeaderSize,
                      directory.begin() + at + kCentralHeaderSize + nameLength);
    archive.lowestOffset = std::min<uint64_t>(archive.lowestOffset, entry.localOffset);
    archive.entries.push_back(std::move(entry));
    at += kCentralHeaderSize + nameLength + U16(directory, at + 30) + U16(directory, at + 32);
  }
  return archive;
}
