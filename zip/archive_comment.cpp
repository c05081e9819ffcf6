// The archive comment, which is the installation script.
//
// Read before anything else runs, so it works on the raw file alone: one
// read of the last 32768 bytes and a backwards search for the end record.
// A record with an empty comment does not end the search, because a stray
// signature inside the last member's data or a nested archive must not hide
// the comment of the real end record further back.
#include "support/file_calls.h"
#include "support/heap.h"
#include "support/strings.h"
#include "zip/engine.h"
#include "zip/engine_state.h"

void ReadArchiveComment(const char* path, char** text, int32_t* length) {
  FileBox* file = fileOpen(path, "r");
  if (file == nullptr) return;
  uint8_t* buffer = static_cast<uint8_t*>(allocate(kCommentSearchLength));
  if (buffer == nullptr) {
    fileClose(file);
    return;
  }
  fileSeek(file, 0, FILE_END);
  int32_t size = fileTell(file);
  fileSeek(file, size >= kCommentSearchLength ? size - kCommentSearchLength : 0, FILE_BEGIN);
  int32_t n = static_cast<int32_t>(fileRead(buffer, 1, kCommentSearchLength, file));
  fileClose(file);

  uint32_t signature = zipSignature(3);
  // Position 0 is never examined; a record must leave room for its 22 bytes.
  for (int32_t i = n - kEndRecordSize - 1; i >= 1; --i) {
    if (buffer[i] != 0x50 || readLe32(buffer + i) != signature) continue;
    int32_t commentLength = readLe16(buffer + i + 20);
    if (commentLength == 0) continue;
    // A comment that runs past the end of what was read is cut to it.
    int32_t available = n - i - kEndRecordSize;
    if (commentLength > available) commentLength = available;
    char* comment = static_cast<char*>(allocate(commentLength + 1));
    if (comment == nullptr) {
      *length = 0;
      break;
    }
    copyBytes(comment, buffer + i + kEndRecordSize, commentLength);
    comment[commentLength] = '\0';
    *text = comment;
    *length = commentLength;
    break;
  }
  release(buffer);
}
