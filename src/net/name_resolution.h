#pragma once

// Names and service ports turned into socket addresses and back, for the
// socket layer. Host and port are text: a name or a numeric IPv4/IPv6 literal,
// a decimal port or a service name. Failures are socket error numbers.

#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

// Which family name resolution may return.
enum class TAddressFamily : std::uint8_t { afAny = 0, afIPv4 = 1, afIPv6 = 2 };

// One resolved endpoint with both address forms side by side; UseIPv6 says
// which one to use (once a handle exists, the handle's family decides).
struct TxxSockAddr {
  bool UseIPv6 = false;
  bool HasIPv4 = false;
  sockaddr_in Addr4{};
  bool HasIPv6 = false;
  sockaddr_in6 Addr6{};
};

// What one resolution asks the system for.
struct TResolveQuery {
  int Family = AF_UNSPEC;  // AF_UNSPEC, AF_INET or AF_INET6
  int SocketType = 0;      // SOCK_RAW: an address without a port
  int Protocol = 0;
  bool PreferIPv4 = true;  // when the name has both families
};

// The system family (AF_UNSPEC for afAny).
int SystemFamily(TAddressFamily family);

// Fills `addr` (cleared first) with the first address of each family of `ip`
// and the port of `port`: 0, or the socket error why not. "0.0.0.0" stands
// for any local address and "127.0.0.1" for the system's loopback, of
// whichever family the query allows.
std::int32_t ResolveSockAddr(std::string_view ip, std::string_view port, const TResolveQuery& query,
                             TxxSockAddr& addr);

// Every address of `name` of `family` as numeric text, each once; "0.0.0.0"
// alone when there is none. Returns 0 or the socket error.
std::int32_t ResolveAddressList(std::string_view name, int family, std::vector<std::string>& list);

// A decimal port or a service name ("smtp", "pop3", "ftp") as a number in
// `number`; 0 with an error when unknown.
std::int32_t ResolveServicePort(std::string_view port, int socketType, int protocol, int& number);

// The machine's host name, "127.0.0.1" when the system reports none.
std::string SystemHostName();

// Stores one system address in the matching form of `addr`, which it then uses.
void StoreSockAddr(TxxSockAddr& addr, const sockaddr* address, socklen_t length);
// The address `addr` uses as numeric text, and its port.
std::string SockAddrText(const TxxSockAddr& addr);
int SockAddrPort(const TxxSockAddr& addr);

}  // namespace vantrel
