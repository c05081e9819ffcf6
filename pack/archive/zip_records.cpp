#include "pack/archive/zip_records.h"

#include <algorithm>

#include "pack/archive/solid_block.h"

namespace {

void Put16(std::string* out, uint32_t value) {
  out->push_back(static_cast<char>(value & 0xFF));
  out->push_back(static_cast<char>((value >> 8) & 0xFF));
}

void Put32(std::string* out, uint32_t value) {
  Put16(out, value & 0xFFFF);
  Put16(out, value >> 16);
}

void Put64(std::string* out, uint64_t value) {
  Put32(out, static_cast<uint32_t>(value));
  Put32(out, static_cast<uint32_t>(value >> 32));
}

uint32_t Field32(uint64_t value) { return Beyond32(value) ? static_cast<uint32_t>(kMarker32) : static_cast<uint32_t>(value); }

// The Zip64 field: the values whose 32-bit fields hold the marker, in the
// order uncompressed size, compressed size, local header offset.
std::string Zip64Extra(const MemberRecord& m, bool central) {
  std::string values;
  if (central ? Beyond32(m.size) : m.zip64Local) Put64(&values, m.size);
  if (central ? Beyond32(m.compressedSize) : m.zip64Local) Put64(&values, m.compressedSize);
  if (central && Beyond32(m.localOffset)) Put64(&values, m.localOffset);
  if (values.empty()) return values;
  std::string extra;
  Put16(&extra, kZip64ExtraTag);
  Put16(&extra, static_cast<uint32_t>(values.size()));
  return extra + values;
}

// The solid-block field, the same in both headers.
std::string SolidExtra(const MemberRecord& m) {
  std::string extra;
  if (!m.solid) return extra;
  Put16(&extra, kSolidExtraTag);
  Put16(&extra, kSolidExtraSize);
  extra.push_back(static_cast<char>(kSolidVersion));
  extra.push_back(static_cast<char>(m.solidFilter));
  Put64(&extra, m.solidHeadOffset);
  Put64(&extra, m.solidDataOffset);
  return extra;
}

std::string AesFieldOf(const MemberRecord& m) { return m.aes ? AesExtra(m.aesStrength, m.method) : std::string(); }

// The fields local and central headers share, from "version needed" on.
void PutCommon(std::string* out, const MemberRecord& m, bool central, size_t extraLength) {
  const bool markers = !central && m.zip64Local;
  Put16(out, m.versionNeeded);
  Put16(out, m.flags);
  Put16(out, m.aes ? kMethodAes : m.method);
  Put32(out, m.time);  // time, then date
  Put32(out, m.crc);
  Put32(out, markers ? static_cast<uint32_t>(kMarker32) : Field32(m.compressedSize));
  Put32(out, markers ? static_cast<uint32_t>(kMarker32) : Field32(m.size));
  Put16(out, static_cast<uint32_t>(m.name.size()));
  Put16(out, static_cast<uint32_t>(extraLength));
}

}  // namespace

bool UsesZip64(const MemberRecord& m) {
  return m.zip64Local || Beyond32(m.size) || Beyond32(m.compressedSize) || Beyond32(m.localOffset);
}

uint32_t ExternalAttributes(bool folder, bool readOnly, bool executable) {
  uint32_t mode = folder ? 040755 : (executable ? 0100755 : 0100644);
  uint32_t dos = folder ? 0x10 : 0x20;
  if (readOnly) {
    mode &= ~0222u;
    dos |= 0x01;
  }
  return (mode << 16) | dos;
}

std::string LocalHeader(const MemberRecord& m) {
  const std::string extra = Zip64Extra(m, false) + SolidExtra(m) + AesFieldOf(m);
  std::string out;
  Put32(&out, 0x04034B50);
  PutCommon(&out, m, false, extra.size());
  return out + m.name + extra;
}

std::string CentralHeader(const MemberRecord& m) {
  const std::string extra = Zip64Extra(m, true) + SolidExtra(m) + AesFieldOf(m);
  std::string out;
  Put32(&out, 0x02014B50);
  Put16(&out, kHostUnix | std::max<uint16_t>(20, m.versionNeeded));
  PutCommon(&out, m, true, extra.size());
  Put16(&out, 0);  // member comment length
  Put16(&out, 0);  // disk number
  Put16(&out, 0);  // internal attributes
  Put32(&out, m.externalAttributes);
  Put32(&out, Field32(m.localOffset));
  return out + m.name + extra;
}

bool ArchiveEndNeedsZip64(uint64_t count, uint64_t directorySize, uint64_t directoryOffset) {
  return count >= kMarker16 || Beyond32(directorySize) || Beyond32(directoryOffset);
}

std::string ArchiveEnd(uint64_t count, uint64_t directorySize, uint64_t directoryOffset,
                       const std::string& comment) {
  std::string out;
  if (ArchiveEndNeedsZip64(count, directorySize, directoryOffset)) {
    Put32(&out, 0x06064B50);
    Put64(&out, kZip64EndRecordSize - 12);  // the size of what follows this field
    Put16(&out, kHostUnix | kVersionZip64);
    Put16(&out, kVersionZip64);
    Put32(&out, 0);  // this disk
    Put32(&out, 0);  // disk of the directory
    Put64(&out, count);
    Put64(&out, count);
    Put64(&out, directorySize);
    Put64(&out, directoryOffset);
    Put32(&out, 0x07064B50);
    Put32(&out, 0);  // disk of the Zip64 end record
    Put64(&out, directoryOffset + directorySize);
    Put32(&out, 1);  // disks in all
  }
  const uint32_t count16 = count >= kMarker16 ? static_cast<uint32_t>(kMarker16) : static_cast<uint32_t>(count);
  Put32(&out, 0x06054B50);
  Put16(&out, 0);  // this disk
  Put16(&out, 0);  // disk of the directory
  Put16(&out, count16);
  Put16(&out, count16);
  Put32(&out, Field32(directorySize));
  Put32(&out, Field32(directoryOffset));
  Put16(&out, static_cast<uint32_t>(comment.size()));
  return out + comment;
}
