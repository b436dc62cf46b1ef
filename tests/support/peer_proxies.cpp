#include "support/peer_proxies.h"

#include <fstream>

#include "support/peer_scripted_server.h"

namespace vantrel::test {

namespace {

// Starting a server on a port that was free a moment ago can lose a race with
// another program; a few tries make that harmless.
constexpr int kStartTries = 3;

std::string Describe(const std::unique_ptr<TTestProcess>& process, int port) {
  if (process == nullptr)
    return "not started";
  return process->Error() + " (port " + std::to_string(port) + ")\n" + process->Output() +
         process->Errors();
}

}  // namespace

TTinyproxyPeer::TTinyproxyPeer(int connectPort, const std::string& user,
                               const std::string& password) {
  for (int attempt = 0; attempt < kStartTries && !Ok_; ++attempt) {
    Port_ = FreeLoopbackPort();
    const auto config = Dir_ / "tinyproxy.conf";
    std::ofstream out(config);
    out << "Port " << Port_ << "\n"
        << "Listen 127.0.0.1\n"
        << "Timeout 30\n"
        << "MaxClients 16\n"
        << "LogLevel Info\n"
        << "ConnectPort " << connectPort << "\n";
    if (!user.empty())
      out << "BasicAuth " << user << " " << password << "\n";
    out.close();
    Process_ = std::make_unique<TTestProcess>(
        std::vector<std::string>{"tinyproxy", "-d", "-c", config.string()});
    Ok_ = WaitForPort(*Process_, Port_);
  }
}

std::string TTinyproxyPeer::Error() const {
  return "tinyproxy: " + Describe(Process_, Port_);
}

TMicrosocksPeer::TMicrosocksPeer(const std::string& user, const std::string& password) {
  for (int attempt = 0; attempt < kStartTries && !Ok_; ++attempt) {
    Port_ = FreeLoopbackPort();
    std::vector<std::string> argv = {"microsocks", "-i", "127.0.0.1", "-p", std::to_string(Port_)};
    if (!user.empty()) {
      argv.insert(argv.end(), {"-u", user, "-P", password});
    }
    Process_ = std::make_unique<TTestProcess>(argv);
    Ok_ = WaitForPort(*Process_, Port_);
  }
}

std::string TMicrosocksPeer::Error() const {
  return "microsocks: " + Describe(Process_, Port_);
}

}  // namespace vantrel::test
