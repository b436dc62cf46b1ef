// ApplyCheckResult on its own: when a failure is retried, how the record is
// dated, and that the item is left alone once the record is handed over.

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "core/check_result_logic.h"
#include "core/response_codes.h"
#include "watch_list_fixture.h"

namespace vantrel {
namespace {

constexpr TDateTime kSecond = 1.0 / 86400.0;

class TCollectingSink final : public TResultSink {
 public:
  void HandleResult(const THistoryRecord& record) override {
    Records.push_back(record);
    if (OnResult)
      OnResult(record);
  }
  std::vector<THistoryRecord> Records;
  std::function<void(const THistoryRecord&)> OnResult;
};

class CheckResultLogic : public test::TWatchListFixture {
 protected:
  CheckResultLogic() : Item(Add("site", 60)) {
    Item.CheckExtra = true;
    Item.SetLastChecked(Start);
  }
  void Apply(const TCheckResult& result) {
    ApplyCheckResult(Item, result, Sink, [this] { ++Wakes; });
  }

  TWatchItem& Item;
  TDateTime Start = Clock.Now();
  TCollectingSink Sink;
  int Wakes = 0;
};

const TCheckResult kFailure{false, -1, 0, ""};

TEST_F(CheckResultLogic, SecondRetryIsFifteenSecondsAfterTheFirstFailureNotTheRetry) {
  Apply(kFailure);
  Item.SetLastChecked(Start + 5 * kSecond);
  Apply(kFailure);
  EXPECT_EQ(Item.ExtraCount, 2);
  EXPECT_EQ(Item.FirstFailTime, Start);
  EXPECT_EQ(Item.NextRun(), IncSeconds(Start, 15));
}

TEST_F(CheckResultLogic, RetryIsMadeOnlyWhenTheFrequencyIsTwiceItsDelay) {
  Item.SetFrequency(9);
  Item.SetLastChecked(Start);
  Apply(kFailure);
  EXPECT_EQ(Sink.Records.size(), 1u);

  Item.SetFrequency(10);
  Apply(kFailure);
  EXPECT_EQ(Item.ExtraCount, 1);
  Item.SetFrequency(29);
  Apply(kFailure);
  EXPECT_EQ(Sink.Records.size(), 2u);
  EXPECT_EQ(Item.ExtraCount, 0);

  Item.SetFrequency(30);
  Apply(kFailure);
  Apply(kFailure);
  EXPECT_EQ(Item.ExtraCount, 2);
  Apply(kFailure);
  EXPECT_EQ(Sink.Records.size(), 3u);
}

TEST_F(CheckResultLogic, WithoutCheckExtraAFailureIsRecordedAtOnce) {
  Item.CheckExtra = false;
  Apply({false, 40, 404, "page"});
  ASSERT_EQ(Sink.Records.size(), 1u);
  const THistoryRecord expected{static_cast<std::uint32_t>(Item.Id()), false, Start, 40, 404};
  EXPECT_EQ(Sink.Records[0], expected);
  EXPECT_EQ(Item.LastResponseText, "page");
  EXPECT_EQ(Wakes, 1);
}

TEST_F(CheckResultLogic, LostFirstFailTimeIsTakenFromThisAttempt) {
  Item.ExtraCount = 1;
  Item.FirstFailTime = 0;
  Apply(kFailure);
  EXPECT_EQ(Item.FirstFailTime, Start);
  EXPECT_EQ(Item.NextRun(), IncSeconds(Start, 15));
}

TEST_F(CheckResultLogic, OldFirstFailTimeDoesNotDateARecordOutsideASeries) {
  Item.FirstFailTime = Start - 3600 * kSecond;
  Apply({true, 10, kResponseOk, ""});
  ASSERT_EQ(Sink.Records.size(), 1u);
  EXPECT_EQ(Sink.Records[0].Date, Start);
}

TEST_F(CheckResultLogic, ItemDeletedWhileItsRecordIsHandledIsNotTouchedAfterwards) {
  Item.CheckExtra = false;
  Sink.OnResult = [this](const THistoryRecord&) { List.DeleteRow(RowOf(Item)); };
  Apply(kFailure);
  EXPECT_EQ(List.Count(), 0);
  EXPECT_EQ(Wakes, 1);
}

}  // namespace
}  // namespace vantrel
