#include "net/http_tunnel.h"

#include "text/codings.h"

namespace vantrel {

std::string TunnelTarget(std::string_view host) {
  // Every IPv6 literal has a colon; a bare hexadecimal word is a host name.
  if (host.find(':') == std::string_view::npos)
    return std::string(host);
  std::string bracketed;
  bracketed.reserve(host.size() + 2);
  bracketed += '[';
  bracketed += host;
  bracketed += ']';
  return bracketed;
}

std::string TunnelRequest(std::string_view target, std::string_view port, std::string_view user,
                          std::string_view password) {
  std::string request = "CONNECT ";
  request += target;
  request += ':';
  request += port;
  request += " HTTP/1.0\r\n";
  if (!user.empty()) {
    request += "Proxy-Authorization: Basic ";
    request += EncodeBase64(std::string(user) + ":" + std::string(password));
    request += "\r\n";
  }
  request += "\r\n";
  return request;
}

bool IsTunnelResponseEnd(std::string_view line) {
  return line.empty() || line == "\r";
}

std::optional<bool> TunnelStatusOpens(std::string_view line) {
  if (!line.starts_with("HTTP/") || line.size() <= 11)
    return std::nullopt;
  return line[9] == '2';
}

}  // namespace vantrel
