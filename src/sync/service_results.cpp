#include "sync/service_results.h"

#include <algorithm>
#include <cmath>

#include "text/codings.h"

namespace vantrel {

std::int64_t ServiceTime(TDateTime localDateTime) {
  // Whole milliseconds first: 12:00:00 must not come out as 11:59:59.
  const std::int64_t ms = std::llround((localDateTime - kUnixEpochDateTime) * kMSecsPerDay);
  return ms >= 0 ? ms / 1000 : (ms - 999) / 1000;
}

std::vector<std::string> ServiceResultBodies(std::span<const THistoryRecord> records) {
  std::vector<std::string> bodies;
  for (std::size_t start = 0; start < records.size(); start += kServiceResultsPerRequest) {
    std::string lines;
    for (const THistoryRecord& record :
         records.subspan(start, std::min(kServiceResultsPerRequest, records.size() - start))) {
      lines += std::to_string(record.ItemId) + ", " + (record.Success ? "-1" : "0") + ", " +
               std::to_string(ServiceTime(record.Date)) + ", " +
               std::to_string(record.ResponseTime) + ", " + std::to_string(record.ResponseCode) +
               "\n";
    }
    bodies.push_back("his=" + EncodeBase64(lines));
  }
  return bodies;
}

}  // namespace vantrel
