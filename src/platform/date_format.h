#pragma once

#include <string>

#include "platform/date_time.h"

namespace vantrel {

// Every date and time the program shows or writes goes through these, so that
// one place follows the user's locale (LC_TIME of the C library).

// The locale's short date (nl_langinfo(D_FMT)).
std::string ShortDateText(TDateTime value);
// The locale's long time (nl_langinfo(T_FMT)).
std::string LongTimeText(TDateTime value);
// Short date, a blank and long time, always both: log entries and time stamps.
std::string TimeStampText(TDateTime value);
// Short date, a blank and long time, the time left out when it is exactly
// midnight: the date-and-time text of reports and item properties.
std::string DateTimeText(TDateTime value);

// The locale's month names; `month` is 1..12 (anything else gives "").
std::string ShortMonthName(int month);
std::string LongMonthName(int month);

}  // namespace vantrel
