// The extraction entry: finding the archive inside our own file and reading
// its central directory.
//
// The archive sits behind the executable, and the offsets it holds may or may
// not count the executable's bytes, depending on how it was appended. The
// engine therefore trusts the end record's position in the file, not its
// offsets: the difference between where the record is and where the
// directory says it should be is the archive shift, added to every offset.
//
// The directory is read 64 headers at a time into a batch, and the batch is
// extracted before the next is read. The read position inside the directory
// is put back after each batch, so the directory is read once in all while
// member data and directory share the one input buffer.
#include <windows.h>

#include "support/crc32.h"
#include "support/file_calls.h"
#include "support/heap.h"
#include "support/stage_times.h"
#include "support/strings.h"
#include "ui/message_ids.h"
#include "zip/archive_search.h"
#include "zip/decrypt.h"
#include "zip/engine.h"
#include "zip/engine_internal.h"

// The archive, or the rest of its directory, cannot be read: the members
// it holds are lost.
static void damagedArchive(EngineState* state) { filesLostError(state, kMsgUnknownFormat, nullptr); }

// ---------------------------------------------------------------------------
// The end record
// ---------------------------------------------------------------------------

// Backwards from buffer index `from` to the buffer start. The comparison at
// the last positions of a block reads on into the hold area.
static uint8_t* scanForEndSignature(EngineState* state, int32_t from) {
  int32_t found = FindSignatureBackwards(state->inputBuffer, from, state->endSignature);
  return found < 0 ? nullptr : state->inputBuffer + found;
}

// The search rules count in blocks of the input buffer's size.
static_assert(kSearchBlockSize == kInputBlockSize, "the end-record search reads whole input blocks");
static_assert(kSignatureHeadLength <= kInputBlockSize, "the program's headers are read into the input buffer");

static void keepBlockHead(EngineState* state) { copyBytes(state->inputBuffer + kInputBlockSize, state->inputBuffer, 3); }

static void parseEndRecord(EngineState* state, const uint8_t* record) {
  EndRecord& end = state->endRecord;
  end.thisDisk = readLe16(record + 4);
  end.directoryDisk = readLe16(record + 6);
  end.entriesOnDisk = readLe16(record + 8);
  end.totalEntries = readLe16(record + 10);
  end.directorySize = readLe32(record + 12);
  end.directoryOffset = readLe32(record + 16);
  end.commentLength = readLe16(record + 20);
}

static int32_t FindEndRecord(EngineState* state, int32_t searchLength) {
  uint8_t* buffer = state->inputBuffer;
  FileBox* file = state->archiveFile;
  int32_t length = state->archiveLength;
  uint8_t* found = nullptr;
  int32_t held = 0;  // bytes in the buffer from its start
  bool failed = length < 0;  // 2 GiB or more: beyond the engine's positions

  if (!failed && length <= kInputBlockSize) {
    fileSeek(file, 0, FILE_BEGIN);
    state->blockStart = 0;
    held = static_cast<int32_t>(fileRead(buffer, 1, length, file));
    if (held < length) {
      failed = true;
    } else {
      found = scanForEndSignature(state, length - kEndRecordSize);
    }
  } else if (!failed) {
    int32_t tail = length % kInputBlockSize;
    state->blockStart = length - tail;
    // A tail of 18 bytes or fewer cannot hold a whole record, not even one
    // whose signature starts in the block before it.
    if (tail > 18) {
      fileSeek(file, length - tail, FILE_BEGIN);
      state->blockStart = fileTell(file);
      held = static_cast<int32_t>(fileRead(buffer, 1, tail, file));
      if (held < tail) {
        failed = true;
      } else {
        found = scanForEndSignature(state, tail - kEndRecordSize);
        keepBlockHead(state);
      }
    }
    int32_t blocks = EndSearchBlocks(searchLength, tail);
    for (int32_t i = 0; !failed && found == nullptr && i < blocks; ++i) {
      state->blockStart -= kInputBlockSize;
      if (state->blockStart < 0) {
        failed = true;
        break;
      }
      fileSeek(file, state->blockStart, FILE_BEGIN);
      held = static_cast<int32_t>(fileRead(buffer, 1, kInputBlockSize, file));
      if (held < kInputBlockSize) {
        failed = true;
        break;
      }
      found = scanForEndSignature(state, kInputBlockSize - 1);
      keepBlockHead(state);
    }
  }

  if (failed || found == nullptr) {
    damagedArchive(state);
    return kError;
  }
  state->input.next = found;
  state->input.unread = held - static_cast<int32_t>(found - buffer);
  state->endRecordPosition = state->blockStart + static_cast<int32_t>(found - buffer);
  uint8_t record[kEndRecordSize];
  fillBytes(record, 0, sizeof(record));
  if (ReadArchive(state, record, kEndRecordSize) == 0) return kEndOfArchive;
  parseEndRecord(state, record);
  state->expectedEndPosition = static_cast<int64_t>(state->endRecord.directoryOffset) + state->endRecord.directorySize;
  return kOk;
}

