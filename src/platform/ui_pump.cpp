#include "platform/ui_pump.h"

#include <utility>

namespace vantrel {

namespace {
TUiPump& Pump() {
  static TUiPump pump;
  return pump;
}
bool pumping = false;
}  // namespace

void SetUiPump(TUiPump pump) {
  Pump() = std::move(pump);
}

void PumpUi() {
  // An event handled inside the pump may itself read a file; it must not pump again
  // from within the first pump.
  if (pumping || !Pump())
    return;
  pumping = true;
  try {
    Pump()();
  } catch (...) {
    pumping = false;
    throw;
  }
  pumping = false;
}

}  // namespace vantrel
