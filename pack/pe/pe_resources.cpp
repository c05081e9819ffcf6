#include "pack/pe/pe_resources.h"

#include <algorithm>

#include "pack/common/pack_error.h"
#include "pack/common/little_endian.h"
#include "pack/pe/pe_headers.h"

namespace {

uint64_t AlignUp(uint64_t value, uint64_t alignment) { return (value + alignment - 1) / alignment * alignment; }

// Where the headers put things; every offset checked against the file.
struct Layout {
  uint64_t optional = 0;       // the optional header
  bool pe32 = true;            // PE32 (i686) or PE32+ (x86-64)
  uint64_t directories = 0;    // the data directories
  uint32_t directoryCount = 0;
  uint64_t sectionTable = 0;
  uint16_t sectionCount = 0;
  uint32_t fileAlignment = 0, sectionAlignment = 0;
  uint64_t resourceHeader = 0;  // the resource section's entry in the section table
  uint32_t resourceRva = 0, resourceRawOffset = 0, resourceRawSize = 0;
  // The base relocations when they follow the resources (the linker puts
  // them last); 0 when the resources are the last section.
  uint64_t relocationHeader = 0;
  uint32_t relocationVirtualSize = 0, relocationRawOffset = 0, relocationRawSize = 0;
};

Layout ReadLayout(const std::vector<uint8_t>& p, const std::string& path) {
  const auto need = [&](uint64_t offset, uint64_t length) {
    if (offset > p.size() || length > p.size() - offset) throw PathError(path, "a damaged Windows program");
  };
  const PeHeaders headers = ReadPeHeaders(p, path);
  Layout l;
  l.optional = headers.optional;
  l.pe32 = headers.pe32;
  l.sectionAlignment = headers.sectionAlignment;
  l.fileAlignment = headers.fileAlignment;
  l.directoryCount = headers.directoryCount;
  l.directories = headers.directories;
  l.sectionTable = headers.sectionTable;
  l.sectionCount = static_cast<uint16_t>(headers.sections.size());
  if (l.directoryCount < 3 || l.fileAlignment == 0 || l.sectionAlignment == 0) {
    throw PathError(path, "a Windows program without resources");
  }
  const uint32_t rva = headers.DirectoryAddress(p, kResourceDirectory);
  const uint32_t relocationRva = headers.DirectoryAddress(p, kBaseRelocationDirectory);
  // The sections after the resources, by address and by file offset: none,
  // or the base relocations alone, which nothing but the header refers to,
  // so that they can move along when the resources grow.
  uint32_t lastRva = 0, afterRva = 0;
  uint64_t lastRaw = 0, afterRaw = 0;
  for (const PeSection& section : headers.sections) {
    const uint32_t va = section.virtualAddress, rawSize = section.rawSize, rawOffset = section.rawOffset;
    if (va == rva) {
      l.resourceHeader = section.header;
      l.resourceRva = va;
      l.resourceRawOffset = rawOffset;
      l.resourceRawSize = rawSize;
    } else if (va == relocationRva && relocationRva != 0) {
      l.relocationHeader = section.header;
      l.relocationVirtualSize = section.virtualSize;
      l.relocationRawOffset = rawOffset;
      l.relocationRawSize = rawSize;
      afterRva = va;
      afterRaw = rawOffset;
      continue;
    }
    lastRva = std::max(lastRva, va);
    if (rawSize > 0) lastRaw = std::max<uint64_t>(lastRaw, rawOffset);
  }
  if (l.resourceHeader == 0) throw PathError(path, "a Windows program whose resources are not a section of their own");
  const bool relocationsFollow = l.relocationHeader != 0 && afterRva > l.resourceRva && afterRaw > l.resourceRawOffset;
  if (!relocationsFollow) l.relocationHeader = 0;
  if (l.resourceRva != lastRva || l.resourceRawOffset != lastRaw ||
      (!relocationsFollow && relocationRva > l.resourceRva)) {
    throw PathError(path, "a Windows program whose resources are not its last section: they cannot be rewritten");
  }
  need(l.resourceRawOffset, l.resourceRawSize);
  if (l.relocationHeader != 0) need(l.relocationRawOffset, l.relocationRawSize);
  return l;
}

// ---------------------------------------------------------------------------
// Reading the tree
// ---------------------------------------------------------------------------

class TreeReader {
 public:
  TreeReader(const std::vector<uint8_t>& p, const Layout& l, const std::string& path)
      : p_(p), base_(l.resourceRawOffset), size_(l.resourceRawSize), rva_(l.resourceRva), path_(path) {}

