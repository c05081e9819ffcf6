// Reading a Windows program's string and dialog resources, as the published
// resource formats lay them out, from the headers that pe_headers.cpp reads. Every offset
// comes from the file, so every read is checked against its size.
#include "pack/pe/stub_image.h"

#include <algorithm>

#include "pack/common/code_page.h"
#include "pack/common/pack_error.h"
#include "pack/pe/pe_headers.h"

namespace {

const uint32_t kTypeDialog = 5;
const uint32_t kTypeString = 6;

class Bytes {
 public:
  Bytes(const std::vector<uint8_t>& bytes, const std::string& path) : bytes_(bytes), path_(path) {}
  uint16_t U16(uint64_t offset) const {
    Need(offset, 2);
    return static_cast<uint16_t>(bytes_[offset] | (bytes_[offset + 1] << 8));
  }
  uint32_t U32(uint64_t offset) const {
    return U16(offset) | (static_cast<uint32_t>(U16(offset + 2)) << 16);
  }
  void Need(uint64_t offset, uint64_t length) const {
    if (offset > bytes_.size() || length > bytes_.size() - offset) {
      throw PathError(path_, "a damaged Windows program (a header points past its end)");
    }
  }
  // A NUL-terminated UTF-16 string; *offset moves past it.
  std::u16string String(uint64_t* offset) const {
    std::u16string text;
    for (uint16_t c; (c = U16(*offset)) != 0; *offset += 2) text.push_back(c);
    *offset += 2;
    return text;
  }
  size_t size() const { return bytes_.size(); }

 private:
  const std::vector<uint8_t>& bytes_;
  const std::string& path_;
};

struct Section {
  uint32_t virtualAddress, virtualSize, rawSize, rawOffset;
};

struct Resource {
  uint32_t type;
  std::u16string name;  // empty for a numbered resource
  uint32_t id;
  uint64_t offset, size;
};

uint64_t FileOffset(const std::vector<Section>& sections, uint32_t rva, const std::string& path) {
  for (const Section& s : sections) {
    if (rva >= s.virtualAddress && rva - s.virtualAddress < std::max(s.virtualSize, s.rawSize)) {
      return static_cast<uint64_t>(rva - s.virtualAddress) + s.rawOffset;
    }
  }
  throw PathError(path, "a damaged Windows program (a resource lies outside every section)");
}

// The three levels of the resource tree: type, name, language (the first).
std::vector<Resource> ReadResources(const Bytes& b, uint64_t root, const std::vector<Section>& sections,
                                    const std::string& path) {
  std::vector<Resource> found;
  const auto entries = [&](uint64_t directory, auto&& visit) {
    const uint32_t count = b.U16(directory + 12) + b.U16(directory + 14);
    if (count > 4096) throw PathError(path, "a damaged Windows program (resource directory)");
    for (uint32_t i = 0; i < count; ++i) {
      const uint64_t entry = directory + 16 + 8 * static_cast<uint64_t>(i);
      visit(b.U32(entry), b.U32(entry + 4));
    }
  };
  entries(root, [&](uint32_t type, uint32_t typeTarget) {
    if ((type & 0x80000000u) || !(typeTarget & 0x80000000u)) return;
    if (type != kTypeDialog && type != kTypeString) return;
    entries(root + (typeTarget & 0x7FFFFFFFu), [&](uint32_t name, uint32_t nameTarget) {
      if (!(nameTarget & 0x80000000u)) return;
      Resource r{type, {}, 0, 0, 0};
      if (name & 0x80000000u) {
        uint64_t at = root + (name & 0x7FFFFFFFu);
        const uint16_t length = b.U16(at);
        for (uint16_t k = 0; k < length; ++k) r.name.push_back(b.U16(at + 2 + 2 * k));
      } else {
        r.id = name;
      }
      bool first = true;
      entries(root + (nameTarget & 0x7FFFFFFFu), [&](uint32_t, uint32_t dataTarget) {
        if (!first || (dataTarget & 0x80000000u)) return;
        first = false;
        const uint64_t data = root + dataTarget;
        r.offset = FileOffset(sections, b.U32(data), path);
        r.size = b.U32(data + 4);
        b.Need(r.offset, r.size);
        found.push_back(r);
      });
    });
  });
  return found;
}

void ReadStringBlock(const Bytes& b, const Resource& r, StubImage* image) {
  uint64_t at = r.offset;
  for (uint32_t k = 0; k < 16 && at + 2 <= r.offset + r.size; ++k) {
    const uint16_t length = b.U16(at);
    std::u16string text;
    for (uint16_t i = 0; i < length; ++i) text.push_back(b.U16(at + 2 + 2 * i));
    at += 2 + 2 * static_cast<uint64_t>(length);
    if (length > 0) image->strings[static_cast<int>((r.id - 1) * 16 + k)] = Utf16ToUtf8(text);
  }
}

// A name or ordinal field of a dialog template: 0, 0xFFFF and a number, or
// a string. Gives the string (empty for the other two).
std::u16string NameOrOrdinal(const Bytes& b, uint64_t* at) {
  const uint16_t first = b.U16(*at);
  if (first == 0) {
    *at += 2;
    return {};
  }
  if (first == 0xFFFF) {
    *at += 4;
    return {};
  }
  return b.String(at);
}

DialogTexts ReadDialog(const Bytes& b, const Resource& r) {
  DialogTexts dialog;
  dialog.name = Utf16ToUtf8(r.name);
  uint64_t at = r.offset;
  const bool extended = b.U16(at) == 1 && b.U16(at + 2) == 0xFFFF;
  const uint32_t style = extended ? b.U32(at + 12) : b.U32(at);
  const uint16_t count = extended ? b.U16(at + 16) : b.U16(at + 8);
  at += extended ? 26 : 18;
  NameOrOrdinal(b, &at);  // menu
  NameOrOrdinal(b, &at);  // window class
  dialog.caption = Utf16ToUtf8(b.String(&at));
  const uint32_t kSetFont = 0x40;
  if (style & kSetFont) {
    at += extended ? 6 : 2;  // point size (and weight, italic, character set)
    b.String(&at);           // typeface
  }
  for (uint16_t i = 0; i < count; ++i) {
    at = (at + 3) & ~uint64_t{3};  // items start on a DWORD boundary
    at += extended ? 24 : 18;       // help id, styles, position, size, id
    NameOrOrdinal(b, &at);          // class
    const std::u16string text = NameOrOrdinal(b, &at);
    at += 2 + b.U16(at);            // creation data
    if (!text.empty()) dialog.texts.push_back(Utf16ToUtf8(text));
  }
  return dialog;
}

uint64_t AlignUp8(uint64_t value) { return (value + 7) & ~uint64_t{7}; }

}  // namespace

