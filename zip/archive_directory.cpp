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

#include "support/portable/crc32.h"
#include "support/file_calls.h"
#include "support/portable/heap.h"
#include "support/stage_times.h"
#include "support/strings.h"
#include "ui/message_ids.h"
#include "zip/portable/archive_search.h"
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
  end.totalEntries = readLe16(record + 10);
  end.directorySize = readLe32(record + 12);
  end.directoryOffset = readLe32(record + 16);
  end.commentLength = readLe16(record + 20);
  end.needsZip64 = readLe16(record + 4) == 0xFFFF || readLe16(record + 6) == 0xFFFF ||
                   readLe16(record + 8) == 0xFFFF || end.totalEntries == 0xFFFF ||
                   end.directorySize == 0xFFFFFFFFu || end.directoryOffset == 0xFFFFFFFFu;
}

// Finds the end record in the last searchLength bytes and parses it; false
// (with its line when the search failed) when there is none.
static bool FindEndRecord(EngineState* state, int32_t searchLength) {
  uint8_t* buffer = state->inputBuffer;
  const int64_t length = state->archiveLength;
  uint8_t* found = nullptr;
  int32_t held = 0;  // bytes in the buffer from its start
  bool failed = false;

  // A short file is read whole as the last block; a longer one's last,
  // partial block (the tail) comes first, then whole blocks before it.
  const bool shortFile = length <= kInputBlockSize;
  const int32_t tail = static_cast<int32_t>(length) & (shortFile ? -1 : kInputBlockSize - 1);
  int64_t block = length - tail;
  state->blockStart = block;
  // A tail of 18 bytes or fewer cannot hold a whole record, not even one
  // whose signature starts in the block before it.
  if (shortFile || tail > 18) {
    held = readBlockAt(state, block);
    if (held < tail) {
      failed = true;
    } else {
      found = scanForEndSignature(state, tail - kEndRecordSize);
      keepBlockHead(state);
    }
  }
  const int32_t blocks = shortFile ? 0 : EndSearchBlocks(searchLength, tail);
  // The blocks never reach before the file: the search covers no more than
  // the file holds, and the tail's start is a multiple of the block size.
  for (int32_t i = 0; !failed && found == nullptr && i < blocks; ++i) {
    block -= kInputBlockSize;
    held = readBlockAt(state, block);
    if (held < kInputBlockSize) {
      failed = true;
      break;
    }
    found = scanForEndSignature(state, kInputBlockSize - 1);
    keepBlockHead(state);
  }

  if (failed || found == nullptr) {
    damagedArchive(state);
    return false;
  }
  state->input.next = found;
  state->input.unread = held - static_cast<int32_t>(found - buffer);
  state->endRecordPosition = state->blockStart + (found - buffer);
  uint8_t record[kEndRecordSize];
  fillBytes(record, 0, sizeof(record));
  if (ReadArchive(state, record, kEndRecordSize) == 0) return false;
  parseEndRecord(state, record);
  return true;
}

// The record of size bytes at position, when it starts with signature.
static bool recordAt(EngineState* state, int64_t position, uint8_t* record, int32_t size, uint32_t signature) {
  return SeekArchive(state, position) && ReadArchive(state, record, size) == size && readLe32(record) == signature;
}

// A Zip64 end record at position that ends where the locator begins (its
// size field counts what follows that field).
static bool zip64RecordAt(EngineState* state, int64_t position, int64_t locatorPosition, uint8_t* record) {
  return position >= 0 && recordAt(state, position, record, kZip64EndRecordSize, state->zip64EndSignature) &&
         readLe64(record + 4) <= static_cast<uint64_t>(locatorPosition) &&
         position + 12 + static_cast<int64_t>(readLe64(record + 4)) == locatorPosition;
}

