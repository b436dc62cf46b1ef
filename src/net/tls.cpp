#include "net/tls.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <mutex>

#include "net/socket_errors.h"

namespace vantrel {

namespace {

std::mutex gLoadMutex;
std::int32_t gLoadCount = 0;

// ---- The BIO that hands TLS records to the transport ----

TxxTlsTransport* TransportOf(BIO* bio) {
  return static_cast<TxxTlsTransport*>(BIO_get_data(bio));
}

int TransportWrite(BIO* bio, const char* data, std::size_t length, std::size_t* written) {
  BIO_clear_retry_flags(bio);
  *written = 0;
  std::int32_t error = 0;
  const long sent = TransportOf(bio)->TransportSend(data, length, error);
  if (sent >= 0) {
    *written = static_cast<std::size_t>(sent);
    return 1;
  }
  if (error == kSockWouldBlock)
    BIO_set_retry_write(bio);
  return 0;
}

int TransportRead(BIO* bio, char* data, std::size_t length, std::size_t* readBytes) {
  BIO_clear_retry_flags(bio);
  *readBytes = 0;
  std::int32_t error = 0;
  const long got = TransportOf(bio)->TransportRecv(data, length, error);
  if (got > 0) {
    *readBytes = static_cast<std::size_t>(got);
    return 1;
  }
  if (got < 0 && error == kSockWouldBlock)
    BIO_set_retry_read(bio);
  return 0;  // end of stream or failure: the library reports it
}

long TransportControl(BIO* bio, int command, long number, void*) {
  switch (command) {
    case BIO_CTRL_FLUSH:
    case BIO_CTRL_DUP:
      return 1;
    case BIO_CTRL_GET_CLOSE:
      return BIO_get_shutdown(bio);
    case BIO_CTRL_SET_CLOSE:
      BIO_set_shutdown(bio, static_cast<int>(number));
      return 1;
    default:
      return 0;
  }
}

int TransportCreate(BIO* bio) {
  BIO_set_init(bio, 1);
  BIO_set_data(bio, nullptr);
  return 1;
}

int TransportDestroy(BIO*) {
  return 1;  // the transport belongs to the socket
}

BIO_METHOD* TransportMethod() {
  static BIO_METHOD* const method = [] {
    BIO_METHOD* created =
        BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "vantrel transport");
    if (created != nullptr) {
      BIO_meth_set_write_ex(created, TransportWrite);
      BIO_meth_set_read_ex(created, TransportRead);
      BIO_meth_set_ctrl(created, TransportControl);
      BIO_meth_set_create(created, TransportCreate);
      BIO_meth_set_destroy(created, TransportDestroy);
    }
    return created;
  }();
  return method;
}

int PasswordCallback(char* buffer, int size, int, void* userData) {
  const auto* password = static_cast<const std::string*>(userData);
  if (password == nullptr || size <= 0)
    return 0;
  const std::size_t length = std::min(password->size(), static_cast<std::size_t>(size - 1));
  std::memcpy(buffer, password->data(), length);
  buffer[length] = '\0';
  return static_cast<int>(length);
}

// Milliseconds left of `timeout` since `start`; kNoTimeout stays unlimited.
std::int32_t Remaining(std::int32_t timeout, std::chrono::steady_clock::time_point start) {
  if (timeout < 0)
    return timeout;
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                           std::chrono::steady_clock::now() - start)
                           .count();
  return static_cast<std::int32_t>(std::max<long long>(0, timeout - elapsed));
}

}  // namespace

// ---- Library use count ----

bool LoadTls() {
  std::lock_guard<std::mutex> lock(gLoadMutex);
  if (gLoadCount > 0) {
    ++gLoadCount;
    return true;
  }
  if (OPENSSL_init_ssl(OPENSSL_INIT_LOAD_SSL_STRINGS | OPENSSL_INIT_LOAD_CRYPTO_STRINGS, nullptr) !=
      1) {
    return false;
  }
  gLoadCount = 1;
  return true;
}

std::int32_t TlsLoadCount() {
  std::lock_guard<std::mutex> lock(gLoadMutex);
  return gLoadCount;
}

void UnloadTls() {
  std::lock_guard<std::mutex> lock(gLoadMutex);
  if (gLoadCount > 0)
    --gLoadCount;
  // The library itself is released by OpenSSL at process exit; releasing it
  // earlier would make it unusable for the rest of the process.
  if (gLoadCount == 0)
    ERR_clear_error();
}

// ---- Session ----

TxxTlsSession::~TxxTlsSession() {
  SSL_free(Ssl_);  // frees the BIO with it
  SSL_CTX_free(Context_);
  ERR_clear_error();
}

void TxxTlsSession::RecordError() {
  LastTlsErrorText_.clear();
  LastTlsError_ = ERR_get_error();
  ERR_clear_error();
  if (LastTlsError_ != 0) {
    char text[256] = {};
    ERR_error_string_n(LastTlsError_, text, sizeof(text));
    LastTlsErrorText_ = text;
  }
}

