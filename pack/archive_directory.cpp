#include "pack/archive_directory.h"

#include <algorithm>

#include "pack/pack_error.h"
#include "pack/zip_records.h"
#include "zip/archive_search.h"

namespace {

uint32_t U16(const std::vector<uint8_t>& b, size_t at) { return b[at] | (b[at + 1] << 8); }
uint32_t U32(const std::vector<uint8_t>& b, size_t at) { return U16(b, at) | (U16(b, at + 2) << 16); }

const uint32_t kEndSignature = 0x06054B50;
const uint32_t kCentralSignature = 0x02014B50;

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

}  // namespace

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
  const uint64_t tailStart = static_cast<uint64_t>(first);
  const uint32_t count = U16(tail, e + 10);
  const uint32_t directorySize = U32(tail, e + 12);
  const uint32_t directoryOffset = U32(tail, e + 16);

  ArchiveDirectory archive;
  ReadScript(file, dataEnd, &archive);
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
