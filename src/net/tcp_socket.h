#pragma once

// A TCP connection, reached directly, through a SOCKS proxy or through an
// HTTP CONNECT tunnel, optionally with TLS on top. The layers stay apart:
// the plain socket moves bytes; the tunnel and SOCKS exchanges run over it
// before anything else; TLS (TxxTlsSession) then wraps that transport and
// carries ReadBuf, WriteBuf and PendingBytes until it is switched off.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "net/socks.h"
#include "net/tls.h"

namespace vantrel {

// Most bytes Close reads away from a peer that keeps sending after our
// half-close, so that a hostile peer cannot hold Close forever.
inline constexpr std::size_t kMaxCloseDrainLength = 1024 * 1024;

class TxxTcpSocket : public TxxSocksBlockSocket, private TxxTlsTransport {
 public:
  TxxTcpSocket();
  ~TxxTcpSocket() override;

  // TLS settings. This system sets none of the files, no pass phrase and no
  // verification: any server certificate is accepted.
  bool SslBypass = false;  // move plain bytes even while TLS is on
  std::string SslPassword;
  std::string SslCiphers = "DEFAULT";
  std::string SslCertificateFile;
  std::string SslPrivateKeyFile;
  std::string SslCAFile;
  bool SslVerifyCert = false;

  // HTTP CONNECT tunnel proxy; used when TunnelIP is set and SocksIP is not.
  std::string TunnelIP;
  std::string TunnelPort;
  std::string TunnelUser;
  std::string TunnelPass;

  // Shuts TLS down, half-closes and drains what the peer still sends (at most
  // kMaxCloseDrainLength), then closes.
  void Close() override;
  // SOCKS, tunnel or direct; then the TLS handshake when TLS is on. The TLS
  // server name is `ip` unless it is an address literal.
  void Connect(std::string_view ip, std::string_view port) override;
  int WriteBuf(const void* data, int length) override;
  // With TLS: 0 without error when the peer closed TLS cleanly.
  int ReadBuf(void* data, int length) override;
  // With TLS: the decrypted bytes waiting, else what the system holds.
  int PendingBytes() override;
  // After a tunnel: its target as sent in the CONNECT request.
  std::string RemoteIP() override;
  int RemotePort() override;
  int SocketType() const override;
  int SocketProtocol() const override;
  // Listens on the bound handle with the largest backlog; through SOCKS, asks
  // the proxy to listen (kSockNonRecoverable when it refuses).
  void Listen();

  // Switching on prepares the context and connection object (kSockProtocolNotSupported
  // when TLS cannot be had; kSockInvalidArgument for refused key files, TLS
  // still on); switching off frees them.
  void SetSslEnabled(bool on);
  // The client handshake on the connected socket (run by Connect). On failure
  // TLS is switched off again: kSockUnusable, or kSockTimedOut /
  // kSockInterrupted when a wait ended it.
  void SslConnect();
  // Sends the TLS close notification (kSockUnusable on failure) and switches TLS off.
  void SslShutdown();

  bool SslEnabled() const { return SslEnabled_; }
  bool SslAvailable() const { return SslAvailable_; }
  unsigned long SslLastError() const { return SslLastError_; }
  const std::string& SslLastErrorText() const { return SslLastErrorText_; }
  // The negotiated TLS protocol, empty without an established TLS layer.
  std::string SslVersion() const;
  bool TunnelOpen() const { return TunnelOpen_; }
  const std::string& TunnelRemoteIP() const { return TunnelRemoteIP_; }
  const std::string& TunnelRemotePort() const { return TunnelRemotePort_; }

 private:
  // TLS carries the data: established, not bypassed, no proxy handshake running.
  bool TlsCarriesData() const;
  void TunnelConnect(std::string_view ip, std::string_view port);
  void TakeTlsError();

  long TransportSend(const void* data, std::size_t length, std::int32_t& error) override;
  long TransportRecv(void* data, std::size_t length, std::int32_t& error) override;
  std::int32_t TransportWait(bool forSend, std::int32_t timeout) override;

  bool SslEnabled_ = false;
  bool SslAvailable_ = false;
  std::unique_ptr<TxxTlsSession> Tls_;
  unsigned long SslLastError_ = 0;
  std::string SslLastErrorText_;
  bool TunnelOpen_ = false;
  std::string TunnelRemoteIP_;
  std::string TunnelRemotePort_;
  std::string ServerName_;  // host of the last Connect, announced in the handshake
};

}  // namespace vantrel
