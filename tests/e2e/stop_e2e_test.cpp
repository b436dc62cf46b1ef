// SIGTERM stops the monitor quickly even while every checker it may run waits
// on a server that never answers, and the files are saved on the way out.

#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "e2e_fixture.h"

namespace vantrel::test {
namespace {

// A tick starts new checkers only while fewer than this run: with as many
// items, each has one checker waiting, and the repeats they become due for
// wait for a free place.
constexpr int kRunningLimit = 32;
constexpr int kPages = 16;
constexpr int kGreetings = 16;

void Silent(TPeerConnection& connection) {
  connection.ReceiveUntilClosed(120000);
}

TEST_F(E2eTest, SigtermWhileEveryCheckerWaitsOnSilentServers) {
  std::unique_ptr<TScriptedPeer> web = StartScripted(Silent, TPeerOptions{.Backlog = 128});
  ASSERT_TRUE(web != nullptr && web->Ok()) << (web ? web->Error() : "");
  // A mail server that accepts and never greets, on the port the SMTP check
  // connects to.
  std::unique_ptr<TScriptedPeer> mail =
      StartScripted(Silent, TPeerOptions{.Port = 25, .Backlog = 128});
  ASSERT_TRUE(mail != nullptr && mail->Ok()) << (mail ? mail->Error() : "");

  for (int i = 0; i < kPages; ++i) {
    AddItem({"--url", "http://127.0.0.1:" + web->Port() + "/page" + std::to_string(i), "--type",
             "download", "--name", "page" + std::to_string(i), "--frequency", "1"});
  }
  for (int i = 0; i < kGreetings; ++i) {
    AddItem({"--url", "127.0.0.1", "--type", "smtp", "--name", "mail" + std::to_string(i),
             "--frequency", "1"});
  }

  auto run = StartMonitor();
  ASSERT_TRUE(run != nullptr);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(Scaled(20000));
  while (web->Accepted() + mail->Accepted() < kRunningLimit &&
         std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_GE(web->Accepted() + mail->Accepted(), kRunningLimit) << run->Transcript();
  // No repeat has started, and no check has ended.
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  EXPECT_EQ(web->Accepted() + mail->Accepted(), kRunningLimit);
  EXPECT_EQ(run->Count(Contains("FAILED")) + run->Count(Contains("  OK  ")), 0u)
      << run->Transcript();

  StopMonitor(*run, SIGTERM);

  // Saved: the settings as they were, the whole list; no result was recorded.
  const std::string settings = ReadWholeFile(Cli_.File("vantrel.ini"));
  EXPECT_NE(settings.find("LogType=1"), std::string::npos) << settings;
  EXPECT_EQ(ListItems().size(), static_cast<std::size_t>(kPages + kGreetings));
  std::string problems;
  EXPECT_TRUE(HistoryRecords(&problems).empty());
  EXPECT_EQ(problems, "");
  const std::vector<std::string> entries = LogEntries();
  EXPECT_EQ(std::count_if(
                entries.begin(), entries.end(),
                [](const std::string& entry) { return entry.rfind("Start checking ", 0) == 0; }),
            kRunningLimit)
      << EventLog();
}

}  // namespace
}  // namespace vantrel::test
