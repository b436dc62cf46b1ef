#include "app/ui_pump_installation.h"

#include "platform/ui_pump.h"

namespace vantrel {

TUiPumpInstallation::TUiPumpInstallation(TMainLoop& loop) {
  SetUiPump([&loop] { loop.DispatchPending(); });
}

TUiPumpInstallation::~TUiPumpInstallation() {
  Remove();
}

void TUiPumpInstallation::Remove() {
  if (!Installed_)
    return;
  SetUiPump({});
  Installed_ = false;
}

}  // namespace vantrel
