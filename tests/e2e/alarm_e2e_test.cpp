// An item whose server stops goes down after its trigger count of failures
// in a row and comes back up after its reset count of successes, once each,
// with the checks' lines in the event log.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e_fixture.h"
#include "support/peer_service_servers.h"

namespace vantrel::test {
namespace {

constexpr int kTriggerCount = 3;
constexpr int kResetCount = 2;

// Index of the last line before `end` that passes `test`; -1 when none.
int LastBefore(const std::vector<std::string>& lines, std::size_t end,
               const TMonitorRun::TLineTest& test) {
  for (std::size_t i = end; i-- > 0;) {
    if (test(lines[i]))
      return static_cast<int>(i);
  }
  return -1;
}

int CountBetween(const std::vector<std::string>& lines, int from, std::size_t end,
                 const TMonitorRun::TLineTest& test) {
  int count = 0;
  for (std::size_t i = static_cast<std::size_t>(from + 1); i < end; ++i)
    count += test(lines[i]) ? 1 : 0;
  return count;
}

// The first line after `from` that is about the item, whatever it says.
std::string NextAbout(const std::vector<std::string>& lines, std::size_t from,
                      const std::string& label) {
  for (std::size_t i = from + 1; i < lines.size(); ++i) {
    if (lines[i].find(label) != std::string::npos)
      return lines[i];
  }
  return {};
}

TEST_F(E2eTest, StoppedServerTakesItemDownAndBackUp) {
  TServiceServer smtp(TServiceKind::Smtp, Net_->Path());
  ASSERT_TRUE(smtp.Ok()) << smtp.Error();
  const std::int32_t id =
      AddItem({"--url", "127.0.0.1", "--type", "smtp", "--name", "mail", "--frequency", "1",
               "--alarm-trigger", std::to_string(kTriggerCount), "--alarm-reset",
               std::to_string(kResetCount)});
  const auto ok = ResultOf("mail", "OK");
  const auto failed = ResultOf("mail", "FAILED");
  const auto down = ResultOf("mail", "DOWN");
  const auto up = ResultOf("mail", "UP");

  auto run = StartMonitor();
  ASSERT_TRUE(run != nullptr);
  ASSERT_TRUE(run->WaitForLine(ok, Scaled(20000)).has_value()) << run->Transcript();
  EXPECT_EQ(run->Count(down), 0u);

  smtp.Stop();
  const std::optional<std::size_t> wentDown = run->WaitForLine(down, Scaled(20000));
  ASSERT_TRUE(wentDown.has_value()) << run->Transcript();
  // Two more failures bring no second alarm.
  ASSERT_TRUE(run->WaitForCount(failed, 2, Scaled(20000), *wentDown + 1)) << run->Transcript();

  ASSERT_TRUE(smtp.Start()) << smtp.Error();
  const std::optional<std::size_t> cameUp = run->WaitForLine(up, Scaled(20000), *wentDown);
  ASSERT_TRUE(cameUp.has_value()) << run->Transcript();
  ASSERT_TRUE(run->WaitForCount(ok, 2, Scaled(20000), *cameUp + 1)) << run->Transcript();
  StopMonitor(*run);

  const std::vector<std::string> lines = run->Lines();
  EXPECT_EQ(run->Count(down), 1u) << run->Transcript();
  EXPECT_EQ(run->Count(up), 1u) << run->Transcript();
  // The change is announced while the result that caused it is handled, so
  // its line comes just before that result's own line.
  const int lastOk = LastBefore(lines, *wentDown, ok);
  ASSERT_GE(lastOk, 0);
  EXPECT_EQ(CountBetween(lines, lastOk, *wentDown, failed), kTriggerCount - 1) << run->Transcript();
  EXPECT_TRUE(failed(NextAbout(lines, *wentDown, "  mail (")));
  const int lastFailed = LastBefore(lines, *cameUp, failed);
  ASSERT_GT(lastFailed, static_cast<int>(*wentDown));
  EXPECT_EQ(CountBetween(lines, lastFailed, *cameUp, ok), kResetCount - 1) << run->Transcript();
  EXPECT_TRUE(ok(NextAbout(lines, *cameUp, "  mail (")));

  // Every recorded result has its lines in the event log, failures without a
  // time and successes with one.
  const std::vector<std::string> entries = LogEntries();
  int ended = 0;
  int unavailable = 0;
  int timed = 0;
  for (std::size_t i = 0; i + 1 < entries.size(); ++i) {
    if (entries[i] != "End checking mail (127.0.0.1)")
      continue;
    ++ended;
    if (entries[i + 1] == "Response Code: Connection is unavailable")
      ++unavailable;
    if (entries[i + 1].rfind("Response Time: ", 0) == 0 && i + 2 < entries.size() &&
        entries[i + 2] == "Response Code: OK")
      ++timed;
  }
  const int results = static_cast<int>(run->Count(ok) + run->Count(failed));
  EXPECT_EQ(ended, results) << EventLog();
  EXPECT_EQ(unavailable, static_cast<int>(run->Count(failed))) << EventLog();
  EXPECT_EQ(timed, static_cast<int>(run->Count(ok))) << EventLog();
  EXPECT_NE(std::find(entries.begin(), entries.end(), "Start checking mail (127.0.0.1) SMTP"),
            entries.end());

  const QJsonObject item = ItemWithId(ListItems(), id);
  EXPECT_EQ(item.value("TimesChecked").toInt(), results);
  EXPECT_EQ(item.value("TimesFailed").toInt(), static_cast<int>(run->Count(failed)));
  EXPECT_GE(item.value("ConsecutiveSuccesses").toInt(), kResetCount);
  EXPECT_EQ(item.value("Status").toString().toStdString(), "Up");
}

}  // namespace
}  // namespace vantrel::test