  ResourceTree Read() {
    ResourceTree tree;
    Entries(0, [&](const ResourceKey& type, uint32_t typeTarget) {
      Entries(Directory(typeTarget), [&](const ResourceKey& name, uint32_t nameTarget) {
        Entries(Directory(nameTarget), [&](const ResourceKey& language, uint32_t dataTarget) {
          if (dataTarget & 0x80000000u) Fail();
          Need(dataTarget, 16);
          const uint32_t dataRva = U32(p_, base_ + dataTarget), length = U32(p_, base_ + dataTarget + 4);
          if (dataRva < rva_) Fail();
          Need(dataRva - rva_, length);
          const uint64_t from = base_ + (dataRva - rva_);
          tree[type][name][language.id].assign(p_.begin() + from, p_.begin() + from + length);
        });
      });
    });
    return tree;
  }

 private:
  [[noreturn]] void Fail() const { throw PathError(path_, "a Windows program with a damaged resource section"); }
  void Need(uint64_t offset, uint64_t length) const {
    if (offset > size_ || length > size_ - offset) Fail();
  }
  uint32_t Directory(uint32_t target) const {
    if (!(target & 0x80000000u)) Fail();
    return target & 0x7FFFFFFFu;
  }
  template <typename Visit>
  void Entries(uint32_t directory, Visit&& visit) {
    if (++depth_ > 3) Fail();
    Need(directory, 16);
    const uint32_t count = U16(p_, base_ + directory + 12) + U16(p_, base_ + directory + 14);
    Need(directory + 16, 8ull * count);
    for (uint32_t i = 0; i < count; ++i) {
      const uint64_t entry = base_ + directory + 16 + 8ull * i;
      const uint32_t name = U32(p_, entry), target = U32(p_, entry + 4);
      ResourceKey key;
      if (name & 0x80000000u) {
        const uint32_t at = name & 0x7FFFFFFFu;
        Need(at, 2);
        const uint32_t length = U16(p_, base_ + at);
        Need(at + 2, 2ull * length);
        for (uint32_t k = 0; k < length; ++k) key.name.push_back(static_cast<char16_t>(U16(p_, base_ + at + 2 + 2 * k)));
      } else {
        key.id = name;
      }
      visit(key, target);
    }
    --depth_;
  }

  const std::vector<uint8_t>& p_;
  uint64_t base_, size_;
  uint32_t rva_;
  const std::string& path_;
  int depth_ = 0;
};

// ---------------------------------------------------------------------------
// Writing the tree
// ---------------------------------------------------------------------------

class TreeWriter {
 public:
  explicit TreeWriter(uint32_t rva) : rva_(rva) {}

  std::vector<uint8_t> Write(const ResourceTree& tree) {
    // Sizes first: every directory, then the data entries, strings, data.
    uint64_t directories = 0, leaves = 0, strings = 0;
    const auto directory = [](size_t entries) { return 16 + 8 * static_cast<uint64_t>(entries); };
    const auto string = [&](const ResourceKey& k) { if (!k.name.empty()) strings += 2 + 2 * k.name.size(); };
    directories += directory(tree.size());
    for (const auto& [type, names] : tree) {
      string(type);
      directories += directory(names.size());
      for (const auto& [name, languages] : names) {
        string(name);
        directories += directory(languages.size());
        leaves += 16 * languages.size();
      }
    }
    nextDirectory_ = 0;
    nextLeaf_ = directories;
    nextString_ = directories + leaves;
    nextData_ = AlignUp(nextString_ + strings, 8);
    uint64_t total = nextData_;
    for (const auto& [type, names] : tree)
      for (const auto& [name, languages] : names)
        for (const auto& [language, data] : languages) total = AlignUp(total + data.size(), 8);
    out_.assign(total, 0);

    // Breadth first, so that every directory of a level lies together.
    const uint64_t root = Take(&nextDirectory_, directory(tree.size()));
    Header(root, tree);
    size_t i = 0;
    std::vector<std::pair<uint64_t, const ResourceNames*>> second;
    for (const auto& [type, names] : tree) {
      const uint64_t at = Take(&nextDirectory_, directory(names.size()));
      Entry(root, i++, type, at | 0x80000000u);
      second.push_back({at, &names});
    }
    std::vector<std::pair<uint64_t, const ResourceLanguages*>> third;
    for (const auto& [at, names] : second) {
      Header(at, *names);
      size_t k = 0;
      for (const auto& [name, languages] : *names) {
        const uint64_t sub = Take(&nextDirectory_, directory(languages.size()));
        Entry(at, k++, name, sub | 0x80000000u);
        third.push_back({sub, &languages});
      }
    }
    for (const auto& [at, languages] : third) {
      Header(at, *languages);
      size_t k = 0;
      for (const auto& [language, data] : *languages) {
        const uint64_t leaf = Take(&nextLeaf_, 16);
        Entry(at, k++, ResourceKey::Number(language), static_cast<uint32_t>(leaf));
        const uint64_t where = nextData_;
        nextData_ = AlignUp(nextData_ + data.size(), 8);
        std::copy(data.begin(), data.end(), out_.begin() + where);
        Put32At(&out_, leaf, static_cast<uint32_t>(rva_ + where));
        Put32At(&out_, leaf + 4, static_cast<uint32_t>(data.size()));
      }
    }
    return out_;
  }

