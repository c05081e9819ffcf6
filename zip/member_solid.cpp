// Members of a solid block (method 90): consecutive members whose data, end
// to end, are one LZMA stream, carried as the data of the block's first
// member (its head). The later members have no data of their own; their
// local headers follow the stream.
//
// One decoder stays open from the head to the block's last member, and
// each member takes exactly its size from it. Since the stream lies in
// front of the later members' headers, the input goes back to where the
// stream left off once such a header has been read. A member that is not
// written is decoded all the same, its bytes dropped, so that the members
// after it come out right. A stream that fails loses the rest of its block,
// each member with its lines; a CRC that fails loses that member only, as
// the stream is still in step.
//
// Every member names its block and its place in the block's stream (the
// extra field's solid record). A member whose place is not where the block
// stands (one whose predecessor was lost, or that claims a block it does
// not follow) is damage: no decoder ever starts in the middle of a stream.
#include "ui/message_ids.h"
#include "zip/engine_internal.h"

namespace {

void lostMemberLines(EngineState* state, SolidLoss loss) {
  switch (loss) {
    case kSolidUnsupported:
      engineError(state, kMsgUnknownMethod, state->name);
      break;
    case kSolidNoMemory:
      memberLostError(state, kMemberNoMemory);
      break;
    case kSolidSound:
    case kSolidDamaged:
      memberLostError(state, kMemberDamaged);
      break;
  }
}

}  // namespace

void closeSolidBlock(EngineState* state) {
  state->solid.open = false;
  releaseLzmaDecoder(state);
}

bool joinSolidBlock(EngineState* state) {
  const SolidRecord& record = state->solidRecord;
  SolidBlock& block = state->solid;
  const uint64_t ownOffset = static_cast<uint64_t>(state->members[state->currentMember].localOffset);
  if (record.present && record.offsetInBlock == 0 && record.headOffset == ownOffset) {
    closeSolidBlock(state);
    block.open = true;
    block.loss = record.filter == 0 ? kSolidSound : kSolidUnsupported;
    block.headOffset = ownOffset;
    block.nextOffset = 0;
    block.inputPosition = archivePosition(state);
    block.inputLeft = static_cast<int64_t>(state->localHeader.compressedSize);
  } else if (!record.present || !block.open || record.headOffset != block.headOffset) {
    lostMemberLines(state, kSolidDamaged);
    return false;
  } else if (block.loss == kSolidSound && record.offsetInBlock != block.nextOffset) {
    // The block is out of step from here on.
    block.loss = kSolidDamaged;
    lostMemberLines(state, kSolidDamaged);
    return false;
  }
  if (block.loss == kSolidSound) return true;
  lostMemberLines(state, block.loss);
  return false;
}

void resumeSolidInput(EngineState* state) {
  const SolidBlock& block = state->solid;
  // A position that yields nothing leaves the input empty: the stream is
  // then cut, which the decoder reports.
  if (!SeekArchive(state, block.inputPosition)) state->input.unread = 0;
  state->budget = block.inputLeft;
}

MemberDecodeOutcome decodeSolidMember(EngineState* state) {
  SolidBlock& block = state->solid;
  const uint64_t size = state->members[state->currentMember].uncompressedSize;
  MemberDecodeOutcome outcome = kMemberDecoded;
  if (state->lzma.dictionary == nullptr) {
    // The head: the stream's header, and a decoder for the whole block.
    LzmaProperties properties;
    if (!readLzmaStreamHeader(state, &properties)) {
      outcome = kMemberDamaged;
    } else {
      const uint32_t dictionaryBytes = lzmaDictionaryBytes(&properties, ~static_cast<uint64_t>(0));
      if (dictionaryBytes == 0 || !startLzmaDecoder(state, &properties, dictionaryBytes)) outcome = kMemberNoMemory;
    }
  }
  // Stopping inside a member (a cancel) ends the run, so the block need not
  // stay in step then.
  if (outcome == kMemberDecoded && lzmaDecode(&state->lzma, size) != kLzmaSizeReached) outcome = kMemberDamaged;
  const int32_t inBuffer = state->input.unread > 0 ? state->input.unread : 0;
  block.inputPosition = archivePosition(state);
  block.inputLeft = (state->budget > 0 ? state->budget : 0) + inBuffer;
  block.nextOffset += size;
  if (outcome != kMemberDecoded) block.loss = outcome == kMemberNoMemory ? kSolidNoMemory : kSolidDamaged;
  return outcome;
}

void discardSolidMember(EngineState* state) {
  state->outputWritten = 0;
  state->outputOverrun = false;
  state->discardOutput = true;
  resumeSolidInput(state);
  DeferInput(state);
  const MemberDecodeOutcome outcome = decodeSolidMember(state);
  RestoreInput(state);
  state->discardOutput = false;
  if (outcome != kMemberDecoded && !stopRequested(state)) memberLostError(state, outcome);
}
