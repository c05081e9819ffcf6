#include "pack/pe/stub_branding.h"

#include <stdlib.h>

#include <algorithm>

#include "pack/common/code_page.h"
#include "pack/common/file_reader.h"
#include "pack/cli/options.h"
#include "pack/pe/pe_resources.h"
#include "pack/common/little_endian.h"

const char* const kVersionInfoKeys[6] = {"ProductName",     "ProductVersion", "FileVersion",
                                         "CompanyName",     "FileDescription", "LegalCopyright"};
const char* const kExecutionLevels[3] = {"asInvoker", "highestAvailable", "requireAdministrator"};

namespace {

const uint32_t kEnglishUs = 0x0409;
const uint32_t kUnicodeCodePage = 1200;

void Align4(std::vector<uint8_t>* b) {
  while (b->size() % 4 != 0) b->push_back(0);
}

std::u16string Utf16(const std::string& utf8) {
  std::u16string out;
  for (size_t i = 0; i < utf8.size();) {
    const unsigned char lead = static_cast<unsigned char>(utf8[i]);
    const size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    uint32_t code = length == 1 ? lead : lead & (0x7F >> length);
    for (size_t k = 1; k < length && i + k < utf8.size(); ++k) code = (code << 6) | (utf8[i + k] & 0x3F);
    i += length;
    if (code >= 0x10000) {
      out.push_back(static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(code));
    }
  }
  return out;
}

void PutText(std::vector<uint8_t>* b, const std::u16string& text) {
  for (char16_t c : text) Append16(b, c);
  Append16(b, 0);
}

// One node of a version resource: its length, the length of its value, its
// type (1 text, 0 binary), its key, then the value and the children, each
// on a four-byte boundary.
std::vector<uint8_t> VersionNode(const std::string& key, const std::vector<uint8_t>& value, uint16_t valueLength,
                                 bool text, const std::vector<std::vector<uint8_t>>& children) {
  std::vector<uint8_t> node;
  Append16(&node, 0);  // length, filled in below
  Append16(&node, valueLength);
  Append16(&node, text ? 1 : 0);
  PutText(&node, Utf16(key));
  Align4(&node);
  node.insert(node.end(), value.begin(), value.end());
  for (const std::vector<uint8_t>& child : children) {
    Align4(&node);
    node.insert(node.end(), child.begin(), child.end());
  }
  node[0] = static_cast<uint8_t>(node.size());
  node[1] = static_cast<uint8_t>(node.size() >> 8);
  return node;
}

std::vector<uint8_t> VersionResource(const Branding& b) {
  uint32_t fileHigh = 0, fileLow = 0, productHigh = 0, productLow = 0;
  for (const auto& [key, value] : b.versionInfo) {
    if (key == "FileVersion") ParseVersionNumbers(value, &fileHigh, &fileLow);
    if (key == "ProductVersion") ParseVersionNumbers(value, &productHigh, &productLow);
  }
  // One version given serves as the other as well.
  if (fileHigh == 0 && fileLow == 0) fileHigh = productHigh, fileLow = productLow;
  if (productHigh == 0 && productLow == 0) productHigh = fileHigh, productLow = fileLow;

  std::vector<uint8_t> fixed;
  for (uint32_t v : {0xFEEF04BDu, 0x00010000u, fileHigh, fileLow, productHigh, productLow, 0x3Fu, 0u,
                     0x00040004u /* NT, 32-bit Windows */, 1u /* an application */, 0u, 0u, 0u}) {
    Append32(&fixed, v);
  }
  std::vector<std::vector<uint8_t>> strings;
  for (const auto& [key, value] : b.versionInfo) {
    std::vector<uint8_t> text;
    const std::u16string wide = Utf16(value);
    PutText(&text, wide);
    strings.push_back(VersionNode(key, text, static_cast<uint16_t>(wide.size() + 1), true, {}));
  }
  char table[16];
  snprintf(table, sizeof table, "%04X%04X", kEnglishUs, kUnicodeCodePage);
  const std::vector<uint8_t> stringTable = VersionNode(table, {}, 0, true, strings);
  const std::vector<uint8_t> stringInfo = VersionNode("StringFileInfo", {}, 0, true, {stringTable});
  std::vector<uint8_t> translation;
  Append16(&translation, kEnglishUs);
  Append16(&translation, kUnicodeCodePage);
  const std::vector<uint8_t> var = VersionNode("Translation", translation, 4, false, {});
  const std::vector<uint8_t> varInfo = VersionNode("VarFileInfo", {}, 0, true, {var});
  return VersionNode("VS_VERSION_INFO", fixed, static_cast<uint16_t>(fixed.size()), false, {stringInfo, varInfo});
}

// The icon file's images become RT_ICON resources under the group's name;
// the images the stub's own group used are dropped.
void ReplaceIcon(ResourceTree* tree, const std::string& iconPath) {
  const FileReader file(iconPath);
  const std::vector<uint8_t> ico = file.Read(0, file.size());
  const auto bad = [&](const std::string& why) { return PathError(iconPath, "not an icon file: " + why); };
  if (ico.size() < 6 || U16(ico, 0) != 0 || U16(ico, 2) != 1) throw bad("no icon header");
  const uint32_t count = U16(ico, 4);
  if (count == 0) throw bad("it holds no image");
  if (6 + 16ull * count > ico.size()) throw bad("its directory is cut off");

  ResourceNames& groups = (*tree)[ResourceKey::Number(kResourceGroupIcon)];
  ResourceNames& icons = (*tree)[ResourceKey::Number(kResourceIcon)];
  ResourceKey groupName = ResourceKey::Number(100);
  uint32_t language = kEnglishUs;
  if (!groups.empty()) {
    // The stub's group: its name and language stay, its images go.
    groupName = groups.begin()->first;
    const auto& [groupLanguage, old] = *groups.begin()->second.begin();
    language = groupLanguage;
    const size_t oldCount = old.size() >= 6 ? U16(old, 4) : 0;
    for (size_t k = 0; k < oldCount && 6 + 14 * k + 14 <= old.size(); ++k) {
      icons.erase(ResourceKey::Number(U16(old, 6 + 14 * k + 12)));
    }
    groups.erase(groups.begin());
  }
  uint32_t nextId = 1;
  for (const auto& [key, languages] : icons) nextId = std::max(nextId, key.id + 1);

  std::vector<uint8_t> group;
  Append16(&group, 0);
  Append16(&group, 1);
  Append16(&group, static_cast<uint16_t>(count));
  for (uint32_t k = 0; k < count; ++k) {
    const size_t entry = 6 + 16 * k;
    const uint32_t size = U32(ico, entry + 8), offset = U32(ico, entry + 12);
    if (offset > ico.size() || size > ico.size() - offset || size == 0) throw bad("image " + std::to_string(k + 1) + " lies outside the file");
    icons[ResourceKey::Number(nextId)][language].assign(ico.begin() + offset, ico.begin() + offset + size);
    group.insert(group.end(), ico.begin() + entry, ico.begin() + entry + 12);  // sizes, colours, planes, bits, bytes
    Append16(&group, static_cast<uint16_t>(nextId++));
  }
  groups[groupName][language] = group;
}

// The manifest's requestedExecutionLevel set to level, added when missing.
void SetExecutionLevel(ResourceTree* tree, const std::string& level, const std::string& stubPath) {
  ResourceNames& manifests = (*tree)[ResourceKey::Number(kResourceManifest)];
  if (manifests.empty()) throw PathError(stubPath, "the stub has no manifest to take the execution level");
  std::vector<uint8_t>& bytes = manifests.begin()->second.begin()->second;
  std::string text(bytes.begin(), bytes.end());
  const std::string attribute = "level=\"";
  const size_t element = text.find("requestedExecutionLevel");
  if (element != std::string::npos) {
    const size_t start = text.find(attribute, element);
    const size_t end = start == std::string::npos ? start : text.find('"', start + attribute.size());
    if (end == std::string::npos) throw PathError(stubPath, "the stub's manifest has a damaged execution level");
    text.replace(start + attribute.size(), end - start - attribute.size(), level);
  } else {
    const size_t close = text.rfind("</assembly>");
    if (close == std::string::npos) throw PathError(stubPath, "the stub's manifest has no end");
    text.insert(close, "  <trustInfo xmlns=\"urn:schemas-microsoft-com:asm.v3\">\n    <security>\n"
                       "      <requestedPrivileges>\n        <requestedExecutionLevel level=\"" + level +
                           "\" uiAccess=\"false\"/>\n      </requestedPrivileges>\n    </security>\n"
                           "  </trustInfo>\n");
  }
  bytes.assign(text.begin(), text.end());
}

}  // namespace

