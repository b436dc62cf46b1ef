#pragma once

#include <cstdint>
#include <string>

namespace vantrel {

// A check's response code is the HTTP status of the downloaded page or one of
// the program's own codes below; one text table serves both.
inline constexpr std::int32_t kResponseNotResponded = 0;    // nothing usable came back
inline constexpr std::int32_t kResponseOk = 200;            // also a good ping or greeting
inline constexpr std::int32_t kResponseSearchFailed = 220;  // page lacks the search text
inline constexpr std::int32_t kResponseTimeout = 408;       // reply later than the threshold
// A service check failed, or the connection test found the Internet down.
inline constexpr std::int32_t kResponseConnectionFailed = 420;
inline constexpr std::int32_t kResponseRequestFailed = 500;  // the request could not be sent

// The display text of a response code; empty for a code without one.
std::string HttpCodeText(std::int32_t code);

}  // namespace vantrel
