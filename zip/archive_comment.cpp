// The archive comment, which is the installation script.
//
// Read before anything else runs, so it works on the raw file alone: one
// read of the program's headers (for a signature after the archive), one of
// the end of the data and the search of zip/portable/archive_search.cpp, which the
// packer's --list shares.
#include "support/file_calls.h"
#include "support/portable/heap.h"
#include "support/strings.h"
#include "zip/engine.h"
#include "zip/portable/archive_search.h"
#include "zip/engine_state.h"

void ReadArchiveComment(const char* path, char** text, int32_t* length) {
  FileBox* file = fileOpen(path, "r");
  if (file == nullptr) return;
  uint8_t* buffer = static_cast<uint8_t*>(allocate(kScriptSearchMost));
  if (buffer == nullptr) {
    fileClose(file);
    return;
  }
  fileSeek(file, 0, FILE_END);
  const int64_t fileSize = fileTell(file);
  // The headers first: a signed installer's data ends where its signature
  // begins.
  fileSeek(file, 0, FILE_BEGIN);
  const int32_t headLength = static_cast<int32_t>(fileRead(buffer, 1, kSignatureHeadLength, file));
  const int64_t size = SignedDataEnd(buffer, headLength, fileSize);
  const int64_t start = ScriptSearchStart(size, fileSize);
  fileSeek(file, start, FILE_BEGIN);
  int32_t n = static_cast<int32_t>(fileRead(buffer, 1, static_cast<size_t>(size - start), file));
  fileClose(file);

  int32_t offset = 0;
  int32_t commentLength = 0;
  if (FindScriptComment(buffer, n, zipSignature(3), &offset, &commentLength)) {
    char* comment = static_cast<char*>(allocate(commentLength + 1));
    if (comment == nullptr) {
      *length = 0;
    } else {
      copyBytes(comment, buffer + offset, commentLength);
      comment[commentLength] = '\0';
      *text = comment;
      *length = commentLength;
    }
  }
  release(buffer);
}
