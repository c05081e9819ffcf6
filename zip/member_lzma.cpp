// An LZMA member (method 14): a four-byte header (the encoder's version, the
// size of the properties), the five property bytes, then the raw stream,
// which ends with an end marker when general-purpose bit 1 says so and at
// the declared size otherwise. A solid block's stream has the same header.
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

// The largest dictionary a stream may ask for. The encoders' strongest
// settings use 64 MiB; a 32-bit process rarely has a free block much larger
// than a few hundred MiB once its DLLs are mapped, and a larger request
// would only push the machine into paging before it failed. A stream that
// asks more is reported as a dictionary that cannot be had.
const uint32_t kLzmaDictionaryLimit = 256u << 20;

MemberDecodeOutcome runDecoder(EngineState* state, uint64_t size) {
  LzmaState& decoder = state->lzma;
  LzmaResult result = lzmaDecode(&decoder, size);
  if (result == kLzmaSizeReached) {
    result = lzmaFinish(&decoder, (state->localHeader.flags & kFlagEndMarker) != 0);
  }
  // A stream that ends early leaves the output short of the declared size,
  // which the caller takes as damage.
  return result == kLzmaStreamEnd ? kMemberDecoded : kMemberDamaged;
}

}  // namespace

bool readLzmaStreamHeader(EngineState* state, LzmaProperties* properties) {
  uint8_t header[kLzmaHeaderSize + kLzmaPropertiesSize];
  for (uint8_t& byte : header) {
    const int next = nextInputByte(state);
    if (next < 0) return false;
    byte = static_cast<uint8_t>(next);
  }
  if (readLe16(header + 2) != kLzmaPropertiesSize) return false;
  return parseLzmaProperties(header + kLzmaHeaderSize, properties) == kLzmaPropertiesOk;
}

// Never more than the output (a match cannot reach before its start), and
// never below the format's smallest.
uint32_t lzmaDictionaryBytes(const LzmaProperties* properties, uint64_t outputSize) {
  uint64_t bytes = properties->dictionarySize;
  if (outputSize < bytes) bytes = outputSize;
  if (bytes < kLzmaSmallestDictionary) bytes = kLzmaSmallestDictionary;
  return bytes > kLzmaDictionaryLimit ? 0 : static_cast<uint32_t>(bytes);
}

bool startLzmaDecoder(EngineState* state, const LzmaProperties* properties, uint32_t dictionaryBytes) {
  LzmaState& decoder = state->lzma;
  decoder.input = &state->input;
  decoder.refill = decoderRefill;
  decoder.flush = decoderFlush;
  decoder.afterChunk = decoderCheckpoint;
  decoder.context = state;
  decoder.dictionaryBytes = dictionaryBytes;
  decoder.dictionary = static_cast<uint8_t*>(allocate(dictionaryBytes));
  decoder.probabilities =
      static_cast<uint16_t*>(allocate(lzmaProbabilityCount(properties) * sizeof(uint16_t)));
  if (decoder.dictionary == nullptr || decoder.probabilities == nullptr) {
    releaseLzmaDecoder(state);
    return false;
  }
  lzmaStart(&decoder, properties);
  return true;
}

void releaseLzmaDecoder(EngineState* state) {
  LzmaState& decoder = state->lzma;
  release(decoder.dictionary);
  release(decoder.probabilities);
  decoder.dictionary = nullptr;
  decoder.probabilities = nullptr;
}

MemberDecodeOutcome decodeLzmaMember(EngineState* state) {
  LzmaProperties properties;
  if (!readLzmaStreamHeader(state, &properties)) return kMemberDamaged;
  const uint64_t size = state->members[state->currentMember].uncompressedSize;
  const uint32_t dictionaryBytes = lzmaDictionaryBytes(&properties, size);
  if (dictionaryBytes == 0 || !startLzmaDecoder(state, &properties, dictionaryBytes)) return kMemberNoMemory;
  const MemberDecodeOutcome outcome = runDecoder(state, size);
  releaseLzmaDecoder(state);
  return outcome;
}
