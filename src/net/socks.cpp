#include "net/socks.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdlib>
#include <cstring>

namespace vantrel {

namespace {

constexpr std::uint8_t kAddressIPv4 = 1;
constexpr std::uint8_t kAddressName = 3;
constexpr std::uint8_t kAddressIPv6 = 4;
constexpr std::uint8_t kMethodNone = 0;
constexpr std::uint8_t kMethodUserPass = 2;
constexpr std::uint8_t kSocks4Granted = 90;

void AppendPort(std::string& message, std::uint16_t port) {
  message += static_cast<char>(port >> 8);
  message += static_cast<char>(port & 0xFF);
}

std::optional<in_addr> ParseIPv4(std::string_view host) {
  in_addr address{};
  if (inet_pton(AF_INET, std::string(host).c_str(), &address) != 1)
    return std::nullopt;
  return address;
}

std::optional<in6_addr> ParseIPv6(std::string_view host) {
  in6_addr address{};
  if (inet_pton(AF_INET6, std::string(host).c_str(), &address) != 1)
    return std::nullopt;
  return address;
}

std::string PortText(std::string_view bytes) {
  const auto high = static_cast<unsigned char>(bytes[0]);
  const auto low = static_cast<unsigned char>(bytes[1]);
  return std::to_string(high * 256 + low);
}

}  // namespace

// ---- Messages ----

std::string Socks5Greeting(bool withUserPass) {
  if (withUserPass)
    return std::string("\x05\x02\x02\x00", 4);
  return std::string("\x05\x01\x00", 3);
}

std::optional<std::string> Socks5UserPassRequest(std::string_view user, std::string_view password) {
  if (user.size() > 255 || password.size() > 255)
    return std::nullopt;
  std::string message("\x01", 1);
  message += static_cast<char>(user.size());
  message += user;
  message += static_cast<char>(password.size());
  message += password;
  return message;
}

std::optional<std::string> Socks5Request(std::uint8_t command, std::string_view host,
                                         std::uint16_t port) {
  std::string message;
  message += '\x05';
  message += static_cast<char>(command);
  message += '\x00';
  if (const auto v4 = ParseIPv4(host)) {
    message += static_cast<char>(kAddressIPv4);
    message.append(reinterpret_cast<const char*>(&v4->s_addr), 4);
  } else if (const auto v6 = ParseIPv6(host)) {
    message += static_cast<char>(kAddressIPv6);
    message.append(reinterpret_cast<const char*>(v6->s6_addr), 16);
  } else {
    if (host.empty() || host.size() > 255)
      return std::nullopt;
    message += static_cast<char>(kAddressName);
    message += static_cast<char>(host.size());
    message += host;
  }
  AppendPort(message, port);
  return message;
}

std::optional<int> Socks5AddressLength(std::string_view header) {
  if (header.size() < 4)
    return std::nullopt;
  switch (static_cast<std::uint8_t>(header[3])) {
    case kAddressIPv4:
      return 4;
    case kAddressIPv6:
      return 16;
    case kAddressName:
      return 1;
    default:
      return std::nullopt;
  }
}

std::string SocksAddressText(std::uint8_t type, std::string_view address) {
  if (type == kAddressIPv4 && address.size() == 4) {
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, address.data(), text, sizeof(text));
    return text;
  }
  if (type == kAddressIPv6 && address.size() == 16) {
    sockaddr_in6 socketAddress{};
    socketAddress.sin6_family = AF_INET6;
    std::memcpy(socketAddress.sin6_addr.s6_addr, address.data(), 16);
    char text[NI_MAXHOST] = {};
    if (getnameinfo(reinterpret_cast<const sockaddr*>(&socketAddress), sizeof(socketAddress), text,
                    sizeof(text), nullptr, 0, NI_NUMERICHOST) != 0) {
      return {};
    }
    return text;
  }
  if (type == kAddressName && !address.empty())
    return std::string(address.substr(1));  // after the length byte
  return {};
}

std::optional<std::string> Socks4Request(std::uint8_t command, std::string_view host,
                                         std::uint16_t port, std::string_view user,
                                         bool resolveAtProxy) {
  std::string message;
  message += '\x04';
  message += static_cast<char>(command);
  AppendPort(message, port);
  const auto v4 = ParseIPv4(host);
  if (v4) {
    message.append(reinterpret_cast<const char*>(&v4->s_addr), 4);
  } else if (resolveAtProxy && !host.empty() && !ParseIPv6(host)) {
    message.append("\x00\x00\x00\x01", 4);  // 4A: "the name follows"
  } else {
    return std::nullopt;
  }
  message += user;
  message += '\x00';
  if (!v4) {
    message += host;
    message += '\x00';
  }
  return message;
}

std::optional<TSocks4Reply> ParseSocks4Reply(std::string_view reply) {
  if (reply.size() != 8)
    return std::nullopt;
  TSocks4Reply result;
  result.Code = static_cast<std::uint8_t>(reply[1]);
  result.Granted = reply[0] == '\x00' && result.Code == kSocks4Granted;
  result.Port = PortText(reply.substr(2, 2));
  result.IP = SocksAddressText(kAddressIPv4, reply.substr(4, 4));
  return result;
}