// A Zip64 locator right in front of the end record names the Zip64 end
// record, which holds the directory's real count, size and offset; the
// directory then ends where that record begins. The signatures alone prove
// nothing: a member's name or comment may hold them right there. So the
// locator counts only when its record checks out, and an end record that
// needs no Zip64 values stands on its own otherwise. False when there is a
// locator, the end record needs its values, and no sound record is found.
static bool readZip64EndRecord(EngineState* state) {
  const int64_t locatorPosition = state->endRecordPosition - kZip64LocatorSize;
  state->directoryEndPosition = state->endRecordPosition;
  const bool needed = state->endRecord.needsZip64;
  uint8_t locator[kZip64LocatorSize];
  if (locatorPosition < 0 ||
      !recordAt(state, locatorPosition, locator, kZip64LocatorSize, state->zip64LocatorSignature)) {
    return true;  // a classic archive: a marked field without a locator is the directory's to judge
  }
  // Every writer puts the record right in front of the locator, which finds
  // it whatever precedes the archive; otherwise it is where the locator
  // says, in offsets that count everything in front of the archive.
  uint8_t record[kZip64EndRecordSize];
  int64_t position = locatorPosition - kZip64EndRecordSize;
  if (!zip64RecordAt(state, position, locatorPosition, record)) {
    position = static_cast<int64_t>(readLe64(locator + 8));
    if (!zip64RecordAt(state, position, locatorPosition, record)) return !needed;
  }
  EndRecord& end = state->endRecord;
  end.totalEntries = readLe64(record + 32);
  end.directorySize = readLe64(record + 40);
  end.directoryOffset = readLe64(record + 48);
  state->directoryEndPosition = position;
  return true;
}

// ---------------------------------------------------------------------------
// Central headers
// ---------------------------------------------------------------------------

bool ReadCentralHeader(EngineState* state) {
  // The signature was read already; the record keeps room for it so that the
  // offsets below are those of the format.
  uint8_t h[kCentralHeaderSize];
  fillBytes(h, 0, sizeof(h));
  if (ReadArchive(state, h + 4, kCentralHeaderSize - 4) == 0) return false;
  CentralHeader& c = state->centralHeader;
  c.madeByVersion = h[4];
  c.madeByHost = h[5];
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
  c.externalAttributes = readLe32(h + 38);
  c.localOffset = readLe32(h + 42);

  MemberInfo& member = state->members[state->currentMember];
  member.host = c.madeByHost > 18 ? 18 : c.madeByHost;
  // Only the hosts whose attribute byte is a DOS one know volume labels.
  int32_t host = member.host;
  member.volumeLabel =
      (c.externalAttributes & 0x08) != 0 && (host == 0 || host == 5 || host == 6 || host == 11);
  return true;
}

bool StoreMemberInfo(EngineState* state) {
  const CentralHeader& c = state->centralHeader;
  MemberInfo& member = state->members[state->currentMember];
  member.encrypted = (c.flags & 0x01) != 0;
  member.hasDescriptor = (c.flags & 0x08) != 0;
  member.crc = c.crc;
  member.compressedSize = c.compressedSize;
  member.uncompressedSize = c.uncompressedSize;
  // A member is refused for what it uses, not for the version needed to
  // extract, which writers raise for features the member may not use
  // (Zip64 writers set 4.5 on the smallest member): a method the engine
  // does not decode, strong encryption (bit 6), patched data (bit 5) or
  // a masked local header (bit 13).
  // A solid block's members share one stream and could not share one
  // cipher's state: encrypted ones are not of this engine's making.
  // An AES member must say which method lies under its encryption, and
  // the encryption flag must be set, so that its password is asked for.
  const uint16_t method = methodUnderEncryption(state, c.method, member.encrypted);
  if ((c.flags & 0x2060) != 0 || !isMethodDecoded(method) || (method == kMethodSolidLzma && member.encrypted)) {
    engineError(state, kMsgUnknownMethod, state->name);
    return false;
  }
  member.attributes = static_cast<uint8_t>((c.externalAttributes | 0x20) & 0xFF);
  member.localOffset = static_cast<int64_t>(c.localOffset);
  return true;
}

// ---------------------------------------------------------------------------
// The member loop: first pass reads a batch of headers, second pass extracts
// ---------------------------------------------------------------------------

