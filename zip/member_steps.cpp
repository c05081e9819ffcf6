// The second pass over a batch: one member from its local header to its
// finished output file.
//
// The local header, not the central one, decides the member's method, time,
// CRC and output name, as it sits right in front of the data. Its position
// is the directory's offset plus the archive shift; when the first member is
// not found there, the archive may have directory offsets that ignore the
// executable in front of it but local offsets that include it, so the shift
// is put aside once and the offsets are tried as they are.
#include <windows.h>

#include "support/file_calls.h"
#include "support/stage_times.h"
#include "ui/message_ids.h"
#include "zip/decrypt.h"
#include "zip/engine_internal.h"
#include "zip/engine_ui.h"

// ---------------------------------------------------------------------------
// Finding the local header
// ---------------------------------------------------------------------------

bool ReadLocalHeader(EngineState* state) {
  // The signature was read already; the record keeps room for it so that the
  // offsets below are those of the format.
  uint8_t h[kLocalHeaderSize] = {};
  if (ReadArchive(state, h + 4, kLocalHeaderSize - 4) == 0) return false;
  LocalHeader& local = state->localHeader;
  local.flags = readLe16(h + 6);
  local.method = readLe16(h + 8);
  local.time = readLe16(h + 10);
  local.date = readLe16(h + 12);
  local.crc = readLe32(h + 14);
  local.compressedSize = readLe32(h + 18);
  local.uncompressedSize = readLe32(h + 22);
  local.nameLength = readLe16(h + 26);
  local.extraLength = readLe16(h + 28);
  state->nameFlags = local.flags;  // the name read next is this header's
  return true;
}

// With the local extra field read: the sizes the member is read with. False
// when its Zip64 record is shorter than the header's markers need.
static bool settleLocalSizes(EngineState* state) {
  LocalHeader& local = state->localHeader;
  uint64_t* const marked[2] = {&local.uncompressedSize, &local.compressedSize};
  if (!interpretExtraField(state, marked, 2)) return false;
  // An AES member is read with the method under its encryption; one whose
  // record is missing gets none, and is refused by its number.
  AesMember& aes = state->aes;
  aes.active = false;
  state->throughTemporary = false;
  const uint16_t method = methodUnderEncryption(state, local.method, state->members[state->currentMember].encrypted);
  aes.used = local.method == kMethodAes && isMethodDecoded(method);
  aes.keepsCrc = state->aesRecord.version == 1;
  aes.keyLength = state->aesRecord.keyLength;
  local.method = method;
  // With a data descriptor the local sizes and CRC may be zero; the central
  // header has the real ones.
  if ((local.flags & 0x08) != 0) {
    const MemberInfo& member = state->members[state->currentMember];
    local.crc = member.crc;
    local.compressedSize = member.compressedSize;
    local.uncompressedSize = member.uncompressedSize;
  }
  state->budget = static_cast<int64_t>(local.compressedSize);
  state->uncompressedSize = local.uncompressedSize;
  return true;
}

enum LocalHeaderSearch { kHeaderFound, kHeaderMissing, kHeaderEndsLoop };

