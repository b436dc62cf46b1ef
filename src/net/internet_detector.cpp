#include "net/internet_detector.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <array>
#include <utility>

namespace vantrel {
namespace {

bool CountsAsNetworkAddress(const TInterfaceAddress& entry) {
  if (entry.Family == AF_INET) {
    std::array<std::uint8_t, 4> bytes{};
    if (inet_pton(AF_INET, entry.Address.c_str(), bytes.data()) != 1)
      return false;
    const bool loopback = bytes[0] == 127;
    const bool linkLocal = bytes[0] == 169 && bytes[1] == 254;
    return !loopback && !linkLocal;
  }
  if (entry.Family == AF_INET6) {
    in6_addr address{};
    // A zone ("fe80::1%eth0") is not part of the address.
    const std::string text = entry.Address.substr(0, entry.Address.find('%'));
    if (inet_pton(AF_INET6, text.c_str(), &address) != 1)
      return false;
    return !IN6_IS_ADDR_LOOPBACK(&address) && !IN6_IS_ADDR_LINKLOCAL(&address) &&
           !IN6_IS_ADDR_UNSPECIFIED(&address);
  }
  return false;
}

}  // namespace

std::vector<TInterfaceAddress> ListInterfaceAddresses() {
  std::vector<TInterfaceAddress> list;
  ifaddrs* head = nullptr;
  if (getifaddrs(&head) != 0)
    return list;
  for (const ifaddrs* at = head; at != nullptr; at = at->ifa_next) {
    if (at->ifa_addr == nullptr)
      continue;
    const int family = at->ifa_addr->sa_family;
    std::array<char, INET6_ADDRSTRLEN> text{};
    const void* raw = nullptr;
    if (family == AF_INET)
      raw = &reinterpret_cast<const sockaddr_in*>(at->ifa_addr)->sin_addr;
    else if (family == AF_INET6)
      raw = &reinterpret_cast<const sockaddr_in6*>(at->ifa_addr)->sin6_addr;
    else
      continue;
    if (inet_ntop(family, raw, text.data(), text.size()) == nullptr)
      continue;
    list.push_back(
        {at->ifa_name != nullptr ? at->ifa_name : "", at->ifa_flags, family, text.data()});
  }
  freeifaddrs(head);
  return list;
}

bool HasNetworkAddress(const std::vector<TInterfaceAddress>& addresses) {
  constexpr std::uint32_t kUpAndRunning = IFF_UP | IFF_RUNNING;
  for (const TInterfaceAddress& entry : addresses) {
    if ((entry.Flags & kUpAndRunning) != kUpAndRunning || (entry.Flags & IFF_LOOPBACK) != 0)
      continue;
    if (CountsAsNetworkAddress(entry))
      return true;
  }
  return false;
}

bool LocalAddressTest() {
  return HasNetworkAddress(ListInterfaceAddresses());
}

TxxInternetDetector::TxxInternetDetector(TMainLoop& loop, TTest test)
    : Test_(std::move(test)), Timer_(loop.CreateTimer([this] { Tick(); })) {
  Arm();
}

TxxInternetDetector::~TxxInternetDetector() {
  Timer_->Stop();
}

void TxxInternetDetector::SetEnabled(bool enabled) {
  Enabled_ = enabled;
  Arm();
}

void TxxInternetDetector::SetInterval(std::uint32_t ms) {
  Interval_ = ms;
  Arm();
}

void TxxInternetDetector::Restart(std::uint32_t interval) {
  SetEnabled(false);
  if (interval != Interval_)
    SetInterval(interval);
  SetEnabled(true);
}

void TxxInternetDetector::CheckNow() {
  const bool wasOnline = IsOnline_;
  IsOnline_ = Test_ ? Test_() : false;
  if (IsOnline_ == wasOnline || !OnChangeState_)
    return;
  // A copy: the handler may replace itself or destroy this detector, so
  // nothing of the detector is touched after the call.
  const TChangeStateEvent handler = OnChangeState_;
  handler(*this);
}

// Any change of Enabled or Interval starts the period afresh.
void TxxInternetDetector::Arm() {
  Timer_->Stop();
  if (Enabled_ && Interval_ != 0)
    Timer_->Start(Interval_);
}

void TxxInternetDetector::Tick() {
  // Re-armed before the test so the period does not stretch by the test's
  // time, and so a handler that stops or restarts the detector has the last word.
  Arm();
  CheckNow();
}

}  // namespace vantrel
