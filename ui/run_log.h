// The run's log, for a caller that is not a person: the lines of the
// information window (members, errors, the summary) written to a file the
// caller named, in UTF-8, one line each.
#pragma once

// Creates (or empties) the log file; false when it cannot be made. The run
// goes on either way: its exit code still tells the outcome.
bool OpenRunLog(const char* path);
// One line in the active code page; nothing without an open log.
void LogLine(const char* text);
void CloseRunLog();
