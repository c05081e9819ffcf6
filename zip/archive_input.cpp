// Buffered reading of the archive file.
//
// Every read goes through the engine's one 8192-byte buffer, filled by reads
// at multiples of 8192 from the file start. Keeping blocks aligned lets a
// seek that lands in the block already held just move the read pointer, so
// the directory, the local headers and small members are read with very few
// file calls. The buffer's read pointer and unread count are the same cursor
// the Deflate decoder consumes, so the invariant below holds for every
// reader: read pointer - buffer + unread count = bytes held in the buffer.
#include "support/portable/crc32.h"
#include "support/file_calls.h"
#include "support/portable/heap.h"
#include "support/strings.h"
#include "zip/engine_internal.h"

int64_t archivePosition(EngineState* state) {
  return state->blockStart + (state->input.next - state->inputBuffer);
}

// ---------------------------------------------------------------------------
// Blocks
// ---------------------------------------------------------------------------

int32_t readBlockAt(EngineState* state, int64_t block) {
  state->blockStart = block;
  // A position the file cannot take yields nothing, never the bytes of the
  // position the file was left at.
  if (fileSeek(state->archiveFile, block, FILE_BEGIN) != 0) return 0;
  return static_cast<int32_t>(fileRead(state->inputBuffer, 1, kInputBlockSize, state->archiveFile));
}

bool readFollowingBlock(EngineState* state) {
  int32_t got = static_cast<int32_t>(fileRead(state->inputBuffer, 1, kInputBlockSize, state->archiveFile));
  if (got <= 0) {
    state->input.unread = 0;
    return false;
  }
  state->blockStart += kInputBlockSize;
  state->input.next = state->inputBuffer;
  state->input.unread = got;
  return true;
}

// ---------------------------------------------------------------------------
// Positioning
// ---------------------------------------------------------------------------

bool SeekArchive(EngineState* state, int64_t target) {
  if (target < 0) return false;
  int32_t offset = static_cast<int32_t>(target) & (kInputBlockSize - 1);
  int64_t block = target - offset;
  if (block == state->blockStart) {
    state->input.unread += static_cast<int32_t>(state->input.next - state->inputBuffer) - offset;
    state->input.next = state->inputBuffer + offset;
    return true;
  }
  int32_t got = readBlockAt(state, block);
  // The pointer moves even when nothing came, so that a later seek into the
  // same block finds an empty buffer rather than the previous block's bytes.
  state->input.next = state->inputBuffer + offset;
  state->input.unread = got - offset;
  return got > 0;
}

// ---------------------------------------------------------------------------
// Reading
// ---------------------------------------------------------------------------

int32_t ReadArchive(EngineState* state, void* destination, int32_t n) {
  uint8_t* out = static_cast<uint8_t*>(destination);
  int32_t copied = 0;
  while (copied < n) {
    if (state->input.unread <= 0 && !readFollowingBlock(state)) break;
    int32_t chunk = n - copied;
    if (chunk > state->input.unread) chunk = state->input.unread;
    copyBytes(out + copied, state->input.next, chunk);
    state->input.next += chunk;
    state->input.unread -= chunk;
    copied += chunk;
  }
  return copied;
}

SignatureCheck readSignature(EngineState* state, uint32_t signature) {
  uint8_t bytes[4] = {0, 0, 0, 0};
  if (ReadArchive(state, bytes, 4) == 0) return kSignatureMissing;
  return readLe32(bytes) == signature ? kSignatureFound : kSignatureDiffers;
}

// ---------------------------------------------------------------------------
// Variable-length fields of the headers
// ---------------------------------------------------------------------------

static bool readName(EngineState* state, int32_t length) {
  state->nameCut = false;
  state->name[0] = '\0';
  state->nameCrc = 0;
  // An empty name must not leave the previous member's name in the buffer:
  // the member would be written over that other file.
  if (length == 0) return true;
  int32_t keep = length;
  if (length >= kNameSize) {
    keep = kNameSize - 1;
    state->nameCut = true;
  }
  int32_t got = ReadArchive(state, state->name, keep);
  if (got == 0) return false;
  state->name[got] = '\0';
  state->nameCrc = crc32Update(0, reinterpret_cast<const uint8_t*>(state->name), got);
  applyNameCharset(state, state->name);
  return length == keep || SeekArchive(state, archivePosition(state) + (length - keep));
}

static bool readExtraField(EngineState* state, int32_t length) {
  release(state->extraField);
  state->extraField = nullptr;
  state->extraLength = length;
  if (length == 0) return true;
  state->extraField = static_cast<uint8_t*>(allocate(length));
  // Without memory the field is skipped, as if the header had none.
  if (state->extraField == nullptr) return SeekArchive(state, archivePosition(state) + length);
  return ReadArchive(state, state->extraField, length) != 0;
}

bool ReadField(EngineState* state, int32_t length, FieldKind kind) {
  switch (kind) {
    case kFieldName:
      return readName(state, length);
    case kFieldExtra:
      return readExtraField(state, length);
    case kFieldSkip:
      return length == 0 || SeekArchive(state, archivePosition(state) + length);
  }
  return true;
}