// ---- The socket ----

void TxxSocksBlockSocket::Close() {
  UsingSocks_ = false;
  TxxBlockSocket::Close();
}

std::string TxxSocksBlockSocket::LocalIP() {
  return UsingSocks_ ? SocksLocalIP_ : TxxBlockSocket::LocalIP();
}

std::string TxxSocksBlockSocket::RemoteIP() {
  return UsingSocks_ ? SocksRemoteIP_ : TxxBlockSocket::RemoteIP();
}

int TxxSocksBlockSocket::LocalPort() {
  return UsingSocks_ ? std::atoi(SocksLocalPort_.c_str()) : TxxBlockSocket::LocalPort();
}

int TxxSocksBlockSocket::RemotePort() {
  return UsingSocks_ ? std::atoi(SocksRemotePort_.c_str()) : TxxBlockSocket::RemotePort();
}

bool TxxSocksBlockSocket::ReadReply(int length, std::string& reply) {
  reply = ReadExactText(length, SocksTimeout);
  return LastError() == 0;
}

void TxxSocksBlockSocket::SocksOpen(std::string_view ip, std::string_view port,
                                    std::uint8_t command) {
  UsingSocks_ = false;
  SocksLastError_ = 0;
  SocksResponseIP_.clear();
  SocksResponsePort_.clear();
  const int portNumber = ResolvePort(port);
  if (LastError() != 0)
    return;
  TxxBlockSocket::Connect(SocksIP, SocksPort);
  if (LastError() != 0)
    return;

  std::string host(ip);
  if (!SocksResolver && !ParseIPv4(host) && !ParseIPv6(host)) {
    host = ResolveName(ip);
    if (LastError() != 0)
      return;
  }

  InProxyHandshake_ = true;
  const bool granted = SocksType == TSocksType::Socks4
                           ? Socks4Exchange(host, static_cast<std::uint16_t>(portNumber), command)
                           : Socks5Exchange(host, static_cast<std::uint16_t>(portNumber), command);
  InProxyHandshake_ = false;
  if (!granted) {
    if (LastError() == 0)
      SetLastError(kSockUnusable);
    return;
  }
  UsingSocks_ = true;
  SocksLocalIP_ = SocksResponseIP_;
  SocksLocalPort_ = SocksResponsePort_;
  SocksRemoteIP_ = std::string(ip);
  SocksRemotePort_ = std::to_string(portNumber);
}

bool TxxSocksBlockSocket::Socks5Exchange(std::string_view host, std::uint16_t port,
                                         std::uint8_t command) {
  const bool withUser = !SocksUsername.empty();
  WriteText(Socks5Greeting(withUser));
  std::string reply;
  if (LastError() != 0 || !ReadReply(2, reply) || reply[0] != '\x05')
    return false;
  const auto method = static_cast<std::uint8_t>(reply[1]);
  if (method == kMethodUserPass && withUser) {
    const auto login = Socks5UserPassRequest(SocksUsername, SocksPassword);
    if (!login)
      return false;
    WriteText(*login);
    if (LastError() != 0 || !ReadReply(2, reply) || reply[1] != '\x00')
      return false;
  } else if (method != kMethodNone) {
    return false;
  }

  const auto request = Socks5Request(command, host, port);
  if (!request)
    return false;
  WriteText(*request);
  std::string header;
  if (LastError() != 0 || !ReadReply(4, header) || header[0] != '\x05')
    return false;
  const auto addressLength = Socks5AddressLength(header);
  if (!addressLength)
    return false;
  std::string address;
  if (!ReadReply(*addressLength, address))
    return false;
  if (header[3] == static_cast<char>(kAddressName)) {
    std::string name;
    if (!ReadReply(static_cast<unsigned char>(address[0]), name))
      return false;
    address += name;
  }
  std::string portBytes;
  if (!ReadReply(2, portBytes))
    return false;
  SocksLastError_ = static_cast<std::uint8_t>(header[1]);
  if (SocksLastError_ != 0)
    return false;
  SocksResponseIP_ = SocksAddressText(static_cast<std::uint8_t>(header[3]), address);
  SocksResponsePort_ = PortText(portBytes);
  return true;
}

bool TxxSocksBlockSocket::Socks4Exchange(std::string_view host, std::uint16_t port,
                                         std::uint8_t command) {
  const auto request = Socks4Request(command, host, port, SocksUsername, SocksResolver);
  if (!request)
    return false;
  WriteText(*request);
  std::string replyBytes;
  if (LastError() != 0 || !ReadReply(8, replyBytes))
    return false;
  const auto reply = ParseSocks4Reply(replyBytes);
  if (!reply)
    return false;
  SocksLastError_ = reply->Granted ? 0 : reply->Code;
  if (!reply->Granted)
    return false;
  SocksResponseIP_ = reply->IP;
  SocksResponsePort_ = reply->Port;
  return true;
}

}  // namespace vantrel
