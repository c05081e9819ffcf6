#include "pack/readback/archive_directory.h"

#include <algorithm>

#include "pack/common/pack_error.h"
#include "pack/common/wording.h"
#include "pack/archive/solid_block.h"
#include "pack/archive/zip_records.h"
#include "pack/common/little_endian.h"
#include "zip/portable/archive_search.h"

namespace {

const uint32_t kEndSignature = 0x06054B50;
const uint32_t kCentralSignature = 0x02014B50;
const uint32_t kZip64EndSignature = 0x06064B50;
const uint32_t kZip64LocatorSignature = 0x07064B50;

// The script as the stub's first read finds it.
void ReadScript(const FileReader& file, uint64_t dataEnd, ArchiveDirectory* archive) {
  const uint64_t start =
      static_cast<uint64_t>(ScriptSearchStart(static_cast<int64_t>(dataEnd), static_cast<int64_t>(file.size())));
  const std::vector<uint8_t> bytes = file.Read(start, dataEnd - start);
  int32_t offset = 0, length = 0;
  archive->hasScript =
      FindScriptComment(bytes.data(), static_cast<int32_t>(bytes.size()), kEndSignature, &offset, &length);
  if (archive->hasScript) archive->script.assign(bytes.begin() + offset, bytes.begin() + offset + length);
}

struct EndValues {
  uint64_t count, directorySize, directoryOffset;
};

// The Zip64 end record named by the locator right before the end record
// at endPosition, when there is one. As the stub does, the record is
// looked for right before the locator (where every writer puts it, which
// finds it whatever precedes the archive), then where the locator says.
bool ReadZip64End(const FileReader& file, uint64_t endPosition, EndValues* values, ArchiveDirectory* archive) {
  if (endPosition < kZip64LocatorSize + kZip64EndRecordSize) return false;
  const uint64_t locatorPosition = endPosition - kZip64LocatorSize;
  const std::vector<uint8_t> locator = file.Read(locatorPosition, kZip64LocatorSize);
  if (U32(locator, 0) != kZip64LocatorSignature) return false;
  const uint64_t named = U64(locator, 8);
  for (uint64_t at : {locatorPosition - kZip64EndRecordSize, named}) {
    const std::vector<uint8_t> record = file.Read(at, kZip64EndRecordSize);
    if (record.size() < kZip64EndRecordSize || U32(record, 0) != kZip64EndSignature) continue;
    values->count = U64(record, 32);
    values->directorySize = U64(record, 40);
    values->directoryOffset = U64(record, 48);
    archive->zip64End = true;
    archive->zip64EndOffset = at;
    return true;
  }
  throw PathError(file.path(), "a damaged archive (its Zip64 locator names no Zip64 end record)");
}

}  // namespace

bool ResolveZip64Markers(const std::vector<uint8_t>& extra, uint64_t* size, uint64_t* compressedSize,
                         uint64_t* localOffset) {
  uint64_t* wanted[3] = {size, compressedSize, localOffset};
  size_t needed = 0;
  for (uint64_t* value : wanted) needed += value != nullptr && *value == kMarker32 ? 8 : 0;
  if (needed == 0) return true;
  for (size_t at = 0; at + 4 <= extra.size();) {
    const size_t length = U16(extra, at + 2);
    if (U16(extra, at) == kZip64ExtraTag) {
      if (length < needed || at + 4 + length > extra.size()) return false;
      size_t next = at + 4;
      for (uint64_t* value : wanted) {
        if (value != nullptr && *value == kMarker32) {
          *value = U64(extra, next);
          next += 8;
        }
      }
      return true;
    }
    at += 4 + length;
  }
  return false;
}

SolidField ReadSolidField(const std::vector<uint8_t>& extra) {
  SolidField field;
  for (size_t at = 0; at + 4 <= extra.size();) {
    const size_t length = U16(extra, at + 2);
    if (U16(extra, at) == kSolidExtraTag) {
      field.present = true;
      field.wellFormed = length == kSolidExtraSize && at + 4 + length <= extra.size();
      if (field.wellFormed) {
        field.version = extra[at + 4];
        field.filter = extra[at + 5];
        field.headOffset = U64(extra, at + 6);
        field.dataOffset = U64(extra, at + 14);
      }
      return field;
    }
    at += 4 + length;
  }
  return field;
}

size_t ArchiveDirectory::zip64Members() const {
  return static_cast<size_t>(std::count_if(entries.begin(), entries.end(), [](const CentralEntry& e) { return e.zip64; }));
}

