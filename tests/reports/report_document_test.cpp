// Whole documents, byte for byte, against tests/data/reports: each was
// checked by hand, fragment by fragment, when it was added. A document that
// differs is left in the temporary folder for a diff.

#include "reports/report_document.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "core/watch_item.h"
#include "core/watch_list.h"
#include "reports/report_list.h"
#include "storage/history.h"
#include "support/test_files.h"
#include "support/test_process.h"

namespace vantrel {
namespace {

// A response history of two items in a temporary folder. Dates are fixed and
// the C locale is in force, so the texts of every document are known.
class TReportHistory : public THistoryTarget {
 public:
  TReportHistory() : History(*this, (Folder / "vantrel.vth").string()) {
    Shop.SetId(1);
    Shop.Name = "Shop";
    Shop.Url = "http://shop.example/";
    Mail.SetId(2);
    Mail.Name = "Mail";
    Mail.Url = "mail.example";
  }

  void Add(const TWatchItem& item, bool success, TDateTime date, std::int32_t time,
           std::int32_t code) {
    History.Add({static_cast<std::uint32_t>(item.Id()), success, date, time, code});
  }

  void ApplyResult(const THistoryRecord&) override {}
  void BeginReplay() override {}
  void EndReplay() override {}
  std::vector<TItemInfo> SummaryItems() const override {
    return {{1, Shop.DisplayName(), Shop.Url}, {2, Mail.DisplayName(), Mail.Url}};
  }
  std::optional<std::int32_t> ServiceIdOf(std::uint32_t) const override { return 0; }
  std::vector<std::uint32_t> SelectedItemIds() const override { return {}; }

  test::TTempDir Folder;
  TWatchItem Shop;
  TWatchItem Mail;
  TWatchHistory History;
};

class ReportDocumentTest : public ::testing::Test {
 protected:
  ReportDocumentTest() {
    Reports.Rebuild();
    const auto at = [](int day, int hour, int minute) {
      return EncodeDateTime(2024, 3, day, hour, minute, 0);
    };
    // Before the last day: outside every "Last Day" report.
    H.Add(H.Shop, true, at(3, 15, 0), 100, 200);
    // Exactly the period's start and its end (now) are inside it.
    H.Add(H.Shop, true, at(3, 16, 0), 120, 200);
    H.Add(H.Shop, false, at(3, 16, 40), 0, 0);
    H.Add(H.Mail, true, at(4, 10, 0), 40, 200);
    H.Add(H.Shop, true, at(4, 9, 15), 300, 200);
    H.Add(H.Shop, true, at(4, 9, 30), 150, 200);
    H.Add(H.Shop, false, Now, 8000, 408);
    H.Shop.TimesChecked = 7;
    H.Shop.TimesFailed = 2;
    H.Shop.LastSuccess = at(4, 9, 30);
    H.Shop.LastFailure = Now;
  }

  const TReportItem& Report(const std::string& name) {
    for (int i = 0; i < Reports.Count(); ++i) {
      if (Reports.Item(i).Name == name)
        return Reports.Item(i);
    }
    throw std::logic_error("no built-in report " + name);
  }

  void ExpectDocument(const std::string& file, const std::string& actual) {
    const std::string expected = test::ReadFileBytes(test::TestDataFile("reports/" + file));
    if (actual == expected)
      return;
    const char* tmp = std::getenv("TMPDIR");
    const std::filesystem::path left = std::filesystem::path(tmp ? tmp : "/tmp") / file;
    test::WriteFileBytes(left, actual);
    ADD_FAILURE() << file << " differs; this run's document is " << left;
  }

  // Every kind of document: detail and summary in each format, an empty
  // table followed by another section, the alarm page of `alarmed`.
  std::vector<std::pair<std::string, std::string>> Documents(const TWatchItem& alarmed) {
    TReportItem noFailures;
    noFailures.Name = "Mail failures";
    noFailures.Format = TReportFormat::Csv;
    noFailures.ResponseFilter = TResultFilter::Bad;
    const auto detail = [&](const TReportItem& report) {
      return ReportDocument(report, &H.Shop, H.History, Now);
    };
    const auto summary = [&](const char* name) {
      return ReportDocument(Report(name), nullptr, H.History, Now);
    };
    return {{"detail.html", detail(Reports.Item(0))},
            {"summary.html", summary("Summary Report in HTML")},
            {"detail.xml", detail(Report("Detail Report in XML"))},
            {"summary.xml", summary("Summary Report in XML")},
            {"responses.csv", detail(Report("Responses Detail Report in CSV"))},
            {"status.csv", detail(Report("Status Detail Report in CSV"))},
            {"no_failures.csv", ReportDocument(noFailures, &H.Mail, H.History, Now)},
            {"summary.csv", summary("Summary Report in CSV")},
            {"alarm.html", HtmlAlarmPage(alarmed, Now)}};
  }

  const TDateTime Now = EncodeDateTime(2024, 3, 4, 16, 0, 0);
  TReportHistory H;
  TReportList Reports{(H.Folder / "vantrel.vtr").string()};
};

TEST_F(ReportDocumentTest, EveryWriterLaysOutItsRecordsExactly) {
  H.Mail.SetStatus(TWatchStatus::Down);
  H.Mail.PopupText = "Mail server down";
  H.Mail.CheckType = TCheckType::Smtp;
  H.Mail.LastResponseTime = 4000;
  H.Mail.LastResponseCode = 420;
  for (const auto& [file, document] : Documents(H.Mail)) {
    SCOPED_TRACE(file);
    ExpectDocument(file, document);
  }
}

// Names and URLs come from users and web servers: whatever they hold, every
// document keeps its structure (the script checks what each parser reads).
TEST_F(ReportDocumentTest, HostileTextsStayTextInEveryFormat) {
  H.Shop.Name = "<script>alert('x')</script> & \"Co\", Ltd\r\n2,3\x01\xff\xef\xbf\xbe";
  H.Shop.Url = "http://shop.example/?a=1&b=<2>";
  Reports.Item(0).Name = "Report <b>,\"one\"";
  const test::TTempDir out;
  std::vector<std::string> argv = {"python3", VANTREL_CHECK_DOCUMENTS};
  for (const auto& [file, document] : Documents(H.Shop)) {
    if (file == "no_failures.csv")
      continue;  // no table: nothing for the parser to count
    test::WriteFileBytes(out / file, document);
    argv.push_back((out / file).string());
  }
  test::TTestProcess check(argv);
  ASSERT_TRUE(check.Started()) << check.Error();
  const std::optional<int> status = check.Wait(30000);
  EXPECT_EQ(status, 0) << check.Output() << check.Errors();
}

TEST_F(ReportDocumentTest, DetailReportWithoutItemAsksForOne) {
  EXPECT_THROW(ReportDocument(Report("Detail Report in XML"), nullptr, H.History, Now),
               std::invalid_argument);
}

}  // namespace
}  // namespace vantrel
