// Which results are recorded, and where they go.

#include <gtest/gtest.h>

#include "core/response_codes.h"
#include "core/result_handler.h"
#include "storage/history.h"
#include "storage/temp_history.h"
#include "support/test_files.h"
#include "watch_list_fixture.h"

namespace vantrel {
namespace {

class TStateStub final : public TCheckingState {
 public:
  bool IsOnline() const override { return Online; }
  bool IsPaused() const override { return Paused; }
  bool Online = true;
  bool Paused = false;
};

constexpr TDateTime kMinute = 1.0 / 1440.0;

class ResultHandler : public test::TWatchListFixture {
 protected:
  ResultHandler()
      : History(List, (Dir / "h.vth").string()),
        TempHistory(List, (Dir / "h.vtt").string()),
        Handler(List, History, TempHistory, State, [this] { return Preferences; }),
        Item(Add("site", 60)) {
    Item.ServiceId = 77;
    // One recorded check an hour ago, then a check that began a minute ago.
    List.ApplyResult(test::Result(Item, true, 100, kResponseOk, Earlier));
    Item.SetLastChecked(Now - kMinute);
  }

  THistoryRecord Failure() const {
    return test::Result(Item, false, -1, kResponseConnectionFailed, Now - kMinute);
  }

  test::TTempDir Dir;
  TWatchHistory History;
  TTempHistory TempHistory;
  TStateStub State;
  TResultHandler Handler;
  TWatchItem& Item;
  TDateTime Now = Clock.Now();
  TDateTime Earlier = Clock.Now() - 60 * kMinute;
};

TEST_F(ResultHandler, OfflineResultIsDiscardedAndTheScheduleFallsBack) {
  State.Online = false;
  Handler.HandleResult(Failure());
  EXPECT_EQ(History.PendingCount(), 0u);
  EXPECT_EQ(Item.TimesChecked, 1);
  EXPECT_EQ(Item.LastChecked(), Earlier);
  EXPECT_EQ(Item.NextRun(), IncSeconds(Earlier, 60));
}

TEST_F(ResultHandler, ResultWhilePausedIsDiscardedEvenWhenOnline) {
  State.Paused = true;
  Preferences.ServiceStatus = true;
  Handler.HandleResult(Failure());
  EXPECT_EQ(History.PendingCount(), 0u);
  EXPECT_EQ(TempHistory.PendingCount(), 0u);
  EXPECT_EQ(Item.TimesFailed, 0);
  EXPECT_EQ(Item.LastChecked(), Earlier);
}

TEST_F(ResultHandler, DiscardedResultOfADeletedItemTouchesNothing) {
  State.Online = false;
  const THistoryRecord record = Failure();
  List.DeleteRow(RowOf(Item));
  Handler.HandleResult(record);
  EXPECT_EQ(History.PendingCount(), 0u);
  EXPECT_EQ(List.Count(), 0);
}

TEST_F(ResultHandler, RecordedResultReachesTheHistoryAndTheItem) {
  Handler.HandleResult(Failure());
  EXPECT_EQ(History.PendingCount(), 1u);
  EXPECT_EQ(Item.TimesChecked, 2);
  EXPECT_EQ(Item.TimesFailed, 1);
  EXPECT_EQ(Item.LastFailure, Now - kMinute);
}

TEST_F(ResultHandler, WebServiceQueueGetsTheRecordOnlyWhenTheServiceIsOn) {
  Handler.HandleResult(Failure());
  EXPECT_EQ(TempHistory.PendingCount(), 0u);
  Preferences.ServiceStatus = true;
  Handler.HandleResult(Failure());
  EXPECT_EQ(TempHistory.PendingCount(), 1u);
  EXPECT_EQ(History.PendingCount(), 2u);
}

}  // namespace
}  // namespace vantrel
