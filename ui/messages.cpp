// The messages block: a translation of every user-visible text, stored as a
// text region inside the executable file itself, between the program image
// and the appended archive.
//
// A localised installer is made by plain concatenation (stub, block, ZIP).
// The block is recognised only where it is placed: right after the
// program's image (its headers, sections and an appended signature, counted
// from the program's own headers), which is before the archive's first
// record. Found anywhere else (inside a Stored member's data, say) the
// marker is data, not a translation. Our own copy of the marker text lacks
// one star and the first two stars are tested as single bytes, so the
// constant in our data never matches either.
// Translations are keyed by the CRC-32 of the English text, never by position,
// so a block keeps working when messages are added or reordered.
//
// Every value is cut to its destination: a block is data from outside the
// program and must never write past a buffer.

#include "ui/messages.h"

#include "support/file_object.h"
#include "support/heap.h"
#include "support/strings.h"
#include "ui/message_key.h"

MessagesBlock messagesBlock;

namespace {

// ---------------------------------------------------------------------------
// Layout of the block in the file
// ---------------------------------------------------------------------------

// One star short of the 13-byte marker "***messages**"; see the file header.
const char kMarkerTail[] = "*messages***";
const int kMarkerTailCompared = 11;
const int kMarkerLength = 13;

const int kBlockMaxSize = 65536;
const int kBlockSlack = 1024;  // room for the lookups' look-ahead past the end

const char kLineSeparator = 0x0C;  // what raw CR and LF become
const int kKeyLength = kMessageKeyLength;
const int kLastLineValueLimit = 255;

const int kMessageBufferSize = 256;
const int kMessageBufferCount = 8;

// ---------------------------------------------------------------------------
// Scan
// ---------------------------------------------------------------------------

bool IsMarkerAt(const unsigned char* bytes) {
  return bytes[0] == '*' && bytes[1] == '*' &&
         sameBytes(bytes + 2, kMarkerTail, kMarkerTailCompared) == 0;
}

uint32_t Le32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}
uint16_t Le16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

// Where the program's image ends in the file: the end of its headers, of
// its sections' data and of an appended signature, whichever is last (as
// the packer counts it when it places the block). 0 for a file that is not
// a Windows program (a bare block); -1 for a damaged one.
int64_t ImageEnd(FileObject* file) {
  const int kDosHeader = 64;
  const int kPeHead = 24;          // signature and file header
  const int kOptionalRead = 240;   // up to the security directory of either form
  const int kSectionHeader = 40;
  const int kMostSections = 96;
  unsigned char dos[kDosHeader];
  file->seek(0, kSeekBegin);
  if (file->read(dos, kDosHeader) != kDosHeader || dos[0] != 'M' || dos[1] != 'Z') return 0;
  const int64_t pe = Le32(dos + 60);
  unsigned char head[kPeHead + kOptionalRead];
  fillBytes(head, 0, sizeof(head));
  file->seek(pe, kSeekBegin);
  const int32_t got = file->read(head, sizeof(head));
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
    file->seek(pe + kPeHead + optionalSize + static_cast<int64_t>(kSectionHeader) * i, kSeekBegin);
    if (file->read(section, kSectionHeader) != kSectionHeader) return -1;
    const uint32_t rawSize = Le32(section + 16);
    const int64_t rawEnd = static_cast<int64_t>(Le32(section + 20)) + rawSize;
    if (rawSize > 0 && rawEnd > end) end = rawEnd;
  }
  return end;
}

// The file position of the marker: right after the image, or -1.
int64_t FindMarker(FileObject* file) {
  const int64_t end = ImageEnd(file);
  if (end < 0) return -1;
  unsigned char bytes[kMarkerLength];
  file->seek(end, kSeekBegin);
  if (file->read(bytes, kMarkerLength) != kMarkerLength || !IsMarkerAt(bytes)) return -1;
  return end;
}

