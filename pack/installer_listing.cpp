#include "pack/installer_listing.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <memory>
#include <vector>

#include "pack/dos_time.h"
#include "pack/messages_block.h"
#include "pack/pack_error.h"
#include "pack/stub_image.h"
#include "pack/wording.h"

namespace {

const uint64_t kHeadBytes = 1 << 20;        // the program and a block lie in the first MiB
const uint64_t kEndSearch = 66000;           // how far back the stub looks for the end record
const int kScanReads = 64, kScanRead = 8192, kScanOverlap = 16;

class File {
 public:
  explicit File(const std::string& path) : path_(path) {
    descriptor_ = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat info;
    if (descriptor_ < 0 || fstat(descriptor_, &info) != 0) {
      throw PathError(path, errno == ENOENT ? "no such file" : std::string("cannot read: ") + strerror(errno));
    }
    if (!S_ISREG(info.st_mode)) throw PathError(path, "not a file");
    size_ = static_cast<uint64_t>(info.st_size);
  }
  ~File() { if (descriptor_ >= 0) close(descriptor_); }

  std::vector<uint8_t> Read(uint64_t offset, uint64_t length) const {
    length = offset >= size_ ? 0 : std::min(length, size_ - offset);
    std::vector<uint8_t> bytes(length);
    uint64_t done = 0;
    while (done < length) {
      const ssize_t got = pread(descriptor_, bytes.data() + done, length - done, static_cast<off_t>(offset + done));
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) throw PathError(path_, std::string("cannot read: ") + (got < 0 ? strerror(errno) : "it got shorter"));
      done += static_cast<uint64_t>(got);
    }
    return bytes;
  }
  uint64_t size() const { return size_; }

 private:
  std::string path_;
  int descriptor_ = -1;
  uint64_t size_ = 0;
};

uint32_t U16(const std::vector<uint8_t>& b, size_t at) { return b[at] | (b[at + 1] << 8); }
uint32_t U32(const std::vector<uint8_t>& b, size_t at) { return U16(b, at) | (U16(b, at + 2) << 16); }

// The stub's scan: reads of 8,192 bytes overlapping by 16, at most 64; a
// marker is found, or the (other) archive signature ends the search.
int64_t FindMessagesBlock(const std::vector<uint8_t>& head) {
  static const uint8_t kOtherSignature[] = {'Q', 'e', 'l', '!', 0x1A, 0x07};
  const size_t markerLength = strlen(kMessagesMarker);
  uint64_t position = 0;
  for (int read = 0; read < kScanReads; ++read) {
    const uint64_t n = std::min<uint64_t>(kScanRead, head.size() > position ? head.size() - position : 0);
    if (n < kScanOverlap) break;
    for (uint64_t i = 0; i + kScanOverlap <= n; ++i) {
      const uint8_t* at = head.data() + position + i;
      if (memcmp(at, kMessagesMarker, markerLength) == 0) return static_cast<int64_t>(position + i);
      if (memcmp(at, kOtherSignature, sizeof kOtherSignature) == 0) return -1;
    }
    position += n - kScanOverlap;
  }
  return -1;
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
  return "method " + std::to_string(method) + " (the stub cannot extract it)";
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

}  // namespace

