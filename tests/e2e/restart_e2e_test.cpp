// A restart replays the response history: the statistics the items had when
// the monitor stopped come back, with the same identifiers; and a second
// monitor on the same folder is turned away while the first runs.

#include <gtest/gtest.h>

#include <signal.h>

#include <map>
#include <string>
#include <vector>

#include "e2e_fixture.h"

namespace vantrel::test {
namespace {

struct TRunTally {
  int Checked = 0;
  int Failed = 0;
  int Average = 0;  // as the item keeps it: integer, failures weigh in
  int LastTime = -1;
};

// What the printed result lines of one item add to its statistics.
TRunTally Tally(const TMonitorRun& run, const std::string& name, TRunTally tally = {}) {
  const auto ok = ResultOf(name, "OK");
  const auto failed = ResultOf(name, "FAILED");
  for (const std::string& line : run.Lines()) {
    if (!ok(line) && !failed(line))
      continue;
    const int time = ResponseTimeOf(line);
    if (ok(line))
      tally.Average = (tally.Average * tally.Checked + time) / (tally.Checked + 1);
    else
      ++tally.Failed;
    ++tally.Checked;
    tally.LastTime = time;
  }
  return tally;
}

TEST_F(E2eTest, RestartRestoresStatisticsAndIdentifiers) {
  std::unique_ptr<TNginxPeer> nginx = StartNginx();
  ASSERT_TRUE(nginx != nullptr && nginx->Ok()) << (nginx ? nginx->Error() : "");
  nginx->WriteDocument("index.html", "<p>Service is UP</p>\n");
  const std::vector<std::string> names = {"page", "missing", "ping"};
  std::map<std::string, std::int32_t> ids;
  ids["page"] = AddItem({"--url", nginx->Url("/index.html"), "--name", "page", "--frequency", "1"});
  ids["missing"] =
      AddItem({"--url", nginx->Url("/missing.html"), "--name", "missing", "--frequency", "1"});
  ids["ping"] = AddItem({"--url", "127.0.0.1", "--name", "ping", "--frequency", "1"});

  auto first = StartMonitor();
  ASSERT_TRUE(first != nullptr);
  for (const std::string& name : names) {
    const auto results = [name](const std::string& line) {
      return ResultOf(name, "OK")(line) || ResultOf(name, "FAILED")(line);
    };
    EXPECT_TRUE(first->WaitForCount(results, 3, Scaled(20000))) << name << first->Transcript();
  }
  StopMonitor(*first);

  const std::vector<QJsonObject> before = ListItems();
  ASSERT_EQ(before.size(), names.size());
  std::map<std::string, TRunTally> tallies;
  for (const std::string& name : names) {
    const QJsonObject item = ItemWithId(before, ids[name]);
    ASSERT_EQ(item.value("Name").toString().toStdString(), name);
    tallies[name] = Tally(*first, name);
    const TRunTally& tally = tallies[name];
    EXPECT_EQ(item.value("TimesChecked").toInt(), tally.Checked) << name;
    EXPECT_EQ(item.value("TimesFailed").toInt(), tally.Failed) << name;
    EXPECT_EQ(item.value("AvgResponseTime").toInt(), tally.Average) << name;
    EXPECT_EQ(item.value("LastResponseTime").toInt(), tally.LastTime) << name;
  }
  EXPECT_EQ(tallies["missing"].Failed, tallies["missing"].Checked);
  EXPECT_EQ(ItemWithId(before, ids["missing"]).value("LastResponseCode").toInt(), 404);

  // The second run goes on from there.
  auto second = StartMonitor();
  ASSERT_TRUE(second != nullptr);
  auto intruder = Cli_.StartMonitor(Net_->Path());
  ASSERT_TRUE(intruder->Started());
  const std::optional<int> refused = intruder->StopWith(0, Scaled(10000));
  ASSERT_TRUE(refused.has_value()) << "a second monitor kept running\n" << intruder->Transcript();
  EXPECT_EQ(*refused, 3) << intruder->Transcript();
  EXPECT_NE(intruder->Errors().find(std::to_string(second->Pid())), std::string::npos)
      << "the holder is not named: " << intruder->Transcript();
  for (const std::string& name : names) {
    EXPECT_TRUE(second->WaitForCount(
        [name](const std::string& line) {
          return ResultOf(name, "OK")(line) || ResultOf(name, "FAILED")(line);
        },
        2, Scaled(20000)))
        << name << second->Transcript();
  }
  StopMonitor(*second);

  const std::vector<QJsonObject> after = ListItems();
  ASSERT_EQ(after.size(), names.size());
  for (const std::string& name : names) {
    const QJsonObject old = ItemWithId(before, ids[name]);
    const QJsonObject item = ItemWithId(after, ids[name]);
    ASSERT_FALSE(item.isEmpty()) << name;
    EXPECT_EQ(item.value("Name"), old.value("Name"));
    EXPECT_EQ(item.value("Created"), old.value("Created"));
    const TRunTally tally = Tally(*second, name, tallies[name]);
    EXPECT_EQ(item.value("TimesChecked").toInt(), tally.Checked) << name;
    EXPECT_EQ(item.value("TimesFailed").toInt(), tally.Failed) << name;
    EXPECT_EQ(item.value("AvgResponseTime").toInt(), tally.Average) << name;
  }

  // A new item takes the next identifier.
  std::int32_t highest = 0;
  for (const auto& [name, id] : ids)
    highest = std::max(highest, id);
  EXPECT_EQ(AddItem({"--url", "::1", "--name", "later"}), highest + 1);
}

}  // namespace
}  // namespace vantrel::test
