#pragma once

#include "app/connect_state.h"
#include "core/result_handler.h"
#include "net/internet_detector.h"

namespace vantrel {

// The two facts that decide whether checking runs and results count: the
// connection, as the detector last saw it, and the user's pause. Before the
// detector exists there is no connection.
class TCheckingFlags final : public TCheckingState {
 public:
  bool IsOnline() const override { return Detector_ != nullptr && Detector_->IsOnline(); }
  bool IsPaused() const override { return Paused_; }

  void SetPaused(bool paused) { Paused_ = paused; }
  // `detector` must outlive this object, or be replaced by null before it goes.
  void SetDetector(const TxxInternetDetector* detector) { Detector_ = detector; }

  TConnectState State() const { return ConnectStateOf(IsPaused(), IsOnline()); }

 private:
  const TxxInternetDetector* Detector_ = nullptr;
  bool Paused_ = false;
};

}  // namespace vantrel
