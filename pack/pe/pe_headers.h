// The headers of a Windows program (PE/COFF), read once for every reader and
// editor of the packer: the stub's texts, its resources, its branding.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

struct PeSection {
  uint64_t header;  // the section's entry in the section table
  uint32_t virtualSize, virtualAddress, rawSize, rawOffset;
};

struct PeHeaders {
  uint16_t machine = 0;
  bool pe32 = true;             // PE32 (i686) or PE32+ (x86-64)
  uint64_t optional = 0;        // the optional header
  uint32_t headersSize = 0;     // SizeOfHeaders
  uint32_t fileAlignment = 0, sectionAlignment = 0;
  uint64_t directories = 0;     // the data directories
  uint32_t directoryCount = 0;
  uint64_t sectionTable = 0;
  std::vector<PeSection> sections;

  // A data directory's address and size; 0 and 0 for one the headers lack.
  uint32_t DirectoryAddress(const std::vector<uint8_t>& bytes, uint32_t index) const;
  uint32_t DirectorySize(const std::vector<uint8_t>& bytes, uint32_t index) const;
};

const uint32_t kCertificateDirectory = 4;
const uint32_t kResourceDirectory = 2;
const uint32_t kBaseRelocationDirectory = 5;

// Every offset comes from the file and is checked against its size: a file
// that is not a Windows program, or whose headers point past its end, is a
// PathError naming path.
PeHeaders ReadPeHeaders(const std::vector<uint8_t>& bytes, const std::string& path);
