#pragma once

// TLS on OpenSSL. One TxxTlsSession is the TLS layer of one connection: it
// owns its context and connection object and moves its records through a
// TxxTlsTransport, the plain byte transport underneath (the socket, after any
// tunnel or SOCKS exchange). The layer never touches the system handle
// itself, so time-outs and Abort work the same with TLS as without.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

struct ssl_st;
struct ssl_ctx_st;

namespace vantrel {

// OpenSSL initialises itself once per process and cleans up at exit; these
// keep the program's count of users around that. LoadTls counts one more user
// (initialising the library on the first); UnloadTls one less, never below 0.
bool LoadTls();
std::int32_t TlsLoadCount();
void UnloadTls();

// The plain byte transport under the TLS layer.
class TxxTlsTransport {
 public:
  // Sends what the system takes now: count, or -1 with `error`
  // (kSockWouldBlock when it takes nothing).
  virtual long TransportSend(const void* data, std::size_t length, std::int32_t& error) = 0;
  // Receives what is there now: count, 0 at the end of the stream, or -1 with
  // `error` (kSockWouldBlock when nothing is there).
  virtual long TransportRecv(void* data, std::size_t length, std::int32_t& error) = 0;
  // Waits until receiving (or sending) can go on: 0, kSockTimedOut,
  // kSockInterrupted after an abort, or a socket error.
  virtual std::int32_t TransportWait(bool forSend, std::int32_t timeout) = 0;

 protected:
  ~TxxTlsTransport() = default;
};

// What a connection is set up with. This system sets none of the files and no
// verification: any server certificate is accepted.
struct TxxTlsSettings {
  std::string Ciphers = "DEFAULT";
  bool VerifyCert = false;
  std::string CertificateFile;  // client certificate chain (PEM)
  std::string PrivateKeyFile;   // its key (PEM)
  std::string CAFile;           // trusted certificates for verification
  std::string Password;         // pass phrase of the key
};

class TxxTlsSession {
 public:
  TxxTlsSession() = default;
  ~TxxTlsSession();
  TxxTlsSession(const TxxTlsSession&) = delete;
  TxxTlsSession& operator=(const TxxTlsSession&) = delete;

  // Creates the context (negotiating method, cipher list, verification mode,
  // key files) and the connection object. 0, kSockProtocolNotSupported when
  // the context or connection cannot be made, kSockInvalidArgument when a key
  // file is refused.
  std::int32_t Open(const TxxTlsSettings& settings);

  // Runs the client handshake over `transport`, announcing `serverName` (SNI)
  // unless it is empty. 0, kSockUnusable when TLS fails, or the wait's error.
  std::int32_t Connect(TxxTlsTransport& transport, std::string_view serverName,
                       std::int32_t timeout);

  // Decrypted bytes: count; 0 without error when the peer closed TLS cleanly;
  // -1 with `error` (kSockUnusable, or the wait's error). `timeout` bounds the
  // whole call, however the record's bytes arrive.
  long Read(void* data, std::size_t length, std::int32_t timeout, std::int32_t& error);
  // Sends all of `data`: `length`, or -1 with `error`.
  long Write(const void* data, std::size_t length, std::int32_t timeout, std::int32_t& error);
  // Decrypted bytes waiting inside the layer.
  int Pending() const;
  // Sends the close notification: 0, or kSockUnusable.
  std::int32_t Shutdown(std::int32_t timeout);

  bool Established() const { return Established_; }
  // The last OpenSSL error (ERR_get_error) and its text, 0 and empty when none.
  unsigned long LastTlsError() const { return LastTlsError_; }
  const std::string& LastTlsErrorText() const { return LastTlsErrorText_; }
  // The negotiated protocol, e.g. "TLSv1.3"; empty before the handshake.
  std::string Version() const;

 private:
  void RecordError();
  // One step of the library that may want to wait: true to call it again.
  [[nodiscard]] bool WaitForRetry(int result, std::int32_t timeout, std::int32_t& error);

  ssl_ctx_st* Context_ = nullptr;
  ssl_st* Ssl_ = nullptr;
  TxxTlsTransport* Transport_ = nullptr;
  std::string Password_;
  bool Established_ = false;
  bool Failed_ = false;  // a fatal error: no close notification may follow
  unsigned long LastTlsError_ = 0;
  std::string LastTlsErrorText_;
};

}  // namespace vantrel
