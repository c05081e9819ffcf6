// The messages block's reading rules, shared by the stub and the packer.
//
// Our own copy of the marker text lacks one star and the first two stars are
// tested as single bytes, so the constant in our data never matches.
#include "ui/portable/messages_reader.h"

namespace {

const char kMarkerTail[] = "*messages***";
const int kMarkerTailCompared = 11;
const int kKeyLength = 8;

uint32_t Le32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}
uint16_t Le16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

}  // namespace

bool IsMessagesMarker(const unsigned char* bytes) {
  if (bytes[0] != '*' || bytes[1] != '*') return false;
  for (int i = 0; i < kMarkerTailCompared; ++i) {
    if (bytes[2 + i] != static_cast<unsigned char>(kMarkerTail[i])) return false;
  }
  return true;
}

int64_t ProgramImageEnd(ReadAtFunction read, void* context) {
  const int kDosHeader = 64;
  const int kPeHead = 24;          // signature and file header
  const int kOptionalRead = 240;   // up to the security directory of either form
  const int kSectionHeader = 40;
  const int kMostSections = 96;
  unsigned char dos[kDosHeader];
  if (read(context, 0, dos, kDosHeader) != kDosHeader || dos[0] != 'M' || dos[1] != 'Z') return 0;
  const int64_t pe = Le32(dos + 60);
  unsigned char head[kPeHead + kOptionalRead];
  for (unsigned char& byte : head) byte = 0;
  const int32_t got = read(context, pe, head, sizeof(head));
  if (got < kPeHead + 64 || head[0] != 'P' || head[1] != 'E' || head[2] != 0 || head[3] != 0) return -1;
  const int sections = Le16(head + 6);
  const int64_t optionalSize = Le16(head + 20);
  const unsigned char* optional = head + kPeHead;
  const bool pe32 = Le16(optional) == 0x10B;
  int64_t end = Le32(optional + 60);  // the size of the headers
  const int countAt = pe32 ? 92 : 108;
  const int security = countAt + 4 + 4 * 8;
  if (kPeHead + security + 8 <= got && Le32(optional + countAt) > 4 && Le32(optional + security) != 0) {
    const int64_t signatureEnd = static_cast<int64_t>(Le32(optional + security)) + Le32(optional + security + 4);
    if (signatureEnd > end) end = signatureEnd;
  }
  if (sections > kMostSections) return -1;
  for (int i = 0; i < sections; ++i) {
    unsigned char section[kSectionHeader];
    const int64_t at = pe + kPeHead + optionalSize + static_cast<int64_t>(kSectionHeader) * i;
    if (read(context, at, section, kSectionHeader) != kSectionHeader) return -1;
    const uint32_t rawSize = Le32(section + 16);
    const int64_t rawEnd = static_cast<int64_t>(Le32(section + 20)) + rawSize;
    if (rawSize > 0 && rawEnd > end) end = rawEnd;
  }
  return end;
}

int64_t FindMessagesBlock(ReadAtFunction read, void* context) {
  const int64_t end = ProgramImageEnd(read, context);
  if (end < 0) return -1;
  unsigned char bytes[kMessagesMarkerLength];
  if (read(context, end, bytes, kMessagesMarkerLength) != kMessagesMarkerLength || !IsMessagesMarker(bytes)) {
    return -1;
  }
  return end;
}

int32_t UnescapeBlock(char* text, int32_t count, int32_t* source) {
  int32_t w = 0;
  int32_t r = 0;
  while (r < count) {
    const char c = text[r];
    if (c == '\0') break;
    if (source != nullptr) source[w] = r;
    if (c == '\\' && r + 1 < count) {
      char escaped = 0;
      switch (text[r + 1]) {
        case 'n': escaped = '\n'; break;
        case 'r': escaped = '\r'; break;
        case 't': escaped = '\t'; break;
        case '"': escaped = '"'; break;
        case '\\': escaped = '\\'; break;
      }
      if (escaped != 0) {
        text[w++] = escaped;
        r += 2;
        continue;
      }
    }
    text[w++] = (c == '\r' || c == '\n') ? kMessagesLineSeparator : c;
    ++r;
  }
  text[w] = '\0';
  return w;
}

// An entry line: eight key characters, '=' and a double quote. The value is
// the rest of the line with its separator (at most 255 characters on the
// last line, which has none), ended at its last double quote if it has one:
// a value without a closing quote keeps its separator, as the stub copies it.
const char* NextBlockEntry(const char* line, const char* end, BlockEntryText* entry) {
  while (line < end) {
    const char* lineEnd = line;
    while (lineEnd < end && *lineEnd != kMessagesLineSeparator) ++lineEnd;
    const char* next = lineEnd;
    while (next < end && *next == kMessagesLineSeparator) ++next;
    if (lineEnd - line >= kKeyLength + 2 && line[kKeyLength] == '=' && line[kKeyLength + 1] == '"') {
      const char* value = line + kKeyLength + 2;
      int32_t extent = static_cast<int32_t>(lineEnd - value);
      if (lineEnd < end) {
        extent += 1;  // the separator belongs to the copied value
      } else if (extent > kLastLineValueLimit) {
        extent = kLastLineValueLimit;
      }
      entry->key = line;
      entry->value = value;
      entry->closed = false;
      for (int32_t i = extent - 1; i >= 0; --i) {
        if (value[i] == '"') {
          extent = i;
          entry->closed = true;
          break;
        }
      }
      entry->extent = extent;
      return next;
    }
    line = next;
  }
  return nullptr;
}
