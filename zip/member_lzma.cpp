// An LZMA member (method 14): a four-byte header (the encoder's version, the
// size of the properties), the five property bytes, then the raw stream,
// which ends with an end marker when general-purpose bit 1 says so and at
// the declared size otherwise.
//
// The output goes through WindowFlush like every method's, stretch by
// stretch straight out of the dictionary, with the same checkpoint (cancel,
// progress, one message) between stretches as between Deflate blocks.
#include "support/portable/heap.h"
#include "zip/engine_internal.h"

namespace {

// The version bytes say nothing a decoder needs; the properties' size does.
const int32_t kLzmaHeaderSize = 4;
const uint16_t kFlagEndMarker = 0x0002;

// The largest dictionary a member may ask for. The encoders' strongest
// settings use 64 MiB; a 32-bit process rarely has a free block much larger
// than a few hundred MiB once its DLLs are mapped, and a larger request
// would only push the machine into paging before it failed. A member that
// asks more is reported as a dictionary that cannot be had.
const uint32_t kLzmaDictionaryLimit = 256u << 20;

// Reads the header and the properties through the member input.
bool readLzmaHeader(EngineState* state, LzmaProperties* properties) {
  uint8_t header[kLzmaHeaderSize + kLzmaPropertiesSize];
  for (uint8_t& byte : header) {
    const int next = nextInputByte(state);
    if (next < 0) return false;
    byte = static_cast<uint8_t>(next);
  }
  if (readLe16(header + 2) != kLzmaPropertiesSize) return false;
  return parseLzmaProperties(header + kLzmaHeaderSize, properties) == kLzmaPropertiesOk;
}

// The dictionary the member needs: the properties' size, but never more than
// the member's output (a match cannot reach before its start), and never
// below the format's smallest. 0 when it passes the limit.
uint32_t dictionaryBytesFor(const LzmaProperties* properties, uint64_t uncompressedSize) {
  uint64_t bytes = properties->dictionarySize;
  if (uncompressedSize < bytes) bytes = uncompressedSize;
  if (bytes < kLzmaSmallestDictionary) bytes = kLzmaSmallestDictionary;
  return bytes > kLzmaDictionaryLimit ? 0 : static_cast<uint32_t>(bytes);
}

MemberDecodeOutcome runDecoder(EngineState* state, const LzmaProperties* properties, uint64_t size) {
  LzmaState& decoder = state->lzma;
  lzmaStart(&decoder, properties);
  LzmaResult result = lzmaDecode(&decoder, size);
  if (result == kLzmaSizeReached) {
    result = lzmaFinish(&decoder, (state->localHeader.flags & kFlagEndMarker) != 0);
  }
  // A stream that ends early leaves the output short of the declared size,
  // which the caller takes as damage.
  return result == kLzmaStreamEnd ? kMemberDecoded : kMemberDamaged;
}

}  // namespace

MemberDecodeOutcome decodeLzmaMember(EngineState* state) {
  LzmaProperties properties;
  if (!readLzmaHeader(state, &properties)) return kMemberDamaged;
  const uint64_t size = state->members[state->currentMember].uncompressedSize;
  const uint32_t dictionaryBytes = dictionaryBytesFor(&properties, size);
  if (dictionaryBytes == 0) return kMemberNoMemory;

  LzmaState& decoder = state->lzma;
  decoder.input = &state->input;
  decoder.refill = decoderRefill;
  decoder.flush = decoderFlush;
  decoder.afterChunk = decoderCheckpoint;
  decoder.context = state;
  decoder.dictionaryBytes = dictionaryBytes;
  decoder.dictionary = static_cast<uint8_t*>(allocate(dictionaryBytes));
  decoder.probabilities =
      static_cast<uint16_t*>(allocate(lzmaProbabilityCount(&properties) * sizeof(uint16_t)));
  MemberDecodeOutcome outcome = kMemberNoMemory;
  if (decoder.dictionary != nullptr && decoder.probabilities != nullptr) {
    outcome = runDecoder(state, &properties, size);
  }
  release(decoder.dictionary);
  release(decoder.probabilities);
  decoder.dictionary = nullptr;
  decoder.probabilities = nullptr;
  return outcome;
}
