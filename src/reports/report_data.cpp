#include "reports/report_data.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "core/response_codes.h"
#include "core/watch_item.h"
#include "platform/date_format.h"
#include "storage/history.h"

namespace vantrel {

namespace {

std::string DateOrNoData(TDateTime value) {
  return value > 0 ? DateTimeText(value) : kNoData;
}

// value * 100 div maximum; 0 when there is no maximum.
std::int32_t Percent(std::int64_t value, std::int64_t maximum) {
  return maximum < 1 ? 0 : static_cast<std::int32_t>(value * 100 / maximum);
}

std::string FailureRate(std::int32_t failed, std::int32_t checked) {
  return std::to_string(std::int64_t{failed} * 100 / checked) + "%";
}

// Keeps a successful result under filter Good, a failed one under Bad, any
// under Both (and any value a hand-made file may hold).
bool FilterKeeps(TResultFilter filter, bool success) {
  switch (filter) {
    case TResultFilter::Good:
      return success;
    case TResultFilter::Bad:
      return !success;
    default:
      return true;
  }
}

// A bar group before its texts: the counts and the weighted average.
struct TBucket {
  std::string Caption;
  std::int32_t Success = 0;
  std::int32_t Failed = 0;
  std::int32_t Average = 0;
};

// Turns the raw buckets into records, the percentages relative to the
// largest count (of both kinds) and the largest average.
std::vector<TGraphicsRecord> GraphicsRecords(const std::vector<TBucket>& buckets) {
  std::int32_t maxCount = 0;
  std::int32_t maxAverage = 0;
  for (const TBucket& bucket : buckets) {
    maxCount = std::max({maxCount, bucket.Success, bucket.Failed});
    maxAverage = std::max(maxAverage, bucket.Average);
  }
  std::vector<TGraphicsRecord> records;
  records.reserve(buckets.size());
  for (const TBucket& bucket : buckets) {
    records.push_back({.Caption = bucket.Caption,
                       .SuccessCount = std::to_string(bucket.Success),
                       .FailedCount = std::to_string(bucket.Failed),
                       .AvgResponseTime = std::to_string(bucket.Average),
                       .SuccessPercent = Percent(bucket.Success, maxCount),
                       .FailedPercent = Percent(bucket.Failed, maxCount),
                       .AvgPercent = Percent(bucket.Average, maxAverage)});
  }
  return records;
}

// The calendar component that decides whether two records share a bucket.
int BucketKey(TGraphicsGrouping grouping, const TDateTimeParts& parts) {
  switch (grouping) {
    case TGraphicsGrouping::ByHours:
      return parts.Hour;
    case TGraphicsGrouping::ByMonths:
      return parts.Month;
    default:
      return parts.Day;
  }
}

std::string BucketCaption(TGraphicsGrouping grouping, const TDateTimeParts& parts) {
  switch (grouping) {
    case TGraphicsGrouping::ByHours:
      return ShortMonthName(parts.Month) + " " + std::to_string(parts.Day) + ", " +
             std::to_string(parts.Hour) + ":00";
    case TGraphicsGrouping::ByMonths:
      return LongMonthName(parts.Month);
    default:
      return ShortMonthName(parts.Month) + " " + std::to_string(parts.Day);
  }
}

}  // namespace

TDateTime PeriodStart(TReportPeriod period, TDateTime now) {
  switch (period) {
    case TReportPeriod::LastDay:
      return now - 1;
    case TReportPeriod::LastWeek:
      return now - 7;
    case TReportPeriod::LastMonth:
      return now - 30;
    case TReportPeriod::LastYear:
      return now - 365;
    case TReportPeriod::AllPeriod:
      return 0;
  }
  return now;
}

std::string ReportItemName(const TWatchItem& item) {
  return item.DisplayName() + " (" + item.Url + ")";
}

std::string DurationText(TDateTime a, TDateTime b) {
  // Whole milliseconds first: a difference of dates is rarely exact in
  // binary, and a minute must not read "59sec".
  std::int64_t seconds = std::llround(std::fabs(a - b) * kMSecsPerDay) / 1000;
  std::string text;
  const auto part = [&](std::int64_t unit, const char* name, bool plural) {
    const std::int64_t count = seconds / unit;
    if (count <= 0)
      return;
    seconds -= count * unit;
    if (!text.empty())
      text += ' ';
    text += std::to_string(count) + name + (plural && count > 1 ? "s" : "");
  };
  part(86400, "day", true);
  part(3600, "hour", true);
  part(60, "min", false);
  if (!text.empty())
    text += ' ';
  return text + std::to_string(seconds) + "sec";
}

THistoryArray ReadItemRecords(TWatchHistory& history, const TWatchItem& item, TReportPeriod period,
                              TDateTime now) {
  THistoryArray records;
  history.GetHistory(static_cast<std::uint32_t>(item.Id()), records, PeriodStart(period, now), now);
  return records;
}

THistorySumArray ReadSummaries(TWatchHistory& history, TReportPeriod period, TDateTime now) {
  THistorySumArray summaries;
  history.GetSummary(summaries, PeriodStart(period, now), now);
  return summaries;
}

std::vector<TPropertyRecord> BuildProperties(const TWatchItem& item, const TReportItem& report,
                                             TDateTime now) {
  return {
      {"Item Name", ReportItemName(item)},
      {"Report Created", DateTimeText(now)},
      {"Report Period", ReportPeriodName(report.Period)},
      {"Last Success", DateOrNoData(item.LastSuccess)},
      {"Last Failure", DateOrNoData(item.LastFailure)},
      {"Times Checked", std::to_string(item.TimesChecked)},
      {"Times Failed", std::to_string(item.TimesFailed)},
      {"Failure Rate",
       item.TimesChecked >= 1 ? FailureRate(item.TimesFailed, item.TimesChecked) : kNoData},
  };
}

std::vector<TGraphicsRecord> BuildGraphics(const TReportItem& report,
                                           const THistoryArray& records) {
  if (!report.DetailGraphics || records.empty())
    return {};
  // Only the one calendar component is compared: 14:10 on one day and 14:50
  // on the next share an hour bucket when nothing lies between them.
  std::vector<TBucket> buckets;
  int key = 0;
  for (const THistoryRecord& record : records) {
    const TDateTimeParts parts = DecodeDateTime(record.Date);
    const int recordKey = BucketKey(report.GraphicsGrouping, parts);
    if (buckets.empty() || recordKey != key) {
      buckets.push_back({.Caption = BucketCaption(report.GraphicsGrouping, parts)});
      key = recordKey;
    }
    TBucket& bucket = buckets.back();
    if (record.Success) {
      bucket.Average =
          RunningAverage(bucket.Average, bucket.Success + bucket.Failed, record.ResponseTime);
      ++bucket.Success;
    } else {
      ++bucket.Failed;
    }
  }
  return GraphicsRecords(buckets);
}

std::vector<TResponseRecord> BuildResponses(const TReportItem& report,
                                            const THistoryArray& records) {
  std::vector<TResponseRecord> result;
  if (!report.DetailResponse)
    return result;
  for (const THistoryRecord& record : records) {
    if (!FilterKeeps(report.ResponseFilter, record.Success))
      continue;
    result.push_back(
        {.Status = record.Success ? "Success" : "Failed",
         .Date = DateTimeText(record.Date),
         .ResponseTime = record.ResponseTime > 0 ? std::to_string(record.ResponseTime) : kNoData,
         .ResponseText = HttpCodeText(record.ResponseCode)});
  }
  return result;
}

std::vector<TStatusRecord> BuildStatusRuns(const TReportItem& report,
                                           const THistoryArray& records) {
  std::vector<TStatusRecord> result;
  if (!report.DetailStatus || records.size() < 2)
    return result;
  // A run ends at the record that ends it; the run the last record starts is
  // not listed, and a run the last record continues ends at its date with
  // the code of the record before it.
  bool runSuccess = records[0].Success;
  TDateTime runStart = records[0].Date;
  std::int32_t runCode = records[0].ResponseCode;
  const std::size_t last = records.size() - 1;
  for (std::size_t i = 1; i <= last; ++i) {
    const THistoryRecord& record = records[i];
    if (record.Success == runSuccess && i != last) {
      runCode = record.ResponseCode;
      continue;
    }
    if (FilterKeeps(report.StatusFilter, runSuccess)) {
      result.push_back({.Status = runSuccess ? "Online" : "Downline",
                        .Date = DateTimeText(runStart),
                        .Time = DurationText(record.Date, runStart),
                        .LastResponseText = HttpCodeText(runCode)});
    }
    runSuccess = record.Success;
    runStart = record.Date;
    runCode = record.ResponseCode;
  }
  return result;
}

std::vector<TGraphicsRecord> BuildSummaryGraphics(const TReportItem& report,
                                                  const THistorySumArray& summaries) {
  if (!report.SummaryGraphics || summaries.empty())
    return {};
  std::vector<TBucket> bars;
  bars.reserve(summaries.size());
  for (const THistorySum& sum : summaries) {
    bars.push_back({.Caption = sum.Name,
                    .Success = sum.Count - sum.Failures,
                    .Failed = sum.Failures,
                    .Average = sum.AvgResponseTime});
  }
  return GraphicsRecords(bars);
}

std::vector<TSummaryRecord> BuildSummaryTable(const THistorySumArray& summaries) {
  std::vector<TSummaryRecord> result;
  result.reserve(summaries.size());
  for (const THistorySum& sum : summaries) {
    result.push_back({.Name = sum.Name,
                      .Url = sum.Url,
                      .StartDate = ShortDateText(sum.FirstDate),
                      .EndDate = ShortDateText(sum.LastDate),
                      .AvgResponseTime =
                          sum.AvgResponseTime >= 1 ? std::to_string(sum.AvgResponseTime) : kNoData,
                      .TimesChecked = std::to_string(sum.Count),
                      .TimesFailed = std::to_string(sum.Failures),
                      .Failure = sum.Count >= 1 ? FailureRate(sum.Failures, sum.Count) : "",
                      .LastFailure = DateOrNoData(sum.LastFailure),
                      .LastSuccess = DateOrNoData(sum.LastSuccess)});
  }
  return result;
}

}  // namespace vantrel
