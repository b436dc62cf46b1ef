#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/main_loop.h"

namespace vantrel {

// Saves the data files every so many minutes while auto-save is on. What a
// save does is the owner's; this only keeps the period. Main thread only.
class TAutosaveTimer {
 public:
  // `save` runs on every expiry and must not throw: it reports its own errors,
  // because an exception cannot travel through the main loop's timers.
  TAutosaveTimer(TMainLoop& loop, std::function<void()> save);
  TAutosaveTimer(const TAutosaveTimer&) = delete;
  TAutosaveTimer& operator=(const TAutosaveTimer&) = delete;

  // Runs every `minutes` when `enabled`, the period starting afresh now; a
  // period of no minutes or fewer never comes round, so it stops the timer.
  void Configure(bool enabled, std::int32_t minutes);
  void Stop();

  bool Running() const { return IntervalMs_ != 0; }
  // The period in milliseconds; 0 while stopped.
  std::uint32_t IntervalMs() const { return IntervalMs_; }

 private:
  void Expired();

  std::function<void()> Save_;
  std::unique_ptr<TTimer> Timer_;
  std::uint32_t IntervalMs_ = 0;
};

}  // namespace vantrel
