// The record builders on their own: what the whole documents do not show.

#include "reports/report_data.h"

#include "core/watch_item.h"
#include "core/watch_types.h"

#include <gtest/gtest.h>

#include <vector>

namespace vantrel {
namespace {

TDateTime At(int month, int day, int hour, int minute, int second = 0) {
  return EncodeDateTime(2024, month, day, hour, minute, second);
}

TEST(ReportDataTest, DurationsNameEveryUnitWithoutBlanksBeforeThem) {
  const TDateTime t = At(2, 29, 23, 59, 30);
  const struct {
    TDateTime To;
    const char* Text;
  } cases[] = {
      {t, "0sec"},
      // A minute later is March: the difference is not exact in binary.
      {IncSeconds(t, 60), "1min 0sec"},
      {IncSeconds(t, 86400 + 3600 + 60 + 1), "1day 1hour 1min 1sec"},
      {IncSeconds(t, 2 * 86400 + 5), "2days 5sec"},
      {IncSeconds(t, 2 * 3600 + 120), "2hours 2min 0sec"},
      {IncSeconds(t, -59), "59sec"},  // the absolute difference
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Text);
    EXPECT_EQ(DurationText(c.To, t), c.Text);
  }
}

TEST(ReportDataTest, PeriodsCountWholeDaysBackOverMonthEndsAndALeapDay) {
  const TDateTime now = At(3, 1, 0, 30);
  EXPECT_EQ(PeriodStart(TReportPeriod::LastDay, now), At(2, 29, 0, 30));
  EXPECT_EQ(PeriodStart(TReportPeriod::LastWeek, now), At(2, 23, 0, 30));
  EXPECT_EQ(PeriodStart(TReportPeriod::LastMonth, now), At(1, 31, 0, 30));
  EXPECT_EQ(PeriodStart(TReportPeriod::LastYear, now),
            EncodeDateTime(2023, 3, 2, 0, 30, 0));  // 2024 has 366 days
  EXPECT_EQ(PeriodStart(TReportPeriod::AllPeriod, now), 0);
  EXPECT_EQ(PeriodStart(static_cast<TReportPeriod>(9), now), now);
}

TEST(ReportDataTest, HourBucketsCompareTheHourAloneAndWeighFailuresIntoTheAverage) {
  TReportItem report;
  report.GraphicsGrouping = TGraphicsGrouping::ByHours;
  // 14:10 on 3 March and 14:50 on 4 March share a bucket: nothing lies
  // between them and only the hour is compared.
  const THistoryArray records = {{1, true, At(3, 3, 14, 10), 100, 200},
                                 {1, false, At(3, 3, 14, 20), 0, 0},
                                 {1, true, At(3, 4, 14, 50), 400, 200},
                                 {1, false, At(3, 4, 15, 0), 0, 0}};
  const std::vector<TGraphicsRecord> graphics = BuildGraphics(report, records);
  ASSERT_EQ(graphics.size(), 2u);
  // (400 + 2 * 100) div 3: the failure counts in the weight.
  EXPECT_EQ(graphics[0], (TGraphicsRecord{"Mar 3, 14:00", "2", "1", "200", 100, 50, 100}));
  EXPECT_EQ(graphics[1], (TGraphicsRecord{"Mar 4, 15:00", "0", "1", "0", 0, 50, 0}));

  report.DetailGraphics = false;
  EXPECT_TRUE(BuildGraphics(report, records).empty());
}

TEST(ReportDataTest, StatusRunsEndAtTheRecordThatEndsThemAndFollowTheFilter) {
  TReportItem report;
  // Alternating results: one run per record but the last.
  THistoryArray records;
  for (int i = 0; i < 4; ++i)
    records.push_back({1, i % 2 == 0, At(3, 3, 10, i), 10, i % 2 == 0 ? 200 : 408});
  std::vector<TStatusRecord> runs = BuildStatusRuns(report, records);
  ASSERT_EQ(runs.size(), 3u);
  EXPECT_EQ(runs[0], (TStatusRecord{"Online", "03/03/24 10:00:00", "1min 0sec", "OK"}));
  EXPECT_EQ(runs[1].Status, "Downline");
  EXPECT_EQ(runs[1].LastResponseText, "Request Timeout");

  report.StatusFilter = TResultFilter::Bad;
  runs = BuildStatusRuns(report, records);
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].Date, "03/03/24 10:01:00");

  records.resize(1);  // one record: a response, no run
  EXPECT_TRUE(BuildStatusRuns(report, records).empty());
  EXPECT_EQ(BuildResponses(report, records).size(), 1u);
}

TEST(ReportDataTest, ItemsWithoutChecksShowNoDataRatherThanDividing) {
  TWatchItem item;
  item.Name = "Never";
  TReportItem report;
  const std::vector<TPropertyRecord> properties = BuildProperties(item, report, At(3, 3, 12, 0));
  ASSERT_EQ(properties.size(), 8u);
  EXPECT_EQ(properties[0].Value, "Never ()");
  EXPECT_EQ(properties[3].Value, kNoData);
  EXPECT_EQ(properties[7].Value, kNoData);

  THistorySum sum;
  sum.Name = "Never";
  sum.FirstDate = At(3, 2, 12, 0);
  sum.LastDate = At(3, 3, 12, 0);
  const std::vector<TSummaryRecord> table = BuildSummaryTable({sum});
  EXPECT_EQ(table[0], (TSummaryRecord{"Never", "", "03/02/24", "03/03/24", kNoData, "0", "0", "",
                                      kNoData, kNoData}));
}

}  // namespace
}  // namespace vantrel