// ---------------------------------------------------------------------------
// Central headers
// ---------------------------------------------------------------------------

int32_t ReadCentralHeader(EngineState* state) {
  // The signature was read already; the record keeps room for it so that the
  // offsets below are those of the format.
  uint8_t h[kCentralHeaderSize];
  fillBytes(h, 0, sizeof(h));
  if (ReadArchive(state, h + 4, kCentralHeaderSize - 4) == 0) return kEndOfArchive;
  CentralHeader& c = state->centralHeader;
  c.madeByVersion = h[4];
  c.madeByHost = h[5];
  c.neededVersion = h[6];
  c.neededHost = h[7];
  c.flags = readLe16(h + 8);
  state->nameFlags = c.flags;  // the name read next is this header's
  c.method = readLe16(h + 10);
  c.time = readLe16(h + 12);
  c.date = readLe16(h + 14);
  c.crc = readLe32(h + 16);
  c.compressedSize = readLe32(h + 20);
  c.uncompressedSize = readLe32(h + 24);
  c.nameLength = readLe16(h + 28);
  c.extraLength = readLe16(h + 30);
  c.commentLength = readLe16(h + 32);
  c.diskStart = readLe16(h + 34);
  c.internalAttributes = readLe16(h + 36);
  c.externalAttributes = readLe32(h + 38);
  c.localOffset = readLe32(h + 42);

  MemberInfo& member = state->members[state->currentMember];
  member.host = c.madeByHost > 18 ? 18 : c.madeByHost;
  // Only the hosts whose attribute byte is a DOS one know volume labels.
  int32_t host = member.host;
  member.volumeLabel =
      (c.externalAttributes & 0x08) != 0 && (host == 0 || host == 5 || host == 6 || host == 11);
  return kOk;
}

int32_t StoreMemberInfo(EngineState* state) {
  const CentralHeader& c = state->centralHeader;
  MemberInfo& member = state->members[state->currentMember];
  member.encrypted = (c.flags & 0x01) != 0;
  member.hasDescriptor = (c.flags & 0x08) != 0;
  member.crc = c.crc;
  member.compressedSize = c.compressedSize;
  member.uncompressedSize = c.uncompressedSize;
  // Host 2 (OS/2) archivers wrote higher version numbers for the same
  // methods; everything else beyond 2.0 needs a feature this engine lacks.
  int32_t highestVersion = c.neededHost == 2 ? 42 : 20;
  if (c.neededVersion > highestVersion || (c.method != 0 && c.method != 8)) {
    engineError(state, kMsgUnknownMethod, state->name);
    return 0;
  }
  member.attributes = static_cast<uint8_t>((c.externalAttributes | 0x20) & 0xFF);
  member.localOffset = static_cast<int32_t>(c.localOffset);
  return 1;
}

// ---------------------------------------------------------------------------
// The member loop: first pass reads a batch of headers, second pass extracts
// ---------------------------------------------------------------------------

