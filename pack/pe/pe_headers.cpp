#include "pack/pe/pe_headers.h"

#include "pack/common/little_endian.h"
#include "pack/common/pack_error.h"

uint32_t PeHeaders::DirectoryAddress(const std::vector<uint8_t>& bytes, uint32_t index) const {
  return index < directoryCount ? U32(bytes, directories + 8ull * index) : 0;
}

uint32_t PeHeaders::DirectorySize(const std::vector<uint8_t>& bytes, uint32_t index) const {
  return index < directoryCount ? U32(bytes, directories + 8ull * index + 4) : 0;
}

PeHeaders ReadPeHeaders(const std::vector<uint8_t>& p, const std::string& path) {
  const auto need = [&](uint64_t offset, uint64_t length) {
    if (offset > p.size() || length > p.size() - offset) {
      throw PathError(path, "a damaged Windows program (a header points past its end)");
    }
  };
  if (p.size() < 64 || p[0] != 'M' || p[1] != 'Z') throw PathError(path, "not a Windows program");
  const uint64_t pe = U32(p, 0x3C);
  if (pe > p.size() || p.size() - pe < 24 || U32(p, pe) != 0x00004550) throw PathError(path, "not a Windows program");
  PeHeaders h;
  h.machine = static_cast<uint16_t>(U16(p, pe + 4));
  const uint16_t sectionCount = static_cast<uint16_t>(U16(p, pe + 6));
  h.optional = pe + 24;
  need(h.optional, 2);
  const uint32_t magic = U16(p, h.optional);
  if (magic != 0x10B && magic != 0x20B) throw PathError(path, "not a Windows program (unknown optional header)");
  h.pe32 = magic == 0x10B;
  need(h.optional, h.pe32 ? 96 : 112);
  h.sectionAlignment = U32(p, h.optional + 32);
  h.fileAlignment = U32(p, h.optional + 36);
  h.headersSize = U32(p, h.optional + 60);
  h.directoryCount = U32(p, h.optional + (h.pe32 ? 92 : 108));
  h.directories = h.optional + (h.pe32 ? 96 : 112);
  need(h.directories, 8ull * h.directoryCount);
  h.sectionTable = h.optional + U16(p, pe + 20);
  need(h.sectionTable, 40ull * sectionCount);
  for (uint16_t i = 0; i < sectionCount; ++i) {
    const uint64_t s = h.sectionTable + 40ull * i;
    h.sections.push_back({s, U32(p, s + 8), U32(p, s + 12), U32(p, s + 16), U32(p, s + 20)});
  }
  return h;
}
