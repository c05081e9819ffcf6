// Buffered reading of the archive file.
//
// Every read goes through the engine's one 8192-byte buffer, filled by reads
// at multiples of 8192 from the file start. Keeping blocks aligned lets a
// seek that lands in the block already held just move the read pointer, so
// the directory, the local headers and small members are read with very few
// file calls. The buffer's read pointer and unread count are the same cursor
// the Deflate decoder consumes, so the invariant below holds for every
// reader: read pointer - buffer + unread count = bytes held in the buffer.
#include "support/file_calls.h"
#include "support/heap.h"
#include "support/strings.h"
#include "zip/engine_internal.h"

int32_t archivePosition() {
  return engine.blockStart + static_cast<int32_t>(engine.input.next - engine.inputBuffer);
}

// ---------------------------------------------------------------------------
// Blocks
// ---------------------------------------------------------------------------

int32_t readBlockAt(int32_t block) {
  fileSeek(engine.archiveFile, block, FILE_BEGIN);
  engine.blockStart = fileTell(engine.archiveFile);
  return static_cast<int32_t>(fileRead(engine.inputBuffer, 1, kInputBlockSize, engine.archiveFile));
}

bool readFollowingBlock() {
  int32_t got = static_cast<int32_t>(fileRead(engine.inputBuffer, 1, kInputBlockSize, engine.archiveFile));
  if (got <= 0) {
    engine.input.unread = 0;
    return false;
  }
  engine.blockStart += kInputBlockSize;
  engine.input.next = engine.inputBuffer;
  engine.input.unread = got;
  return true;
}

// ---------------------------------------------------------------------------
// Positioning
// ---------------------------------------------------------------------------

int32_t SeekArchive(int64_t target) {
  if (target < 0) return kBadError;
  if (target > INT32_MAX) return kEndOfArchive;
  int32_t position = static_cast<int32_t>(target);
  int32_t offset = position % kInputBlockSize;
  int32_t block = position - offset;
  if (block == engine.blockStart) {
    engine.input.unread += static_cast<int32_t>(engine.input.next - engine.inputBuffer) - offset;
    engine.input.next = engine.inputBuffer + offset;
    return kOk;
  }
  int32_t got = readBlockAt(block);
  // The pointer moves even when nothing came, so that a later seek into the
  // same block finds an empty buffer rather than the previous block's bytes.
  engine.input.next = engine.inputBuffer + offset;
  engine.input.unread = got - offset;
  return got <= 0 ? kEndOfArchive : kOk;
}

// ---------------------------------------------------------------------------
// Reading
// ---------------------------------------------------------------------------

int32_t ReadArchive(void* destination, int32_t n) {
  uint8_t* out = static_cast<uint8_t*>(destination);
  int32_t copied = 0;
  while (copied < n) {
    if (engine.input.unread <= 0 && !readFollowingBlock()) break;
    int32_t chunk = n - copied;
    if (chunk > engine.input.unread) chunk = engine.input.unread;
    copyBytes(out + copied, engine.input.next, chunk);
    engine.input.next += chunk;
    engine.input.unread -= chunk;
    copied += chunk;
  }
  return copied;
}

SignatureCheck readSignature(uint32_t signature) {
  uint8_t bytes[4] = {0, 0, 0, 0};
  if (ReadArchive(bytes, 4) == 0) return kSignatureMissing;
  return readLe32(bytes) == signature ? kSignatureFound : kSignatureDiffers;
}

// ---------------------------------------------------------------------------
// Variable-length fields of the headers
// ---------------------------------------------------------------------------

static int32_t readName(int32_t length) {
  engine.nameCut = false;
  engine.name[0] = '\0';
  // An empty name must not leave the previous member's name in the buffer:
  // the member would be written over that other file.
  if (length == 0) return kOk;
  int32_t keep = length;
  int32_t result = kOk;
  if (length >= kNameSize) {
    keep = kNameSize - 1;
    engine.nameCut = true;
    result = kWarn;
  }
  int32_t got = ReadArchive(engine.name, keep);
  if (got == 0) return kEndOfArchive;
  engine.name[got] = '\0';
  applyNameCharset(&engine, engine.name);
  if (length > keep) result = worseOf(result, SeekArchive(static_cast<int64_t>(archivePosition()) + (length - keep)));
  return result;
}

static int32_t readExtraField(int32_t length) {
  release(engine.extraField);
  engine.extraField = nullptr;
  if (length == 0) return kOk;
  engine.extraField = static_cast<uint8_t*>(allocate(length));
  // The field is kept but never interpreted; without memory it is skipped.
  if (engine.extraField == nullptr) return SeekArchive(static_cast<int64_t>(archivePosition()) + length);
  if (ReadArchive(engine.extraField, length) == 0) return kEndOfArchive;
  return kOk;
}

int32_t ReadField(int32_t length, int32_t kind) {
  switch (kind) {
    case kFieldName:
      return readName(length);
    case kFieldExtra:
      return readExtraField(length);
    case kFieldSkip:
      if (length == 0) return kOk;
      return SeekArchive(static_cast<int64_t>(archivePosition()) + length);
    default:
      return kOk;
  }
}
