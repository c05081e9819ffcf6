// Extracting one member into its output file: the Stored copy, the Deflate
// decoder run over the member input (Deflate or Deflate64; LZMA in
// member_lzma.cpp), and the checks that follow.
//
// Every method writes through the same window and WindowFlush, so the
// running CRC, the disk-full handling and the cap at the declared size are
// one code path. A file that fails (damaged data, output beyond or short of
// the declared size, write error, CRC, cancel) is deleted, so a partial file is never
// left looking like a good one. A cancel deletes the file and reports
// nothing: the user asked for the stop.
#include <windows.h>

#include "support/file_calls.h"
#include "support/stage_times.h"
#include "ui/message_ids.h"
#include "zip/engine_internal.h"
#include "zip/engine_ui.h"

// ---------------------------------------------------------------------------
// Stored
// ---------------------------------------------------------------------------

static void copyStored(EngineState* state) {
  uint8_t* window = state->window;
  state->copyPosition = 0;
  for (;;) {
    int byte = nextInputByte(state);
    if (byte < 0) break;
    if (state->diskFullState != 0 || state->outputOverrun) break;
    window[state->copyPosition++] = static_cast<uint8_t>(byte);
    // The rest of what the buffer holds of the member, in one go.
    int32_t room = static_cast<int32_t>(kWindowSize) - state->copyPosition;
    int32_t chunk = state->input.unread < room ? state->input.unread : room;
    if (chunk > 0) {
      const uint8_t* from = state->input.next;
      uint8_t* to = window + state->copyPosition;
      for (int32_t i = 0; i < chunk; ++i) to[i] = from[i];
      state->input.next += chunk;
      state->input.unread -= chunk;
      state->copyPosition += chunk;
    }
    if (state->copyPosition == static_cast<int32_t>(kWindowSize)) {
      state->ui->pumpMessage();
      if (stopRequested(state)) break;
      WindowFlush(state, window, kWindowSize);
      state->copyPosition = 0;
    }
  }
  if (state->copyPosition != 0) WindowFlush(state, window, state->copyPosition);
}

// ---------------------------------------------------------------------------
// Deflate
// ---------------------------------------------------------------------------

// The decoders hand their context back to each callback: the engine's
// state of the member being decoded.
static EngineState* engineOf(void* context) { return static_cast<EngineState*>(context); }

int decoderRefill(void* context) { return RefillInput(engineOf(context)); }

int decoderFlush(void* context, const uint8_t* bytes, uint32_t count) {
  return WindowFlush(engineOf(context), bytes, count) ? 0 : 1;
}

bool memberCheckpoint(EngineState* state) {
  if (stopRequested(state) || state->outputOverrun) return true;
  const int stage = stageEnter(kStageOther);
  // The read position: a solid member's data lie in its block's stream, far
  // from its own header.
  int64_t done = archivePosition(state);
  // The bar takes 32-bit counts: both halved alike until the total fits.
  uint64_t total = static_cast<uint64_t>(state->archiveLength);
  uint64_t reached = done < 0 ? 0 : static_cast<uint64_t>(done);
  while ((total >> 32) != 0) {
    total >>= 1;
    reached >>= 1;
  }
  state->ui->progress(static_cast<uint32_t>(reached), static_cast<uint32_t>(total));
  state->ui->pumpMessage();
  stageLeave(stage);
  return false;
}

int decoderCheckpoint(void* context) { return memberCheckpoint(engineOf(context)) ? 1 : 0; }

static MemberDecodeOutcome decodeDeflate(EngineState* state, uint16_t method) {
  InflateState& decoder = state->inflate;
  decoder.input = &state->input;
  decoder.refill = decoderRefill;
  decoder.flush = decoderFlush;
  decoder.afterBlock = decoderCheckpoint;
  decoder.context = state;
  decoder.window = state->window;
  decoder.bitBuffer = 0;
  decoder.bitCount = 0;
  decoder.windowPosition = 0;
  const InflateResult result =
      method == kMethodDeflate64 ? decodeDeflate64Member(&decoder) : decodeDeflateMember(&decoder);
  switch (result) {
    case kInflateOk:
      return kMemberDecoded;
    case kInflateNoMemory:
      return kMemberNoMemory;
    case kInflateBadData:
    case kInflateBadCode:
    case kInflateStopped:
      break;
  }
  return kMemberDamaged;
}

