#pragma once

#include <chrono>
#include <ctime>

namespace vantrel {

// The program's date-time: days since 30 December 1899, 00:00 local time, with
// the time of day as the fraction (0.5 is noon). Every data file stores it as an
// IEEE-754 double, so this stays a plain double.
using TDateTime = double;

inline constexpr double kMSecsPerDay = 86400000.0;
// 1 January 1970 as a TDateTime.
inline constexpr TDateTime kUnixEpochDateTime = 25569.0;

struct TDateTimeParts {
  int Year = 1899;
  int Month = 12;  // 1..12
  int Day = 30;    // 1..31
  int Hour = 0;
  int Minute = 0;
  int Second = 0;
  int Millisecond = 0;
  int DayOfWeek = 6;  // 0 Sunday .. 6 Saturday
};

// Throws std::invalid_argument for a date or time that does not exist.
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int minute, int second, int millisecond = 0);
TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second,
                         int millisecond = 0);

// The calendar fields of a date-time, rounded to the nearest millisecond.
TDateTimeParts DecodeDateTime(TDateTime value);

// The calendar fields as the C library's broken-down time (whole seconds;
// tm_isdst -1), for strftime and mktime.
std::tm BrokenDownTime(TDateTime value);

// Local time of a point of the system clock, and back (through the C library's
// time-zone rules).
TDateTime DateTimeFromTimePoint(std::chrono::system_clock::time_point point);
std::chrono::system_clock::time_point TimePointFromDateTime(TDateTime value);

// The current local date and time from the system clock.
TDateTime NowDateTime();

}  // namespace vantrel
