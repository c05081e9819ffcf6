// The ZIP records the packer writes: local headers, central headers and the
// end records, all little-endian. No data descriptors. Zip64 only where a
// value reaches its 32-bit (or 16-bit) field's all-ones marker: a member, an
// offset or the directory of 4 GiB or more, 65,535 members or more. Every
// other archive is classic, byte for byte what the packer wrote before Zip64.
#pragma once

#include <stdint.h>

#include <string>

#include "pack/archive/aes_member.h"
#include "pack/common/dos_time.h"

struct MemberRecord {
  std::string name;  // in the code page; a folder's ends with '/'
  uint16_t versionNeeded = 10;
  uint16_t flags = 0;
  uint16_t method = 0;  // the compression method, also under AES
  DosDateTime time = 0;
  uint32_t crc = 0;
  uint64_t compressedSize = 0;
  uint64_t size = 0;
  uint32_t externalAttributes = 0;
  uint64_t localOffset = 0;
  // The local header carries both sizes in a Zip64 field. Decided before
  // the data is written, from the largest the compressed size can become.
  bool zip64Local = false;
  // A member of a solid block (pack/archive/solid_block.h) carries the
  // solid-block field in both headers.
  bool solid = false;
  uint8_t solidFilter = 0;
  uint64_t solidHeadOffset = 0;  // the block's head's local header
  uint64_t solidDataOffset = 0;  // this member's data in the block's joined data
  // An AES member: method 99 in both headers, the AES field naming the
  // strength and the method above.
  bool aes = false;
  AesStrength aesStrength = AesStrength::kAes256;
};

const uint16_t kFlagEncrypted = 0x0001;
const uint64_t kMarker32 = 0xFFFFFFFFu;
const uint64_t kMarker16 = 0xFFFFu;
const uint16_t kVersionZip64 = 45;
const uint16_t kZip64ExtraTag = 0x0001;

// A value that reaches the marker of its 32-bit field goes to Zip64.
inline bool Beyond32(uint64_t value) { return value >= kMarker32; }

// Whether a member whose compressed size is at most largestStored needs the
// Zip64 field in its local header.
inline bool NeedsZip64Local(uint64_t size, uint64_t largestStored) {
  return Beyond32(size) || Beyond32(largestStored);
}

// Whether the member's headers hold any Zip64 field (then it needs version 4.5).
bool UsesZip64(const MemberRecord& member);

// The stub turns names from DOS, OS/2 and one NTFS host from the OEM code
// page; made by a Unix host (3), names stay the code-page bytes we write, and
// Unix readers find permissions in the high half of the attributes.
const uint16_t kHostUnix = 3 << 8;
const uint16_t kVersionMadeBy = kHostUnix | 20;

// DOS attributes in the low byte (read-only 0x01, folder 0x10, archive
// 0x20), the Unix mode in the high half.
uint32_t ExternalAttributes(bool folder, bool readOnly, bool executable);

std::string LocalHeader(const MemberRecord& member);
std::string CentralHeader(const MemberRecord& member);
// The records after the central directory, which starts at directoryOffset
// and ends right where they begin: the Zip64 end record and its locator
// when a value needs them, then the classic end record with the comment.
std::string ArchiveEnd(uint64_t count, uint64_t directorySize, uint64_t directoryOffset,
                       const std::string& comment);
bool ArchiveEndNeedsZip64(uint64_t count, uint64_t directorySize, uint64_t directoryOffset);

const size_t kLocalHeaderSize = 30;
const size_t kCentralHeaderSize = 46;
const size_t kEndRecordSize = 22;
const size_t kZip64EndRecordSize = 56;
const size_t kZip64LocatorSize = 20;
const size_t kZip64LocalExtraSize = 20;  // tag, length, both sizes
