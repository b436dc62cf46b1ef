#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/date_time.h"
#include "storage/history_record.h"

namespace vantrel {

// The summary of one item's records over a date range (for the summary
// report). Dates are 0 until a record sets them.
struct THistorySum {
  std::uint32_t ItemId = 0;
  std::string Name;  // "Username_Name" when the item has a Username
  std::string Url;
  TDateTime FirstDate = 0;           // the range start when the item has no record in it
  TDateTime LastDate = 0;            // the range end when the item has no record in it
  std::int32_t AvgResponseTime = 0;  // running average of the successful records
  std::int32_t Count = 0;            // records in the range, failures included
  std::int32_t Failures = 0;
  TDateTime LastFailure = 0;
  TDateTime LastSuccess = 0;

  bool operator==(const THistorySum&) const = default;
};

using THistorySumArray = std::vector<THistorySum>;

// Counts one record of the summary's item. Failures weigh the average down
// because they raise the count it is weighted with.
inline void AddToSummary(THistorySum& sum, const THistoryRecord& record) {
  if (record.Date < sum.FirstDate || sum.FirstDate == 0)
    sum.FirstDate = record.Date;
  if (record.Date > sum.LastDate)
    sum.LastDate = record.Date;
  if (record.Success)
    sum.AvgResponseTime = RunningAverage(sum.AvgResponseTime, sum.Count, record.ResponseTime);
  ++sum.Count;
  if (record.Success) {
    sum.LastSuccess = record.Date;
  } else {
    ++sum.Failures;
    sum.LastFailure = record.Date;
  }
}

}  // namespace vantrel
