// The messages block: a translation of every user-visible text, stored as a
// text region inside the executable file itself, between the program image
// and the appended archive.
//
// A localised installer is made by plain concatenation (stub, block, ZIP).
// The block is recognised only where it is placed: right after the
// program's image (its headers, sections and an appended signature, counted
// from the program's own headers), which is before the archive's first
// record. Found anywhere else (inside a Stored member's data, say) the
// marker is data, not a translation. Where the block is recognised and how
// it is read are the rules of ui/portable/messages_reader.cpp, which the packer
// compiles too.
// Translations are keyed by the CRC-32 of the English text, never by position,
// so a block keeps working when messages are added or reordered.
//
// Every value is cut to its destination: a block is data from outside the
// program and must never write past a buffer.

#include "ui/messages.h"

#include "support/file_object.h"
#include "support/portable/heap.h"
#include "support/strings.h"
#include "ui/portable/message_key.h"
#include "ui/portable/messages_reader.h"

MessagesBlock messagesBlock;

namespace {

// ---------------------------------------------------------------------------
// Layout of the block in the file
// ---------------------------------------------------------------------------

const int kBlockSlack = 1024;  // room for the lookups' look-ahead past the end
const int kKeyLength = kMessageKeyLength;

const int kMessageBufferSize = 256;
const int kMessageBufferCount = 8;

// ---------------------------------------------------------------------------
// Scan
// ---------------------------------------------------------------------------

int32_t ReadFileAt(void* context, int64_t position, void* buffer, int32_t count) {
  FileObject* file = static_cast<FileObject*>(context);
  file->seek(position, kSeekBegin);
  return file->read(buffer, count);
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
  char* text = static_cast<char*>(allocate(kMessagesBlockMaxSize + kBlockSlack));
  if (text == nullptr) return nullptr;
  text[kMessagesBlockMaxSize] = '\0';
  int32_t count = file->read(text, kMessagesBlockMaxSize);
  if (count < kMessagesMarkerLength) {
    release(text);
    return nullptr;
  }
  *length = UnescapeBlock(text, count, nullptr);
  return text;
}

// ---------------------------------------------------------------------------
// Lookup
// ---------------------------------------------------------------------------

// The value of the first entry with this key, or null; *valueLength is its
// extent as NextBlockEntry gives it.
const char* FindEntryValue(const char* key, int32_t* valueLength) {
  const char* line = messagesBlock.text;
  const char* end = messagesBlock.text + messagesBlock.length;
  BlockEntryText entry;
  while ((line = NextBlockEntry(line, end, &entry)) != nullptr) {
    if (sameBytes(entry.key, key, kKeyLength) == 0) {
      *valueLength = entry.extent;
      return entry.value;
    }
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
    int64_t marker = FindMessagesBlock(ReadFileAt, &file);
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