ArchiveDirectory ReadArchiveDirectory(const FileReader& file) {
  const std::string& path = file.path();
  // A signed installer's certificate table follows the archive and is not
  // searched, as the stub does not search it.
  const std::vector<uint8_t> head = file.Read(0, kSignatureHeadLength);
  const uint64_t dataEnd = static_cast<uint64_t>(
      SignedDataEnd(head.data(), static_cast<int32_t>(head.size()), static_cast<int64_t>(file.size())));
  int64_t first = 0, last = -1, end = -1;
  std::vector<uint8_t> tail;
  if (EndRecordSearchRange(static_cast<int64_t>(dataEnd), &first, &last)) {
    tail = file.Read(static_cast<uint64_t>(first), static_cast<uint64_t>(last - first) + kEndRecordSize);
    // A record that the file cuts short is read with zeros for what is
    // missing, as the stub reads it.
    tail.resize(static_cast<size_t>(last - first) + kEndRecordSize, 0);
    end = FindSignatureBackwards(tail.data(), static_cast<int32_t>(last - first), kEndSignature);
  }
  if (end < 0) throw PathError(path, "no ZIP archive at its end (no end-of-directory record)");
  const size_t e = static_cast<size_t>(end);
  const uint64_t endPosition = static_cast<uint64_t>(first) + e;
  EndValues values{U16(tail, e + 10), U32(tail, e + 12), U32(tail, e + 16)};

  ArchiveDirectory archive;
  ReadScript(file, dataEnd, &archive);
  // The Zip64 end record holds the values; where the directory should end
  // is then where that record lies.
  uint64_t directoryEnd = endPosition;
  if (ReadZip64End(file, endPosition, &values, &archive)) directoryEnd = archive.zip64EndOffset;
  archive.shift = static_cast<int64_t>(directoryEnd) - static_cast<int64_t>(values.directoryOffset + values.directorySize);
  archive.lowestOffset = values.directoryOffset;
  const int64_t directoryStart = static_cast<int64_t>(values.directoryOffset) + archive.shift;
  if (directoryStart < 0) throw PathError(path, "a damaged archive (its directory would begin before the file)");
  if (static_cast<uint64_t>(directoryStart) + values.directorySize > file.size()) {
    throw PathError(path, "a damaged archive (its directory would run past the end of the file)");
  }
  // Read in blocks: a directory of many members need not be held twice.
  const uint64_t block = 4u << 20;
  std::vector<uint8_t> directory;
  uint64_t loaded = static_cast<uint64_t>(directoryStart), left = values.directorySize;
  size_t at = 0;
  const auto have = [&](size_t bytes) {
    while (directory.size() - at < bytes && left > 0) {
      directory.erase(directory.begin(), directory.begin() + static_cast<std::ptrdiff_t>(at));
      at = 0;
      const std::vector<uint8_t> more = file.Read(loaded, std::min(block, left));
      if (more.empty()) break;
      directory.insert(directory.end(), more.begin(), more.end());
      loaded += more.size();
      left -= more.size();
    }
    return directory.size() - at >= bytes;
  };

  archive.entries.reserve(static_cast<size_t>(std::min<uint64_t>(values.count, values.directorySize / kCentralHeaderSize)));
  for (uint64_t k = 0; k < values.count; ++k) {
    if (!have(kCentralHeaderSize) || U32(directory, at) != kCentralSignature) {
      throw PathError(path, "a damaged central directory (entry " + std::to_string(k + 1) + ")");
    }
    const size_t nameLength = U16(directory, at + 28), extraLength = U16(directory, at + 30);
    const size_t whole = kCentralHeaderSize + nameLength + extraLength + U16(directory, at + 32);
    if (!have(whole)) throw PathError(path, "a damaged central directory (a cut name)");
    CentralEntry entry;
    entry.versionMadeBy = directory[at + 4];
    entry.hostSystem = directory[at + 5];
    entry.versionNeeded = directory[at + 6];
    entry.flags = static_cast<uint16_t>(U16(directory, at + 8));
    entry.method = static_cast<uint16_t>(U16(directory, at + 10));
    entry.time = U32(directory, at + 12);
    entry.crc = U32(directory, at + 16);
    entry.compressedSize = U32(directory, at + 20);
    entry.size = U32(directory, at + 24);
    entry.externalAttributes = U32(directory, at + 38);
    entry.localOffset = U32(directory, at + 42);
    const size_t nameAt = at + kCentralHeaderSize;
    entry.name.assign(directory.begin() + nameAt, directory.begin() + nameAt + nameLength);
    entry.zip64 = entry.size == kMarker32 || entry.compressedSize == kMarker32 || entry.localOffset == kMarker32;
    const std::vector<uint8_t> extra(directory.begin() + nameAt + nameLength,
                                     directory.begin() + nameAt + nameLength + extraLength);
    if (!ResolveZip64Markers(extra, &entry.size, &entry.compressedSize, &entry.localOffset)) {
      throw PathError(path, "a damaged central directory (" + Quoted(entry.name) +
                                ": its sizes or offset need a Zip64 field it does not hold)");
    }
    entry.solid = ReadSolidField(extra);
    entry.aes = ReadAesField(extra);
    archive.lowestOffset = std::min<uint64_t>(archive.lowestOffset, entry.localOffset);
    archive.entries.push_back(std::move(entry));
    at += whole;
  }
  return archive;
}
