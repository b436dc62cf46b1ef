// vantrel-cli as a user runs it, for what only the built program shows: its
// exit statuses and messages, the monitor's stop on a signal, and the data
// folder held by another process.

#include <signal.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/cli_program.h"
#include "support/test_files.h"

namespace vantrel {
namespace {

using Args = std::vector<std::string>;

constexpr int kStartLimitMs = 20000;
constexpr int kStopLimitMs = 2000;

class CliProcessTest : public ::testing::Test {
 protected:
  test::TTempDir Folder;
  test::TCli Cli{Folder.Path()};
};

TEST_F(CliProcessTest, WrongCommandLineExitsWithStatusTwoNamingTheMistakeAndWritesNothing) {
  const std::pair<Args, const char*> cases[] = {
      {{"items", "add", "--url", "x", "--frequency", "60h"}, "--frequency"},
      {{"run", "now"}, "now"},
      {{"frobnicate"}, "frobnicate"},
      {{"--verbose", "run"}, "--verbose"},
      {{}, "no command"},
  };
  for (const auto& [args, named] : cases) {
    const test::TToolResult result = Cli.Tool(args);
    EXPECT_EQ(result.Status, 2) << result.Describe();
    EXPECT_NE(result.Err.find(named), std::string::npos) << result.Err;
    EXPECT_NE(result.Err.find("--help"), std::string::npos) << result.Err;
  }
  EXPECT_FALSE(std::filesystem::exists(Folder / "vantrel.vtd"));
}

TEST_F(CliProcessTest, HelpOfEveryCommandExitsZero) {
  for (const Args& args : std::vector<Args>{{"--help"},
                                            {"run", "--help"},
                                            {"check", "--help"},
                                            {"items", "--help"},
                                            {"items", "add", "--help"},
                                            {"help", "items", "set"}}) {
    const test::TToolResult result = Cli.Tool(args);
    EXPECT_EQ(result.Status, 0) << result.Describe();
    EXPECT_NE(result.Out.find("Usage: vantrel-cli"), std::string::npos) << result.Out;
  }
}

TEST_F(CliProcessTest, CheckOfAClosedLoopbackPortPrintsItsStepsAndFails) {
  const test::TToolResult result = Cli.Tool({"check", "http://127.0.0.1:1/"});
  EXPECT_EQ(result.Status, 1) << result.Describe();
  EXPECT_EQ(result.Out, "Start testing\nLoading page: Failure\n\nTest failed.\n");
}

TEST_F(CliProcessTest, RunOnAnEmptyListSaysHowToAddAnItemTurnsOthersAwayAndStopsOnSigterm) {
  const auto monitor = Cli.Start({"run"});
  ASSERT_TRUE(monitor->WaitForLine(test::Contains("items add --url"), kStartLimitMs).has_value())
      << monitor->Transcript();
  EXPECT_EQ(monitor->Count(test::Contains("The watch list is empty.")), 1u);

  // A second monitor and an edit are turned away, naming the first.
  const std::string named = "process " + std::to_string(monitor->Pid()) + " (vantrel-cli run";
  for (const Args& args : std::vector<Args>{{"run"}, {"items", "add", "--url", "127.0.0.1"}}) {
    const test::TToolResult refused = Cli.Tool(args);
    EXPECT_EQ(refused.Status, 3) << refused.Describe();
    EXPECT_NE(refused.Err.find(named), std::string::npos) << refused.Err;
  }

  const std::optional<int> status = monitor->StopWith(SIGTERM, kStopLimitMs);
  ASSERT_TRUE(status.has_value()) << "still running 2 s after SIGTERM";
  EXPECT_EQ(*status, 0) << monitor->Transcript();
  EXPECT_EQ(monitor->Count(test::Contains("Stopped")), 1u) << monitor->Transcript();
  EXPECT_TRUE(std::filesystem::exists(Folder / "vantrel.ini"));
  // The folder is free again.
  EXPECT_EQ(Cli.Tool({"items", "add", "--url", "127.0.0.1"}).Out, "1\n");
}

// A closed terminal or SSH session (SIGHUP) takes the output with it, as a
// reader that has gone does; the monitor still saves before it ends. (The
// stop on SIGTERM with its output there is the test above.)
TEST_F(CliProcessTest, RunSavesOnSighupWhenItsOutputHasGone) {
  const auto monitor = Cli.Start({"run"});
  ASSERT_TRUE(
      monitor->WaitForLine(test::Contains("Monitoring 0 item(s)"), kStartLimitMs).has_value())
      << monitor->Transcript();
  monitor->CloseOutput();  // the stop's lines now go nowhere
  const std::optional<int> status = monitor->StopWith(SIGHUP, kStopLimitMs);
  ASSERT_TRUE(status.has_value());
  EXPECT_EQ(*status, 0) << monitor->Transcript();
  EXPECT_TRUE(std::filesystem::exists(Folder / "vantrel.ini"));
}

}  // namespace
}  // namespace vantrel
