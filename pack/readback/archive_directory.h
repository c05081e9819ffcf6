// The central directory of the archive at the end of an installer, read
// the way the stub finds it, by the stub's own search rules
// (zip/portable/archive_search.cpp): the last end record near the end of the file,
// and the shift between the offsets it holds and where the archive really
// lies (an archive made apart and joined to the stub with cat keeps offsets
// that count from its own start). A Zip64 archive's counts, sizes and
// offsets come from its Zip64 end record and Zip64 fields wherever the
// classic fields hold their all-ones markers.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "pack/archive/aes_member.h"
#include "pack/common/file_reader.h"

// The solid-block field of a member (pack/archive/solid_block.h).
struct SolidField {
  bool present = false;     // a field with the tag
  bool wellFormed = false;  // of its size
  uint8_t version = 0, filter = 0;
  uint64_t headOffset = 0;  // as written; add the directory's shift
  uint64_t dataOffset = 0;
  bool operator==(const SolidField& o) const {
    return present == o.present && wellFormed == o.wellFormed && version == o.version && filter == o.filter &&
           headOffset == o.headOffset && dataOffset == o.dataOffset;
  }
};

// The field in an extra field block, when it holds one.
SolidField ReadSolidField(const std::vector<uint8_t>& extra);

struct CentralEntry {
  std::string name;  // the raw bytes of the name field
  uint8_t versionMadeBy = 0;
  uint8_t hostSystem = 0;
  uint8_t versionNeeded = 0;
  uint16_t flags = 0;
  uint16_t method = 0;
  uint32_t time = 0;
  uint32_t crc = 0;
  uint64_t compressedSize = 0;
  uint64_t size = 0;
  uint32_t externalAttributes = 0;
  uint64_t localOffset = 0;  // as written; add the directory's shift
  bool zip64 = false;        // it has a Zip64 field
  SolidField solid;
  AesField aes;
  bool folder() const { return !name.empty() && name.back() == '/'; }
  bool encrypted() const { return (flags & 1) != 0; }
};

struct ArchiveDirectory {
  int64_t shift = 0;           // to add to every offset in the archive
  uint64_t lowestOffset = 0;   // the smallest offset the directory names (shift not added)
  bool hasScript = false;      // the stub finds a script (see zip/portable/archive_search.h)
  std::string script;          // the script it finds, in the code page
  bool zip64End = false;       // a Zip64 end record and locator precede the end record
  uint64_t zip64EndOffset = 0; // where the Zip64 end record lies in the file
  std::vector<CentralEntry> entries;
  size_t zip64Members() const;
};

// Replaces the values that hold the 32-bit marker by those of the Zip64
// field in an extra field block, in the note's order: uncompressed size,
// compressed size, local header offset (null: not in this header). False
// when a marker has no Zip64 field, or the field is too short for them all.
bool ResolveZip64Markers(const std::vector<uint8_t>& extra, uint64_t* size, uint64_t* compressedSize,
                         uint64_t* localOffset);

// Throws PackError naming the file when there is no archive or its
// directory is damaged. A signed installer's certificate table is not
// searched: the archive ends where the signed data ends.
ArchiveDirectory ReadArchiveDirectory(const FileReader& file);
