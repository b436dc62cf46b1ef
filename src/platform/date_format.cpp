#include "platform/date_format.h"

#include <langinfo.h>

#include <array>
#include <ctime>

namespace vantrel {

namespace {

std::string Format(const char* format, const std::tm& tm) {
  std::array<char, 256> buffer{};
  // strftime returns 0 both for an empty result and for an overflow; 256 bytes
  // hold every locale's date or time format.
  const std::size_t n = std::strftime(buffer.data(), buffer.size(), format, &tm);
  return std::string(buffer.data(), n);
}

std::string LangInfo(nl_item item) {
  const char* text = nl_langinfo(item);
  return text ? text : "";
}

bool IsMidnight(TDateTime value) {
  const TDateTimeParts p = DecodeDateTime(value);
  return p.Hour == 0 && p.Minute == 0 && p.Second == 0 && p.Millisecond == 0;
}

}  // namespace

std::string ShortDateText(TDateTime value) {
  return Format(nl_langinfo(D_FMT), BrokenDownTime(value));
}

std::string LongTimeText(TDateTime value) {
  return Format(nl_langinfo(T_FMT), BrokenDownTime(value));
}

std::string TimeStampText(TDateTime value) {
  return ShortDateText(value) + " " + LongTimeText(value);
}

std::string DateTimeText(TDateTime value) {
  return IsMidnight(value) ? ShortDateText(value) : TimeStampText(value);
}

std::string ShortMonthName(int month) {
  if (month < 1 || month > 12)
    return "";
  return LangInfo(static_cast<nl_item>(ABMON_1 + month - 1));
}

std::string LongMonthName(int month) {
  if (month < 1 || month > 12)
    return "";
  return LangInfo(static_cast<nl_item>(MON_1 + month - 1));
}

}  // namespace vantrel
