#include "support/peer_tls.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstdio>

namespace vantrel::test {

TPeerTlsCredentials::TPeerTlsCredentials(const std::string& commonName) {
  OPENSSL_init_ssl(0, nullptr);
  Key_ = EVP_EC_gen("P-256");
  Certificate_ = X509_new();
  if (Key_ == nullptr || Certificate_ == nullptr)
    return;
  X509_set_version(Certificate_, 2);
  ASN1_INTEGER_set(X509_get_serialNumber(Certificate_), 1);
  X509_gmtime_adj(X509_getm_notBefore(Certificate_), -3600);
  X509_gmtime_adj(X509_getm_notAfter(Certificate_), 24 * 3600);
  X509_set_pubkey(Certificate_, Key_);
  X509_NAME* name = X509_get_subject_name(Certificate_);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>(commonName.c_str()), -1, -1, 0);
  X509_set_issuer_name(Certificate_, name);  // self-signed
  const std::string altName = "DNS:" + commonName;
  if (X509_EXTENSION* extension =
          X509V3_EXT_conf_nid(nullptr, nullptr, NID_subject_alt_name, altName.c_str())) {
    X509_add_ext(Certificate_, extension, -1);
    X509_EXTENSION_free(extension);
  }
  if (X509_sign(Certificate_, Key_, EVP_sha256()) == 0)
    return;
  SSL_CTX* context = SSL_CTX_new(TLS_server_method());
  if (context == nullptr)
    return;
  if (SSL_CTX_use_certificate(context, Certificate_) != 1 ||
      SSL_CTX_use_PrivateKey(context, Key_) != 1) {
    SSL_CTX_free(context);
    return;
  }
  Context_ = context;
}

bool TPeerTlsCredentials::WritePem(const std::string& certificateFile,
                                   const std::string& keyFile) const {
  FILE* certificate = std::fopen(certificateFile.c_str(), "w");
  FILE* key = std::fopen(keyFile.c_str(), "w");
  const bool ok = Ok() && certificate != nullptr && key != nullptr &&
                  PEM_write_X509(certificate, Certificate_) == 1 &&
                  PEM_write_PrivateKey(key, Key_, nullptr, nullptr, 0, nullptr, nullptr) == 1;
  for (FILE* file : {certificate, key}) {
    if (file != nullptr)
      std::fclose(file);
  }
  return ok;
}

TPeerTlsCredentials::~TPeerTlsCredentials() {
  SSL_CTX_free(Context_);
  X509_free(Certificate_);
  EVP_PKEY_free(Key_);
}

const TPeerTlsCredentials& LocalhostCredentials() {
  static const TPeerTlsCredentials credentials("localhost");
  return credentials;
}

}  // namespace vantrel::test
