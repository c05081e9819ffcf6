// Member times in the form the stub reads: a DOS date and time (two-second
// steps, years 1980 to 2107) that the stub takes as the local time of the
// machine it runs on.
#pragma once

#include <stdint.h>
#include <time.h>

#include <string>

// date << 16 | time
using DosDateTime = uint32_t;

// The file time as the local time of this machine.
DosDateTime DosTimeOfFile(time_t time);

// An --mtime or SOURCE_DATE_EPOCH value: seconds since 1970 (taken in UTC,
// so that the result does not depend on this machine's time zone), or a
// wall-clock time "YYYY-MM-DD[ HH:MM[:SS]]" (also with 'T') taken as written.
// Throws PackError naming what when the text is neither, or names no day
// of the calendar. A time outside 1980..2107 is clamped to the nearest that
// a member can hold, and *clamped then says so in a sentence.
DosDateTime ParseDosTime(const std::string& text, const std::string& what, std::string* clamped);

// "2024-01-31 12:00:00"
std::string FormatDosTime(DosDateTime value);
