// The reports commands, run in this process on a temporary data folder.

#include "cli/reports_command.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "cli/items_command.h"
#include "cli/loaded_watch_list.h"
#include "support/test_files.h"

namespace vantrel {
namespace {

using Args = std::vector<std::string>;

class ReportsCommandTest : public ::testing::Test {
 protected:
  int Run(int (*command)(const TCommandContext&, const Args&), const Args& args) {
    Out.str("");
    return command({.DataDir = Folder.Path(), .Out = Out, .Err = Err}, args);
  }

  test::TTempDir Folder;
  std::ostringstream Out;
  std::ostringstream Err;
};

TEST_F(ReportsCommandTest, RemovingAMailedReportNeedsForceAndSwitchesTheMailOff) {
  ASSERT_EQ(Run(ItemsCommand, {"add", "--url", "http://127.0.0.1/", "--email", "a@b.example",
                               "--email-type", "report", "--report-id", "4"}),
            kExitOk);
  EXPECT_THROW(Run(ReportsCommand, {"remove", "Summary Report in HTML"}), std::runtime_error);
  // The default report stays whatever is given.
  EXPECT_THROW(Run(ReportsCommand, {"remove", "0", "--force"}), std::runtime_error);

  ASSERT_EQ(Run(ReportsCommand, {"remove", "4", "--force"}), kExitOk);
  EXPECT_NE(Out.str().find("E-mail action switched off for item 1"), std::string::npos);
  TSettings settings;
  TLoadedWatchList files(Folder.Path(), settings, Err);
  EXPECT_FALSE(files.ItemOfId(1).EmailAction);
  EXPECT_EQ(files.ItemOfId(1).ReportId, -1);

  Out.str("");
  ASSERT_EQ(Run(ReportsCommand, {"list"}), kExitOk);
  EXPECT_EQ(Out.str().find("Summary Report in HTML"), std::string::npos);
  EXPECT_NE(Out.str().find("Detail Report in HTML (default)"), std::string::npos);
}

TEST_F(ReportsCommandTest, ReportRunsTheNamedOrDefaultDefinition) {
  ASSERT_EQ(Run(ItemsCommand, {"add", "--url", "http://127.0.0.1/", "--name", "Local"}), kExitOk);
  ASSERT_EQ(Run(ReportCommand, {"Summary Report in CSV", "--out", "-"}), kExitOk);
  EXPECT_EQ(Out.str().rfind("Summary Report in CSV for Last Day\r\n", 0), 0u);
  EXPECT_NE(Out.str().find("\r\n1,Local,"), std::string::npos);
  // The default is a detail report, which needs an item.
  EXPECT_THROW(Run(ReportCommand, {}), EUsageError);
  ASSERT_EQ(Run(ReportCommand, {"--item", "1", "--out", (Folder / "d.html").string()}), kExitOk);
  EXPECT_NE(test::ReadFileBytes(Folder / "d.html").find("<h3>Local (http://127.0.0.1/)</h3>"),
            std::string::npos);
}

}  // namespace
}  // namespace vantrel
