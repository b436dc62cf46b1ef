#include "support/peer_online_netns.h"

namespace vantrel::test {

TOnlineNamespace::TOnlineNamespace() {
  if (!Namespace_.Ok()) {
    Error_ = Namespace_.Error();
    return;
  }
  // A veth pair, because this kernel has no dummy interfaces; both ends stay
  // in the namespace, so the pair leads nowhere.
  TNetNamespace& ns = Namespace_;
  Ok_ =
      ns.RunChecked({"ip", "link", "add", kDevice, "type", "veth", "peer", "name", kPeerDevice}) &&
      ns.RunChecked({"ip", "addr", "add", std::string(kAddress) + "/24", "dev", kDevice}) &&
      ns.RunChecked({"ip", "link", "set", kPeerDevice, "up"}) && SetOnline(true);
  if (!Ok_ && Error_.empty())
    Error_ = ns.Error();
}

bool TOnlineNamespace::SetOnline(bool online) {
  if (Namespace_.RunChecked({"ip", "link", "set", kDevice, online ? "up" : "down"}))
    return true;
  Error_ = Namespace_.Error();
  return false;
}

}  // namespace vantrel::test
