#pragma once

#include <cstddef>
#include <cstdint>

namespace vantrel {

// The values an item's settings may take where the user enters them (the
// properties dialog, `vantrel-cli items add` and `set`). Items read from a
// file or sent by the web service are taken as they come.

// Check frequency: 1 to 59 seconds, minutes or hours.
inline constexpr std::int32_t kMinFrequency = 1;  // seconds
inline constexpr std::int32_t kMaxFrequencyInUnit = 59;
inline constexpr std::int32_t kMaxFrequency = kMaxFrequencyInUnit * 3600;  // seconds

// Consecutive failures that raise the alarm, successes that reset it.
inline constexpr std::int32_t kMinAlarmCount = 1;
inline constexpr std::int32_t kMaxAlarmCount = 999;

// Thresholds (ms). The dialog steps them by kTimeoutStep; any value in range
// is valid.
inline constexpr std::int32_t kMinTimeout = 0;
inline constexpr std::int32_t kMaxPingTimeout = 9999;
inline constexpr std::int32_t kMaxDownloadTimeout = 99999;
inline constexpr std::int32_t kMaxServiceTimeout = 9999;
inline constexpr std::int32_t kTimeoutStep = 500;

// Single-line texts (name, URL, e-mail addresses, command, sound file) and
// the pop-up message.
inline constexpr std::size_t kMaxLineTextLength = 255;
inline constexpr std::size_t kMaxPopupTextLength = 65535;

}  // namespace vantrel
