#include "net/tcp_socket.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdlib>

#include "net/http_tunnel.h"
#include "text/text_utils.h"

namespace vantrel {

namespace {

// Certificates name hosts; an address literal is never sent as server name.
bool IsAddressLiteral(std::string_view host) {
  return IsIP(host) || (host.find(':') != std::string_view::npos && IsIP6(host));
}

}  // namespace

TxxTcpSocket::TxxTcpSocket() : SslAvailable_(TlsLoadCount() > 0) {}

TxxTcpSocket::~TxxTcpSocket() {
  SetSslEnabled(false);
}

int TxxTcpSocket::SocketType() const {
  return SOCK_STREAM;
}

int TxxTcpSocket::SocketProtocol() const {
  return IPPROTO_TCP;
}

// ---- The transport under TLS: the plain socket ----

long TxxTcpSocket::TransportSend(const void* data, std::size_t length, std::int32_t& error) {
  return RawSend(data, length, error);
}

long TxxTcpSocket::TransportRecv(void* data, std::size_t length, std::int32_t& error) {
  return RawRecv(data, length, error);
}

std::int32_t TxxTcpSocket::TransportWait(bool forSend, std::int32_t timeout) {
  return WaitFor(forSend ? POLLOUT : POLLIN, timeout);
}

// ---- TLS switch ----

void TxxTcpSocket::TakeTlsError() {
  if (Tls_ != nullptr) {
    SslLastError_ = Tls_->LastTlsError();
    SslLastErrorText_ = Tls_->LastTlsErrorText();
  }
}

void TxxTcpSocket::SetSslEnabled(bool on) {
  SetLastError(0);
  if (on == SslEnabled_)
    return;
  MutablePendingData().clear();
  if (!on) {
    Tls_.reset();  // frees the connection object and the context
    SslEnabled_ = false;
    return;
  }
  SslLastError_ = 0;
  SslLastErrorText_.clear();
  if (!SslAvailable_)
    SslAvailable_ = LoadTls();
  if (!SslAvailable_) {
    SetLastError(kSockProtocolNotSupported);
    return;
  }
  TxxTlsSettings settings;
  settings.Ciphers = SslCiphers;
  settings.VerifyCert = SslVerifyCert;
  settings.CertificateFile = SslCertificateFile;
  settings.PrivateKeyFile = SslPrivateKeyFile;
  settings.CAFile = SslCAFile;
  settings.Password = SslPassword;
  auto session = std::make_unique<TxxTlsSession>();
  const std::int32_t result = session->Open(settings);
  SslLastError_ = session->LastTlsError();
  SslLastErrorText_ = session->LastTlsErrorText();
  SetLastError(result);
  if (result == kSockProtocolNotSupported)
    return;
  Tls_ = std::move(session);
  SslEnabled_ = true;
}

void TxxTcpSocket::SslConnect() {
  SetLastError(0);
  if (SslEnabled_ && Tls_ != nullptr && Tls_->Established())
    SetSslEnabled(false);  // a fresh connection needs a fresh TLS layer
  if (!SslEnabled_)
    SetSslEnabled(true);
  if (LastError() != 0) {
    const std::int32_t error = LastError();
    SetSslEnabled(false);
    SetLastError(error);
    return;
  }
  const std::string serverName = IsAddressLiteral(ServerName_) ? std::string() : ServerName_;
  const std::int32_t result = Tls_->Connect(*this, serverName, Timeout);
  TakeTlsError();
  if (result != 0) {
    SetSslEnabled(false);
    SetLastError(result);
  }
}

void TxxTcpSocket::SslShutdown() {
  std::int32_t result = 0;
  if (Tls_ != nullptr) {
    result = Tls_->Shutdown(Timeout);
    TakeTlsError();
  }
  SetSslEnabled(false);
  SetLastError(result);
}

std::string TxxTcpSocket::SslVersion() const {
  return Tls_ != nullptr ? Tls_->Version() : std::string();
}

bool TxxTcpSocket::TlsCarriesData() const {
  return SslEnabled_ && Tls_ != nullptr && Tls_->Established() && !SslBypass && !InProxyHandshake();
}

// ---- Connection ----

void TxxTcpSocket::Connect(std::string_view ip, std::string_view port) {
  SetLastError(0);
  TunnelOpen_ = false;
  ServerName_ = std::string(ip);
  if (!SocksIP.empty())
    SocksOpen(ip, port, kSocksConnect);
  else if (!TunnelIP.empty())
    TunnelConnect(ip, port);
  else
    TxxBlockSocket::Connect(ip, port);
  if (!SslEnabled_)
    return;
  if (LastError() != 0) {
    const std::int32_t error = LastError();
    SetSslEnabled(false);
    SetLastError(error);
    return;
  }
  SslConnect();
}

void TxxTcpSocket::TunnelConnect(std::string_view ip, std::string_view port) {
  const int portNumber = ResolvePort(port);
  if (LastError() != 0)
    return;
  const std::string portText = std::to_string(portNumber);
  SetInProxyHandshake(true);
  TxxBlockSocket::Connect(TunnelIP, TunnelPort);
  if (LastError() != 0) {
    SetInProxyHandshake(false);
    return;
  }
  TunnelOpen_ = false;
  const std::string target = TunnelTarget(ip);
  WriteText(TunnelRequest(target, portText, TunnelUser, TunnelPass));
  bool answered = false;
  for (int lines = 0; LastError() == 0 && lines < kMaxTunnelResponseLines; ++lines) {
    const std::string line = ReadUntil(kTunnelReadTimeout, "\n");
    if (LastError() != 0)
      break;
    if (IsTunnelResponseEnd(line)) {
      answered = true;
      break;
    }
    if (const auto opens = TunnelStatusOpens(line))
      TunnelOpen_ = *opens;
  }
  if (LastError() == 0 && (!answered || !TunnelOpen_)) {
    TunnelOpen_ = false;
    SetLastError(kSockUnusable);
  }
  TunnelRemoteIP_ = target;
  TunnelRemotePort_ = portText;
  SetInProxyHandshake(false);
}

void TxxTcpSocket::Listen() {
  SetLastError(0);
  if (!SocksIP.empty()) {
    SocksOpen(TxxBlockSocket::LocalIP(), std::to_string(TxxBlockSocket::LocalPort()), kSocksBind);
    if (LastError() != 0)
      SetLastError(kSockNonRecoverable);
    return;
  }
  if (!HandleValid()) {
    SetLastError(kSockInvalidArgument);  // bind first
    return;
  }
  if (::listen(Handle(), SOMAXCONN) != 0) {
    SetLastErrorFromErrno(errno);
    return;
  }
  ReadBackAddresses(false);
}

void TxxTcpSocket::Close() {
  if (SslEnabled_)
    SslShutdown();
  if (HandleValid()) {
    ::shutdown(Handle(), SHUT_WR);
    std::size_t drained = 0;
    while (drained < kMaxCloseDrainLength) {
      const std::string chunk = ReadChunk(0);
      if (LastError() != 0 || chunk.empty())
        break;
      drained += chunk.size();
    }
  }
  TunnelOpen_ = false;
  TxxSocksBlockSocket::Close();
}

// ---- Data ----

int TxxTcpSocket::WriteBuf(const void* data, int length) {
  if (!TlsCarriesData())
    return TxxSocksBlockSocket::WriteBuf(data, length);
  SetLastError(0);
  if (Aborted()) {
    SetLastError(kSockInterrupted);
    return -1;
  }
  std::int32_t error = 0;
  const long written =
      Tls_->Write(data, static_cast<std::size_t>(length > 0 ? length : 0), Timeout, error);
  if (written < 0) {
    TakeTlsError();
    SetLastError(error);
    return -1;
  }
  return static_cast<int>(written);
}

int TxxTcpSocket::ReadBuf(void* data, int length) {
  if (!TlsCarriesData())
    return TxxSocksBlockSocket::ReadBuf(data, length);
  SetLastError(0);
  if (length <= 0)
    return 0;
  std::int32_t error = 0;
  const long got = Tls_->Read(data, static_cast<std::size_t>(length), ReadWaitTimeout(), error);
  if (got < 0) {
    TakeTlsError();
    SetLastError(error);
    return -1;
  }
  return static_cast<int>(got);
}

int TxxTcpSocket::PendingBytes() {
  if (TlsCarriesData()) {
    const int decrypted = Tls_->Pending();
    if (decrypted > 0)
      return decrypted;
  }
  return TxxSocksBlockSocket::PendingBytes();
}

std::string TxxTcpSocket::RemoteIP() {
  return TunnelOpen_ ? TunnelRemoteIP_ : TxxSocksBlockSocket::RemoteIP();
}

int TxxTcpSocket::RemotePort() {
  return TunnelOpen_ ? std::atoi(TunnelRemotePort_.c_str()) : TxxSocksBlockSocket::RemotePort();
}

}  // namespace vantrel
