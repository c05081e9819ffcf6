// The ZIP records the packer writes: local headers, central headers and the
// end record, all little-endian. No extra fields, no data descriptors, no
// Zip64: exactly what the stub reads.
#pragma once

#include <stdint.h>

#include <string>

#include "pack/dos_time.h"

struct MemberRecord {
  std::string name;  // in the code page; a folder's ends with '/'
  uint16_t versionNeeded = 10;
  uint16_t flags = 0;
  uint16_t method = 0;
  DosDateTime time = 0;
  uint32_t crc = 0;
  uint32_t compressedSize = 0;
  uint32_t size = 0;
  uint32_t externalAttributes = 0;
  uint32_t localOffset = 0;
};

const uint16_t kFlagEncrypted = 0x0001;

// The stub turns names from DOS, OS/2 and one NTFS host from the OEM code
// page; made by a Unix host (3), names stay the code-page bytes we write, and
// Unix readers find permissions in the high half of the attributes.
const uint16_t kVersionMadeBy = (3 << 8) | 20;

// DOS attributes in the low byte (read-only 0x01, folder 0x10, archive
// 0x20), the Unix mode in the high half.
uint32_t ExternalAttributes(bool folder, bool readOnly, bool executable);

std::string LocalHeader(const MemberRecord& member);
std::string CentralHeader(const MemberRecord& member);
std::string EndRecord(uint16_t count, uint32_t directorySize, uint32_t directoryOffset,
                      const std::string& comment);

const size_t kLocalHeaderSize = 30;
const size_t kCentralHeaderSize = 46;
const size_t kEndRecordSize = 22;