bool ParseVersionNumbers(const std::string& text, uint32_t* high, uint32_t* low) {
  uint32_t parts[4] = {0, 0, 0, 0};
  const char* at = text.c_str();
  if (*at < '0' || *at > '9') return false;
  for (int k = 0; k < 4; ++k) {
    char* end = nullptr;
    const unsigned long value = strtoul(at, &end, 10);
    if (end == at) break;
    parts[k] = static_cast<uint32_t>(std::min<unsigned long>(value, 0xFFFF));
    if (*end != '.') break;
    at = end + 1;
  }
  *high = parts[0] << 16 | parts[1];
  *low = parts[2] << 16 | parts[3];
  return true;
}

void CheckBrandingOptions(const Branding& b) {
  for (const auto& [key, value] : b.versionInfo) {
    if (std::find_if(std::begin(kVersionInfoKeys), std::end(kVersionInfoKeys),
                     [&](const char* k) { return key == k; }) == std::end(kVersionInfoKeys)) {
      throw UsageError("--version-info " + key + ": the keys are ProductName, ProductVersion, FileVersion, "
                       "CompanyName, FileDescription and LegalCopyright");
    }
    if (FindInvalidUtf8(value) != std::string::npos) throw UsageError("--version-info " + key + ": not UTF-8");
    uint32_t high, low;
    if ((key == "FileVersion" || key == "ProductVersion") && !ParseVersionNumbers(value, &high, &low)) {
      throw UsageError("--version-info " + key + "=" + value + ": a version begins with a number, like 1.2.3.4");
    }
  }
  if (!b.executionLevel.empty() &&
      std::find_if(std::begin(kExecutionLevels), std::end(kExecutionLevels),
                   [&](const char* l) { return b.executionLevel == l; }) == std::end(kExecutionLevels)) {
    throw UsageError("--execution-level " + b.executionLevel +
                     ": one of asInvoker, highestAvailable, requireAdministrator");
  }
}