 private:
  static uint64_t Take(uint64_t* next, uint64_t size) {
    const uint64_t at = *next;
    *next += size;
    return at;
  }
  template <typename Map>
  void Header(uint64_t at, const Map& entries) {
    uint32_t named = 0;
    for (const auto& e : entries) named += KeyOf(e.first).name.empty() ? 0 : 1;
    Put16At(&out_, at + 12, named);
    Put16At(&out_, at + 14, static_cast<uint32_t>(entries.size()) - named);
  }
  static ResourceKey KeyOf(const ResourceKey& k) { return k; }
  static ResourceKey KeyOf(uint32_t language) { return ResourceKey::Number(language); }
  void Entry(uint64_t directory, size_t index, const ResourceKey& key, uint32_t target) {
    const uint64_t entry = directory + 16 + 8 * static_cast<uint64_t>(index);
    if (key.name.empty()) {
      Put32At(&out_, entry, key.id);
    } else {
      const uint64_t at = Take(&nextString_, 2 + 2 * key.name.size());
      Put16At(&out_, at, static_cast<uint32_t>(key.name.size()));
      for (size_t c = 0; c < key.name.size(); ++c) Put16At(&out_, at + 2 + 2 * c, key.name[c]);
      Put32At(&out_, entry, static_cast<uint32_t>(at) | 0x80000000u);
    }
    Put32At(&out_, entry + 4, target);
  }

  uint32_t rva_;
  std::vector<uint8_t> out_;
  uint64_t nextDirectory_ = 0, nextLeaf_ = 0, nextString_ = 0, nextData_ = 0;
};

char16_t Upper(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c; }

}  // namespace

bool ResourceKey::operator<(const ResourceKey& other) const {
  if (name.empty() != other.name.empty()) return !name.empty();  // names before numbers
  if (name.empty()) return id < other.id;
  // Windows looks names up without regard to case, in upper-case order.
  return std::lexicographical_compare(name.begin(), name.end(), other.name.begin(), other.name.end(),
                                      [](char16_t a, char16_t b) { return Upper(a) < Upper(b); });
}

ResourceTree ReadResourceTree(const std::vector<uint8_t>& program, const std::string& path) {
  const Layout layout = ReadLayout(program, path);
  return TreeReader(program, layout, path).Read();
}

uint32_t PeChecksum(const std::vector<uint8_t>& program, uint64_t checksumOffset) {
  uint64_t sum = 0;
  for (uint64_t i = 0; i + 1 < program.size() + 1; i += 2) {
    if (i == checksumOffset || i == checksumOffset + 2) continue;
    const uint32_t word = program[i] | (i + 1 < program.size() ? program[i + 1] << 8 : 0);
    sum += word;
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<uint32_t>(sum + program.size());
}

std::vector<uint8_t> WithResources(const std::vector<uint8_t>& program, const ResourceTree& tree,
                                   const std::string& path) {
  const Layout l = ReadLayout(program, path);
  const std::vector<uint8_t> section = TreeWriter(l.resourceRva).Write(tree);
  const uint64_t rawSize = AlignUp(section.size(), l.fileAlignment);
  std::vector<uint8_t> out(program.begin(), program.begin() + l.resourceRawOffset);
  out.insert(out.end(), section.begin(), section.end());
  out.resize(l.resourceRawOffset + rawSize, 0);

  Put32At(&out, l.resourceHeader + 8, static_cast<uint32_t>(section.size()));  // virtual size
  Put32At(&out, l.resourceHeader + 16, static_cast<uint32_t>(rawSize));
  Put32At(&out, l.directories + 2 * 8 + 4, static_cast<uint32_t>(section.size()));
  // The base relocations, unchanged, right after the new resources.
  uint64_t imageEnd = l.resourceRva + section.size();
  if (l.relocationHeader != 0) {
    const uint32_t relocationRva = static_cast<uint32_t>(AlignUp(imageEnd, l.sectionAlignment));
    Put32At(&out, l.relocationHeader + 12, relocationRva);
    Put32At(&out, l.relocationHeader + 20, static_cast<uint32_t>(out.size()));
    Put32At(&out, l.directories + kBaseRelocationDirectory * 8, relocationRva);
    out.insert(out.end(), program.begin() + l.relocationRawOffset,
               program.begin() + l.relocationRawOffset + l.relocationRawSize);
    imageEnd = relocationRva + uint64_t{l.relocationVirtualSize};
  }
  // Size of initialised data and of the image follow the section.
  const uint32_t initialised = U32(out, l.optional + 8) - l.resourceRawSize + static_cast<uint32_t>(rawSize);
  Put32At(&out, l.optional + 8, initialised);
  Put32At(&out, l.optional + 56, static_cast<uint32_t>(AlignUp(imageEnd, l.sectionAlignment)));
  const uint64_t checksum = l.optional + 64;
  Put32At(&out, checksum, PeChecksum(out, checksum));
  return out;
}
