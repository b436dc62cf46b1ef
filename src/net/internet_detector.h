#pragma once

// Whether the computer has a network connection at all: the local-address test
// over the interface list, and TxxInternetDetector, which repeats it on a
// main-loop timer and reports each change. While it says offline the monitor
// stops checking, so that a dead connection does not take every item down.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/main_loop.h"

namespace vantrel {

// One address of one network interface, as getifaddrs lists it.
struct TInterfaceAddress {
  std::string Name;         // "eth0"
  std::uint32_t Flags = 0;  // IFF_UP, IFF_RUNNING, IFF_LOOPBACK, ...
  int Family = 0;           // AF_INET, AF_INET6; other families are not listed
  std::string Address;      // numeric text, "192.0.2.7" or "2001:db8::7"

  bool operator==(const TInterfaceAddress&) const = default;
};

// The IPv4 and IPv6 addresses of this machine's interfaces; empty when the
// list cannot be read.
std::vector<TInterfaceAddress> ListInterfaceAddresses();

// The local-address test over a list: online when an interface that is up and
// running (it has a carrier) has an address that is neither loopback
// (127.0.0.0/8, ::1) nor link-local (169.254.0.0/16, fe80::/10). Link-local
// addresses do not count because an interface makes them for itself, without
// any network beyond the cable.
bool HasNetworkAddress(const std::vector<TInterfaceAddress>& addresses);

// The local-address test on this machine.
bool LocalAddressTest();

// Watches the connection on the main loop: every `Interval` ms it runs the
// local-address test, and when the answer differs from `IsOnline` it updates
// `IsOnline` and calls `OnChangeState`. Main thread only. The handler may
// change, restart or destroy the detector.
class TxxInternetDetector {
 public:
  using TTest = std::function<bool()>;
  using TChangeStateEvent = std::function<void(TxxInternetDetector& sender)>;

  static constexpr std::uint32_t kDefaultInterval = 500;  // ms

  // Starts at once with the defaults: enabled, every 500 ms, offline until the
  // first tick. `test` replaces the local-address test (tests drive it).
  explicit TxxInternetDetector(TMainLoop& loop, TTest test = LocalAddressTest);
  ~TxxInternetDetector();
  TxxInternetDetector(const TxxInternetDetector&) = delete;
  TxxInternetDetector& operator=(const TxxInternetDetector&) = delete;

  bool Enabled() const { return Enabled_; }
  void SetEnabled(bool enabled);

  // 0 stops the ticks while the detector stays enabled.
  std::uint32_t Interval() const { return Interval_; }
  void SetInterval(std::uint32_t ms);

  bool IsOnline() const { return IsOnline_; }

  void SetOnChangeState(TChangeStateEvent handler) { OnChangeState_ = std::move(handler); }

  // Switches off, takes `interval` and switches on again; the next tick comes
  // a whole interval from now.
  void Restart(std::uint32_t interval);

  // Runs one tick at once; the timer keeps its schedule.
  void CheckNow();

 private:
  void Arm();
  void Tick();

  TTest Test_;
  TChangeStateEvent OnChangeState_;
  std::unique_ptr<TTimer> Timer_;
  bool Enabled_ = true;
  std::uint32_t Interval_ = kDefaultInterval;
  bool IsOnline_ = false;
};

}  // namespace vantrel
