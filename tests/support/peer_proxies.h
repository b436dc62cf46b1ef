#pragma once

// Proxy servers for the tunnel and SOCKS tests, each started in the
// foreground on a free loopback port with its own settings in a temporary
// folder, and stopped by process id.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "support/test_files.h"
#include "support/test_process.h"

namespace vantrel::test {

class TProxyPeer {
 public:
  // Started and accepting connections; otherwise Error() says why.
  bool Ok() const { return Ok_; }
  std::string Error() const;
  std::string Port() const { return std::to_string(Port_); }

 protected:
  // Starts the program `argv` gives for a free port.
  void Start(const std::function<std::vector<std::string>(int port)>& argv);

  TTempDir Dir_;

 private:
  int Port_ = 0;
  std::unique_ptr<TTestProcess> Process_;
  bool Ok_ = false;
};

// tinyproxy allowing CONNECT to `connectPort` only; with a user it demands
// Basic proxy authorization.
class TTinyproxyPeer : public TProxyPeer {
 public:
  explicit TTinyproxyPeer(int connectPort, const std::string& user = "",
                          const std::string& password = "");
};

// microsocks (SOCKS 5 only); with a user it demands user/password login.
class TMicrosocksPeer : public TProxyPeer {
 public:
  explicit TMicrosocksPeer(const std::string& user = "", const std::string& password = "");
};

}  // namespace vantrel::test
