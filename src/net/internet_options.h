#pragma once

#include <cstdint>
#include <string>

namespace vantrel {

// Two public web hosts that answer both ping and HTTP.
inline constexpr const char* kDefaultTestServers = "www.debian.org; www.wikipedia.org";

// How the program reaches the Internet: the proxy server and the servers that
// tell whether the connection is up. Read as a copy, replaced whole.
struct TInternetOptions {
  enum TTestMethod : std::int32_t { ByPing = 0, ByDownload = 1 };

  bool ActiveStatus = false;  // use the proxy server
  std::string Address;        // proxy host (at most 255 characters)
  std::int32_t Port = 0;      // proxy port, 0..65535
  std::string Username;       // proxy user (at most 255 characters)
  std::string Password;       // proxy password (at most 255 characters)
  std::string Exceptions;     // hosts that bypass the proxy, separated by ";"
  bool PingStatus = true;     // test the servers below to decide whether we are online
  std::string Servers = kDefaultTestServers;  // connection-test servers, separated by ";"
  std::int32_t Method = ByPing;

  bool operator==(const TInternetOptions&) const = default;
};

}  // namespace vantrel
