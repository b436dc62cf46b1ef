#pragma once

// A network namespace in which a monitor sees a connection. A monitor counts
// itself online while an interface that is up and running carries an address
// other than loopback or link-local; here that is one end of a veth pair that
// stays inside the namespace, with kAddress/24.
//
// Nothing is ever sent to that address: the servers and the checks use the
// namespace's loopback. The namespace and everything in it vanish with the
// object (see TNetNamespace).

#include <string>

#include "support/peer_netns.h"

namespace vantrel::test {

class TOnlineNamespace {
 public:
  static constexpr const char* kAddress = "10.200.0.1";
  static constexpr const char* kDevice = "vonline0";
  static constexpr const char* kPeerDevice = "vonline1";

  TOnlineNamespace();

  bool Ok() const { return Ok_; }
  const std::string& Error() const { return Namespace_.Error(); }
  TNetNamespace& Namespace() { return Namespace_; }
  // "/proc/PID/ns/net": for TProcessOptions::NetNamespace.
  std::string Path() const { return Namespace_.Path(); }

 private:
  TNetNamespace Namespace_;
  bool Ok_ = false;
};

}  // namespace vantrel::test
