// Output files: writing the decoded bytes with their running CRC, and giving
// the finished file its time and attributes.
//
// The CRC is taken over every window before it is written, so a member
// whose writes failed still has its whole CRC and the failure shows up once,
// through the disk-full state, not as a second CRC error. Times in the
// archive are local DOS times; they are turned into UTC so that the file
// shows the same clock time the packer's file had.
#include <windows.h>

#include "driver/sfx_state.h"
#include "support/crc32.h"
#include "support/file_calls.h"
#include "support/stage_times.h"
#include "ui/message_ids.h"
#include "zip/engine_internal.h"

int32_t WindowFlush(const uint8_t* buffer, uint32_t count) {
  // More output than the directory entry declares is damage, or an archive
  // built to fill the disk (a small member that expands a thousandfold,
  // repeated in every entry): nothing beyond the declared size is written,
  // and the member input is cut so that the decoder stops.
  uint64_t total = static_cast<uint64_t>(engine.outputWritten) + count;
  if (engine.outputOverrun || total > engine.members[engine.currentMember].uncompressedSize) {
    engine.outputOverrun = true;
    return kError;
  }
  engine.outputWritten = static_cast<uint32_t>(total);
  int stage = stageEnter(kStageCrc);
  engine.runningCrc = crc32Update(engine.runningCrc, buffer, count);
  stageLeave(stage);
  if (count == 0) return kOk;
  if (engine.diskFullState != 0) return kDiskFull;
  stage = stageEnter(kStageWrite);
  const size_t written = fileWrite(buffer, 1, count, engine.outputFile);
  stageLeave(stage);
  if (written < count) {
    engineError(kMsgWriteError, engine.name);
    engine.diskFullState = 2;
    return kDiskFull;
  }
  return kOk;
}

int OpenOutputFile() {
  engine.outputFile = memberPathCreate(engine.name);
  if (engine.outputFile == nullptr) {
    // A read-only, hidden or system file of that name refuses the open.
    memberPathSetAttributes(engine.name, FILE_ATTRIBUTE_NORMAL);
    engine.outputFile = memberPathCreate(engine.name);
  }
  if (engine.outputFile == nullptr) {
    SetExitCode(kExitCreateFailed);
    engineError(kMsgCannotCreate, engine.name);
    return 1;
  }
  return 0;
}

void CloseOutputFile() {
  FILETIME localTime;
  FILETIME fileTime;
  bool haveTime = DosDateTimeToFileTime(engine.localHeader.date, engine.localHeader.time, &localTime) != 0;
  if (haveTime && !LocalFileTimeToFileTime(&localTime, &fileTime)) fileTime = localTime;

  fileClose(engine.outputFile);
  engine.outputFile = nullptr;

  // Reopened before the attributes are set: a read-only file could not be
  // opened for writing its time afterwards.
  HANDLE handle = memberPathOpen(engine.name, GENERIC_WRITE, FILE_SHARE_WRITE, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
  uint8_t attributes = engine.members[engine.currentMember].attributes;
  if ((attributes & 0x5F) != 0) memberPathSetAttributes(engine.name, attributes & 0x7F);
  if (handle == INVALID_HANDLE_VALUE) {
    engineError(kMsgCannotOpen, engine.name);
    return;
  }
  if (haveTime) SetFileTime(handle, nullptr, &fileTime, &fileTime);
  CloseHandle(handle);
}
