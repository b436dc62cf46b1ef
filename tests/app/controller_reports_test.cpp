// The monitor's report definitions and report runs.

#include <gtest/gtest.h>

#include <string>

#include "app/controller_fixture.h"
#include "reports/report_list.h"
#include "reports/report_run.h"
#include "support/test_env.h"

namespace vantrel::test {
namespace {

using ControllerReportsTest = TControllerFixture;

TEST_F(ControllerReportsTest, DeletedReportTakesTheItemsMailAndTheListIsSaved) {
  Start();
  TWatchItem& item = AddSite("shop");
  item.EmailAction = true;
  item.EmailType = TEmailType::Report;
  item.ReportId = App().Reports().Item(4).Id;
  List().SaveToFile();
  App().Reports().Delete(4);
  EXPECT_FALSE(item.EmailAction);
  EXPECT_FALSE(List().Modified()) << "the watch list was not saved";
  Stop();

  // The definitions outlive the monitor.
  TReportList saved((Dir / "vantrel.vtr").string());
  saved.LoadFromFile();
  EXPECT_EQ(saved.Count(), 10);
}

TEST_F(ControllerReportsTest, DefaultReportNeedsASelectedItemAndWritesIntoThePrivateFolder) {
  const TEnvGuard tmp("TMPDIR", Dir.Path().string());
  Start();
  ItemView.ClearSelection();
  EXPECT_EQ(App().acDefaultReport(), std::nullopt);
  ASSERT_EQ(Events.Errors.size(), 1u);
  EXPECT_EQ(Events.Errors[0], kSelectItemMessage);

  SelectOnly({&AddSite("shop")});
  const auto path = App().acDefaultReport();
  ASSERT_TRUE(path.has_value()) << (Events.Errors.size() > 1 ? Events.Errors[1] : "");
  EXPECT_EQ(path->parent_path().parent_path(), Dir.Path());
  EXPECT_EQ(path->filename(), "Detail Report in HTML.html");
  EXPECT_NE(ReadFileBytes(*path).find("<h3>shop (http://shop.test/)</h3>"), std::string::npos);
}

}  // namespace
}  // namespace vantrel::test
