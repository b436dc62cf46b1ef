#include "platform/clock.h"

#include <chrono>

namespace vantrel {

namespace {

class TSystemClock final : public TClock {
 public:
  TDateTime Now() const override { return NowDateTime(); }

  std::uint32_t Tick() const override {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
    return static_cast<std::uint32_t>(ms.count());
  }
};

}  // namespace

TClock& SystemClock() {
  static TSystemClock clock;
  return clock;
}

}  // namespace vantrel
