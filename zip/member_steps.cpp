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

#include "driver/sfx_state.h"
#include "support/file_calls.h"
#include "ui/info_window.h"
#include "ui/message_ids.h"
#include "zip/engine_internal.h"

static void unknownFormat() { engineError(kMsgUnknownFormat, nullptr); }

// ---------------------------------------------------------------------------
// Finding the local header
// ---------------------------------------------------------------------------

// Positions the input at the position and tells whether a local header
// signature is there. A position beyond the file is no header either.
static bool localSignatureAt(int32_t position) {
  if (SeekArchive(position) != kOk) return false;
  uint8_t signature[4] = {0, 0, 0, 0};
  return ReadArchive(signature, 4) != 0 && readLe32(signature) == engine.localSignature;
}

int32_t ReadLocalHeader() {
  // The signature was read already; the record keeps room for it so that the
  // offsets below are those of the format.
  uint8_t h[kLocalHeaderSize] = {};
  if (ReadArchive(h + 4, kLocalHeaderSize - 4) == 0) return kEndOfArchive;
  LocalHeader& local = engine.localHeader;
  local.neededVersion = readLe16(h + 4);
  local.flags = readLe16(h + 6);
  local.method = readLe16(h + 8);
  local.time = readLe16(h + 10);
  local.date = readLe16(h + 12);
  local.crc = readLe32(h + 14);
  local.compressedSize = readLe32(h + 18);
  local.uncompressedSize = readLe32(h + 22);
  local.nameLength = readLe16(h + 26);
  local.extraLength = readLe16(h + 28);
  engine.nameFlags = local.flags;  // the name read next is this header's
  // With a data descriptor the local sizes and CRC may be zero; the central
  // header has the real ones.
  if ((local.flags & 0x08) != 0) {
    const MemberInfo& member = engine.members[engine.currentMember];
    local.crc = member.crc;
    local.compressedSize = member.compressedSize;
    local.uncompressedSize = member.uncompressedSize;
  }
  engine.budget = static_cast<int32_t>(local.compressedSize);
  engine.uncompressedSize = local.uncompressedSize;
  return kOk;
}

// Steps 1 to 4: the input placed right after the member's local header
// signature. kNextMember with `found` false skips the member.
static int32_t findLocalHeader(int32_t slot, bool* found, int32_t* result) {
  *found = false;
  const MemberInfo& member = engine.members[slot];
  bool firstOfRun = slot == 0 && engine.batchNumber == 0;
  int32_t position = addPositions(member.localOffset, engine.archiveShift);
  if (position < 0) {
    unknownFormat();
    if (!firstOfRun || engine.archiveShift == 0) return kNextMember;
    engine.savedShift = engine.archiveShift;
    engine.archiveShift = 0;
    position = member.localOffset;
    if (position < 0) {
      unknownFormat();
      return kNextMember;
    }
  }
  if (localSignatureAt(position)) {
    *found = true;
    return kNextMember;
  }
  unknownFormat();
  bool retry = (firstOfRun && engine.archiveShift != 0) ||
               (engine.archiveShift == 0 && engine.savedShift != 0);
  if (!retry) return kNextMember;
  // The shift chosen here stays for the members that follow.
  if (engine.archiveShift != 0) {
    engine.savedShift = engine.archiveShift;
    engine.archiveShift = 0;
  } else {
    engine.archiveShift = engine.savedShift;
  }
  int32_t r = SeekArchive(addPositions(member.localOffset, engine.archiveShift));
  if (r == kBadError || r == kEndOfArchive) {
    *result = worseOf(*result, r);
    return kEndMemberLoop;
  }
  uint8_t signature[4] = {0, 0, 0, 0};
  if (ReadArchive(signature, 4) == 0 || readLe32(signature) != engine.localSignature) {
    unknownFormat();
    return kNextMember;
  }
  *found = true;
  return kNextMember;
}

// ---------------------------------------------------------------------------
// The member steps
// ---------------------------------------------------------------------------

int32_t RunMemberSteps(int32_t slot, int32_t* result) {
  engine.currentMember = slot;
  bool found = false;
  int32_t outcome = findLocalHeader(slot, &found, result);
  if (!found) {
    // The member is lost (its lines are written): the run ends as corrupt.
    SetExitCode(kExitCrcFailed);
    return outcome;
  }

  if (ReadLocalHeader() != kOk) {
    filesLostError(kMsgUnknownFormat, nullptr);
    return kNextMember;
  }
  int32_t r = ReadField(engine.localHeader.nameLength, kFieldName);
  if (r >= kError) {
    filesLostError(kMsgHeaderCorrupt, engine.name);
    return kNextMember;
  }
  r = ReadField(engine.localHeader.extraLength, kFieldExtra);
  if (r >= kError) {
    filesLostError(kMsgHeaderCorrupt, engine.name);
    return kNextMember;
  }

  if (!ReportMember(memberPathForDisplay(engine.name))) return kEndBatch;
  int32_t destination = DecideDestination();
  if (destination == kCancelMember) return kEndBatch;
  if (destination != kExtractMember) return kNextMember;

  if (engine.members[slot].encrypted && Decrypt() != kOk) {
    // Cancel at the password prompt is the user's stop, not a wrong
    // password: no line, and nothing more is extracted.
    if (sfx.runState != kRunning) return kEndBatch;
    engineError(kMsgWrongPassword, engine.name);
    return kNextMember;
  }

  engine.diskFullState = 0;
  *result = worseOf(*result, ExtractMember());
  // A full disk fails every member that follows as well.
  if (engine.diskFullState == 2) return kEndMemberLoop;
  return kNextMember;
}
