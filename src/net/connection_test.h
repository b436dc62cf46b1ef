#pragma once

// The Internet-connection test: after a check failed, the checks try the test
// servers of the Internet options one by one, by download or by ping, to tell
// a dead site from a dead connection. The network clients stay behind
// TConnectionProbe, so the order of the attempts is decided here, apart from
// any socket.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "net/internet_options.h"

namespace vantrel {

// How a download probe asks for a test server's page: the server name as URL,
// "GET", this user agent and these two header lines, with the proxy chosen for
// the item under test and the HTTP client's default time-out.
inline constexpr const char* kConnectionTestUserAgent = "Mozilla/4.0 (compatible)";
inline constexpr const char* kConnectionTestHeaders[] = {"Pragma: no-cache",
                                                         "Cache-Control: no-cache"};
// How long a ping probe waits for each server's echo reply.
inline constexpr std::uint32_t kConnectionTestPingTimeout = 5000;  // ms

// One attempt to reach one test server. The checks implement it with the HTTP
// client and ICMP echo; each call runs on the checker's thread and must not
// throw. A probe that has been cancelled should answer false at once.
class TConnectionProbe {
 public:
  virtual ~TConnectionProbe() = default;

  // True when a request for `server` could be sent and any response was read,
  // whatever its status.
  [[nodiscard]] virtual bool Download(const std::string& server) = 0;

  // True when `server` sent an echo reply.
  [[nodiscard]] virtual bool Ping(const std::string& server) = 0;
};

enum class TConnectionTestResult {
  NotRun,      // switched off, or no server listed: the check's result stands
  Reachable,   // a server answered: the check's result stands
  Unreachable  // no server answered: the check's result code becomes 420
};

// The entries of a server list as the settings' delimited text holds them:
// entries end at ";" and at blanks (bytes up to 20 hex) outside double quotes;
// blanks around entries are dropped; a double-quoted entry keeps its blanks and
// ";", with "" standing for one quote (an unclosed quote runs to the end). Two
// delimiters with nothing between them, or one at the end, give an empty entry.
std::vector<std::string> SplitServerList(std::string_view servers);

// Tries the servers of `servers` in order, by download when `method` is
// ByDownload and by ping otherwise, and stops at the first that answers.
// Empty entries are passed over: an empty name would make the HTTP client ask
// "localhost". A list that names no server leaves the test NotRun.
TConnectionTestResult RunConnectionTest(bool enabled, std::string_view servers,
                                        TInternetOptions::TTestMethod method,
                                        TConnectionProbe& probe);

// The same with `PingStatus`, `Servers` and `Method` of the options.
TConnectionTestResult RunConnectionTest(const TInternetOptions& options, TConnectionProbe& probe);

}  // namespace vantrel
