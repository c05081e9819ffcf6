// Output files: writing the decoded bytes with their running CRC, and giving
// the finished file its time and attributes.
//
// The CRC is taken over every window before it is written, so a member
// whose writes failed still has its whole CRC and the failure shows up once,
// through the disk-full state, not as a second CRC error. Times in the
// archive are local DOS times; they are turned into UTC so that the file
// shows the same clock time the packer's file had.
#include <windows.h>

#include "support/portable/crc32.h"
#include "support/file_calls.h"
#include "support/strings.h"
#include "support/stage_times.h"
#include "ui/message_ids.h"
#include "zip/engine_internal.h"

bool WindowFlush(EngineState* state, const uint8_t* buffer, uint32_t count) {
  // More output than the directory entry declares is damage, or an archive
  // built to fill the disk (a small member that expands a thousandfold,
  // repeated in every entry): nothing beyond the declared size is written,
  // and the member input is cut so that the decoder stops.
  uint64_t total = state->outputWritten + count;
  if (state->outputOverrun || total > state->members[state->currentMember].uncompressedSize) {
    state->outputOverrun = true;
    return false;
  }
  state->outputWritten = total;
  if (state->discardOutput) return true;
  int stage = stageEnter(kStageCrc);
  state->runningCrc = crc32Update(state->runningCrc, buffer, count);
  stageLeave(stage);
  if (count == 0) return true;
  if (state->diskFullState != 0) return false;
  stage = stageEnter(kStageWrite);
  const size_t written = fileWrite(buffer, 1, count, state->outputFile);
  stageLeave(stage);
  if (written < count) {
    engineError(state, kMsgWriteError, state->name);
    state->diskFullState = 2;
    return false;
  }
  return true;
}

// A name in the folder of path for the data of a member that replaces
// path: "~zsfx<n>.tmp", the first n that names nothing. Mapped paths
// separate their folders with '/', which is never part of a double-byte
// character.
static bool temporaryNameBeside(EngineState* state, const char* path, char* temporary) {
  size_t folder = 0;
  for (size_t i = 0; path[i] != '\0'; ++i) {
    if (path[i] == '/') folder = i + 1;
  }
  for (int n = 0; n < 1000; ++n) {
    char name[24];
    formatText(name, "~zsfx%d.tmp", n);
    if (folder + textLength(name) >= static_cast<size_t>(kNameSize)) return false;
    copyBytes(temporary, path, folder);
    copyText(temporary + folder, name);
    if (memberPathAttributes(state, temporary) == INVALID_FILE_ATTRIBUTES) return true;
  }
  return false;
}

// An existing file that the member was to replace stays as it was found.
void KeepReplacedFile(EngineState* state) {
  if (state->replacing) memberPathSetAttributes(state, state->name, state->replacedAttributes);
}

bool CreateNewOutputFile(EngineState* state) {
  // Only for a member that nothing can stop between here and its data: a
  // method the engine decodes, and no password to ask for. Otherwise an
  // empty file would be left behind, or made before the user declined.
  const uint16_t method = state->localHeader.method;
  if (!isMethodDecoded(method) || state->members[state->currentMember].encrypted) return false;
  // A link of the member's name counts as taken, even one that leads
  // nowhere: without the flag the create would make the file at its target.
  HANDLE handle = memberPathOpen(state, state->name, GENERIC_WRITE, FILE_SHARE_READ, CREATE_NEW,
                                 FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_OPEN_REPARSE_POINT);
  if (handle == INVALID_HANDLE_VALUE) return false;
  state->outputFile = fileFromHandle(handle);
  if (state->outputFile == nullptr) {
    memberPathDelete(state, state->name);  // the handle is closed already
    return false;
  }
  copyText(state->outputPath, state->name);
  state->createdAhead = true;
  return true;
}

bool OpenOutputFile(EngineState* state) {
  if (state->createdAhead) {
    state->createdAhead = false;
    return true;
  }
  // A file that is replaced keeps its place until the member's data have
  // all checked out: they go to a temporary file beside it first, so that a
  // failure (damage, a full disk, a wrong password, a cancel) never costs
  // the user both versions.
  // An AES member's file takes its name only once its data are
  // authenticated, so it is written beside its name too.
  state->outputFile = nullptr;
  const bool folderInTheWay = state->replacing && (state->replacedAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  state->throughTemporary = state->replacing || state->aes.used;
  if (!state->throughTemporary) {
    copyText(state->outputPath, state->name);
  } else if (folderInTheWay || !temporaryNameBeside(state, state->name, state->outputPath)) {
    state->outputPath[0] = '\0';
  }
  if (state->outputPath[0] != '\0') {
    state->outputFile = memberPathCreate(state, state->outputPath);
    if (state->outputFile == nullptr && !state->throughTemporary) {
      // A read-only, hidden or system file of that name refuses the open.
      memberPathSetAttributes(state, state->outputPath, FILE_ATTRIBUTE_NORMAL);
      state->outputFile = memberPathCreate(state, state->outputPath);
    }
  }
  if (state->outputFile == nullptr) {
    KeepReplacedFile(state);
    noteOutcome(state, kRunFilesNotCreated);
    engineError(state, kMsgCannotCreate, state->name);
    return false;
  }
  return true;
}

void AbandonOutputFile(EngineState* state) {
  // The file may have been given read-only by now; it must go all the same.
  memberPathSetAttributes(state, state->outputPath, FILE_ATTRIBUTE_NORMAL);
  memberPathDelete(state, state->outputPath);
  KeepReplacedFile(state);
}

bool CommitOutputFile(EngineState* state) {
  if (!state->throughTemporary) return true;
  if (state->replacing) memberPathSetAttributes(state, state->name, FILE_ATTRIBUTE_NORMAL);
  // A name still free is taken by a move that replaces nothing: should a
  // file of that name have come since, it stays.
  const ReplaceOutcome outcome = state->replacing ? memberPathReplace(state, state->outputPath, state->name)
                                                  : memberPathMove(state, state->outputPath, state->name);
  if (outcome == kReplaced) return true;
  noteOutcome(state, kRunFilesNotCreated);
  engineError(state, kMsgCannotCreate, state->name);
  // Once the 9x family's delete has taken the original, the new data stay
  // under the temporary name rather than be lost as well.
  if (outcome == kOriginalKept) AbandonOutputFile(state);
  return false;
}

void CloseOutputFile(EngineState* state) {
  FILETIME localTime;
  FILETIME fileTime;
  bool haveTime = DosDateTimeToFileTime(state->localHeader.date, state->localHeader.time, &localTime) != 0;
  if (haveTime && !LocalFileTimeToFileTime(&localTime, &fileTime)) fileTime = localTime;

  // The handle that wrote the data sets the times: nothing is written after
  // them, and a second open per member is a trip through the system's file
  // layer that archives of thousands of small files pay thousands of times.
  // The attributes come after the close, as a read-only file's would refuse
  // a handle that writes.
  if (haveTime) SetFileTime(state->outputFile->handle, nullptr, &fileTime, &fileTime);
  fileClose(state->outputFile);
  state->outputFile = nullptr;
  uint8_t attributes = state->members[state->currentMember].attributes;
  if ((attributes & 0x5F) != 0) memberPathSetAttributes(state, state->outputPath, attributes & 0x7F);
}