// Places the input right after the member's local header signature.
// kHeaderMissing skips the member (its lines are written); kHeaderEndsLoop
// ends the member loop.
static LocalHeaderSearch findLocalHeader(EngineState* state, int32_t slot) {
  const MemberInfo& member = state->members[slot];
  bool firstOfRun = slot == 0 && state->batchNumber == 0;
  int64_t position = static_cast<int64_t>(member.localOffset) + state->archiveShift;
  if (position < 0) {
    unknownFormat(state);
    if (!firstOfRun || state->archiveShift == 0) return kHeaderMissing;
    state->savedShift = state->archiveShift;
    state->archiveShift = 0;
    position = member.localOffset;
    if (position < 0) {
      unknownFormat(state);
      return kHeaderMissing;
    }
  }
  // A position with nothing to read (beyond the file, or a failed read) is
  // a damaged entry, not a sign of a wrong shift: only other bytes where
  // the signature should be make the shift doubtful.
  SignatureCheck check = SeekArchive(state, position) ? readSignature(state, state->localSignature) : kSignatureMissing;
  if (check == kSignatureFound) return kHeaderFound;
  unknownFormat(state);
  if (check == kSignatureMissing) return kHeaderMissing;
  bool retry = (firstOfRun && state->archiveShift != 0) ||
               (state->archiveShift == 0 && state->savedShift != 0);
  if (!retry) return kHeaderMissing;
  // The shift chosen here stays for the members that follow.
  if (state->archiveShift != 0) {
    state->savedShift = state->archiveShift;
    state->archiveShift = 0;
  } else {
    state->archiveShift = state->savedShift;
  }
  if (!SeekArchive(state, static_cast<int64_t>(member.localOffset) + state->archiveShift)) return kHeaderEndsLoop;
  if (readSignature(state, state->localSignature) != kSignatureFound) {
    unknownFormat(state);
    return kHeaderMissing;
  }
  return kHeaderFound;
}

// ---------------------------------------------------------------------------
// The member steps
// ---------------------------------------------------------------------------

MemberStepOutcome RunMemberSteps(EngineState* state, int32_t slot) {
  state->currentMember = slot;
  // A member whose header is not found is lost (its lines are written):
  // the run ends as corrupt.
  switch (findLocalHeader(state, slot)) {
    case kHeaderMissing:
      noteOutcome(state, kRunFilesCorrupt);
      return kNextMember;
    case kHeaderEndsLoop:
      noteOutcome(state, kRunFilesCorrupt);
      return kEndMemberLoop;
    case kHeaderFound:
      break;
  }

  if (!ReadLocalHeader(state)) {
    filesLostError(state, kMsgUnknownFormat, nullptr);
    return kNextMember;
  }
  if (!ReadField(state, state->localHeader.nameLength, kFieldName)) {
    filesLostError(state, kMsgHeaderCorrupt, state->name);
    return kNextMember;
  }
  if (!ReadField(state, state->localHeader.extraLength, kFieldExtra) || !settleLocalSizes(state)) {
    filesLostError(state, kMsgHeaderCorrupt, state->name);
    return kNextMember;
  }
  // A member outside a block ends the block before it.
  const bool solid = state->localHeader.method == kMethodSolidLzma;
  if (!solid) {
    closeSolidBlock(state);
  } else if (!joinSolidBlock(state)) {
    return kNextMember;
  }

  const int stage = stageEnter(kStageReport);
  const bool going = state->ui->reportMember(memberPathForDisplay(state, state->name));
  stageLeave(stage);
  if (!going) return kEndBatch;
  const DestinationDecision destination = DecideDestination(state);
  if (destination == kCancelMember) return kEndBatch;
  if (destination != kExtractMember) {
    if (solid) discardSolidMember(state);
    return kNextMember;
  }

  // Refused before a password is asked for it, and before a file is made.
  if (!isMethodDecoded(state->localHeader.method)) {
    KeepReplacedFile(state);
    engineError(state, kMsgUnknownMethod, state->name);
    return kNextMember;
  }
  const PasswordCheck password = state->members[slot].encrypted ? Decrypt(state) : kPasswordRight;
  if (password == kEncryptionCut) {
    KeepReplacedFile(state);
    memberLostError(state, kMemberDamaged);
    return kNextMember;
  }
  if (password != kPasswordRight) {
    KeepReplacedFile(state);
    // Cancel at the password prompt is the user's stop, not a wrong
    // password: no line, and nothing more is extracted.
    if (stopRequested(state)) return kEndBatch;
    engineError(state, kMsgWrongPassword, state->name);
    return kNextMember;
  }

  state->diskFullState = 0;
  ExtractMember(state);
  // A full disk fails every member that follows as well.
  if (state->diskFullState == 2) return kEndMemberLoop;
  return kNextMember;
}
