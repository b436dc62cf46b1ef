#include "app/autosave_timer.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace vantrel {

namespace {
constexpr std::uint64_t kMsPerMinute = 60000;
}  // namespace

TAutosaveTimer::TAutosaveTimer(TMainLoop& loop, std::function<void()> save)
    : Save_(std::move(save)), Timer_(loop.CreateTimer([this] { Expired(); })) {}

void TAutosaveTimer::Configure(bool enabled, std::int32_t minutes) {
  Stop();
  if (!enabled || minutes <= 0)
    return;
  // The longest wait a timer takes (about 49 days) serves for any longer period.
  IntervalMs_ = static_cast<std::uint32_t>(
      std::min<std::uint64_t>(static_cast<std::uint64_t>(minutes) * kMsPerMinute,
                              std::numeric_limits<std::uint32_t>::max()));
  Timer_->Start(IntervalMs_);
}

void TAutosaveTimer::Stop() {
  Timer_->Stop();
  IntervalMs_ = 0;
}

void TAutosaveTimer::Expired() {
  // Re-armed first: the save may take long and must not stretch the period.
  Timer_->Start(IntervalMs_);
  Save_();
}

}  // namespace vantrel
