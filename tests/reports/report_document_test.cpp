// Whole documents, byte for byte, against tests/data/reports: each was
// checked by hand, fragment by fragment, when it was added. A document that
// differs is left in the temporary folder for a diff.

#include "reports/report_document.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "core/watch_list.h"
#include "reports/report_fixture.h"
#include "reports/report_list.h"
#include "support/test_files.h"
#include "support/test_process.h"

namespace vantrel {
namespace {

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

  const TDateTime Now = EncodeDateTime(2024, 3, 4, 16, 0, 0);
  test::TReportHistory H;
  TReportList Reports{(H.Folder / "vantrel.vtr").string()};
};

TEST_F(ReportDocumentTest, EveryWriterLaysOutItsRecordsExactly) {
  TReportItem noFailures;  // an empty table followed by another section
  noFailures.Name = "Mail failures";
  noFailures.Format = TReportFormat::Csv;
  noFailures.ResponseFilter = TResultFilter::Bad;
  H.Mail.SetStatus(TWatchStatus::Down);
  H.Mail.PopupText = "Mail server down";
  H.Mail.CheckType = TCheckType::Smtp;
  H.Mail.LastResponseTime = 4000;
  H.Mail.LastResponseCode = 420;

  const struct {
    const char* File;
    std::string Document;
  } cases[] = {
      {"detail.html", ReportDocument(Report("Detail Report in HTML"), &H.Shop, H.History, Now)},
      {"summary.html", ReportDocument(Report("Summary Report in HTML"), nullptr, H.History, Now)},
      {"detail.xml", ReportDocument(Report("Detail Report in XML"), &H.Shop, H.History, Now)},
      {"summary.xml", ReportDocument(Report("Summary Report in XML"), nullptr, H.History, Now)},
      {"responses.csv",
       ReportDocument(Report("Responses Detail Report in CSV"), &H.Shop, H.History, Now)},
      {"status.csv",
       ReportDocument(Report("Status Detail Report in CSV"), &H.Shop, H.History, Now)},
      {"no_failures.csv", ReportDocument(noFailures, &H.Mail, H.History, Now)},
      {"summary.csv", ReportDocument(Report("Summary Report in CSV"), nullptr, H.History, Now)},
      {"alarm.html", HtmlAlarmPage(H.Mail, Now)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.File);
    ExpectDocument(c.File, c.Document);
  }
}

// Names and URLs come from users and web servers: whatever they hold, every
// document keeps its structure (the script checks what each parser reads).
TEST_F(ReportDocumentTest, HostileTextsStayTextInEveryFormat) {
  H.Shop.Name = "<script>alert('x')</script> & \"Co\", Ltd\r\n2,3\x01\xff\xef\xbf\xbe";
  H.Shop.Url = "http://shop.example/?a=1&b=<2>";
  Reports.Item(0).Name = "Report <b>,\"one\"";
  const TReportItem& html = Reports.Item(0);
  const test::TTempDir out;
  const struct {
    const char* File;
    std::string Document;
  } documents[] = {
      {"detail.html", ReportDocument(html, &H.Shop, H.History, Now)},
      {"summary.html", ReportDocument(Report("Summary Report in HTML"), nullptr, H.History, Now)},
      {"alarm.html", HtmlAlarmPage(H.Shop, Now)},
      {"detail.xml", ReportDocument(Report("Detail Report in XML"), &H.Shop, H.History, Now)},
      {"summary.xml", ReportDocument(Report("Summary Report in XML"), nullptr, H.History, Now)},
      {"responses.csv",
       ReportDocument(Report("Responses Detail Report in CSV"), &H.Shop, H.History, Now)},
      {"summary.csv", ReportDocument(Report("Summary Report in CSV"), nullptr, H.History, Now)},
  };
  std::vector<std::string> argv = {"python3", VANTREL_CHECK_DOCUMENTS};
  for (const auto& d : documents) {
    test::WriteFileBytes(out / d.File, d.Document);
    argv.push_back((out / d.File).string());
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
