#pragma once

// The SOCKS client: SOCKS 5 (RFC 1928) with user/password authentication
// (RFC 1929), and SOCKS 4 with the 4A form for host names. The messages are
// built and parsed by the free functions, apart from any socket; the socket
// class runs the exchange over its plain connection to the proxy.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "net/block_socket.h"

namespace vantrel {

enum class TSocksType : std::uint8_t { Socks5 = 0, Socks4 = 1 };

inline constexpr std::uint8_t kSocksConnect = 1;
inline constexpr std::uint8_t kSocksBind = 2;

// 05 01 00 without credentials, else 05 02 02 00 (user/password first).
std::string Socks5Greeting(bool withUserPass);

// 01, user length, user, password length, password; nullopt when either is
// longer than 255 bytes.
std::optional<std::string> Socks5UserPassRequest(std::string_view user, std::string_view password);

// 05, command, 00, the address (01 + 4 bytes for an IPv4 literal, 04 + 16
// bytes for an IPv6 literal, else 03 + length + name) and the port, most
// significant byte first; nullopt for a name longer than 255 bytes.
std::optional<std::string> Socks5Request(std::uint8_t command, std::string_view host,
                                         std::uint16_t port);

// Bytes of the bound address that follow the 4-byte reply header, by its
// address type (byte 4): 4, 16, or for a name the length byte itself (read it,
// then that many more); nullopt for an unknown type.
std::optional<int> Socks5AddressLength(std::string_view header);

// The numeric text of a SOCKS address field (type byte, then the address) as
// it appears in a reply.
std::string SocksAddressText(std::uint8_t type, std::string_view address);

// 04, command, port, address, user, 00 - and for a host name (when
// `resolveAtProxy`) the 4A form: address 0.0.0.1 and the name and 00 after the
// user. nullopt when the host cannot be sent (an IPv6 literal, or a name
// without `resolveAtProxy`).
std::optional<std::string> Socks4Request(std::uint8_t command, std::string_view host,
                                         std::uint16_t port, std::string_view user,
                                         bool resolveAtProxy);

// The 8-byte SOCKS 4 reply: whether it grants the request (version 0, code
// 90), and the port and address it carries.
struct TSocks4Reply {
  bool Granted = false;
  std::uint8_t Code = 0;
  std::string IP;
  std::string Port;
};
std::optional<TSocks4Reply> ParseSocks4Reply(std::string_view reply);

// A socket that can reach its peer through a SOCKS proxy (SocksIP set).
class TxxSocksBlockSocket : public TxxBlockSocket {
 public:
  std::string SocksIP;  // empty: no SOCKS proxy
  std::string SocksPort = "1080";
  std::int32_t SocksTimeout = 300000;  // each wait of the handshake
  std::string SocksUsername;
  std::string SocksPassword;
  // Host names go to the proxy unresolved.
  bool SocksResolver = true;
  TSocksType SocksType = TSocksType::Socks5;

  void Close() override;
  // With UsingSocks these report the endpoints of the proxy exchange.
  std::string LocalIP() override;
  std::string RemoteIP() override;
  int LocalPort() override;
  int RemotePort() override;

  bool UsingSocks() const { return UsingSocks_; }
  // The reply code of the last exchange (0: granted).
  std::int32_t SocksLastError() const { return SocksLastError_; }
  const std::string& SocksResponseIP() const { return SocksResponseIP_; }
  const std::string& SocksResponsePort() const { return SocksResponsePort_; }
  const std::string& SocksLocalIP() const { return SocksLocalIP_; }
  const std::string& SocksLocalPort() const { return SocksLocalPort_; }
  const std::string& SocksRemoteIP() const { return SocksRemoteIP_; }
  const std::string& SocksRemotePort() const { return SocksRemotePort_; }
  // A proxy handshake is running: TLS stays out of the way meanwhile.
  bool InProxyHandshake() const { return InProxyHandshake_; }

 protected:
  // Connects to the proxy and runs the exchange for `ip`:`port` with
  // `command`. A refused or malformed exchange without a socket error sets
  // kSockUnusable.
  void SocksOpen(std::string_view ip, std::string_view port, std::uint8_t command);
  void SetInProxyHandshake(bool on) { InProxyHandshake_ = on; }

 private:
  bool Socks5Exchange(std::string_view host, std::uint16_t port, std::uint8_t command);
  bool Socks4Exchange(std::string_view host, std::uint16_t port, std::uint8_t command);
  // Reads `length` bytes of the exchange; false on a socket error.
  bool ReadReply(int length, std::string& reply);

  bool UsingSocks_ = false;
  bool InProxyHandshake_ = false;
  std::int32_t SocksLastError_ = 0;
  std::string SocksResponseIP_;
  std::string SocksResponsePort_;
  std::string SocksLocalIP_;
  std::string SocksLocalPort_;
  std::string SocksRemoteIP_;
  std::string SocksRemotePort_;
};

}  // namespace vantrel
