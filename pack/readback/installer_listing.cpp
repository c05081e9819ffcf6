#include "pack/readback/installer_listing.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <memory>
#include <vector>

#include "pack/archive/compressor.h"
#include "pack/common/little_endian.h"
#include "pack/readback/archive_directory.h"
#include "pack/readback/solid_verify.h"
#include "pack/common/dos_time.h"
#include "pack/script/messages_block.h"
#include "pack/common/pack_error.h"
#include "pack/common/file_reader.h"
#include "pack/pe/installer_signing.h"
#include "pack/pe/stub_branding.h"
#include "pack/pe/stub_image.h"
#include "pack/common/wording.h"
#include "ui/portable/messages_reader.h"

namespace {

const uint64_t kHeadBytes = 1 << 20;  // the program lies in the first MiB

int32_t ReadAt(void* context, int64_t position, void* buffer, int32_t count) {
  const FileReader* file = static_cast<const FileReader*>(context);
  if (position < 0) return 0;
  const std::vector<uint8_t> bytes = file->Read(static_cast<uint64_t>(position), static_cast<uint64_t>(count));
  std::copy(bytes.begin(), bytes.end(), static_cast<uint8_t*>(buffer));
  return static_cast<int32_t>(bytes.size());
}

std::string Attributes(uint32_t external) {
  const char letters[] = "RHS-DA";
  std::string text;
  for (int bit : {0, 1, 2, 4, 5}) text += (external >> bit) & 1 ? letters[bit] : '-';
  return text;
}

std::string MethodName(uint32_t method) {
  if (method == 0) return "Stored";
  if (method == 8) return "Deflate";
  if (method == 14) return "LZMA";
  if (method == kMethodSolidLzma) return "Solid";
  return "method " + std::to_string(method) + " (the stub cannot extract it)";
}

// How a member is encrypted: its AES strength, the traditional cipher, or
// nothing.
std::string EncryptionName(const CentralEntry& entry) {
  if (entry.method == kMethodAes && entry.aes.wellFormed) {
    return AesStrengthName(entry.aes.strength) + (entry.aes.version == kAesVersionCrcKept ? "+CRC" : "");
  }
  if (entry.method == kMethodAes) return "damaged AES";
  return entry.encrypted() ? "traditional" : "";
}

std::string DescribeEntry(const StubText* text) {
  if (text == nullptr) return "(no text of this stub)";
  switch (text->role) {
    case StubText::kMessage: return "message " + std::to_string(text->id) + " \"" + text->english + "\"";
    case StubText::kDialogText: return text->dialog + " \"" + text->english + "\"";
    case StubText::kSize: return "size of " + text->dialog;
    case StubText::kDirection: return "direction";
  }
  return "";
}

std::string Memory(uint64_t bytes) {
  if (bytes % (1u << 20) == 0) return Grouped(bytes >> 20) + " MiB";
  return Grouped((bytes + 1023) / 1024) + " KiB";
}

// The line above a solid block's first member: its members, sizes and the
// dictionary the stub allocates for it (from the head's properties).
std::string SolidBlockLine(const FileReader& file, const ArchiveDirectory& archive, size_t first, size_t end,
                           size_t number) {
  uint64_t size = 0;
  for (size_t j = first; j < end; ++j) size += archive.entries[j].size;
  const CentralEntry& head = archive.entries[first];
  const uint64_t local = static_cast<uint64_t>(static_cast<int64_t>(head.localOffset) + archive.shift);
  std::string dictionary = "its properties unreadable";
  const std::vector<uint8_t> header = file.Read(local, 30);
  if (header.size() == 30) {
    const std::vector<uint8_t> frame = file.Read(local + 30 + U16(header, 26) + U16(header, 28), 9);
    if (frame.size() == 9) dictionary = "dictionary " + Memory(U32(frame, 5));
  }
  return "  solid block " + Grouped(number) + ": " + Counted(end - first, "member") + ", " + Grouped(size) +
         " bytes in " + Grouped(head.compressedSize) + ", " + dictionary + "\n";
}

}  // namespace

