#include "platform/date_time.h"

#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace vantrel {

namespace {

using namespace std::chrono;

constexpr std::int64_t kMsPerDay = 86400000;
constexpr sys_days kDayZero = sys_days{year{1899} / December / 30};

std::int64_t DayNumber(const year_month_day& date) {
  return (sys_days{date} - kDayZero).count();
}

}  // namespace

TDateTime EncodeDate(int y, int m, int d) {
  const year_month_day date{year{y}, month{static_cast<unsigned>(m)},
                            day{static_cast<unsigned>(d)}};
  if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1 || !date.ok()) {
    throw std::invalid_argument("invalid date " + std::to_string(y) + "-" + std::to_string(m) +
                                "-" + std::to_string(d));
  }
  return static_cast<TDateTime>(DayNumber(date));
}

TDateTime EncodeTime(int hour, int minute, int second, int millisecond) {
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 ||
      millisecond < 0 || millisecond > 999) {
    throw std::invalid_argument("invalid time " + std::to_string(hour) + ":" +
                                std::to_string(minute) + ":" + std::to_string(second) + "." +
                                std::to_string(millisecond));
  }
  const std::int64_t ms = ((hour * 60LL + minute) * 60 + second) * 1000 + millisecond;
  return static_cast<double>(ms) / kMSecsPerDay;
}

TDateTime EncodeDateTime(int y, int mo, int d, int h, int mi, int s, int ms) {
  // Before day zero the fraction still counts forward from midnight, so it is
  // subtracted from the (negative) day number.
  const TDateTime date = EncodeDate(y, mo, d);
  const TDateTime time = EncodeTime(h, mi, s, ms);
  return date < 0 ? date - time : date + time;
}

TDateTimeParts DecodeDateTime(TDateTime value) {
  if (!std::isfinite(value) || std::fabs(value) > 3.0e6)
    value = 0;  // far outside 1..9999
  // The day is the integral part and the time of day the absolute fraction, so a
  // negative value before day zero still reads as a time forward from midnight.
  double whole = std::trunc(value);
  std::int64_t ms = std::llround(std::fabs(value - whole) * kMSecsPerDay);
  auto dayNumber = static_cast<std::int64_t>(whole);
  if (ms >= kMsPerDay) {  // rounding carried into the next day
    ms -= kMsPerDay;
    dayNumber += value < 0 ? -1 : 1;
  }
  const sys_days date = kDayZero + days{dayNumber};
  const year_month_day ymd{date};
  TDateTimeParts parts;
  parts.Year = static_cast<int>(ymd.year());
  parts.Month = static_cast<int>(static_cast<unsigned>(ymd.month()));
  parts.Day = static_cast<int>(static_cast<unsigned>(ymd.day()));
  parts.DayOfWeek = static_cast<int>(weekday{date}.c_encoding());
  parts.Hour = static_cast<int>(ms / 3600000);
  parts.Minute = static_cast<int>(ms / 60000 % 60);
  parts.Second = static_cast<int>(ms / 1000 % 60);
  parts.Millisecond = static_cast<int>(ms % 1000);
  return parts;
}

TDateTime DateTimeFromTimePoint(system_clock::time_point point) {
  const std::time_t seconds = system_clock::to_time_t(point);
  // to_time_t may round; take the milliseconds relative to the whole second it chose.
  auto ms = duration_cast<milliseconds>(point - system_clock::from_time_t(seconds)).count();
  std::tm local{};
  localtime_r(&seconds, &local);
  const year_month_day ymd{year{local.tm_year + 1900}, month{unsigned(local.tm_mon + 1)},
                           day{unsigned(local.tm_mday)}};
  const std::int64_t timeMs =
      ((local.tm_hour * 60LL + local.tm_min) * 60 + local.tm_sec) * 1000 + ms;
  return static_cast<double>(DayNumber(ymd)) + static_cast<double>(timeMs) / kMSecsPerDay;
}

std::tm BrokenDownTime(TDateTime value) {
  const TDateTimeParts p = DecodeDateTime(value);
  std::tm tm{};
  tm.tm_year = p.Year - 1900;
  tm.tm_mon = p.Month - 1;
  tm.tm_mday = p.Day;
  tm.tm_hour = p.Hour;
  tm.tm_min = p.Minute;
  tm.tm_sec = p.Second;
  tm.tm_wday = p.DayOfWeek;
  tm.tm_isdst = -1;  // let the zone rules decide
  return tm;
}

system_clock::time_point TimePointFromDateTime(TDateTime value) {
  std::tm local = BrokenDownTime(value);
  const std::time_t seconds = mktime(&local);
  return system_clock::from_time_t(seconds) + milliseconds{DecodeDateTime(value).Millisecond};
}

TDateTime NowDateTime() {
  return DateTimeFromTimePoint(system_clock::now());
}

}  // namespace vantrel
