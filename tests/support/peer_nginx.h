#pragma once

// nginx (the nginx-light package, with its echo module) as a real web server
// for the HTTP client: plain HTTP and HTTPS with a self-signed certificate
// made at start, each on a free loopback port. It runs in the foreground as a
// single process with its configuration, logs and documents in its own
// temporary folder, and is stopped by process id.
//
// Locations:
//   /NAME      the document NAME (WriteDocument)
//   /delay     "late" and a line end after 50 ms
//   /headers   the request head as the server received it

#include <memory>
#include <string>

#include "support/test_files.h"
#include "support/test_process.h"

namespace vantrel::test {

class TNginxPeer {
 public:
  TNginxPeer();
  // Started and accepting connections on both ports; otherwise Error() says why.
  bool Ok() const { return Ok_; }
  std::string Error() const;
  int HttpsPort() const { return HttpsPort_; }
  // "http://127.0.0.1:PORT" + path, "https://localhost:PORT" + path.
  std::string Url(const std::string& path) const;
  std::string HttpsUrl(const std::string& path) const;
  // Puts a document under the root.
  void WriteDocument(const std::string& name, const std::string& bytes) const;

 private:
  TTempDir Dir_;
  int HttpPort_ = 0;
  int HttpsPort_ = 0;
  std::unique_ptr<TTestProcess> Process_;
  std::string Problem_;
  bool Ok_ = false;
};

}  // namespace vantrel::test