std::vector<uint8_t> BrandStub(const std::vector<uint8_t>& stub, const Branding& b, const std::string& stubPath) {
  if (b.empty()) return stub;
  ResourceTree tree = ReadResourceTree(stub, stubPath);
  if (!b.iconPath.empty()) ReplaceIcon(&tree, b.iconPath);
  if (!b.versionInfo.empty()) {
    ResourceNames& versions = tree[ResourceKey::Number(kResourceVersion)];
    versions.clear();
    versions[ResourceKey::Number(1)][kEnglishUs] = VersionResource(b);
  }
  if (!b.executionLevel.empty()) SetExecutionLevel(&tree, b.executionLevel, stubPath);
  return WithResources(stub, tree, stubPath);
}

namespace {

std::string FromUtf16(const std::vector<uint8_t>& b, size_t at, size_t end, size_t* after) {
  std::u16string text;
  while (at + 1 < end && U16(b, at) != 0) {
    text.push_back(static_cast<char16_t>(U16(b, at)));
    at += 2;
  }
  *after = at + 2;
  return Utf16ToUtf8(text);
}

std::string Dotted(uint32_t high, uint32_t low) {
  return std::to_string(high >> 16) + "." + std::to_string(high & 0xFFFF) + "." + std::to_string(low >> 16) + "." +
         std::to_string(low & 0xFFFF);
}

// Walks a version node and its children; strings go to found.
void ReadVersionNode(const std::vector<uint8_t>& b, size_t at, size_t end, int depth, BrandingFound* found) {
  if (at + 6 > end || depth > 4) return;
  const size_t length = U16(b, at), valueLength = U16(b, at + 2), type = U16(b, at + 4);
  const size_t nodeEnd = std::min(end, at + length);
  if (length < 6) return;
  size_t cursor;
  const std::string key = FromUtf16(b, at + 6, nodeEnd, &cursor);
  cursor = (cursor + 3) & ~size_t{3};
  if (depth == 0 && valueLength >= 52 && cursor + 52 <= nodeEnd && U32(b, cursor) == 0xFEEF04BDu) {
    found->fileVersion = Dotted(U32(b, cursor + 8), U32(b, cursor + 12));
    found->productVersion = Dotted(U32(b, cursor + 16), U32(b, cursor + 20));
  }
  if (depth == 3 && type == 1) {
    size_t ignored;
    found->versionInfo.push_back({key, FromUtf16(b, cursor, nodeEnd, &ignored)});
    return;
  }
  cursor += type == 1 ? valueLength * 2 : valueLength;
  while (true) {
    cursor = (cursor + 3) & ~size_t{3};
    if (cursor + 6 > nodeEnd || U16(b, cursor) == 0) break;
    ReadVersionNode(b, cursor, nodeEnd, depth + 1, found);
    cursor += U16(b, cursor);
  }
}

}  // namespace

BrandingFound ReadBranding(const std::vector<uint8_t>& program, const std::string& path) {
  BrandingFound found;
  const ResourceTree tree = ReadResourceTree(program, path);
  const auto first = [&](uint32_t type) -> const std::vector<uint8_t>* {
    const auto names = tree.find(ResourceKey::Number(type));
    if (names == tree.end() || names->second.empty() || names->second.begin()->second.empty()) return nullptr;
    return &names->second.begin()->second.begin()->second;
  };
  if (const std::vector<uint8_t>* version = first(kResourceVersion)) {
    ReadVersionNode(*version, 0, version->size(), 0, &found);
  }
  if (const std::vector<uint8_t>* manifest = first(kResourceManifest)) {
    const std::string text(manifest->begin(), manifest->end());
    const size_t element = text.find("requestedExecutionLevel");
    const size_t start = element == std::string::npos ? element : text.find("level=\"", element);
    if (start != std::string::npos) {
      const size_t end = text.find('"', start + 7);
      if (end != std::string::npos) found.executionLevel = text.substr(start + 7, end - start - 7);
    }
  }
  if (const std::vector<uint8_t>* group = first(kResourceGroupIcon)) {
    const size_t count = group->size() >= 6 ? U16(*group, 4) : 0;
    for (size_t k = 0; k < count && 6 + 14 * k + 14 <= group->size(); ++k) {
      const size_t e = 6 + 14 * k;
      const unsigned width = (*group)[e] == 0 ? 256 : (*group)[e], height = (*group)[e + 1] == 0 ? 256 : (*group)[e + 1];
      found.iconSizes.push_back(std::to_string(width) + "x" + std::to_string(height) + ", " +
                                std::to_string(U16(*group, e + 6)) + " bits");
    }
  }
  return found;
}