// Reads up to 64 central headers into the batch; the number kept.
static int32_t readBatch(EngineState* state, int32_t* membersLeft, int32_t* result) {
  int32_t kept = 0;
  while (*membersLeft > 0 && kept < kBatchSize) {
    state->currentMember = kept;
    *membersLeft -= 1;
    SignatureCheck check = readSignature(state, state->centralSignature);
    if (check == kSignatureMissing) {
      *result = worseOf(*result, kEndOfArchive);
      *membersLeft = 0;
      break;
    }
    if (check == kSignatureDiffers) {
      damagedArchive(state);
      *result = worseOf(*result, kBadError);
      *membersLeft = 0;
      break;
    }
    int32_t r = ReadCentralHeader(state);
    if (r != kOk) {
      *result = worseOf(*result, r);
      *membersLeft = 0;
      break;
    }
    const CentralHeader& c = state->centralHeader;
    const int32_t lengths[3] = {c.nameLength, c.extraLength, c.commentLength};
    const int32_t kinds[3] = {kFieldName, kFieldExtra, kFieldSkip};
    bool corrupt = false;
    for (int field = 0; field < 3 && !corrupt; ++field) {
      r = ReadField(state, lengths[field], kinds[field]);
      *result = worseOf(*result, r);
      if (r >= kError) {
        filesLostError(state, kMsgHeaderCorrupt, state->name);
        corrupt = true;
      }
    }
    if (corrupt) {
      *membersLeft = 0;
      break;
    }
    // A skipped member leaves its slot to the next header.
    if (StoreMemberInfo(state)) kept += 1;
  }
  return kept;
}

static int32_t RunMemberLoop(EngineState* state) {
  state->firstEncryptedPending = true;
  int32_t membersLeft = state->endRecord.totalEntries;
  state->batchNumber = 0;
  int32_t result = kOk;
  while (membersLeft > 0 && !stopRequested()) {
    int stage = stageEnter(kStageDirectory);
    int32_t kept = readBatch(state, &membersLeft, &result);
    stageLeave(stage);

    // Where the directory goes on; the member data are read in between.
    int32_t directoryBlock = state->blockStart;
    int32_t directoryOffset = static_cast<int32_t>(state->input.next - state->inputBuffer);
    int32_t directoryUnread = state->input.unread;

    for (int32_t slot = 0; slot < kept; ++slot) {
      stage = stageEnter(kStageMember);
      int32_t outcome = RunMemberSteps(state, slot, &result);
      stageLeave(stage);
      if (outcome == kEndBatch) break;
      if (outcome == kEndMemberLoop) return result;
    }

    stage = stageEnter(kStageDirectory);
    readBlockAt(state, directoryBlock);
    state->input.next = state->inputBuffer + directoryOffset;
    state->input.unread = directoryUnread;
    stageLeave(stage);
    state->batchNumber += 1;
  }
  return result;
}

// ---------------------------------------------------------------------------
// Opening the archive and placing its directory
// ---------------------------------------------------------------------------

static bool centralSignatureFollows(EngineState* state) { return readSignature(state, state->centralSignature) == kSignatureFound; }

// With the file open and the end record found: computes the shift, places
// the directory and runs the member loop.
static int32_t ReadDirectory(EngineState* state) {
  EndRecord& end = state->endRecord;
  // The comment is the script, read separately; here it is only passed.
  // Reaching exactly the end of the file is not a corrupt comment, even
  // when that end lies on a block boundary that yields no further bytes.
  if (end.commentLength != 0 && ReadField(state, end.commentLength, kFieldSkip) != kOk &&
      static_cast<int64_t>(state->endRecordPosition) + kEndRecordSize + end.commentLength != state->archiveLength) {
    engineError(state, kMsgCommentCorrupt, nullptr);
  }

  state->archiveShift = state->endRecordPosition - state->expectedEndPosition;
  int32_t result = kOk;
  if (state->archiveShift < 0) {
    unknownFormat(state);
    result = kError;
  } else if (state->archiveShift > 0 && end.directoryOffset == 0 && end.directorySize != 0) {
    // The directory was written with offset 0: it starts right where the
    // shift says the archive starts.
    unknownFormat(state);
    end.directoryOffset = static_cast<uint32_t>(state->archiveShift);
    state->archiveShift = 0;
    result = kError;
  }

  if (state->expectedEndPosition == 0 && end.directorySize == 0) {
    damagedArchive(state);  // an empty archive: nothing to install
    return worseOf(result, kWarn);
  }

  int64_t directory = end.directoryOffset;
  int32_t r = SeekArchive(state, directory + state->archiveShift);
  // A directory that cannot be reached loses every member; the line that
  // says why (a negative shift) is written.
  if (r == kBadError || r == kEndOfArchive) {
    noteOutcome(state, kRunFilesCorrupt);
    return r;
  }
  if (!centralSignatureFollows(state)) {
    // Offsets that already count the executable: try them as they are.
    state->archiveShift = 0;
    r = SeekArchive(state, directory);
    if (r == kBadError || r == kEndOfArchive) {
      noteOutcome(state, kRunFilesCorrupt);
      return r;
    }
    if (!centralSignatureFollows(state)) {
      damagedArchive(state);
      return kBadError;
    }
    result = kError;
  }

  SeekArchive(state, directory + state->archiveShift);
  return worseOf(result, RunMemberLoop(state));
}

