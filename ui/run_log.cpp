#include "ui/run_log.h"

#include <windows.h>

#include "support/strings.h"
#include "support/utf8.h"

namespace {

HANDLE logFile;  // null while there is no log
// A line of the information window is at most 1024 characters, and one
// character of the code page becomes at most three bytes of UTF-8.
const int kLineChars = 1100;

}  // namespace

bool OpenRunLog(const char* path, LogOpening opening) {
  CloseRunLog();
  // A link of that name is not followed to a file somewhere else: it exists,
  // and a new file is not made in its place.
  const bool createNew = opening == LogOpening::kCreateNew;
  HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, createNew ? CREATE_NEW : CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL | (createNew ? FILE_FLAG_OPEN_REPARSE_POINT : 0), nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  logFile = file;
  return true;
}

void LogLine(const char* text) {
  if (logFile == nullptr) return;
  wchar_t wide[kLineChars];
  // Cut rather than lost: a line too long for the buffer keeps its start.
  if (MultiByteToWideChar(CP_ACP, 0, text, -1, wide, kLineChars) == 0) wide[kLineChars - 1] = L'\0';
  char line[kLineChars * 3 + 2];
  int32_t length = wideToUtf8(wide, line, kLineChars * 3);
  line[length++] = '\r';
  line[length++] = '\n';
  DWORD written = 0;
  WriteFile(logFile, line, static_cast<DWORD>(length), &written, nullptr);
}

void CloseRunLog() {
  if (logFile == nullptr) return;
  CloseHandle(logFile);
  logFile = nullptr;
}
