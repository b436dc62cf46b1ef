#include "support/peer_proxies.h"

#include <fstream>

#include "support/peer_scripted_server.h"

namespace vantrel::test {

void TProxyPeer::Start(const std::function<std::vector<std::string>(int port)>& argv) {
  // Starting a server on a port that was free a moment ago can lose a race
  // with another program; a few tries make that harmless.
  for (int attempt = 0; attempt < 3 && !Ok_; ++attempt) {
    Port_ = FreeLoopbackPort();
    Process_ = std::make_unique<TTestProcess>(argv(Port_));
    Ok_ = WaitForPort(*Process_, Port_);
  }
}

std::string TProxyPeer::Error() const {
  if (Process_ == nullptr)
    return "not started";
  return Process_->Error() + " (port " + std::to_string(Port_) + ")\n" + Process_->Output() +
         Process_->Errors();
}

TTinyproxyPeer::TTinyproxyPeer(int connectPort, const std::string& user,
                               const std::string& password) {
  Start([&](int port) {
    const auto config = Dir_ / "tinyproxy.conf";
    std::ofstream out(config);
    out << "Port " << port << "\nListen 127.0.0.1\nTimeout 30\nMaxClients 16\nLogLevel Info\n"
        << "ConnectPort " << connectPort << "\n";
    if (!user.empty())
      out << "BasicAuth " << user << " " << password << "\n";
    return std::vector<std::string>{"tinyproxy", "-d", "-c", config.string()};
  });
}

TMicrosocksPeer::TMicrosocksPeer(const std::string& user, const std::string& password) {
  Start([&](int port) {
    std::vector<std::string> argv = {"microsocks", "-i", "127.0.0.1", "-p", std::to_string(port)};
    if (!user.empty())
      argv.insert(argv.end(), {"-u", user, "-P", password});
    return argv;
  });
}

}  // namespace vantrel::test
