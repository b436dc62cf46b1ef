#pragma once

// A network namespace in which a monitor can be made to see a connection or
// none. A monitor counts itself online while an interface that is up and
// running carries an address other than loopback or link-local; here that is
// one end of a veth pair that stays inside the namespace, with
// kAddress/24. Taking that end down takes the monitor offline.
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

  // Starts online.
  TOnlineNamespace();

  bool Ok() const { return Ok_; }
  const std::string& Error() const { return Error_; }
  TNetNamespace& Namespace() { return Namespace_; }
  // "/proc/PID/ns/net": for TPeerProgram::TOptions::NetNamespace.
  std::string Path() const { return Namespace_.Path(); }

  // Brings the addressed interface up or down; false (Error() says why) when
  // the change failed.
  bool SetOnline(bool online);

 private:
  TNetNamespace Namespace_;
  bool Ok_ = false;
  std::string Error_;
};

}  // namespace vantrel::test