std::string ListInstaller(const std::string& path, const CodePage& codePage) {
  const File file(path);
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
  }

  // The messages block.
  const int64_t block = FindMessagesBlock(head);
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

  // The end record: the last signature within the stub's search.
  const uint64_t tailStart = file.size() > kEndSearch ? file.size() - kEndSearch : 0;
  const std::vector<uint8_t> tail = file.Read(tailStart, kEndSearch);
  int64_t end = -1;
  for (int64_t i = static_cast<int64_t>(tail.size()) - 22; i >= 0; --i) {
    if (U32(tail, static_cast<size_t>(i)) == 0x06054B50) {
      end = i;
      break;
    }
  }
  if (end < 0) throw PathError(path, "no ZIP archive at its end (no end-of-directory record)");
  const uint32_t count = U16(tail, end + 10);
  const uint32_t directorySize = U32(tail, end + 12);
  const uint32_t directoryOffset = U32(tail, end + 16);
  const uint32_t commentLength = std::min<uint32_t>(U16(tail, end + 20), tail.size() - end - 22);
  const int64_t shift = static_cast<int64_t>(tailStart) + end - (int64_t{directoryOffset} + directorySize);

  const std::vector<uint8_t> directory = file.Read(static_cast<uint64_t>(std::max<int64_t>(0, directoryOffset + shift)), directorySize);
  struct Row { std::string name; uint32_t size, compressed, method, time, attributes; bool encrypted, folder; };
  std::vector<Row> rows;
  uint64_t lowestOffset = directoryOffset, totalSize = 0, totalCompressed = 0;
  std::unique_ptr<CodePage> oem;  // for names from DOS-like hosts, made when first needed
  for (size_t at = 0, k = 0; k < count; ++k) {
    if (at + 46 > directory.size() || U32(directory, at) != 0x02014B50) {
      throw PathError(path, "a damaged central directory (entry " + std::to_string(k + 1) + ")");
    }
    const uint32_t nameLength = U16(directory, at + 28);
    const uint32_t host = directory[at + 5];
    const uint32_t flags = U16(directory, at + 8);
    if (at + 46 + nameLength > directory.size()) throw PathError(path, "a damaged central directory (a cut name)");
    const std::string raw(directory.begin() + at + 46, directory.begin() + at + 46 + nameLength);
    std::string name;
    if (flags & 0x0800) {
      name = raw;
    } else if (host == 0 || host == 6 || (host == 11 && directory[at + 4] == 50)) {
      try {
        if (oem == nullptr) oem = std::make_unique<CodePage>(OemCodePageOf(codePage.number()));
        name = oem->Decode(raw);
      } catch (const PackError&) {
        name = codePage.Decode(raw);
      }
    } else {
      name = codePage.Decode(raw);
    }
    Row row{name, U32(directory, at + 24), U32(directory, at + 20), U16(directory, at + 10),
            U32(directory, at + 12), U32(directory, at + 38), (flags & 1) != 0, !raw.empty() && raw.back() == '/'};
    lowestOffset = std::min<uint64_t>(lowestOffset, U32(directory, at + 42));
    totalSize += row.size;
    totalCompressed += row.compressed;
    rows.push_back(row);
    at += 46 + nameLength + U16(directory, at + 30) + U16(directory, at + 32);
  }
  const int64_t archiveStart = static_cast<int64_t>(lowestOffset) + shift;
  out += "archive: " + Grouped(file.size() - archiveStart) + " bytes at offset " + Grouped(archiveStart) + "; " +
         (shift == 0 ? std::string("its offsets count from the start of the file (no shift)")
                     : shift < 0 ? "its offsets point past the file: a damaged archive"
                     : "its offsets count from the archive (the stub shifts them by " + Grouped(static_cast<uint64_t>(shift)) + ")") +
         "\n";

  const std::string comment(tail.begin() + end + 22, tail.begin() + end + 22 + commentLength);
  if (comment.empty()) {
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

  const size_t folders = std::count_if(rows.begin(), rows.end(), [](const Row& r) { return r.folder; });
  out += "members: " + Grouped(rows.size()) + " (" + Grouped(rows.size() - folders) + " files, " + Grouped(folders) +
         " folders), " + Grouped(totalSize) + " bytes, " + Grouped(totalCompressed) + " compressed\n";
  char line[160];
  snprintf(line, sizeof line, "  %13s %13s  %-8s %-19s  %-5s  %-9s  %s\n", "size", "compressed", "method",
           "modified", "attr", "encrypted", "name");
  out += line;
  for (const Row& r : rows) {
    snprintf(line, sizeof line, "  %13s %13s  %-8s %-19s  %-5s  %-9s  ", Grouped(r.size).c_str(),
             Grouped(r.compressed).c_str(), MethodName(r.method).c_str(), FormatDosTime(r.time).c_str(),
             Attributes(r.attributes).c_str(), r.encrypted ? "yes" : "no");
    out += line + r.name + "\n";
  }
  return out;
}