// Resolves the escapes in place and turns raw line ends into separators;
// stops at the first zero byte. Returns the new length.
int32_t UnescapeBlock(char* text, int32_t count) {
  int32_t w = 0;
  int32_t r = 0;
  while (r < count) {
    char c = text[r];
    if (c == '\0') break;
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
    text[w++] = (c == '\r' || c == '\n') ? kLineSeparator : c;
    ++r;
  }
  text[w] = '\0';
  return w;
}

// fileName with a backslash is a path; a bare name lives next to our own
// executable. False when no path can be formed.
bool ResolveBlockPath(const char* fileName, char* path, int pathSize) {
  if (findChar(fileName, '\\') != nullptr) {
    if (textLength(fileName) >= static_cast<size_t>(pathSize)) return false;
    copyText(path, fileName);
    return true;
  }
  DWORD length = GetModuleFileNameA(nullptr, path, pathSize);
  if (length == 0 || length >= static_cast<DWORD>(pathSize)) return false;
  char* lastBackslash = findLastChar(path, '\\');
  if (lastBackslash == nullptr) return false;
  size_t folderLength = static_cast<size_t>(lastBackslash + 1 - path);
  if (folderLength + textLength(fileName) >= static_cast<size_t>(pathSize)) return false;
  copyText(lastBackslash + 1, fileName);
  return true;
}

// Reads the block that starts at the marker into a new buffer and unescapes
// it; null on failure.
char* ReadBlock(FileObject* file, int64_t markerPosition, int32_t* length) {
  file->seek(markerPosition, kSeekBegin);
  char* text = static_cast<char*>(allocate(kBlockMaxSize + kBlockSlack));
  if (text == nullptr) return nullptr;
  text[kBlockMaxSize] = '\0';
  int32_t count = file->read(text, kBlockMaxSize);
  if (count < kMarkerLength) {
    release(text);
    return nullptr;
  }
  *length = UnescapeBlock(text, count);
  return text;
}

// ---------------------------------------------------------------------------
// Lookup
// ---------------------------------------------------------------------------

bool LineStartsWithEntry(const char* line, const char* key) {
  for (int i = 0; i < kKeyLength; ++i) {
    if (line[i] != key[i]) return false;  // also stops at the terminator
  }
  return line[kKeyLength] == '=' && line[kKeyLength + 1] == '"';
}

// The value of the first entry with this key, or null. *valueLength is the
// value's extent: the rest of the line with its separator (at most 255
// characters on the last line), ended at its last double quote if it has one.
const char* FindEntryValue(const char* key, int32_t* valueLength) {
  const char* line = messagesBlock.text;
  const char* end = messagesBlock.text + messagesBlock.length;
  while (line < end) {
    if (end - line >= kKeyLength + 2 && LineStartsWithEntry(line, key)) {
      const char* value = line + kKeyLength + 2;
      const char* lineEnd = value;
      while (lineEnd < end && *lineEnd != kLineSeparator) ++lineEnd;
      int32_t extent = static_cast<int32_t>(lineEnd - value);
      if (lineEnd < end) {
        extent += 1;  // the separator belongs to the copied value
      } else if (extent > kLastLineValueLimit) {
        extent = kLastLineValueLimit;
      }
      for (int32_t i = extent - 1; i >= 0; --i) {
        if (value[i] == '"') {
          extent = i;
          break;
        }
      }
      *valueLength = extent;
      return value;
    }
    while (line < end && *line != kLineSeparator) ++line;
    while (line < end && *line == kLineSeparator) ++line;
  }
  return nullptr;
}

// ---------------------------------------------------------------------------
// Conversions of a message format
// ---------------------------------------------------------------------------

// The next conversion of a wvsprintf format from text on ("%s", "%-5lu"; a
// doubled "%" is text, not a conversion): its start, with *length set, or
// null when there is none.
const char* NextConversion(const char* text, size_t* length) {
  for (const char* p = text; *p != '\0'; ++p) {
    if (*p != '%') continue;
    if (p[1] == '%') {
      ++p;
      continue;
    }
    const char* end = p + 1;
    while (*end != '\0' && findChar("-#0123456789.lh", *end) != nullptr) ++end;
    if (*end != '\0') ++end;  // the conversion letter
    *length = static_cast<size_t>(end - p);
    return p;
  }
  return nullptr;
}

