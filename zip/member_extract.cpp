// Extracting one member into its output file: the Stored copy, the Deflate
// decoder run over the member input, and the checks that follow.
//
// Both methods write through the same 32 KiB window and WindowFlush, so the
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

static void copyStored() {
  uint8_t* window = engine.window;
  engine.copyPosition = 0;
  for (;;) {
    int byte = nextInputByte();
    if (byte < 0) break;
    if (engine.diskFullState != 0 || engine.outputOverrun) break;
    window[engine.copyPosition++] = static_cast<uint8_t>(byte);
    // The rest of what the buffer holds of the member, in one go.
    int32_t room = static_cast<int32_t>(kWindowSize) - engine.copyPosition;
    int32_t chunk = engine.input.unread < room ? engine.input.unread : room;
    if (chunk > 0) {
      const uint8_t* from = engine.input.next;
      uint8_t* to = window + engine.copyPosition;
      for (int32_t i = 0; i < chunk; ++i) to[i] = from[i];
      engine.input.next += chunk;
      engine.input.unread -= chunk;
      engine.copyPosition += chunk;
    }
    if (engine.copyPosition == static_cast<int32_t>(kWindowSize)) {
      engineUi.pumpMessage();
      if (stopRequested()) break;
      WindowFlush(window, kWindowSize);
      engine.copyPosition = 0;
    }
  }
  if (engine.copyPosition != 0) WindowFlush(window, engine.copyPosition);
}

// ---------------------------------------------------------------------------
// Deflate
// ---------------------------------------------------------------------------

static int refillCallback(void*) { return RefillInput(); }

static int flushCallback(void*, const uint8_t* window, uint32_t count) {
  return WindowFlush(window, count);
}

// After each block: the cancel test, the progress bar and one message, so
// the dialog stays alive during a long member.
static int afterBlockCallback(void*) {
  if (stopRequested() || engine.outputOverrun) return 1;
  const int stage = stageEnter(kStageOther);
  const MemberInfo& member = engine.members[engine.currentMember];
  int64_t done = static_cast<int64_t>(member.localOffset) + engine.archiveShift + memberBytesTaken();
  engineUi.progress(done < 0 ? 0 : static_cast<uint32_t>(done), static_cast<uint32_t>(engine.archiveLength));
  engineUi.pumpMessage();
  stageLeave(stage);
  return 0;
}

static int decodeDeflate() {
  InflateState& state = engine.inflate;
  state.input = &engine.input;
  state.refill = refillCallback;
  state.flush = flushCallback;
  state.afterBlock = afterBlockCallback;
  state.context = nullptr;
  state.window = engine.window;
  state.bitBuffer = 0;
  state.bitCount = 0;
  state.windowPosition = 0;
  return decodeDeflateMember(&state);
}

// ---------------------------------------------------------------------------
// One member
// ---------------------------------------------------------------------------

int32_t ExtractMember() {
  engine.runningCrc = 0;
  engine.outputWritten = 0;
  engine.outputOverrun = false;
  uint16_t method = engine.localHeader.method;
  // Tested before the file is created, so an unknown method leaves no empty
  // file (and no open handle) behind.
  if (method != 0 && method != 8) {
    KeepReplacedFile();
    engineError(kMsgUnknownMethod, engine.name);
    return kWarn;
  }
  int stage = stageEnter(kStageCreate);
  const int opened = OpenOutputFile();
  stageLeave(stage);
  if (opened != 0) return kDiskFull;
  DeferInput();

  int32_t result = kOk;
  int decoded = kInflateOk;
  stage = stageEnter(kStageDecode);
  if (method == 0) {
    copyStored();
  } else {
    decoded = decodeDeflate();
  }
  // Output short of the declared size is damage too, even when the CRC of
  // what came matches it (a stream that ends early): the file would be
  // kept cut. A stop because of a cancel is handled below, without damage
  // lines.
  const bool shortOutput = engine.outputWritten != engine.members[engine.currentMember].uncompressedSize;
  if ((decoded != kInflateOk || engine.outputOverrun || shortOutput) && !stopRequested()) {
    engineError(kPlainLine, engine.name);
    if (decoded == kInflateNoMemory) {
      engineError(kMsgNoMemory, nullptr);
    } else {
      filesLostError(kMsgUnknownFormat, nullptr);  // damaged data: the installation is corrupt
    }
    result = decoded == kInflateNoMemory ? kNoMemoryInflate : kError;
  }

  stageLeave(stage);

  stage = stageEnter(kStageClose);
  CloseOutputFile();
  stageLeave(stage);
  if (stopRequested()) {
    // The user cancelled: the cut file goes, and the stop is not reported as
    // damage or a CRC failure (that would add error lines, keep the dialog
    // open and end with "corrupt" instead of the cancel's exit code).
    AbandonOutputFile();
    RestoreInput();
    return kOk;
  }
  if (engine.diskFullState == 2) {
    engineError(kPlainLine, engine.name);
    engineError(kMsgWriteError, engine.name);
    result = kDiskFull;
  }
  if (result >= kError) {
    AbandonOutputFile();
    RestoreInput();
    return result;
  }
  if (engine.runningCrc != engine.localHeader.crc) {
    if (engine.members[engine.currentMember].encrypted) {
      engineError(kMsgCrcFailedEncrypted, engine.name);
    } else {
      noteOutcome(kRunFilesCorrupt);
      engineError(kMsgCrcFailed, engine.name);
    }
    AbandonOutputFile();
    result = kError;
  }
  if (result < kError && !CommitOutputFile()) result = kError;
  RestoreInput();
  return result;
}