std::string ListInstaller(const std::string& path, const CodePage& codePage) {
  const FileReader file(path);
  std::string out = path + ": " + Grouped(file.size()) + " bytes\n";
  const std::vector<uint8_t> head = file.Read(0, kHeadBytes);

  // The program in front.
  std::unique_ptr<StubImage> stub;
  try {
    stub = std::make_unique<StubImage>(ReadStubImage(head, path));
  } catch (const PackError&) {
  }
  if (stub == nullptr) {
    out += "stub: none (the file does not begin with a Windows program)\n";
  } else {
    out += "stub: " + Grouped(stub->imageEnd) + " bytes, a Windows program for " + stub->machine +
           (IsZimbroStub(*stub) ? "" : " (not a Zimbro SFX stub: it has no start dialog)") + "\n";
    try {
      const BrandingFound brand = ReadBranding(head, path);
      std::string version;
      for (const auto& [key, value] : brand.versionInfo) version += (version.empty() ? "" : ", ") + key + "=" + Quoted(value);
      out += "version information: " + (version.empty() ? std::string("none") : version) + "\n";
      if (!brand.fileVersion.empty()) {
        out += "  file version " + brand.fileVersion + ", product version " + brand.productVersion + "\n";
      }
      out += "execution level: " + (brand.executionLevel.empty() ? std::string("none declared") : brand.executionLevel) +
             "\n";
      std::string icons;
      for (const std::string& size : brand.iconSizes) icons += (icons.empty() ? "" : "; ") + size;
      out += "icon: " + (icons.empty() ? std::string("none") : icons) + "\n";
    } catch (const PackError&) {
    }
  }

  const SignatureInfo signature = ReadSignature(path, head, file.size());
  if (!signature.present) {
    out += "signature: none\n";
  } else {
    out += "signature: " + Grouped(signature.size) + " bytes at offset " + Grouped(signature.offset) +
           ", signed by " + (signature.signer.empty() ? std::string("(a signer openssl cannot read)") : signature.signer) +
           "\n";
  }

  // The messages block, where the stub recognises it.
  const int64_t block = FindMessagesBlock(ReadAt, const_cast<FileReader*>(&file));
  if (block < 0) {
    out += "messages block: none\n";
  } else {
    std::vector<uint8_t> bytes = file.Read(static_cast<uint64_t>(block), kMessagesBlockLimit);
    bytes.resize(std::find(bytes.begin(), bytes.end(), 0) - bytes.begin());
    const std::vector<BlockEntry> entries = ReadBlockEntries(std::string(bytes.begin(), bytes.end()));
    out += "messages block: " + Grouped(bytes.size()) + " bytes at offset " + Grouped(block) + ", " +
           Grouped(entries.size()) + " entries\n";
    std::map<std::string, StubText> texts;
    if (stub != nullptr) {
      for (const StubText& t : StubTexts(*stub, codePage)) texts.emplace(t.key, t);
    }
    for (const BlockEntry& e : entries) {
      const auto known = texts.find(e.key);
      out += "  " + codePage.Decode(e.key) + "  " + DescribeEntry(known == texts.end() ? nullptr : &known->second) +
             " = \"" + codePage.Decode(e.value) + "\"\n";
    }
  }

  const ArchiveDirectory archive = ReadArchiveDirectory(file);
  const int64_t shift = archive.shift;
  struct Row { std::string name; uint64_t size, compressed; uint32_t method, time, attributes; std::string encryption; bool folder; };
  std::vector<Row> rows;
  uint64_t totalSize = 0, totalCompressed = 0;
  std::unique_ptr<CodePage> oem;  // for names from DOS-like hosts, made when first needed
  for (const CentralEntry& entry : archive.entries) {
    const std::string& raw = entry.name;
    const uint32_t host = entry.hostSystem;
    std::string name;
    if (entry.flags & 0x0800) {
      name = raw;
    } else if (host == 0 || host == 6 || (host == 11 && entry.versionMadeBy == 50)) {
      try {
        if (oem == nullptr) oem = std::make_unique<CodePage>(OemCodePageOf(codePage.number()));
        name = oem->Decode(raw);
      } catch (const PackError&) {
        name = codePage.Decode(raw);
      }
    } else {
      name = codePage.Decode(raw);
    }
    // An AES member's method is the one under its encryption.
    const uint32_t method = entry.method == kMethodAes && entry.aes.wellFormed ? entry.aes.method : entry.method;
    rows.push_back(Row{name, entry.size, entry.compressedSize, method, entry.time, entry.externalAttributes,
                       EncryptionName(entry), entry.folder()});
    totalSize += entry.size;
    totalCompressed += entry.compressedSize;
  }
  const int64_t archiveStart = static_cast<int64_t>(archive.lowestOffset) + shift;
  out += "archive: " + Grouped((signature.present ? signature.offset : file.size()) - archiveStart) + " bytes at offset " + Grouped(archiveStart) + "; " +
         (shift == 0 ? std::string("its offsets count from the start of the file (no shift)")
                     : shift < 0 ? "its offsets point past the file: a damaged archive"
                     : "its offsets count from the archive (the stub shifts them by " + Grouped(static_cast<uint64_t>(shift)) + ")") +
         "\n";

  if (!archive.zip64End && archive.zip64Members() == 0) {
    out += "Zip64: none (a classic archive)\n";
  } else {
    out += "Zip64: " + (archive.zip64End ? "a Zip64 end record at offset " + Grouped(archive.zip64EndOffset) +
                                               " and its locator"
                                         : std::string("no Zip64 end record")) +
           "; " + Counted(archive.zip64Members(), "member") + " with a Zip64 field\n";
  }

  // What the stub reads as its script, which is not always the end
  // record's comment (see zip/portable/archive_search.h).
  const std::string& comment = archive.script;
  if (!archive.hasScript) {
    out += "script: none\n";
  } else {
    out += "script: " + Grouped(comment.size()) + " bytes\n";
    std::string text = codePage.Decode(comment);
    size_t start = 0;
    while (start < text.size()) {
      size_t stop = text.find_first_of("\r\n", start);
      if (stop == std::string::npos) stop = text.size();
      out += "  | " + text.substr(start, stop - start) + "\n";
      start = stop + (text.compare(stop, 2, "\r\n") == 0 ? 2 : 1);
    }
  }

  // The solid blocks, by the index of their first member.
  std::map<size_t, std::string> blockLines;
  for (size_t k = 0; k < archive.entries.size(); ++k) {
    if (!IsSolidHead(archive.entries[k])) continue;
    const size_t end = SolidRunEnd(archive, k);
    blockLines[k] = SolidBlockLine(file, archive, k, end, blockLines.size() + 1);
    k = end - 1;
  }
  const size_t folders = std::count_if(rows.begin(), rows.end(), [](const Row& r) { return r.folder; });
  out += "members: " + Grouped(rows.size()) + " (" + Counted(rows.size() - folders, "file") + ", " +
         Counted(folders, "folder") + "), " + Grouped(totalSize) + " bytes, " + Grouped(totalCompressed) +
         " compressed" + (blockLines.empty() ? "" : ", " + Counted(blockLines.size(), "solid block")) + "\n";
  char line[160];
  snprintf(line, sizeof line, "  %13s %13s  %-8s %-19s  %-5s  %-11s  %s\n", "size", "compressed", "method",
           "modified", "attr", "encryption", "name");
  out += line;
  for (size_t k = 0; k < rows.size(); ++k) {
    const Row& r = rows[k];
    const auto block = blockLines.find(k);
    if (block != blockLines.end()) out += block->second;
    snprintf(line, sizeof line, "  %13s %13s  %-8s %-19s  %-5s  %-11s  ", Grouped(r.size).c_str(),
             Grouped(r.compressed).c_str(), MethodName(r.method).c_str(), FormatDosTime(r.time).c_str(),
             Attributes(r.attributes).c_str(), r.encryption.c_str());
    out += line + r.name + "\n";
  }
  return out;
}
