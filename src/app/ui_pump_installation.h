#pragma once

#include "platform/main_loop.h"

namespace vantrel {

// While it is installed, long file work and log entries let the main loop run
// what is pending (posted tasks, due timers), so the window stays responsive and
// checkers waiting for a main-thread step go on.
class TUiPumpInstallation {
 public:
  // `loop` must outlive the installation, or Remove must come first.
  explicit TUiPumpInstallation(TMainLoop& loop);
  ~TUiPumpInstallation();
  TUiPumpInstallation(const TUiPumpInstallation&) = delete;
  TUiPumpInstallation& operator=(const TUiPumpInstallation&) = delete;

  // From now on file work runs nothing else in between.
  void Remove();
  bool Installed() const { return Installed_; }

 private:
  bool Installed_ = true;
};

}  // namespace vantrel
