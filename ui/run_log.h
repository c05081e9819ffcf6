// The run's log, for a caller that is not a person: the lines of the
// information window (members, errors, the summary) written to a file the
// caller named, in UTF-8, one line each.
#pragma once

enum class LogOpening {
  kReplaceExisting,  // a file of that name is emptied
  // Only a file made now: an elevated run must not write, through a name
  // its caller chose, over a file the caller could not change itself.
  kCreateNew,
};

// Opens the log file as asked; false when it cannot be made.
bool OpenRunLog(const char* path, LogOpening opening);
// One line in the active code page; nothing without an open log.
void LogLine(const char* text);
void CloseRunLog();
