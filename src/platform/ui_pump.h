#pragma once

#include <functional>

namespace vantrel {

// Long file work and log writes let the user interface dispatch its pending
// events first, so the window stays responsive. The desktop program installs
// a pump at start; the headless front and the tests leave none.
using TUiPump = std::function<void()>;

// Installs (or, with an empty function, removes) the pump. Main thread only.
void SetUiPump(TUiPump pump);

// Runs the installed pump, if any. Main thread only; a pump that is running
// already is not entered again.
void PumpUi();

}  // namespace vantrel
