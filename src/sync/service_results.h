#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/date_time.h"
#include "storage/history_record.h"

namespace vantrel {

// Results go to the service at most this many to a request.
inline constexpr std::size_t kServiceResultsPerRequest = 1000;

// A check's time as the service receives it: the seconds from 1 January 1970
// 00:00 to the check's local date and time, as if that were UTC (the service
// stores it so; it does not know the copy's time zone).
std::int64_t ServiceTime(TDateTime localDateTime);

// The bodies of the "stats" requests for `records` (each ItemId a service
// identifier): "his=" and the Base64 of up to kServiceResultsPerRequest lines
// "{id}, {-1 success | 0 failure}, {time}, {response time}, {code}" each
// ended by LF. None for no records.
std::vector<std::string> ServiceResultBodies(std::span<const THistoryRecord> records);

}  // namespace vantrel
