#pragma once

// TLS material for in-test servers: a key and a self-signed certificate made
// at test time (nothing is stored on disk), and the server context using them.

#include <string>

struct ssl_ctx_st;
struct x509_st;
struct evp_pkey_st;

namespace vantrel::test {

class TPeerTlsCredentials {
 public:
  // A P-256 key and a certificate for `commonName` (also its DNS name).
  explicit TPeerTlsCredentials(const std::string& commonName = "localhost");
  ~TPeerTlsCredentials();
  TPeerTlsCredentials(const TPeerTlsCredentials&) = delete;
  TPeerTlsCredentials& operator=(const TPeerTlsCredentials&) = delete;

  bool Ok() const { return Context_ != nullptr; }
  // A server context with the certificate and key; owned by this object.
  ssl_ctx_st* ServerContext() const { return Context_; }
  // The certificate and the key as PEM files, for a server program.
  bool WritePem(const std::string& certificateFile, const std::string& keyFile) const;

 private:
  evp_pkey_st* Key_ = nullptr;
  x509_st* Certificate_ = nullptr;
  ssl_ctx_st* Context_ = nullptr;
};

// Credentials for "localhost", made once: making keys is the slow part.
const TPeerTlsCredentials& LocalhostCredentials();

}  // namespace vantrel::test
