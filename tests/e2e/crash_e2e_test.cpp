// kill -9 at random moments, while the monitor checks, flushes its history and
// saves on its way out, and while the command-line tools edit the list, never
// leaves a watch list or a history that fails to load: after every kill the
// list and the history read, and the next monitor starts.
//
// The history is appended in bursts of a thousand records, so the list is
// long and checked every second against loopback nginx: bursts come every
// second or two. $VANTREL_E2E_SEED repeats the random moments of a run.

#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "core/memory_views.h"
#include "core/watch_item.h"
#include "core/watch_list.h"
#include "e2e_fixture.h"

namespace vantrel::test {
namespace {

constexpr int kRounds = 50;
constexpr int kPages = 600;
// A slow build (ThreadSanitizer) starts a checker thread in milliseconds: a
// tick then never catches up with 600 items due every second and starts
// threads until it is killed. Fewer items keep it checking, but too few to
// reach a burst before most kills.
constexpr int kSlowPages = 40;

// Adds many items at once through the program's own watch-list code, which
// is what `items add` does once per item.
void AddPages(const std::filesystem::path& file, const std::string& url, int count) {
  TMemoryItemView view;
  TMemoryDetailsView details;
  const TSettings settings;
  TWatchList list(view, file.string(), details, settings);
  list.LoadFromFile();
  for (int i = 0; i < count; ++i) {
    TWatchItem item;
    item.Name = "page" + std::to_string(i);
    item.Url = url + "?n=" + std::to_string(i);
    item.CheckType = TCheckType::Download;
    item.SetFrequency(1);
    list.AddItem(item);
  }
  list.SaveToFile();
}

unsigned Seed() {
  const char* chosen = std::getenv("VANTREL_E2E_SEED");
  return chosen != nullptr ? static_cast<unsigned>(std::strtoul(chosen, nullptr, 10))
                           : std::random_device()();
}

void Sleep(int ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

class KillTest : public E2eTest {
 protected:
  // The list and the history load; returns the number of items.
  std::size_t Verify() {
    const std::vector<QJsonObject> items = ListItems();
    std::set<std::uint32_t> ids;
    std::int64_t checked = 0;
    for (const QJsonObject& item : items) {
      ids.insert(static_cast<std::uint32_t>(item.value("Id").toInt()));
      checked += item.value("TimesChecked").toInt();
    }
    std::string problems;
    const std::vector<THistoryRecord> records = HistoryRecords(&problems);
    // A torn last block is cut off and reported; anything thrown is a failure.
    EXPECT_EQ(problems.find("thrown:"), std::string::npos) << problems;
    if (!problems.empty())
      ++Tears_;
    std::size_t strangers = 0;
    for (const THistoryRecord& record : records)
      strangers += ids.count(record.ItemId) == 0 ? 1 : 0;
    EXPECT_EQ(strangers, 0u) << "records of items that never existed";
    EXPECT_EQ(checked, static_cast<std::int64_t>(records.size()));
    Records_ = records.size();
    return items.size();
  }

  int Tears_ = 0;
  std::size_t Records_ = 0;
};

TEST_F(KillTest, KillNineNeverLeavesFilesThatFailToLoad) {
  std::unique_ptr<TNginxPeer> nginx = StartNginx();
  ASSERT_TRUE(nginx != nullptr && nginx->Ok()) << (nginx ? nginx->Error() : "");
  nginx->WriteDocument("index.html", "<p>Service is UP</p>\n");
  const bool slow = Scaled(1) > 1;
  const int pages = slow ? kSlowPages : kPages;
  AddPages(Cli_.File("vantrel.vtd"), nginx->Url("/index.html"), pages);
  std::size_t items = Verify();
  ASSERT_EQ(items, static_cast<std::size_t>(pages));

  const unsigned seed = Seed();
  std::mt19937 random(seed);
  RecordProperty("seed", static_cast<int>(seed));
  std::cout << "seed " << seed << " (VANTREL_E2E_SEED repeats it)" << std::endl;
  const auto between = [&random](int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(random);
  };

  int flushedRounds = 0;
  for (int round = 0; round < kRounds; ++round) {
    SCOPED_TRACE("round " + std::to_string(round) + ", seed " + std::to_string(seed));
    const std::size_t recordsBefore = Records_;
    auto run = StartMonitor();
    ASSERT_TRUE(run != nullptr) << "the monitor did not start after a kill";
    if (round % 5 == 3) {
      // In the middle of the stop: the settings, the list and the history
      // are being written.
      Sleep(between(300, Scaled(2500)));
      run->Signal(SIGTERM);
      Sleep(between(0, Scaled(40)));
    } else {
      Sleep(between(100, Scaled(3000)));
    }
    run->Kill();
    const std::size_t now = Verify();
    ASSERT_EQ(now, items);
    flushedRounds += Records_ > recordsBefore ? 1 : 0;

    if (round % 5 == 4) {
      // An edit killed half-way: it happened whole or not at all.
      const std::vector<std::string> edit =
          between(0, 1) == 0
              ? std::vector<std::string>{"items",  "add",  "--url",       "::1",
                                         "--type", "ping", "--frequency", "1"}
              : std::vector<std::string>{"items", "set", std::to_string(between(1, pages)),
                                         "--frequency", std::to_string(between(1, 2))};
      auto tool = Cli_.Start(edit);
      ASSERT_TRUE(tool->Started()) << tool->Error();
      Sleep(between(0, 40));
      tool->Signal(SIGKILL);
      tool->Wait(10000);
      const std::size_t edited = Verify();
      EXPECT_TRUE(edited == items || (edit[1] == "add" && edited == items + 1))
          << edited << " items after " << edit[1] << " on " << items;
      items = edited;
    }
    if (HasFatalFailure())
      return;
  }
  std::cout << kRounds << " kills; the history grew in " << flushedRounds << " of them, "
            << Records_ << " records in all; " << Tears_ << " torn ends cut off" << std::endl;
  // The bursts were reached: some kills came after a flush.
  if (!slow) {
    EXPECT_GT(flushedRounds, 0);
  }

  // And the last start is a clean one.
  auto run = StartMonitor();
  ASSERT_TRUE(run != nullptr);
  StopMonitor(*run);
  Verify();
}

}  // namespace
}  // namespace vantrel::test