std::int32_t TxxTlsSession::Open(const TxxTlsSettings& settings) {
  Password_ = settings.Password;
  Context_ = SSL_CTX_new(TLS_client_method());
  if (Context_ == nullptr) {
    RecordError();
    return kSockProtocolNotSupported;
  }
  SSL_CTX_set_cipher_list(Context_, settings.Ciphers.c_str());
  SSL_CTX_set_verify(Context_, settings.VerifyCert ? SSL_VERIFY_PEER : SSL_VERIFY_NONE, nullptr);
  SSL_CTX_set_default_passwd_cb(Context_, PasswordCallback);
  SSL_CTX_set_default_passwd_cb_userdata(Context_, &Password_);

  std::int32_t result = 0;
  const bool keysLoaded =
      (settings.CertificateFile.empty() ||
       SSL_CTX_use_certificate_chain_file(Context_, settings.CertificateFile.c_str()) == 1) &&
      (settings.PrivateKeyFile.empty() ||
       SSL_CTX_use_PrivateKey_file(Context_, settings.PrivateKeyFile.c_str(), SSL_FILETYPE_PEM) ==
           1) &&
      (settings.CAFile.empty() ||
       SSL_CTX_load_verify_locations(Context_, settings.CAFile.c_str(), nullptr) == 1);
  if (!keysLoaded) {
    RecordError();
    result = kSockInvalidArgument;
  }
  Ssl_ = SSL_new(Context_);
  if (Ssl_ == nullptr) {
    RecordError();
    return kSockProtocolNotSupported;
  }
  return result;
}

bool TxxTlsSession::WaitForRetry(int result, std::int32_t timeout, std::int32_t& error) {
  const int reason = SSL_get_error(Ssl_, result);
  if (reason == SSL_ERROR_WANT_READ || reason == SSL_ERROR_WANT_WRITE) {
    error = Transport_->TransportWait(reason == SSL_ERROR_WANT_WRITE, timeout);
    return error == 0;
  }
  RecordError();
  Failed_ = true;
  error = kSockUnusable;
  return false;
}

std::int32_t TxxTlsSession::Connect(TxxTlsTransport& transport, std::string_view serverName,
                                    std::int32_t timeout) {
  if (Ssl_ == nullptr)
    return kSockUnusable;
  Transport_ = &transport;
  BIO* bio = TransportMethod() != nullptr ? BIO_new(TransportMethod()) : nullptr;
  if (bio == nullptr) {
    RecordError();
    return kSockUnusable;
  }
  BIO_set_data(bio, Transport_);
  SSL_set_bio(Ssl_, bio, bio);
  if (!serverName.empty() && SSL_set_tlsext_host_name(Ssl_, std::string(serverName).c_str()) != 1) {
    RecordError();
    return kSockUnusable;
  }
  const auto start = std::chrono::steady_clock::now();
  for (;;) {
    ERR_clear_error();
    const int result = SSL_connect(Ssl_);
    if (result == 1) {
      Established_ = true;
      return 0;
    }
    std::int32_t error = 0;
    if (!WaitForRetry(result, Remaining(timeout, start), error))
      return error;
  }
}

long TxxTlsSession::Read(void* data, std::size_t length, std::int32_t timeout,
                         std::int32_t& error) {
  error = 0;
  if (!Established_ || Failed_) {
    error = kSockUnusable;
    return -1;
  }
  // One limit for the whole record: a peer sending it a byte per wait must
  // not restart the wait with every byte.
  const auto start = std::chrono::steady_clock::now();
  for (;;) {
    std::size_t got = 0;
    ERR_clear_error();
    const int result = SSL_read_ex(Ssl_, data, length, &got);
    if (result == 1)
      return static_cast<long>(got);
    if (SSL_get_error(Ssl_, result) == SSL_ERROR_ZERO_RETURN)
      return 0;  // the peer's close notification: the end, without error
    if (!WaitForRetry(result, Remaining(timeout, start), error))
      return -1;
  }
}

long TxxTlsSession::Write(const void* data, std::size_t length, std::int32_t timeout,
                          std::int32_t& error) {
  error = 0;
  if (!Established_ || Failed_) {
    error = kSockUnusable;
    return -1;
  }
  if (length == 0)
    return 0;
  for (;;) {
    std::size_t written = 0;
    ERR_clear_error();
    // Without partial writes the library sends all or asks to be called again
    // with the same buffer.
    const int result = SSL_write_ex(Ssl_, data, length, &written);
    if (result == 1)
      return static_cast<long>(written);
    if (!WaitForRetry(result, timeout, error))
      return -1;
  }
}

int TxxTlsSession::Pending() const {
  return Ssl_ != nullptr && Established_ ? SSL_pending(Ssl_) : 0;
}

std::int32_t TxxTlsSession::Shutdown(std::int32_t timeout) {
  if (Ssl_ == nullptr || !Established_ || Failed_)
    return 0;  // nothing to close, or the library forbids it after a fatal error
  const auto start = std::chrono::steady_clock::now();
  for (;;) {
    ERR_clear_error();
    const int result = SSL_shutdown(Ssl_);
    if (result >= 0)
      return 0;  // our notification is out; the peer's is not awaited
    std::int32_t error = 0;
    if (SSL_get_error(Ssl_, result) != SSL_ERROR_WANT_WRITE ||
        !WaitForRetry(result, Remaining(timeout, start), error)) {
      RecordError();
      return kSockUnusable;
    }
  }
}

std::string TxxTlsSession::Version() const {
  return Ssl_ != nullptr && Established_ ? SSL_get_version(Ssl_) : "";
}

}  // namespace vantrel
