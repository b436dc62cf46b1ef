// Failures retried before they count, and how the record is dated: on their
// own, and through the scheduler, the checkers and the result handler.

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

#include "checking_fixture.h"
#include "core/check_result_logic.h"
#include "core/response_codes.h"

namespace vantrel {
namespace {

using test::kScheduleSlack;

constexpr TDateTime kSecond = 1.0 / 86400.0;
constexpr std::uint64_t kSlackMs = 3;
const TCheckResult kFailure{false, -1, 0, ""};
const TCheckResult kNotFound{false, 90, 404, "missing"};

// ApplyCheckResult on its own, its records going through the result handler.
class CheckResultLogic : public test::TCheckingFixture {
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
  int Wakes = 0;
};

TEST_F(CheckResultLogic, RetriesOnlyWhileTheFrequencyIsTwiceTheirDelay) {
  const struct {
    std::int32_t Frequency;
    int Retries;
  } cases[] = {{9, 0}, {10, 1}, {29, 1}, {30, 2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Frequency);
    Item.SetFrequency(c.Frequency);
    Sink.Records.clear();
    int failures = 0;
    while (Sink.Records.empty() && failures < 5) {
      Apply(kFailure);
      ++failures;
    }
    EXPECT_EQ(failures - 1, c.Retries);
  }
}

TEST_F(CheckResultLogic, PageIsKeptOnlyForThePageMailAndCutAtItsLimit) {
  const std::string page = "<p>down</p>";
  const std::string endless(kKeptPageLimit + 7, 'x');
  const struct {
    const char* Case;
    bool Email;
    TEmailType Type;
    const std::string& Page;
    std::size_t Kept;
  } cases[] = {
      {"page mail", true, TEmailType::Page, page, page.size()},
      {"page mail, page at the limit", true, TEmailType::Page, endless.substr(7), kKeptPageLimit},
      {"page mail, longer page", true, TEmailType::Page, endless, kKeptPageLimit},
      {"mail off", false, TEmailType::Page, endless, 0},
      {"page mail again", true, TEmailType::Page, page, page.size()},
      {"short mail", true, TEmailType::Sms, page, 0},
      {"report mail", true, TEmailType::Report, page, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Case);
    Item.EmailAction = c.Email;
    Item.EmailType = c.Type;
    Apply({true, 10, kResponseOk, c.Page});
    EXPECT_EQ(Item.LastResponseText.size(), c.Kept);
    EXPECT_TRUE(c.Page.starts_with(Item.LastResponseText));
    EXPECT_EQ(Item.LastResponseCut, c.Kept != 0 && c.Kept < c.Page.size());
  }
  EXPECT_EQ(Sink.Records.size(), std::size(cases));
}

TEST_F(CheckResultLogic, RecordIsDatedAtTheSeriesStartOnlyWithinASeries) {
  Item.FirstFailTime = Start - 3600 * kSecond;  // of an earlier series
  Apply({true, 10, kResponseOk, ""});
  ASSERT_EQ(Sink.Records.size(), 1u);
  EXPECT_EQ(Sink.Records[0].Date, Start);

  Item.ExtraCount = 1;
  Item.FirstFailTime = 0;  // lost: taken from this attempt
  Apply(kFailure);
  EXPECT_EQ(Item.FirstFailTime, Start);
  EXPECT_EQ(Item.NextRun(), IncSeconds(Start, 15));
  EXPECT_EQ(Wakes, 2);
}

TEST_F(CheckResultLogic, ItemDeletedWhileItsRecordIsHandledIsNotTouchedAfterwards) {
  Item.CheckExtra = false;
  Sink.OnResult = [this](const THistoryRecord&) { List.DeleteRow(RowOf(Item)); };
  Apply(kFailure);
  EXPECT_EQ(List.Count(), 0);
  EXPECT_EQ(Wakes, 1);
}

class ExtraAttempts : public test::TCheckingFixture {
 protected:
  TWatchItem& AddRetried(std::int32_t frequency) {
    TWatchItem& item = AddSite("site", frequency);
    item.CheckExtra = true;
    return item;
  }
  void Fail(const TWatchItem& item, std::size_t times) {
    for (std::size_t i = 0; i < times; ++i)
      Checks.Script(item.Url, kNotFound);
  }
};

struct TSeriesCase {
  std::int32_t Frequency;
  std::vector<std::uint64_t> RetriesAt;  // ms after the start
};

class ExtraAttemptSeries : public ExtraAttempts, public testing::WithParamInterface<TSeriesCase> {};

TEST_P(ExtraAttemptSeries, FailureIsRetriedThenRecordedAtTheFirstAttempt) {
  const TSeriesCase c = GetParam();
  TWatchItem& item = AddRetried(c.Frequency);
  Fail(item, c.RetriesAt.size() + 1);
  StartManager();
  Advance(100);
  std::uint64_t now = 100;
  for (std::size_t i = 0; i < c.RetriesAt.size(); ++i) {
    EXPECT_TRUE(Sink.Records.empty());
    EXPECT_EQ(item.ExtraCount, static_cast<std::int32_t>(i + 1));
    EXPECT_EQ(item.FirstFailTime, At(100));
    Advance(c.RetriesAt[i] + kSlackMs - now);
    now = c.RetriesAt[i] + kSlackMs;
    ASSERT_EQ(StartMoments.size(), i + 2);
    EXPECT_NEAR(StartMoments[i + 1], At(static_cast<double>(c.RetriesAt[i])), kScheduleSlack);
  }
  ASSERT_EQ(Sink.Records.size(), 1u);
  EXPECT_FALSE(Sink.Records[0].Success);
  EXPECT_EQ(Sink.Records[0].ResponseCode, 404);
  EXPECT_EQ(Sink.Records[0].Date, At(100));
  EXPECT_EQ(History.PendingCount(), 1u);
  EXPECT_EQ(item.TimesChecked, 1);
  EXPECT_EQ(item.ExtraCount, 0);
  // The regular schedule goes on from the recorded first attempt.
  EXPECT_EQ(item.NextRun(), IncSeconds(At(100), c.Frequency));
}

INSTANTIATE_TEST_SUITE_P(Frequencies, ExtraAttemptSeries,
                         testing::Values(TSeriesCase{5, {}}, TSeriesCase{20, {5100}},
                                         TSeriesCase{60, {5100, 15100}}));

TEST_F(ExtraAttempts, RetryThatSucceedsIsOneSuccessDatedAtTheFirstAttempt) {
  TWatchItem& item = AddRetried(60);
  Fail(item, 1);
  Checks.Script(item.Url, {true, 250, kResponseOk, "fine"});
  StartManager();
  Advance(100);
  Advance(5000 + kSlackMs);
  ASSERT_EQ(Sink.Records.size(), 1u);
  EXPECT_TRUE(Sink.Records[0].Success);
  EXPECT_EQ(Sink.Records[0].Date, At(100));
  EXPECT_EQ(Sink.Records[0].ResponseTime, 250);
  EXPECT_EQ(item.TimesFailed, 0);
  EXPECT_EQ(item.LastSuccess, At(100));
}

TEST_F(ExtraAttempts, NextSeriesStartsAtItsOwnFirstFailure) {
  TWatchItem& item = AddRetried(20);
  Fail(item, 2);
  StartManager();
  Advance(100);
  Advance(5000 + kSlackMs);
  ASSERT_EQ(Sink.Records.size(), 1u);
  Fail(item, 2);  // the next regular check, 20 s after the first series began
  Advance(15000);
  EXPECT_EQ(item.ExtraCount, 1);
  EXPECT_NEAR(item.FirstFailTime, At(20100), kScheduleSlack);
  Advance(5000 + kSlackMs);
  ASSERT_EQ(Sink.Records.size(), 2u);
  EXPECT_EQ(Sink.Records[1].Date, item.FirstFailTime);
}

}  // namespace
}  // namespace vantrel
