// The report definitions and their file.

#include "reports/report_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "storage/file_errors.h"
#include "storage/file_system.h"
#include "storage/file_system_format.h"
#include "support/test_files.h"

namespace vantrel {
namespace {

class ReportListTest : public ::testing::Test {
 protected:
  std::string Path() const { return (Folder / "vantrel.vtr").string(); }

  test::TTempDir Folder;
};

TEST_F(ReportListTest, BuiltInDefinitionsRoundTripThroughTheFile) {
  TReportList saved(Path());
  saved.Rebuild();
  ASSERT_EQ(saved.Count(), 11);
  EXPECT_EQ(saved.EntryText(0), "Detail Report in HTML (default)");
  EXPECT_EQ(saved.Item(10).Name, "Summary Report in CSV");
  EXPECT_EQ(saved.Item(10).Id, 10);
  // Every field differs from the new-definition values somewhere, so a field
  // read into the wrong place shows.
  TReportItem custom;
  custom.Name = "Mine";
  custom.Format = TReportFormat::Xml;
  custom.Period = TReportPeriod::AllPeriod;
  custom.ReportType = TReportType::Summary;
  custom.DetailGraphics = false;
  custom.GraphicsGrouping = TGraphicsGrouping::ByMonths;
  custom.DetailResponse = false;
  custom.ResponseFilter = TResultFilter::Good;
  custom.DetailStatus = false;
  custom.StatusFilter = TResultFilter::Bad;
  custom.SummaryGraphics = false;
  saved.Add(custom);
  saved.SetDefault(11);
  saved.SaveToFile();
  EXPECT_FALSE(saved.Modified());

  TReportList loaded(Path());
  loaded.LoadFromFile();
  ASSERT_EQ(loaded.Count(), 12);
  for (int i = 0; i < 12; ++i)
    EXPECT_EQ(loaded.Item(i), saved.Item(i)) << i;
  EXPECT_EQ(loaded.Default(), &loaded.Item(11));
  EXPECT_EQ(loaded.Item(11).Id, 11);
}

TEST_F(ReportListTest, DeletingKeepsTheDefaultAndTellsWhatWasRemoved) {
  TReportList list(Path());
  list.Rebuild();
  list.SetDefault(3);
  std::vector<std::int32_t> deleted;
  list.OnDelete = [&](const TReportItem& report) { deleted.push_back(report.Id); };
  list.Delete(1);  // before the default
  EXPECT_EQ(list.Default()->Id, 3);
  EXPECT_EQ(list.EntryText(2), "Status Detail Report in HTML (default)");
  EXPECT_EQ(list.Selected(), 1);
  list.Delete(list.Count() - 1);
  EXPECT_EQ(list.Selected(), list.Count() - 1);
  EXPECT_EQ(deleted, (std::vector<std::int32_t>{1, 10}));

  // A rebuild removes every old definition, each one told.
  deleted.clear();
  list.Rebuild();
  EXPECT_EQ(deleted.size(), 9u);
  EXPECT_EQ(list.Default(), &list.Item(0));
}

TEST_F(ReportListTest, AFileThatEndsInsideADefinitionIsRefusedAndLeftAlone) {
  {
    TxxFileSystem file(Path(), kReportListSignature, kReportListVersion, kDataPassPhrase);
    file.Open(omCreate);
    file.WriteInteger(4);  // the default
    file.WriteInteger(2);
    const auto definition = [&](std::int32_t id, const char* name, bool whole) {
      file.WriteInteger(id);
      file.WriteString(name);
      for (int i = 0; i < 3; ++i)
        file.WriteInteger(0);
      file.WriteByte(1);
      file.WriteInteger(1);
      file.WriteByte(1);
      file.WriteInteger(2);
      file.WriteByte(1);
      file.WriteInteger(2);
      if (whole)
        file.WriteByte(1);  // the last field, SummaryGraphics
    };
    definition(4, "Kept", true);
    definition(5, "Cut", false);
    file.Close();
  }
  const std::string before = test::ReadFileBytes(Path());

  TReportList list(Path());
  try {
    list.LoadFromFile();
    FAIL() << "a definition without its last field loaded";
  } catch (const EDataFileError& e) {
    EXPECT_EQ(std::string(e.what()), Path() + "\r\nWrong file format.");
  }
  ASSERT_EQ(list.Count(), 1);
  EXPECT_EQ(list.EntryText(0), "Kept (default)");

  // As at start: the error is reported, the definitions read are kept, and
  // the damaged file is not rewritten until the user changes the list.
  std::vector<std::string> errors;
  LoadReportDefinitions(list, [&](const std::string& e) { errors.push_back(e); });
  EXPECT_EQ(errors.size(), 1u);
  EXPECT_EQ(list.Count(), 1);
  list.SaveToFile();
  EXPECT_EQ(test::ReadFileBytes(Path()), before);
}

}  // namespace
}  // namespace vantrel