// Reads up to 64 central headers into the batch; the number kept. A
// directory that ends early or is damaged ends the member loop (membersLeft
// 0) after the batch read so far.
static int32_t readBatch(EngineState* state, int64_t* membersLeft) {
  int32_t kept = 0;
  while (*membersLeft > 0 && kept < kBatchSize) {
    state->currentMember = kept;
    *membersLeft -= 1;
    SignatureCheck check = readSignature(state, state->centralSignature);
    if (check == kSignatureDiffers) damagedArchive(state);
    if (check != kSignatureFound || !ReadCentralHeader(state)) {
      *membersLeft = 0;
      break;
    }
    const CentralHeader& c = state->centralHeader;
    const int32_t lengths[3] = {c.nameLength, c.extraLength, c.commentLength};
    const FieldKind kinds[3] = {kFieldName, kFieldExtra, kFieldSkip};
    bool corrupt = false;
    for (int field = 0; field < 3 && !corrupt; ++field) corrupt = !ReadField(state, lengths[field], kinds[field]);
    CentralHeader& wide = state->centralHeader;
    uint64_t* const marked[3] = {&wide.uncompressedSize, &wide.compressedSize, &wide.localOffset};
    if (corrupt || !interpretExtraField(state, marked, 3)) {
      filesLostError(state, kMsgHeaderCorrupt, state->name);
      *membersLeft = 0;
      break;
    }
    // A skipped member leaves its slot to the next header.
    if (StoreMemberInfo(state)) kept += 1;
  }
  return kept;
}

static void RunMemberLoop(EngineState* state) {
  state->firstEncryptedPending = true;
  int64_t membersLeft = static_cast<int64_t>(state->endRecord.totalEntries);
  state->batchNumber = 0;
  while (membersLeft > 0 && !stopRequested(state)) {
    int stage = stageEnter(kStageDirectory);
    int32_t kept = readBatch(state, &membersLeft);
    stageLeave(stage);

    // Where the directory goes on; the member data are read in between.
    int64_t directoryBlock = state->blockStart;
    int32_t directoryOffset = static_cast<int32_t>(state->input.next - state->inputBuffer);
    int32_t directoryUnread = state->input.unread;

    for (int32_t slot = 0; slot < kept; ++slot) {
      stage = stageEnter(kStageMember);
      const MemberStepOutcome next = RunMemberSteps(state, slot);
      stageLeave(stage);
      if (next == kEndBatch) break;
      if (next == kEndMemberLoop) return;
    }

    stage = stageEnter(kStageDirectory);
    readBlockAt(state, directoryBlock);
    state->input.next = state->inputBuffer + directoryOffset;
    state->input.unread = directoryUnread;
    stageLeave(stage);
    state->batchNumber += 1;
  }
}

// ---------------------------------------------------------------------------
// Opening the archive and placing its directory
// ---------------------------------------------------------------------------

static bool centralSignatureFollows(EngineState* state) { return readSignature(state, state->centralSignature) == kSignatureFound; }

// With the file open and the end record found: computes the shift, places
// the directory and runs the member loop. What goes wrong is in the lines
// and the outcome.
static void ReadDirectory(EngineState* state) {
  EndRecord& end = state->endRecord;
  // The comment is the script, read separately; here it is only passed.
  // Reaching exactly the end of the file is not a corrupt comment, even
  // when that end lies on a block boundary that yields no further bytes.
  if (end.commentLength != 0 && !ReadField(state, end.commentLength, kFieldSkip) &&
      static_cast<int64_t>(state->endRecordPosition) + kEndRecordSize + end.commentLength != state->archiveLength) {
    engineError(state, kMsgCommentCorrupt, nullptr);
  }

  if (!readZip64EndRecord(state)) {
    damagedArchive(state);
    return;
  }
  state->expectedEndPosition = static_cast<int64_t>(end.directoryOffset + end.directorySize);
  state->archiveShift = state->directoryEndPosition - state->expectedEndPosition;
  if (state->archiveShift < 0) {
    unknownFormat(state);
  } else if (state->archiveShift > 0 && end.directoryOffset == 0 && end.directorySize != 0) {
    // The directory was written with offset 0: it starts right where the
    // shift says the archive starts.
    unknownFormat(state);
    end.directoryOffset = static_cast<uint64_t>(state->archiveShift);
    state->archiveShift = 0;
  }

  if (state->expectedEndPosition == 0 && end.directorySize == 0) {
    damagedArchive(state);  // an empty archive: nothing to install
    return;
  }

  int64_t directory = static_cast<int64_t>(end.directoryOffset);
  // A directory that cannot be reached loses every member; the line that
  // says why (a negative shift) is written.
  if (!SeekArchive(state, directory + state->archiveShift)) {
    noteOutcome(state, kRunFilesCorrupt);
    return;
  }
  if (!centralSignatureFollows(state)) {
    // Offsets that already count the executable: try them as they are.
    state->archiveShift = 0;
    if (!SeekArchive(state, directory)) {
      noteOutcome(state, kRunFilesCorrupt);
      return;
    }
    if (!centralSignatureFollows(state)) {
      damagedArchive(state);
      return;
    }
  }

  SeekArchive(state, directory + state->archiveShift);
  RunMemberLoop(state);
}

