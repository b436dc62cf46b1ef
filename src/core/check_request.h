#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/watch_types.h"
#include "net/internet_options.h"
#include "net/proxy.h"

namespace vantrel {

class TWatchItem;

// Everything one check needs, copied from the item and the settings on the
// main thread, so that the checker's own thread reads nothing shared.
struct TCheckRequest {
  bool Active = false;
  TCheckType CheckType = TCheckType::Ping;
  TProxyChoice Proxy;
  // The URL for a download; the host (and whatever follows it) otherwise.
  std::string Host;
  std::int32_t Timeout = 0;  // ms, the item's threshold for its method
  std::string SearchText;    // download only
  bool CaseSensitive = false;
  bool CheckConnection = false;
  bool TestEnabled = false;  // connection test switched on
  std::string TestServers;   // separated by ";", blanks trimmed at both ends
  bool TestByDownload = false;

  bool operator==(const TCheckRequest&) const = default;
};

// What one check found.
struct TCheckResult {
  bool Success = false;
  std::int32_t ResponseTime = -1;  // ms; -1: nothing measured
  std::int32_t ResponseCode = 0;   // HTTP status or one of the codes of response_codes.h
  std::string ResponseText;        // the page or the service's greeting line

  bool operator==(const TCheckResult&) const = default;
};

// The text a check of `checkType` addresses: a download takes the whole URL;
// the other methods drop a leading scheme and "://", and the service checks
// also a leading "www." (any letter case). Anything after the host stays.
std::string CheckHost(TCheckType checkType, std::string_view url);

// `text` without the blanks and control characters at both ends.
std::string TrimBlanks(std::string_view text);

// The request for a check of `item` through `proxy`, with the connection-test
// settings of `options`.
TCheckRequest MakeCheckRequest(const TWatchItem& item, const TProxyChoice& proxy,
                               const TInternetOptions& options);

}  // namespace vantrel
