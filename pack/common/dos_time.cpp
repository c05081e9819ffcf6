#include "pack/common/dos_time.h"

#include <stdio.h>
#include <stdlib.h>

#include "pack/common/pack_error.h"

namespace {

DosDateTime FromCalendar(const struct tm& t) {
  const int year = t.tm_year + 1900;
  if (year < 1980) return (0u << 25) | (1u << 21) | (1u << 16);  // 1980-01-01 00:00:00
  if (year > 2107) return (127u << 25) | (12u << 21) | (31u << 16) | (23u << 11) | (59u << 5) | 29u;
  return (static_cast<uint32_t>(year - 1980) << 25) | (static_cast<uint32_t>(t.tm_mon + 1) << 21) |
         (static_cast<uint32_t>(t.tm_mday) << 16) | (static_cast<uint32_t>(t.tm_hour) << 11) |
         (static_cast<uint32_t>(t.tm_min) << 5) | static_cast<uint32_t>(t.tm_sec / 2);
}

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// The sentence for a time that a DOS date cannot hold.
std::string Clamping(const std::string& what, const std::string& text, int year) {
  if (year >= 1980 && year <= 2107) return "";
  return what + ": " + text + (year < 1980 ? " is before 1980" : " is after 2107") +
         ", outside the times a ZIP member can hold: " + (year < 1980 ? "1980-01-01 00:00:00" : "2107-12-31 23:59:58") +
         " is used";
}

}  // namespace

DosDateTime DosTimeOfFile(time_t time) {
  struct tm local;
  if (localtime_r(&time, &local) == nullptr) return FromCalendar(tm{});
  return FromCalendar(local);
}

DosDateTime ParseDosTime(const std::string& text, const std::string& what, std::string* clamped) {
  char* end = nullptr;
  const long long seconds = strtoll(text.c_str(), &end, 10);
  if (!text.empty() && *end == '\0' && text.find_first_not_of("0123456789") == std::string::npos) {
    const time_t time = static_cast<time_t>(seconds);
    struct tm utc;
    if (gmtime_r(&time, &utc) == nullptr) throw PackError(what + ": time out of range: " + text);
    *clamped = Clamping(what, text, utc.tm_year + 1900);
    return FromCalendar(utc);
  }
  struct tm t {};
  char separator = ' ';
  int used = 0;
  const int fields = sscanf(text.c_str(), "%4d-%2d-%2d%n%c%2d:%2d%n:%2d%n", &t.tm_year, &t.tm_mon, &t.tm_mday,
                            &used, &separator, &t.tm_hour, &t.tm_min, &used, &t.tm_sec, &used);
  const bool shapeOk = (fields == 3 || fields == 6 || fields == 7) && static_cast<size_t>(used) == text.size() &&
                       (fields == 3 || separator == ' ' || separator == 'T');
  if (!shapeOk || t.tm_mon < 1 || t.tm_mon > 12 || t.tm_mday < 1 || t.tm_mday > 31 || t.tm_hour > 23 ||
      t.tm_min > 59 || t.tm_sec > 59 || t.tm_mday > DaysInMonth(t.tm_year, t.tm_mon)) {
    throw PackError(what + ": not a time: \"" + text +
                    "\" (seconds since 1970, or a real date and time: YYYY-MM-DD, YYYY-MM-DD HH:MM or "
                    "YYYY-MM-DD HH:MM:SS)");
  }
  *clamped = Clamping(what, text, t.tm_year);
  t.tm_year -= 1900;
  t.tm_mon -= 1;
  return FromCalendar(t);
}

std::string FormatDosTime(DosDateTime value) {
  char text[32];
  snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", 1980 + (value >> 25), (value >> 21) & 15,
           (value >> 16) & 31, (value >> 11) & 31, (value >> 5) & 63, (value & 31) * 2);
  return text;
}
