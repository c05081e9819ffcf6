// The search rules for the end of the stub's file (see the header).
#include "zip/archive_search.h"

namespace {

uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

}  // namespace

int64_t ScriptSearchStart(int64_t fileSize) {
  return fileSize >= kScriptSearchLength ? fileSize - kScriptSearchLength : 0;
}

bool FindScriptComment(const uint8_t* bytes, int32_t n, uint32_t endSignature, int32_t* offset,
                       int32_t* length) {
  // A record must leave room for its 22 bytes.
  for (int32_t i = n - kSearchEndRecordSize - 1; i >= 1; --i) {
    if (bytes[i] != 0x50 || Le32(bytes + i) != endSignature) continue;
    int32_t commentLength = bytes[i + 20] | (bytes[i + 21] << 8);
    if (commentLength == 0) continue;
    // A comment that runs past the end of what was read is cut to it.
    const int32_t available = n - i - kSearchEndRecordSize;
    if (commentLength > available) commentLength = available;
    *offset = i + kSearchEndRecordSize;
    *length = commentLength;
    return true;
  }
  return false;
}

int32_t EndSearchBlocks(int32_t searchLength, int32_t tail) {
  return (searchLength - tail + kSearchBlockSize - 1) / kSearchBlockSize;
}

int32_t EndSearchLength(int32_t fileLength) {
  return fileLength < kEndRecordSearchLength ? fileLength : kEndRecordSearchLength;
}

int32_t FindSignatureBackwards(const uint8_t* bytes, int32_t from, uint32_t signature) {
  for (int32_t i = from; i >= 0; --i) {
    if (bytes[i] == 0x50 && Le32(bytes + i) == signature) return i;
  }
  return -1;
}

bool EndRecordSearchRange(int64_t fileLength, int64_t* first, int64_t* last) {
  if (fileLength < kSearchEndRecordSize || fileLength > 0x7FFFFFFF) return false;
  const int32_t length = static_cast<int32_t>(fileLength);
  if (length <= kSearchBlockSize) {
    *first = 0;
    *last = length - kSearchEndRecordSize;
    return true;
  }
  const int32_t tail = length % kSearchBlockSize;
  const int32_t blocks = EndSearchBlocks(EndSearchLength(length), tail);
  *first = static_cast<int64_t>(length - tail) - static_cast<int64_t>(blocks) * kSearchBlockSize;
  // A tail of 18 bytes or fewer is not read: the search ends in the block
  // before it, with the whole signature inside that block.
  *last = tail > 18 ? length - kSearchEndRecordSize : length - tail - 4;
  return true;
}
