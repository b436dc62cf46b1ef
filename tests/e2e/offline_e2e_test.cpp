// Results that arrive while the machine is offline are discarded: the check
// leaves its lines in the event log but nothing in the history or the
// statistics, and checking waits until the connection is back.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "e2e_fixture.h"

namespace vantrel::test {
namespace {

constexpr int kAnswerAfterMs = 2500;

// A page that comes late, so that the connection can go while a check waits.
void SlowPage(TPeerConnection& connection) {
  connection.ReceiveUntil("\r\n\r\n");
  connection.StaySilent(kAnswerAfterMs);
  connection.Send("HTTP/1.1 200 OK\r\nContent-Length: 5\r\nConnection: close\r\n\r\nlate\n");
  connection.ReceiveUntilClosed(5000);
}

bool WaitUntil(const std::function<bool()>& condition, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline)
      return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

TEST_F(E2eTest, ResultsArrivingOfflineAreDiscarded) {
  std::unique_ptr<TScriptedPeer> server = StartScripted(SlowPage);
  ASSERT_TRUE(server != nullptr && server->Ok()) << (server ? server->Error() : "");
  const std::string url = "http://127.0.0.1:" + server->Port() + "/slow";
  const std::int32_t id =
      AddItem({"--url", url, "--type", "download", "--name", "slow", "--frequency", "1"});
  const auto ok = ResultOf("slow", "OK");
  const auto discarded = ResultOf("slow", "discarded");

  auto run = StartMonitor();
  ASSERT_TRUE(run != nullptr);
  ASSERT_TRUE(run->WaitForLine(ok, Scaled(20000)).has_value()) << run->Transcript();
  // The next check is due at once (its start was a second after the last
  // one's); when its request is in, the connection goes.
  const int before = server->Accepted();
  ASSERT_TRUE(WaitUntil([&] { return server->Accepted() > before; }, Scaled(10000)));
  const std::size_t offlineFrom = run->Lines().size();
  ASSERT_TRUE(Net_->SetOnline(false)) << Net_->Error();
  const std::optional<std::size_t> disconnected =
      run->WaitForLine(Contains("Connection: Disconnected"), Scaled(10000), offlineFrom);
  ASSERT_TRUE(disconnected.has_value()) << run->Transcript();
  const std::optional<std::size_t> dropped =
      run->WaitForLine(discarded, Scaled(20000), *disconnected);
  ASSERT_TRUE(dropped.has_value()) << run->Transcript();
  EXPECT_NE(run->Lines()[*dropped].find("discarded (Disconnected)"), std::string::npos);

  // Nothing is checked while offline: an item due every second starts no
  // check in this window.
  const int whileOffline = server->Accepted();
  std::this_thread::sleep_for(std::chrono::milliseconds(2500));
  EXPECT_EQ(server->Accepted(), whileOffline);

  const std::size_t onlineFrom = run->Lines().size();
  ASSERT_TRUE(Net_->SetOnline(true)) << Net_->Error();
  const std::optional<std::size_t> connected =
      run->WaitForLine(Contains("Connection: Connected"), Scaled(10000), onlineFrom);
  ASSERT_TRUE(connected.has_value()) << run->Transcript();
  ASSERT_TRUE(run->WaitForLine(ok, Scaled(20000), *connected).has_value()) << run->Transcript();
  StopMonitor(*run);

  // While disconnected, every result was discarded.
  const std::vector<std::string> lines = run->Lines();
  for (std::size_t i = *disconnected; i < *connected; ++i) {
    EXPECT_FALSE(ok(lines[i]) || ResultOf("slow", "FAILED")(lines[i])) << lines[i];
  }

  // Only the recorded results count.
  const std::size_t recorded = run->Count(ok) + run->Count(ResultOf("slow", "FAILED"));
  const QJsonObject item = ItemWithId(ListItems(), id);
  EXPECT_EQ(item.value("TimesChecked").toInt(), static_cast<int>(recorded)) << run->Transcript();
  const std::vector<THistoryRecord> history = HistoryRecords();
  EXPECT_EQ(std::count_if(
                history.begin(), history.end(),
                [&](const THistoryRecord& r) { return static_cast<std::int32_t>(r.ItemId) == id; }),
            static_cast<long>(recorded));
  // The discarded check still wrote its lines.
  const std::vector<std::string> entries = LogEntries();
  const long ends = std::count(entries.begin(), entries.end(), "End checking slow (" + url + ")");
  EXPECT_EQ(ends, static_cast<long>(recorded + run->Count(discarded))) << EventLog();
}

}  // namespace
}  // namespace vantrel::test
