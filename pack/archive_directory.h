// The central directory of the archive at the end of an installer, read
// the way the stub finds it, by the stub's own search rules
// (zip/archive_search.cpp): the last end record near the end of the file,
// and the shift between the offsets it holds and where the archive really
// lies (an archive made apart and joined to the stub with cat keeps offsets
// that count from its own start).
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "pack/file_reader.h"

struct CentralEntry {
  std::string name;  // the raw bytes of the name field
  uint8_t versionMadeBy = 0;
  uint8_t hostSystem = 0;
  uint16_t flags = 0;
  uint16_t method = 0;
  uint32_t time = 0;
  uint32_t crc = 0;
  uint32_t compressedSize = 0;
  uint32_t size = 0;
  uint32_t externalAttributes = 0;
  uint32_t localOffset = 0;  // as written; add the directory's shift
  bool folder() const { return !name.empty() && name.back() == '/'; }
  bool encrypted() const { return (flags & 1) != 0; }
};

struct ArchiveDirectory {
  int64_t shift = 0;           // to add to every offset in the archive
  uint64_t lowestOffset = 0;   // the smallest offset the directory names (shift not added)
  bool hasScript = false;      // the stub finds a script (see zip/archive_search.h)
  std::string script;          // the script it finds, in the code page
  std::vector<CentralEntry> entries;
};

// Throws PackError naming the file when there is no archive or its
// directory is damaged. A signed installer's certificate table is not
// searched: the archive ends where the signed data ends.
ArchiveDirectory ReadArchiveDirectory(const FileReader& file);
