#include "net/name_resolution.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <utility>

#include "net/socket_errors.h"

namespace vantrel {

namespace {

// Ports of the services the checks name, for systems without a services
// database (minimal container images lack /etc/services).
constexpr std::pair<std::string_view, int> kKnownServices[] = {
    {"ftp", 21}, {"smtp", 25}, {"http", 80}, {"pop3", 110}, {"https", 443},
};

// A decimal port of at most 65535; -1 for anything else.
int DecimalPort(std::string_view text) {
  if (text.empty() || text.size() > 5)
    return -1;
  int value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9')
      return -1;
    value = value * 10 + (c - '0');
  }
  return value <= 65535 ? value : -1;
}

int KnownServicePort(std::string_view name) {
  for (const auto& [service, port] : kKnownServices) {
    if (service.size() == name.size() &&
        std::equal(service.begin(), service.end(), name.begin(), [](char a, char b) {
          return a == static_cast<char>(std::tolower(static_cast<unsigned char>(b)));
        })) {
      return port;
    }
  }
  return -1;
}

std::string NumericHost(const sockaddr* address, socklen_t length) {
  char host[NI_MAXHOST] = {};
  if (getnameinfo(address, length, host, sizeof(host), nullptr, 0, NI_NUMERICHOST) != 0)
    return {};
  return host;
}

}  // namespace

int SystemFamily(TAddressFamily family) {
  switch (family) {
    case TAddressFamily::afIPv4:
      return AF_INET;
    case TAddressFamily::afIPv6:
      return AF_INET6;
    case TAddressFamily::afAny:
      break;
  }
  return AF_UNSPEC;
}

std::int32_t ResolveSockAddr(std::string_view ip, std::string_view port, const TResolveQuery& query,
                             TxxSockAddr& addr) {
  addr = TxxSockAddr{};
  addrinfo hints{};
  hints.ai_family = query.Family;
  const std::string host(ip);
  std::string service(port.empty() ? std::string_view("0") : port);
  const char* hostArg = host.c_str();
  const char* serviceArg = service.c_str();
  if (query.SocketType == SOCK_RAW) {
    serviceArg = nullptr;  // raw sockets have no ports
  } else {
    hints.ai_socktype = query.SocketType;
    hints.ai_protocol = query.Protocol;
    if (ip == "0.0.0.0") {
      hints.ai_flags = AI_PASSIVE;  // any local address of the family
      hostArg = nullptr;
    } else if (ip == "127.0.0.1") {
      hostArg = nullptr;  // the system's loopback of the family
    }
  }

  addrinfo* answers = nullptr;
  int result = getaddrinfo(hostArg, serviceArg, &hints, &answers);
  if (result == EAI_SERVICE && KnownServicePort(service) >= 0) {
    service = std::to_string(KnownServicePort(service));
    serviceArg = service.c_str();
    result = getaddrinfo(hostArg, serviceArg, &hints, &answers);
  }
  if (result != 0)
    return SocketErrorFromResolver(result, errno);
  for (const addrinfo* answer = answers; answer != nullptr; answer = answer->ai_next) {
    if (answer->ai_family == AF_INET && !addr.HasIPv4)
      StoreSockAddr(addr, answer->ai_addr, answer->ai_addrlen);
    else if (answer->ai_family == AF_INET6 && !addr.HasIPv6)
      StoreSockAddr(addr, answer->ai_addr, answer->ai_addrlen);
  }
  freeaddrinfo(answers);
  if (!addr.HasIPv4 && !addr.HasIPv6)
    return kSockNoData;
  addr.UseIPv6 = query.PreferIPv4 ? !addr.HasIPv4 : addr.HasIPv6;
  return 0;
}

std::int32_t ResolveAddressList(std::string_view name, int family, std::vector<std::string>& list) {
  std::int32_t error = 0;
  list.clear();
  addrinfo hints{};
  hints.ai_family = family;
  hints.ai_socktype = SOCK_STREAM;  // one answer per address, not one per socket type
  const std::string host(name);
  addrinfo* answers = nullptr;
  const int result = getaddrinfo(host.c_str(), nullptr, &hints, &answers);
  if (result != 0) {
    error = SocketErrorFromResolver(result, errno);
  } else {
    for (const addrinfo* answer = answers; answer != nullptr; answer = answer->ai_next) {
      std::string text = NumericHost(answer->ai_addr, answer->ai_addrlen);
      if (!text.empty() && std::find(list.begin(), list.end(), text) == list.end())
        list.push_back(std::move(text));
    }
    freeaddrinfo(answers);
  }
  if (list.empty())
    list.push_back("0.0.0.0");
  return error;
}

std::int32_t ResolveServicePort(std::string_view port, int socketType, int protocol, int& number) {
  number = DecimalPort(port);
  if (number >= 0)
    return 0;
  number = 0;
  addrinfo hints{};
  hints.ai_socktype = socketType == SOCK_RAW ? 0 : socketType;
  hints.ai_protocol = socketType == SOCK_RAW ? 0 : protocol;
  const std::string service(port);
  addrinfo* answers = nullptr;
  const int result = getaddrinfo(nullptr, service.c_str(), &hints, &answers);
  if (result == 0) {
    if (answers->ai_family == AF_INET)
      number = ntohs(reinterpret_cast<const sockaddr_in*>(answers->ai_addr)->sin_port);
    else if (answers->ai_family == AF_INET6)
      number = ntohs(reinterpret_cast<const sockaddr_in6*>(answers->ai_addr)->sin6_port);
    freeaddrinfo(answers);
    return 0;
  }
  const int known = KnownServicePort(port);
  if (known >= 0) {
    number = known;
    return 0;
  }
  return SocketErrorFromResolver(result, errno);
}

std::string SystemHostName() {
  char name[256] = {};
  if (gethostname(name, sizeof(name) - 1) != 0 || name[0] == '\0')
    return "127.0.0.1";
  return name;
}

void StoreSockAddr(TxxSockAddr& addr, const sockaddr* address, socklen_t length) {
  if (address->sa_family == AF_INET && length >= sizeof(sockaddr_in)) {
    std::memcpy(&addr.Addr4, address, sizeof(sockaddr_in));
    addr.HasIPv4 = true;
    addr.UseIPv6 = false;
  } else if (address->sa_family == AF_INET6 && length >= sizeof(sockaddr_in6)) {
    std::memcpy(&addr.Addr6, address, sizeof(sockaddr_in6));
    addr.HasIPv6 = true;
    addr.UseIPv6 = true;
  }
}

std::string SockAddrText(const TxxSockAddr& addr) {
  if (addr.UseIPv6)
    return NumericHost(reinterpret_cast<const sockaddr*>(&addr.Addr6), sizeof(sockaddr_in6));
  char text[INET_ADDRSTRLEN] = {};
  if (inet_ntop(AF_INET, &addr.Addr4.sin_addr, text, sizeof(text)) == nullptr)
    return "0.0.0.0";
  return text;
}

int SockAddrPort(const TxxSockAddr& addr) {
  return ntohs(addr.UseIPv6 ? addr.Addr6.sin6_port : addr.Addr4.sin_port);
}

}  // namespace vantrel
