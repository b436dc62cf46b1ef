#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/date_time.h"
#include "reports/report_item.h"
#include "storage/history_record.h"
#include "storage/history_sum.h"

namespace vantrel {

class TWatchHistory;
class TWatchItem;

// The records a report is laid out from. Every number, date and status word
// is text already, so the writers only place them.

// One line of the "Report Information" table.
struct TPropertyRecord {
  std::string Name;
  std::string Value;
  bool operator==(const TPropertyRecord&) const = default;
};

// One bar group: a time bucket of one item, or one item of a summary. The
// percentages are of the largest count (both counts share one) and of the
// largest average of the whole array.
struct TGraphicsRecord {
  std::string Caption;
  std::string SuccessCount;
  std::string FailedCount;
  std::string AvgResponseTime;
  std::int32_t SuccessPercent = 0;
  std::int32_t FailedPercent = 0;
  std::int32_t AvgPercent = 0;
  bool operator==(const TGraphicsRecord&) const = default;
};

struct TResponseRecord {
  std::string Status;  // "Success" or "Failed"
  std::string Date;
  std::string ResponseTime;  // ms, or "no data"
  std::string ResponseText;
  bool operator==(const TResponseRecord&) const = default;
};

// A run of consecutive results with the same outcome.
struct TStatusRecord {
  std::string Status;  // "Online" or "Downline"
  std::string Date;    // of the run's first record
  std::string Time;    // the run's length, as DurationText writes it
  std::string LastResponseText;
  bool operator==(const TStatusRecord&) const = default;
};

struct TSummaryRecord {
  std::string Name;
  std::string Url;
  std::string StartDate;
  std::string EndDate;
  std::string AvgResponseTime;
  std::string TimesChecked;
  std::string TimesFailed;
  std::string Failure;  // "12%", empty when nothing was checked
  std::string LastFailure;
  std::string LastSuccess;
  bool operator==(const TSummaryRecord&) const = default;
};

inline constexpr const char* kNoData = "no data";

// The first moment of the period that ends at `now` (its last one).
TDateTime PeriodStart(TReportPeriod period, TDateTime now);

// "Name (Url)", with "Username_" in front for a web-service user's item.
std::string ReportItemName(const TWatchItem& item);

// "1day 2hours 3min 4sec": the whole seconds between `a` and `b`.
std::string DurationText(TDateTime a, TDateTime b);

// The item's records in the period, in the order of the checks.
THistoryArray ReadItemRecords(TWatchHistory& history, const TWatchItem& item, TReportPeriod period,
                              TDateTime now);
// One summary per item of the watch list, in list order, over the period.
THistorySumArray ReadSummaries(TWatchHistory& history, TReportPeriod period, TDateTime now);

// The eight lines of "Report Information"; the statistics are the item's own,
// over its whole history.
std::vector<TPropertyRecord> BuildProperties(const TWatchItem& item, const TReportItem& report,
                                             TDateTime now);
// The builders below give an empty array when the report's section is off.
std::vector<TGraphicsRecord> BuildGraphics(const TReportItem& report, const THistoryArray& records);
std::vector<TResponseRecord> BuildResponses(const TReportItem& report,
                                            const THistoryArray& records);
std::vector<TStatusRecord> BuildStatusRuns(const TReportItem& report, const THistoryArray& records);
std::vector<TGraphicsRecord> BuildSummaryGraphics(const TReportItem& report,
                                                  const THistorySumArray& summaries);
// Always built: every summary is a row.
std::vector<TSummaryRecord> BuildSummaryTable(const THistorySumArray& summaries);

}  // namespace vantrel
