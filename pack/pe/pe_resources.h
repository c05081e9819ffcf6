// The resource section of a Windows program as a tree that can be changed
// and written back: type, name, language, data. The packer brands its copy
// of the stub this way (icon, version information, manifest); the stub on
// disk is never changed.
//
// The section is written anew rather than patched: directories first, then
// the data entries, the name strings and the data, as the PE/COFF format
// lays them out. The resource section must be the program's last section,
// so that a larger one moves nothing else, but for the base relocations
// that the linker puts after it: nothing but the header refers to them, so
// they move along unchanged.
#pragma once

#include <stdint.h>

#include <map>
#include <string>
#include <vector>

// A resource name or type: a number, or a string when name is not empty.
struct ResourceKey {
  std::u16string name;
  uint32_t id = 0;
  static ResourceKey Number(uint32_t id) { return ResourceKey{{}, id}; }
  // Named entries come first in a directory, sorted; then the numbers.
  bool operator<(const ResourceKey& other) const;
  bool operator==(const ResourceKey& other) const { return name == other.name && id == other.id; }
};

using ResourceLanguages = std::map<uint32_t, std::vector<uint8_t>>;  // language -> data
using ResourceNames = std::map<ResourceKey, ResourceLanguages>;
using ResourceTree = std::map<ResourceKey, ResourceNames>;         // type -> names

const uint32_t kResourceIcon = 3;
const uint32_t kResourceGroupIcon = 14;
const uint32_t kResourceVersion = 16;
const uint32_t kResourceManifest = 24;


// Throws PackError naming path when the bytes are not a program whose
// resources can be rewritten.
ResourceTree ReadResourceTree(const std::vector<uint8_t>& program, const std::string& path);

// The program with its resource section replaced by tree, every header that
// counts the section's size and the checksum made to fit. Throws PackError.
std::vector<uint8_t> WithResources(const std::vector<uint8_t>& program, const ResourceTree& tree,
                                   const std::string& path);

// The checksum of the optional header, as the PE/COFF format defines it.
uint32_t PeChecksum(const std::vector<uint8_t>& program, uint64_t checksumOffset);
