#include "core/check_result_logic.h"

#include <cstddef>
#include <string>

#include "core/watch_item.h"
#include "core/watch_types.h"

namespace vantrel {

namespace {

bool WantsExtraAttempt(const TWatchItem& item, const TCheckResult& result) {
  if (result.Success || !item.CheckExtra || item.ExtraCount < 0 ||
      item.ExtraCount >= static_cast<std::int32_t>(kExtraAttemptDelays.size())) {
    return false;
  }
  const std::int32_t delay = kExtraAttemptDelays[static_cast<std::size_t>(item.ExtraCount)];
  return item.Frequency() >= 2 * delay;
}

void KeepPage(TWatchItem& item, const std::string& page) {
  if (item.EmailAction && item.EmailType == TEmailType::Page) {
    item.LastResponseText.assign(page, 0, kKeptPageLimit);
    item.LastResponseCut = page.size() > kKeptPageLimit;
  } else {
    // The memory too: clear() would keep it.
    std::string().swap(item.LastResponseText);
    item.LastResponseCut = false;
  }
}

}  // namespace

void ApplyCheckResult(TWatchItem& item, const TCheckResult& result, TResultSink& results,
                      const std::function<void()>& wake) {
  if (WantsExtraAttempt(item, result)) {
    // The series is dated at its first attempt, which began at LastChecked.
    if (item.ExtraCount == 0 || item.FirstFailTime == 0)
      item.FirstFailTime = item.LastChecked();
    ++item.ExtraCount;
    const std::int32_t delay = kExtraAttemptDelays[static_cast<std::size_t>(item.ExtraCount - 1)];
    item.SetNextRun(IncSeconds(item.FirstFailTime, delay));
    if (wake)
      wake();
    return;
  }

  KeepPage(item, result.ResponseText);
  THistoryRecord record;
  record.ItemId = static_cast<std::uint32_t>(item.Id());
  record.Success = result.Success;
  record.Date =
      item.ExtraCount != 0 && item.FirstFailTime != 0 ? item.FirstFailTime : item.LastChecked();
  record.ResponseTime = result.ResponseTime;
  record.ResponseCode = result.ResponseCode;
  item.ExtraCount = 0;
  // Recording may raise the alarm, whose handlers can do anything to the list:
  // `item` is not touched from here on.
  results.HandleResult(record);
  if (wake)
    wake();
}

}  // namespace vantrel
