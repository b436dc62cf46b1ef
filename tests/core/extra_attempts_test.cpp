// Failures retried before they count, and what reaches the history: through
// the scheduler, the checkers and the result handler on virtual time.

#include <gtest/gtest.h>

#include <cstdint>

#include "checking_fixture.h"
#include "core/response_codes.h"

namespace vantrel {
namespace {

using test::kScheduleSlack;

constexpr TCheckResult kNotFound{false, 90, 404, "missing"};
constexpr std::uint64_t kSlackMs = 3;

class ExtraAttempts : public test::TCheckingFixture {
 protected:
  TWatchItem& AddRetried(std::int32_t frequency) {
    TWatchItem& item = AddSite("site", frequency);
    item.CheckExtra = true;
    return item;
  }
  void Fail(const TWatchItem& item, int times) {
    for (int i = 0; i < times; ++i)
      Checks.Script(item.Url, kNotFound);
  }
};

TEST_F(ExtraAttempts, AtFiveSecondsFrequencyAFailureCountsAtOnce) {
  TWatchItem& item = AddRetried(5);
  Fail(item, 1);
  StartManager();
  Advance(100);
  ASSERT_EQ(Sink.Records.size(), 1u);
  EXPECT_FALSE(Sink.Records[0].Success);
  EXPECT_EQ(Sink.Records[0].Date, At(100));
  EXPECT_EQ(item.TimesFailed, 1);
  EXPECT_EQ(item.ExtraCount, 0);
  EXPECT_EQ(item.NextRun(), IncSeconds(At(100), 5));
}

TEST_F(ExtraAttempts, AtTwentySecondsFrequencyOneRetryFiveSecondsLater) {
  TWatchItem& item = AddRetried(20);
  Fail(item, 3);
  StartManager();
  Advance(100);
  EXPECT_TRUE(Sink.Records.empty());
  EXPECT_EQ(item.ExtraCount, 1);
  EXPECT_EQ(item.FirstFailTime, At(100));
  EXPECT_EQ(item.NextRun(), IncSeconds(At(100), 5));
  EXPECT_EQ(item.TimesChecked, 0);

  Advance(5000 + kSlackMs);
  ASSERT_EQ(StartMoments.size(), 2u);
  EXPECT_NEAR(StartMoments[1], At(5100), kScheduleSlack);
  ASSERT_EQ(Sink.Records.size(), 1u);
  EXPECT_FALSE(Sink.Records[0].Success);
  EXPECT_EQ(Sink.Records[0].ResponseCode, 404);
  EXPECT_EQ(Sink.Records[0].Date, At(100));
  EXPECT_EQ(item.ExtraCount, 0);
  EXPECT_EQ(item.TimesFailed, 1);
  EXPECT_EQ(item.TimesChecked, 1);
  EXPECT_EQ(History.PendingCount(), 1u);
}

TEST_F(ExtraAttempts, AtSixtySecondsFrequencyRetriesAtFiveAndFifteenSeconds) {
  TWatchItem& item = AddRetried(60);
  Fail(item, 3);
  StartManager();
  Advance(100);
  Advance(5000 + kSlackMs);
  EXPECT_NEAR(item.LastChecked(), At(5100), kScheduleSlack);
  EXPECT_EQ(item.ExtraCount, 2);
  EXPECT_TRUE(Sink.Records.empty());
  EXPECT_EQ(item.NextRun(), IncSeconds(At(100), 15));

  Advance(10000);
  ASSERT_EQ(StartMoments.size(), 3u);
  EXPECT_NEAR(StartMoments[2], At(15100), kScheduleSlack);
  ASSERT_EQ(Sink.Records.size(), 1u);
  EXPECT_EQ(Sink.Records[0].Date, At(100));
  EXPECT_EQ(item.TimesFailed, 1);
  EXPECT_EQ(item.ExtraCount, 0);
  // The regular schedule resumes from the recorded first attempt.
  EXPECT_EQ(item.NextRun(), IncSeconds(At(100), 60));
  // The series' start stays until the next series overwrites it.
  EXPECT_EQ(item.FirstFailTime, At(100));
}

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
  EXPECT_EQ(item.TimesChecked, 1);
  EXPECT_EQ(item.TimesFailed, 0);
  EXPECT_EQ(item.LastSuccess, At(100));
  EXPECT_EQ(item.LastResponseText, "fine");
}

TEST_F(ExtraAttempts, NextSeriesStartsAtItsOwnFirstFailure) {
  TWatchItem& item = AddRetried(20);
  Fail(item, 2);
  StartManager();
  Advance(100);
  Advance(5000 + kSlackMs);
  ASSERT_EQ(Sink.Records.size(), 1u);
  // The next regular check, 20 s after the first series began, fails again.
  Fail(item, 2);
  Advance(15000);
  EXPECT_EQ(item.ExtraCount, 1);
  EXPECT_NEAR(item.FirstFailTime, At(20100), kScheduleSlack);
  Advance(5000 + kSlackMs);
  ASSERT_EQ(Sink.Records.size(), 2u);
  EXPECT_EQ(Sink.Records[1].Date, item.FirstFailTime);
}

TEST_F(ExtraAttempts, ConnectionFailureNeverTakesACheckConnectionItemDown) {
  TWatchItem& guarded = AddSite("guarded", 60);
  guarded.CheckConnection = true;
  guarded.AlarmTrigger = true;
  guarded.TriggerCount = 2;
  TWatchItem& plain = AddSite("plain", 60);
  plain.AlarmTrigger = true;
  plain.TriggerCount = 2;
  for (int i = 0; i < 4; ++i) {
    Checks.Script(guarded.Url, {false, -1, kResponseConnectionFailed, ""});
    Checks.Script(plain.Url, {false, -1, kResponseConnectionFailed, ""});
  }
  StartManager();
  Advance(100);
  for (int i = 0; i < 3; ++i)
    Advance(60000 + kSlackMs);
  EXPECT_EQ(guarded.ConsecutiveFailures, 4);
  EXPECT_EQ(guarded.TimesFailed, 4);
  EXPECT_EQ(guarded.Status(), TWatchStatus::Up);
  EXPECT_EQ(plain.Status(), TWatchStatus::Down);
  EXPECT_EQ(Events, std::vector<std::string>{"alarm plain"});

  // Another failure code brings the alarm at once: the count is already past.
  Checks.Script(guarded.Url, kNotFound);
  Advance(60000 + kSlackMs);
  EXPECT_EQ(guarded.Status(), TWatchStatus::Down);
}

}  // namespace
}  // namespace vantrel
