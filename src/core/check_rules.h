#pragma once

// How a check turns what the network gave it into a result. These are the
// decisions of the ping, download and service checks and of the connection
// test, apart from any socket: the network side only reports outcomes.

#include <cstdint>
#include <string>
#include <string_view>

#include "core/check_request.h"
#include "core/response_codes.h"
#include "core/watch_types.h"
#include "net/connection_test.h"

namespace vantrel {

// How long a check waits for an echo reply (its own threshold is judged after).
inline constexpr std::int32_t kPingCheckTimeout = 10000;  // ms
// The whole-exchange limit of a page download (the threshold is judged after).
inline constexpr std::int32_t kDownloadCheckTimeout = 100000;  // ms
// How long a service check waits for the greeting line.
inline constexpr std::int32_t kGreetingReadTimeout = 10000;  // ms
// How a page check presents itself to the server.
inline constexpr const char* kCheckUserAgent = "Mozilla/4.0 (compatible)";
inline constexpr const char* kCheckHeaders[] = {"Pragma: no-cache", "Cache-Control: no-cache"};

// One echo request.
struct TPingOutcome {
  bool Replied = false;
  std::int32_t Time = -1;  // ms, round trip as the echo measured it
};

// One GET of a page.
struct THttpOutcome {
  bool Sent = false;  // the request went out and a response was read
  std::int32_t ResultCode = kResponseRequestFailed;
  std::int32_t ElapsedTime = -1;  // ms, as the client measured the exchange
  std::string Document;
};

// Connecting to a service and reading its first line.
struct TGreetingOutcome {
  std::int32_t Error = 0;         // the socket's error at the step that failed; 0: none
  std::string Line;               // the greeting, as far as it came
  std::int32_t ElapsedTime = -1;  // ms from before connecting to the line; -1 after an error
};

// A time the network measured, as it is recorded: at least 1 ms, because 0
// reads as "no response" in the history, the log and the reports, and a reply
// on a local network often comes within the same millisecond. A negative time
// (nothing measured) stays -1.
std::int32_t RecordedTime(std::int32_t measured);

// Whether `page` contains `search`. Without `caseSensitive` both are compared
// with the ASCII capitals A to Z turned into small letters; no other byte is
// folded. An empty search is found everywhere.
bool ContainsSearchText(std::string_view page, std::string_view search, bool caseSensitive);

// Whether `line` is a good greeting of the service `checkType`: "220" for
// SMTP and FTP, "+ok" in any letter case for POP3, in its first three bytes.
bool GreetingAccepted(TCheckType checkType, std::string_view line);

// The results of the three kinds of check for an item whose threshold is
// `timeout` ms. A reply later than the threshold fails with 408.
TCheckResult JudgePing(const TPingOutcome& outcome, std::int32_t timeout);
// Only a 200 page is judged further: by the threshold, then by the search
// text (220 when absent). Every other status is a failure with that code; a
// request that could not be sent keeps the client's code with no time.
TCheckResult JudgeDownload(const THttpOutcome& outcome, std::int32_t timeout,
                           std::string_view searchText, bool caseSensitive);
// Any socket error or a greeting that is not accepted fails with 420.
TCheckResult JudgeGreeting(TCheckType checkType, const TGreetingOutcome& outcome,
                           std::int32_t timeout);

// After the connection test: when no test server answered, the failure is the
// connection's (420); the time and text of the check stay.
void ApplyConnectionTest(TCheckResult& result, TConnectionTestResult test);

}  // namespace vantrel
