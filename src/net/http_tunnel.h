#pragma once

// The HTTP CONNECT tunnel through a proxy: the request and the reading of the
// proxy's answer, apart from any socket. TxxTcpSocket runs it over its plain
// connection to the proxy before TLS, if any, starts on top.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vantrel {

// Each wait for a line of the proxy's answer.
inline constexpr std::int32_t kTunnelReadTimeout = 30000;

// Most lines of the proxy's answer read before giving up on it.
inline constexpr int kMaxTunnelResponseLines = 100;

// The target as written in the request: an IPv6 literal in brackets.
std::string TunnelTarget(std::string_view host);

// "CONNECT " target ":" port " HTTP/1.0" CR LF, then with a user
// "Proxy-Authorization: Basic " Base64(user ":" password) CR LF, then CR LF.
std::string TunnelRequest(std::string_view target, std::string_view port, std::string_view user,
                          std::string_view password);

// Whether a line of the answer (read up to LF, the CR kept) ends its head: an
// empty line or a line that is exactly CR.
bool IsTunnelResponseEnd(std::string_view line);

// For a status line ("HTTP/" and longer than 11 characters): whether it opens
// the tunnel (its status begins with "2"). nullopt for any other line.
std::optional<bool> TunnelStatusOpens(std::string_view line);

}  // namespace vantrel
