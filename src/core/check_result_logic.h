#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>

#include "core/check_request.h"
#include "core/result_sink.h"

namespace vantrel {

class TWatchItem;

// Seconds after the start of a failed attempt at which the first and the
// second additional attempt run. An attempt is made only when the item's
// frequency is at least twice its delay, so that it cannot overtake the next
// regular check.
inline constexpr std::array<std::int32_t, 2> kExtraAttemptDelays{5, 15};

// The most of a page an item keeps for its alarm mail (LastResponseText); a
// longer page is cut here and marked LastResponseCut. Pages come up to the
// HTTP client's body limit, and a thousand items each holding one would hold
// gigabytes.
inline constexpr std::size_t kKeptPageLimit = std::size_t{1} << 20;

// Main thread, at the end of a check of `item`: either schedules an
// additional attempt (a failure of an item with CheckExtra, while attempts
// are left; nothing is recorded) or hands the record of the result to
// `results`. The page of a recorded result is kept only by an item that mails
// the downloaded page (e-mail on, EmailType Page), the one reader of it;
// every other item keeps none. Either way `wake` is called last, so that the
// scheduler looks at the item's new NextRun; nothing of `item` is touched
// after `results` ran.
void ApplyCheckResult(TWatchItem& item, const TCheckResult& result, TResultSink& results,
                      const std::function<void()>& wake);

}  // namespace vantrel