// True when both formats hold the same conversions in the same order.
bool SameConversions(const char* english, const char* translated) {
  size_t englishLength = 0;
  size_t translatedLength = 0;
  for (;;) {
    english = NextConversion(english, &englishLength);
    translated = NextConversion(translated, &translatedLength);
    if (english == nullptr || translated == nullptr) return english == translated;
    if (englishLength != translatedLength || sameTextN(english, translated, englishLength) != 0) return false;
    english += englishLength;
    translated += translatedLength;
  }
}

void CopySource(const char* source, char* destination, int destinationSize) {
  if (destination != source) {
    copyTextCut(destination, source, destinationSize);
  } else if (textLength(destination) >= static_cast<size_t>(destinationSize)) {
    destination[destinationSize - 1] = '\0';
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// Loading
// ---------------------------------------------------------------------------

void LoadMessagesBlock(const char* fileName) {
  FreeMessagesBlock();

  char path[1024];
  if (!ResolveBlockPath(fileName, path, sizeof(path))) return;

  FileObject file;
  // A file we cannot read simply has no block: the program stays English.
  file.reportErrors = false;
  if (file.open(path, nullptr, false, true)) {
    int64_t marker = FindMarker(&file);
    if (marker >= 0) {
      int32_t length = 0;
      char* text = ReadBlock(&file, marker, &length);
      if (text != nullptr) {
        messagesBlock.text = text;
        messagesBlock.length = length;
      }
    }
    file.close();
  }

  // A right-to-left build carries a dialog resource named "RTL"; any other
  // build asks its block.
  if (FindResourceA(GetModuleHandleA(nullptr), "RTL", RT_DIALOG) != nullptr) {
    messagesBlock.rightToLeft = true;
    return;
  }
  char direction[64];
  TranslateText("LTR", direction, sizeof(direction), "LTR", "$");
  messagesBlock.rightToLeft = sameText(direction, "RTL") == 0;
}

void FreeMessagesBlock() {
  release(messagesBlock.text);
  messagesBlock.text = nullptr;
  messagesBlock.length = 0;
  messagesBlock.rightToLeft = false;
}

// ---------------------------------------------------------------------------
// Translation
// ---------------------------------------------------------------------------

void TranslateText(const char* source, char* destination, int destinationSize,
                   const char* dialogName, const char* kind) {
  if (destinationSize <= 0) return;
  if (messagesBlock.text == nullptr) {
    CopySource(source, destination, destinationSize);
    return;
  }
  char key[kKeyLength];
  MessageKey(kind, dialogName, source, key);
  int32_t valueLength = 0;
  const char* value = FindEntryValue(key, &valueLength);
  if (value == nullptr) {
    CopySource(source, destination, destinationSize);
    return;
  }
  if (valueLength > destinationSize - 1) valueLength = destinationSize - 1;
  copyBytes(destination, value, static_cast<size_t>(valueLength));
  destination[valueLength] = '\0';
}

char* MessageText(int id) {
  // Plain zeroed arrays: no constructor, no guard.
  static char buffers[kMessageBufferCount][kMessageBufferSize];
  static int ring = 0;
  ring = (ring + 1) % kMessageBufferCount;
  char* buffer = buffers[ring];
  fillBytes(buffer, 0, kMessageBufferSize);
  LoadStringA(GetModuleHandleA(nullptr), id, buffer, kMessageBufferSize);
  // Messages are used as formats with the arguments the English text takes.
  // A translation with other conversions would make the formatting read
  // arguments that were never passed and crash the installer on every
  // machine: such a translation is a translator's slip, and the English
  // text stands instead.
  char translated[kMessageBufferSize];
  TranslateText(buffer, translated, kMessageBufferSize, nullptr, "s");
  if (SameConversions(buffer, translated)) copyText(buffer, translated);
  return buffer;
}
