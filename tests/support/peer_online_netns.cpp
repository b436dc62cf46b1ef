#include "support/peer_online_netns.h"

namespace vantrel::test {

TOnlineNamespace::TOnlineNamespace() {
  // A veth pair, because this kernel has no dummy interfaces; both ends stay
  // in the namespace, so the pair leads nowhere.
  TNetNamespace& ns = Namespace_;
  Ok_ =
      ns.Ok() &&
      ns.RunChecked({"ip", "link", "add", kDevice, "type", "veth", "peer", "name", kPeerDevice}) &&
      ns.RunChecked({"ip", "addr", "add", std::string(kAddress) + "/24", "dev", kDevice}) &&
      ns.RunChecked({"ip", "link", "set", kPeerDevice, "up"}) &&
      ns.RunChecked({"ip", "link", "set", kDevice, "up"});
}

}  // namespace vantrel::test
