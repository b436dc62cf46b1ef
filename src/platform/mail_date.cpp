#include "platform/mail_date.h"

#include <array>
#include <cstdlib>
#include <ctime>

namespace vantrel {

namespace {

std::string ZeroPadded(long value, std::size_t width) {
  std::string text = std::to_string(value);
  if (text.size() < width)
    text.insert(0, width - text.size(), '0');
  return text;
}

}  // namespace

std::string Rfc822DateTime(TDateTime value) {
  static constexpr std::array<const char*, 7> kDays = {"Sun", "Mon", "Tue", "Wed",
                                                       "Thu", "Fri", "Sat"};
  static constexpr std::array<const char*, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const TDateTimeParts p = DecodeDateTime(value);
  return std::string(kDays.at(static_cast<std::size_t>(p.DayOfWeek))) + ", " +
         std::to_string(p.Day) + " " + kMonths.at(static_cast<std::size_t>(p.Month - 1)) + " " +
         ZeroPadded(p.Year, 4) + " " + ZeroPadded(p.Hour, 2) + ":" + ZeroPadded(p.Minute, 2) + ":" +
         ZeroPadded(p.Second, 2) + " " + TimeZone();
}

std::string TimeZone() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  const long offset = local.tm_gmtoff / 60;  // minutes east of UTC
  const long minutes = std::labs(offset);
  return (offset >= 0 ? "+" : "-") + ZeroPadded(minutes / 60, 2) + ZeroPadded(minutes % 60, 2);
}

}  // namespace vantrel