static int32_t OpenArchive(EngineState* state) {
  WIN32_FIND_DATAA entry;
  HANDLE search = FindFirstFileA(state->archivePath, &entry);
  if (search == INVALID_HANDLE_VALUE) return kNoArchive;
  FindClose(search);
  if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return kIsFolder;
  state->archiveLength = static_cast<int32_t>(entry.nFileSizeLow);

  state->archiveFile = fileOpen(state->archivePath, "r");
  if (state->archiveFile == nullptr) {
    engineError(state, kMsgCannotOpen, state->archivePath);
    return kNoArchive;
  }
  // A signature after the archive is not part of it: the archive ends where
  // the signed data ends.
  if (state->archiveLength > 0) {
    const int32_t headLength = static_cast<int32_t>(fileRead(state->inputBuffer, 1, kSignatureHeadLength, state->archiveFile));
    state->archiveLength = static_cast<int32_t>(SignedDataEnd(state->inputBuffer, headLength, state->archiveLength));
  }
  state->crcTable = crcTable();
  state->blockStart = 0;
  state->input.next = state->inputBuffer;
  state->input.unread = 0;

  int32_t result = FindEndRecord(state, EndSearchLength(state->archiveLength)) == kOk ? ReadDirectory(state) : kNoArchive;
  fileClose(state->archiveFile);
  state->archiveFile = nullptr;
  return result;
}

// ---------------------------------------------------------------------------
// Entry
// ---------------------------------------------------------------------------

// The message pump lets other handlers run in the middle of an extraction,
// and one of them could start another, which would compete for the same
// output files and prompts: the nested call is refused and touches nothing.
static bool extractionRunning;

// Every run starts from a state of its own, zeroed (the decoder's window
// included), and nothing of it outlives the run.
RunOutcome ExtractArchive(const char* archivePath) {
  if (extractionRunning) return kRunNothingLost;
  EngineState* state = static_cast<EngineState*>(allocate(sizeof(EngineState)));
  if (state == nullptr) {
    engineUi.errorLine(kMsgNoMemory, nullptr);
    return kRunNothingLost;
  }
  fillBytes(state, 0, sizeof(EngineState));
  extractionRunning = true;
  stageStart();
  state->archivePath = archivePath;
  state->passwordCallback = askPasswordCallback;
  state->inputBuffer = static_cast<uint8_t*>(allocate(kInputBlockSize + kHoldSize));
  RunOutcome outcome = kRunNothingLost;
  if (state->inputBuffer == nullptr) {
    engineError(state, kMsgNoMemory, nullptr);
  } else {
    fillBytes(state->inputBuffer, 0, kInputBlockSize + kHoldSize);
    buildSignatures(state);

    int32_t result = OpenArchive(state);
    // A folder is no archive either, and saying so beats a silent run that
    // extracts nothing.
    if (result == kIsFolder) result = kNoArchive;
    if (result == kNoArchive) engineError(state, kMsgCannotOpen, archivePath);

    releaseFixedTables(&state->inflate);
    BuildPath(state, kBuildEnd, nullptr);
    releaseKeyCopy(state);
    release(state->inputBuffer);
    release(state->extraField);
    stageReport();
    outcome = state->outcome;
  }
  release(state);
  extractionRunning = false;
  return outcome;
}