// ---------------------------------------------------------------------------
// One member
// ---------------------------------------------------------------------------

void memberLostError(EngineState* state, MemberDecodeOutcome outcome) {
  engineError(state, kPlainLine, state->name);
  if (outcome == kMemberNoMemory) {
    engineError(state, kMsgNoMemory, nullptr);
  } else {
    filesLostError(state, kMsgUnknownFormat, nullptr);  // damaged data: the installation is corrupt
  }
}

static void extractMemberData(EngineState* state) {
  state->runningCrc = 0;
  state->outputWritten = 0;
  state->outputOverrun = false;
  // A method the engine does not decode was refused before (member_steps.cpp).
  const uint16_t method = state->localHeader.method;
  int stage = stageEnter(kStageCreate);
  const bool opened = OpenOutputFile(state);
  stageLeave(stage);
  if (!opened) return;
  if (method == kMethodSolidLzma) resumeSolidInput(state);
  DeferInput(state);

  MemberDecodeOutcome decoded = kMemberDecoded;
  stage = stageEnter(kStageDecode);
  if (method == kMethodStored) {
    copyStored(state);
  } else if (method == kMethodLzma) {
    decoded = decodeLzmaMember(state);
  } else if (method == kMethodSolidLzma) {
    decoded = decodeSolidMember(state);
  } else {
    decoded = decodeDeflate(state, method);
  }
  // Output short of the declared size is damage too, even when the CRC of
  // what came matches it (a stream that ends early): the file would be
  // kept cut. A stop because of a cancel is handled below, without damage
  // lines.
  const bool shortOutput = state->outputWritten != state->members[state->currentMember].uncompressedSize;
  bool failed = false;
  if ((decoded != kMemberDecoded || state->outputOverrun || shortOutput) && !stopRequested(state)) {
    memberLostError(state, decoded == kMemberNoMemory ? kMemberNoMemory : kMemberDamaged);
    failed = true;
  }
  // Encrypted data that were changed are damage, whatever they decoded to.
  // The second version of AES members stores no CRC: the authentication
  // code stands for it. Where one is stored the password is known to be
  // right by now, so a CRC that fails is damage.
  const bool aes = state->aes.used;
  const bool checkCrc = !aes || state->aes.keepsCrc;
  if (!failed && aes && !stopRequested(state) && !authenticateAesMember(state)) {
    memberLostError(state, kMemberDamaged);
    failed = true;
  }

  stageLeave(stage);

  stage = stageEnter(kStageClose);
  CloseOutputFile(state);
  stageLeave(stage);
  if (stopRequested(state)) {
    // The user cancelled: the cut file goes, and the stop is not reported as
    // damage or a CRC failure (that would add error lines, keep the dialog
    // open and end with "corrupt" instead of the cancel's exit code).
    AbandonOutputFile(state);
    RestoreInput(state);
    return;
  }
  if (state->diskFullState == 2) {
    engineError(state, kPlainLine, state->name);
    engineError(state, kMsgWriteError, state->name);
    failed = true;
  }
  if (failed) {
    AbandonOutputFile(state);
    RestoreInput(state);
    return;
  }
  if (checkCrc && state->runningCrc != state->localHeader.crc) {
    if (state->members[state->currentMember].encrypted && !aes) {
      engineError(state, kMsgCrcFailedEncrypted, state->name);
    } else {
      noteOutcome(state, kRunFilesCorrupt);
      engineError(state, kMsgCrcFailed, state->name);
    }
    AbandonOutputFile(state);
  } else {
    CommitOutputFile(state);
  }
  RestoreInput(state);
}

void ExtractMember(EngineState* state) {
  extractMemberData(state);
  endAesMember(state);
}
