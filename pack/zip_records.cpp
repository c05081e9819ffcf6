#include "pack/zip_records.h"

namespace {

void Put16(std::string* out, uint32_t value) {
  out->push_back(static_cast<char>(value & 0xFF));
  out->push_back(static_cast<char>((value >> 8) & 0xFF));
}

void Put32(std::string* out, uint32_t value) {
  Put16(out, value & 0xFFFF);
  Put16(out, value >> 16);
}

// The fields local and central headers share, from "version needed" on.
void PutCommon(std::string* out, const MemberRecord& m) {
  Put16(out, m.versionNeeded);
  Put16(out, m.flags);
  Put16(out, m.method);
  Put32(out, m.time);  // time, then date
  Put32(out, m.crc);
  Put32(out, m.compressedSize);
  Put32(out, m.size);
  Put16(out, static_cast<uint32_t>(m.name.size()));
  Put16(out, 0);  // extra field length
}

}  // namespace

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
  std::string out;
  Put32(&out, 0x04034B50);
  PutCommon(&out, m);
  return out + m.name;
}

std::string CentralHeader(const MemberRecord& m) {
  std::string out;
  Put32(&out, 0x02014B50);
  Put16(&out, kVersionMadeBy);
  PutCommon(&out, m);
  Put16(&out, 0);  // member comment length
  Put16(&out, 0);  // disk number
  Put16(&out, 0);  // internal attributes
  Put32(&out, m.externalAttributes);
  Put32(&out, m.localOffset);
  return out + m.name;
}

std::string EndRecord(uint16_t count, uint32_t directorySize, uint32_t directoryOffset,
                      const std::string& comment) {
  std::string out;
  Put32(&out, 0x06054B50);
  Put16(&out, 0);  // this disk
  Put16(&out, 0);  // disk of the directory
  Put16(&out, count);
  Put16(&out, count);
  Put32(&out, directorySize);
  Put32(&out, directoryOffset);
  Put16(&out, static_cast<uint32_t>(comment.size()));
  return out + comment;
}
