#pragma once

#include <cstdint>

#include "platform/date_time.h"

namespace vantrel {

// The program's two clocks behind one seam, so that scheduling and time-outs can
// run on virtual time in tests. Both readings may be taken from any thread.
class TClock {
 public:
  virtual ~TClock() = default;

  // The current local date and time.
  virtual TDateTime Now() const = 0;

  // The 32-bit millisecond tick counter. It wraps after about 49.7 days, so
  // elapsed times are taken as unsigned differences of two ticks.
  virtual std::uint32_t Tick() const = 0;
};

// The real clocks: Now from the system clock in local time, Tick from the
// monotonic clock, truncated to 32 bits.
TClock& SystemClock();

}  // namespace vantrel
