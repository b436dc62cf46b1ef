#include "support/peer_nginx.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "support/peer_scripted_server.h"

namespace vantrel::test {

namespace {

constexpr int kStartTries = 3;  // a port free a moment ago may be taken meanwhile
constexpr const char* kEchoModule = "/usr/lib/nginx/modules/ngx_http_echo_module.so";

// A P-256 key and a self-signed certificate for "localhost", as PEM files.
bool WriteCertificate(const std::filesystem::path& certFile, const std::filesystem::path& keyFile) {
  EVP_PKEY* key = EVP_EC_gen("P-256");
  X509* cert = X509_new();
  bool ok = key != nullptr && cert != nullptr;
  if (ok) {
    X509_set_version(cert, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert), 1);
    X509_gmtime_adj(X509_getm_notBefore(cert), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert), 24 * 3600);
    X509_set_pubkey(cert, key);
    X509_NAME* name = X509_get_subject_name(cert);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("localhost"), -1, -1, 0);
    X509_set_issuer_name(cert, name);
    ok = X509_sign(cert, key, EVP_sha256()) != 0;
  }
  if (ok) {
    FILE* out = std::fopen(certFile.c_str(), "w");
    ok = out != nullptr && PEM_write_X509(out, cert) == 1;
    if (out != nullptr)
      std::fclose(out);
  }
  if (ok) {
    FILE* out = std::fopen(keyFile.c_str(), "w");
    ok = out != nullptr &&
         PEM_write_PrivateKey(out, key, nullptr, nullptr, 0, nullptr, nullptr) == 1;
    if (out != nullptr)
      std::fclose(out);
  }
  X509_free(cert);
  EVP_PKEY_free(key);
  return ok;
}

std::string Config(const std::filesystem::path& dir, int httpPort, int httpsPort) {
  const std::string d = dir.string();
  return "load_module " + std::string(kEchoModule) +
         ";\n"
         "daemon off;\n"
         "master_process off;\n"
         "worker_processes 1;\n"
         "pid " +
         d +
         "/nginx.pid;\n"
         "error_log " +
         d +
         "/error.log;\n"
         "events { worker_connections 1024; }\n"
         "http {\n"
         "  access_log off;\n"
         "  client_body_temp_path " +
         d +
         "/body;\n"
         "  proxy_temp_path " +
         d +
         "/proxy;\n"
         "  fastcgi_temp_path " +
         d +
         "/fastcgi;\n"
         "  uwsgi_temp_path " +
         d +
         "/uwsgi;\n"
         "  scgi_temp_path " +
         d +
         "/scgi;\n"
         "  types { text/html html; text/plain txt; }\n"
         "  default_type application/octet-stream;\n"
         "  keepalive_requests 100000;\n"
         "  server {\n"
         "    listen 127.0.0.1:" +
         std::to_string(httpPort) +
         ";\n"
         "    listen 127.0.0.1:" +
         std::to_string(httpsPort) +
         " ssl;\n"
         "    ssl_certificate " +
         d +
         "/cert.pem;\n"
         "    ssl_certificate_key " +
         d +
         "/key.pem;\n"
         "    root " +
         d +
         "/www;\n"
         "    location = /delay { echo_sleep 0.05; echo late; }\n"
         "    location = /headers { echo -n $echo_client_request_headers; }\n"
         "  }\n"
         "}\n";
}

}  // namespace

TNginxPeer::TNginxPeer() {
  std::filesystem::create_directories(Dir_ / "www");
  if (!WriteCertificate(Dir_ / "cert.pem", Dir_ / "key.pem")) {
    Problem_ = "cannot make the certificate";
    return;
  }
  for (int attempt = 0; attempt < kStartTries && !Ok_; ++attempt) {
    HttpPort_ = FreeLoopbackPort();
    HttpsPort_ = FreeLoopbackPort();
    if (HttpPort_ == HttpsPort_)
      continue;
    const auto config = Dir_ / "nginx.conf";
    std::ofstream(config) << Config(Dir_.Path(), HttpPort_, HttpsPort_);
    Process_ = std::make_unique<TTestProcess>(
        std::vector<std::string>{"nginx", "-p", Dir_.Path().string(), "-c", config.string(), "-e",
                                 (Dir_ / "error.log").string()});
    Ok_ = WaitForPort(*Process_, HttpPort_) && WaitForPort(*Process_, HttpsPort_);
    if (!Ok_) {
      Problem_ = Process_->Error() + "\n" + Process_->Output() + Process_->Errors();
      Process_.reset();  // stopped before the next try
    }
  }
}

std::string TNginxPeer::Error() const {
  std::string text = "nginx: " + Problem_ + "\n";
  std::ifstream log(Dir_ / "error.log");
  text += std::string(std::istreambuf_iterator<char>(log), std::istreambuf_iterator<char>());
  return text;
}

std::string TNginxPeer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(HttpPort_) + path;
}

std::string TNginxPeer::HttpsUrl(const std::string& path) const {
  return "https://localhost:" + std::to_string(HttpsPort_) + path;
}

void TNginxPeer::WriteDocument(const std::string& name, const std::string& bytes) const {
  WriteFileBytes(Dir_ / ("www/" + name), bytes);
}

}  // namespace vantrel::test
