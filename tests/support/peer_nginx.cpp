#include "support/peer_nginx.h"

#include <filesystem>
#include <fstream>

#include "support/peer_scripted_server.h"
#include "support/peer_tls.h"

namespace vantrel::test {

namespace {

constexpr int kStartTries = 3;  // a port free a moment ago may be taken meanwhile
constexpr const char* kEchoModule = "/usr/lib/nginx/modules/ngx_http_echo_module.so";

// Relative paths are taken from the folder given with -p.
std::string Config(int httpPort, int httpsPort) {
  return "load_module " + std::string(kEchoModule) + ";\n" + R"(daemon off;
master_process off;
worker_processes 1;
pid nginx.pid;
error_log error.log;
events { worker_connections 1024; }
http {
  access_log off;
  client_body_temp_path body;
  proxy_temp_path proxy;
  fastcgi_temp_path fastcgi;
  uwsgi_temp_path uwsgi;
  scgi_temp_path scgi;
  types { text/html html; text/plain txt; }
  default_type application/octet-stream;
  keepalive_requests 100000;
  server {
    ssl_certificate cert.pem;
    ssl_certificate_key key.pem;
    root www;
    location = /delay { echo_sleep 0.05; echo late; }
    location = /headers { echo -n $echo_client_request_headers; }
    listen 127.0.0.1:)" +
         std::to_string(httpPort) + ";\n    listen 127.0.0.1:" + std::to_string(httpsPort) +
         " ssl;\n  }\n}\n";
}

}  // namespace

TNginxPeer::TNginxPeer() {
  std::filesystem::create_directories(Dir_ / "www");
  if (!TPeerTlsCredentials("localhost").WritePem(Dir_ / "cert.pem", Dir_ / "key.pem")) {
    Problem_ = "cannot make the certificate";
    return;
  }
  for (int attempt = 0; attempt < kStartTries && !Ok_; ++attempt) {
    HttpPort_ = FreeLoopbackPort();
    HttpsPort_ = FreeLoopbackPort();
    if (HttpPort_ == HttpsPort_)
      continue;
    const auto config = Dir_ / "nginx.conf";
    std::ofstream(config) << Config(HttpPort_, HttpsPort_);
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