// Opens the archive and extracts it; false when there is no archive to read
// (no such file, a folder, or no end record): the caller says it cannot be
// opened.
static bool OpenArchive(EngineState* state) {
  WIN32_FIND_DATAA entry;
  HANDLE search = FindFirstFileA(state->archivePath, &entry);
  if (search == INVALID_HANDLE_VALUE) return false;
  FindClose(search);
  // A folder is no archive either, and saying so beats a silent run that
  // extracts nothing.
  if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return false;
  state->archiveLength = (static_cast<int64_t>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow;

  state->archiveFile = fileOpen(state->archivePath, "r");
  if (state->archiveFile == nullptr) {
    engineError(state, kMsgCannotOpen, state->archivePath);
    return false;
  }
  // A signature after the archive is not part of it: the archive ends where
  // the signed data ends.
  if (state->archiveLength > 0) {
    const int32_t headLength = static_cast<int32_t>(fileRead(state->inputBuffer, 1, kSignatureHeadLength, state->archiveFile));
    state->archiveLength = SignedDataEnd(state->inputBuffer, headLength, state->archiveLength);
  }
  state->crcTable = crcTable();
  state->blockStart = 0;
  state->input.next = state->inputBuffer;
  state->input.unread = 0;

  const bool found = FindEndRecord(state, EndSearchLength(state->archiveLength));
  if (found) ReadDirectory(state);
  fileClose(state->archiveFile);
  state->archiveFile = nullptr;
  return found;
}

// ---------------------------------------------------------------------------
// Entry
// ---------------------------------------------------------------------------

// The message pump lets other handlers run in the middle of an extraction,
// and one of them could start another, which would compete for the same
// output files and prompts: the nested call is refused and touches nothing.
// Process-wide, because the nested call comes from a window procedure that
// holds no record of the run.
static bool extractionRunning;

// Every run starts from a state of its own, zeroed (the decoder's window
// included), and nothing of it outlives the run.
RunOutcome ExtractArchive(const char* archivePath, const EngineUi& ui) {
  if (extractionRunning) return kRunNothingLost;
  EngineState* state = static_cast<EngineState*>(allocate(sizeof(EngineState)));
  if (state == nullptr) {
    ui.errorLine(kMsgNoMemory, nullptr);
    return kRunNothingLost;
  }
  fillBytes(state, 0, sizeof(EngineState));
  extractionRunning = true;
  stageStart();
  state->ui = &ui;
  state->archivePath = archivePath;
  state->inputBuffer = static_cast<uint8_t*>(allocate(kInputBlockSize + kHoldSize));
  RunOutcome outcome = kRunNothingLost;
  if (state->inputBuffer == nullptr) {
    engineError(state, kMsgNoMemory, nullptr);
  } else {
    fillBytes(state->inputBuffer, 0, kInputBlockSize + kHoldSize);
    buildSignatures(state);

    if (!OpenArchive(state)) engineError(state, kMsgCannotOpen, archivePath);

    closeSolidBlock(state);
    releaseFixedTables(&state->inflate);
    releaseMappingPaths(state);
    releaseKeyCopy(state);
    endAesMember(state);
    release(state->inputBuffer);
    release(state->extraField);
    stageReport();
    outcome = state->outcome;
  }
  release(state);
  extractionRunning = false;
  return outcome;
}