StubImage ReadStubImage(const std::vector<uint8_t>& bytes, const std::string& path) {
  const Bytes b(bytes, path);
  const PeHeaders headers = ReadPeHeaders(bytes, path);
  StubImage image;
  const uint16_t machine = headers.machine;
  image.machine = machine == 0x014C ? "i686" : machine == 0x8664 ? "x64" : "machine " + std::to_string(machine);

  std::vector<Section> sections;
  image.imageEnd = headers.headersSize;
  for (const PeSection& s : headers.sections) {
    sections.push_back({s.virtualAddress, s.virtualSize, s.rawSize, s.rawOffset});
    if (s.rawSize > 0) image.imageEnd = std::max<uint64_t>(image.imageEnd, uint64_t{s.rawOffset} + s.rawSize);
  }
  // A signed bare program carries its certificate table right after its
  // sections, and it belongs to the program. A signed installer's table
  // comes after the archive instead: the program ends with its sections.
  if (headers.DirectoryAddress(bytes, kCertificateDirectory) != 0) {
    image.hasSignature = true;
    const uint64_t signatureStart = headers.DirectoryAddress(bytes, kCertificateDirectory);
    const uint64_t signatureEnd = signatureStart + headers.DirectorySize(bytes, kCertificateDirectory);
    if (AlignUp8(image.imageEnd) >= signatureStart && signatureEnd <= bytes.size()) {
      image.imageEnd = std::max(image.imageEnd, signatureEnd);
    }
  }
  if (image.imageEnd > bytes.size()) throw PathError(path, "a cut Windows program (its sections end past the file)");

  if (headers.DirectoryAddress(bytes, kResourceDirectory) != 0) {
    const uint64_t root = FileOffset(sections, headers.DirectoryAddress(bytes, kResourceDirectory), path);
    std::vector<DialogTexts> dialogs;
    for (const Resource& r : ReadResources(b, root, sections, path)) {
      if (r.type == kTypeString) {
        ReadStringBlock(b, r, &image);
      } else if (!r.name.empty()) {
        DialogTexts dialog = ReadDialog(b, r);
        if (dialog.name == "RTL") image.hasRtlDialog = true;
        else dialogs.push_back(std::move(dialog));
      }
    }
    // The order of a run; resource directories sort names alphabetically.
    const std::vector<std::string> order = {"STARTDLG", "LICENSEDLG", "GETPASSWORD1", "REPLACEFILEDLG", "RENAMEDLG"};
    const auto rank = [&](const DialogTexts& d) {
      return std::find(order.begin(), order.end(), d.name) - order.begin();
    };
    std::stable_sort(dialogs.begin(), dialogs.end(),
                     [&](const DialogTexts& x, const DialogTexts& y) { return rank(x) < rank(y); });
    image.dialogs = std::move(dialogs);
  }
  return image;
}

bool IsZimbroStub(const StubImage& image) {
  const bool startDialog = std::any_of(image.dialogs.begin(), image.dialogs.end(),
                                       [](const DialogTexts& d) { return d.name == "STARTDLG"; });
  return startDialog && image.strings.count(101) > 0;
}
