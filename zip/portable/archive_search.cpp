// The search rules for the end of the stub's file (see the header).
#include "zip/portable/archive_search.h"

namespace {

uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

uint32_t Le16(const uint8_t* p) { return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8); }

}  // namespace

int64_t SignedDataEnd(const uint8_t* head, int32_t n, int64_t fileSize) {
  if (n < 64 || head[0] != 'M' || head[1] != 'Z') return fileSize;
  const uint32_t pe = Le32(head + 0x3C);
  if (pe > static_cast<uint32_t>(n) - 26 || Le32(head + pe) != 0x00004550) return fileSize;
  const uint32_t optional = pe + 24;
  const bool pe32 = Le16(head + optional) == 0x10B;
  const uint32_t countAt = optional + (pe32 ? 92 : 108);
  const uint32_t security = optional + (pe32 ? 96 : 112) + 4 * 8;  // the fifth data directory
  if (security + 8 > static_cast<uint32_t>(n) || Le32(head + countAt) < 5) return fileSize;
  const int64_t start = Le32(head + security);
  const int64_t size = Le32(head + security + 4);
  // Eight bytes of header at least, and the table must end the file: a
  // table anywhere else is not a signature of this file as it stands.
  if (start == 0 || size < 8 || start + size != fileSize) return fileSize;
  return start;
}

int64_t ScriptSearchStart(int64_t dataEnd, int64_t fileSize) {
  const int32_t window = dataEnd == fileSize ? kScriptSearchLength : kScriptSearchMost;
  return dataEnd >= window ? dataEnd - window : 0;
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

int32_t EndSearchLength(int64_t fileLength) {
  return fileLength < kEndRecordSearchLength ? static_cast<int32_t>(fileLength) : kEndRecordSearchLength;
}

int32_t FindSignatureBackwards(const uint8_t* bytes, int32_t from, uint32_t signature) {
  for (int32_t i = from; i >= 0; --i) {
    if (bytes[i] == 0x50 && Le32(bytes + i) == signature) return i;
  }
  return -1;
}

bool EndRecordSearchRange(int64_t fileLength, int64_t* first, int64_t* last) {
  if (fileLength < kSearchEndRecordSize) return false;
  if (fileLength <= kSearchBlockSize) {
    *first = 0;
    *last = fileLength - kSearchEndRecordSize;
    return true;
  }
  const int32_t tail = static_cast<int32_t>(fileLength % kSearchBlockSize);
  const int32_t blocks = EndSearchBlocks(EndSearchLength(fileLength), tail);
  *first = fileLength - tail - static_cast<int64_t>(blocks) * kSearchBlockSize;
  // A tail of 18 bytes or fewer is not read: the search ends in the block
  // before it, with the whole signature inside that block.
  *last = tail > 18 ? fileLength - kSearchEndRecordSize : fileLength - tail - 4;
  return true;
}
