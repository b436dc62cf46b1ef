#pragma once

#include <string>

#include "platform/date_time.h"

namespace vantrel {

// The mail "Date" form, e.g. "Sat, 5 Dec 2026 09:07:03 -0500": English names
// whatever the locale. The offset is TimeZone(), that of the current moment,
// not of `value`.
std::string Rfc822DateTime(TDateTime value);

// The local offset from UTC at the current moment as "+hhmm" or "-hhmm", east
// positive ("+0000" for UTC).
std::string TimeZone();

}  // namespace vantrel
