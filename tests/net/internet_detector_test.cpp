#include "net/internet_detector.h"

#include <gtest/gtest.h>

#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/manual_main_loop.h"

namespace vantrel {
namespace {

// ---- The local-address test over an interface list ----

constexpr std::uint32_t kUp = IFF_UP | IFF_RUNNING;

TInterfaceAddress Lo(const char* address, int family = AF_INET) {
  return {"lo", kUp | IFF_LOOPBACK, family, address};
}
TInterfaceAddress Eth(const char* address, int family = AF_INET, std::uint32_t flags = kUp) {
  return {"eth0", flags, family, address};
}

struct TAddressRow {
  const char* What;
  std::vector<TInterfaceAddress> Addresses;
  bool Online;
};

TEST(DetectorAddressTest, OnlineOnlyWithANetworkAddressOnAnInterfaceThatIsUp) {
  const std::vector<TAddressRow> rows = {
      {"no interfaces", {}, false},
      {"loopback only", {Lo("127.0.0.1"), Lo("::1", AF_INET6)}, false},
      {"IPv4 address", {Lo("127.0.0.1"), Eth("192.0.2.7")}, true},
      {"IPv6 global address", {Lo("::1", AF_INET6), Eth("2001:db8::7", AF_INET6)}, true},
      {"IPv6 unique local address", {Eth("fd00::7", AF_INET6)}, true},
      {"interface down", {Eth("192.0.2.7", AF_INET, 0)}, false},
      {"up without carrier", {Eth("192.0.2.7", AF_INET, IFF_UP)}, false},
      {"running but not up", {Eth("192.0.2.7", AF_INET, IFF_RUNNING)}, false},
      {"other loopback address", {Eth("127.0.1.1")}, false},
      {"IPv4 link-local (no DHCP answer)", {Eth("169.254.10.1")}, false},
      {"IPv6 link-local", {Eth("fe80::1%eth0", AF_INET6)}, false},
      {"IPv6 loopback on a non-loopback interface", {Eth("::1", AF_INET6)}, false},
      {"address on the loopback interface", {Lo("192.0.2.7")}, false},
      {"unreadable address", {Eth("not-an-address")}, false},
      {"unknown family", {Eth("192.0.2.7", AF_PACKET)}, false},
      {"link-local next to a real address", {Eth("fe80::1", AF_INET6), Eth("198.51.100.1")}, true},
  };
  for (const TAddressRow& row : rows)
    EXPECT_EQ(HasNetworkAddress(row.Addresses), row.Online) << row.What;
}

TEST(DetectorAddressTest, RealListShowsTheLoopbackInterface) {
  const std::vector<TInterfaceAddress> list = ListInterfaceAddresses();
  const bool sawLoopback = std::any_of(list.begin(), list.end(), [](const TInterfaceAddress& a) {
    return (a.Flags & IFF_LOOPBACK) != 0 && a.Family == AF_INET && a.Address == "127.0.0.1";
  });
  EXPECT_TRUE(sawLoopback);
  for (const TInterfaceAddress& address : list)
    EXPECT_TRUE(address.Family == AF_INET || address.Family == AF_INET6) << address.Name;
}

// Exit codes of the child that runs the test in a network namespace of its own.
constexpr int kChildOffline = 0;
constexpr int kChildOnline = 1;
constexpr int kChildNoLoopback = 2;
constexpr int kChildNoNamespace = 3;

bool BringLoopbackUp() {
  const int fd = socket(AF_INET, SOCK_DGRAM, 0);
  if (fd < 0)
    return false;
  ifreq request{};
  std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
  bool ok = ioctl(fd, SIOCGIFFLAGS, &request) == 0;
  request.ifr_flags = static_cast<short>(request.ifr_flags | IFF_UP);
  ok = ok && ioctl(fd, SIOCSIFFLAGS, &request) == 0;
  close(fd);
  return ok;
}

int RunInFreshNetworkNamespace() {
  if (unshare(CLONE_NEWNET) != 0 && unshare(CLONE_NEWUSER | CLONE_NEWNET) != 0)
    return kChildNoNamespace;
  if (!BringLoopbackUp())
    return kChildNoNamespace;
  const std::vector<TInterfaceAddress> list = ListInterfaceAddresses();
  const bool sawLoopback = std::any_of(list.begin(), list.end(), [](const TInterfaceAddress& a) {
    return a.Address == "127.0.0.1" && (a.Flags & IFF_UP) != 0;
  });
  if (!sawLoopback)
    return kChildNoLoopback;
  return LocalAddressTest() ? kChildOnline : kChildOffline;
}

TEST(DetectorAddressTest, MachineWithOnlyLoopbackUpIsOffline) {
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0)
    _exit(RunInFreshNetworkNamespace());
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  const int code = WEXITSTATUS(status);
  if (code == kChildNoNamespace)
    GTEST_SKIP() << "no network namespace could be made here";
  EXPECT_NE(code, kChildNoLoopback) << "the loopback address was not listed";
  EXPECT_EQ(code, kChildOffline);
}

// ---- The detector on the main loop ----

class DetectorTest : public ::testing::Test {
 protected:
  DetectorTest() : loop_(clock_) {}

  std::unique_ptr<TxxInternetDetector> Make() {
    auto detector = std::make_unique<TxxInternetDetector>(loop_, [this] {
      ++tests_;
      return online_;
    });
    detector->SetOnChangeState(
        [this](TxxInternetDetector& sender) { changes_.push_back(sender.IsOnline()); });
    return detector;
  }

  TManualClock clock_;
  TManualMainLoop loop_;
  bool online_ = false;
  int tests_ = 0;
  std::vector<bool> changes_;
};

TEST_F(DetectorTest, StartsOfflineEnabledAndTicksEveryHalfSecond) {
  auto detector = Make();
  EXPECT_FALSE(detector->IsOnline());
  EXPECT_TRUE(detector->Enabled());
  EXPECT_EQ(detector->Interval(), 500u);
  loop_.AdvanceBy(499);
  EXPECT_EQ(tests_, 0);
  loop_.AdvanceBy(1);
  EXPECT_EQ(tests_, 1);
  loop_.AdvanceBy(1000);
  EXPECT_EQ(tests_, 3);
  EXPECT_TRUE(changes_.empty());  // an offline machine raises no event at start
}

TEST_F(DetectorTest, FirstTickReportsAMachineThatIsOnline) {
  online_ = true;
  auto detector = Make();
  loop_.AdvanceBy(500);
  EXPECT_TRUE(detector->IsOnline());
  EXPECT_EQ(changes_, std::vector<bool>{true});
}

TEST_F(DetectorTest, GoingOnlineAndOfflineIsReportedOncePerChange) {
  auto detector = Make();
  loop_.AdvanceBy(500);
  online_ = true;
  loop_.AdvanceBy(500);
  EXPECT_TRUE(detector->IsOnline());
  loop_.AdvanceBy(1500);  // stays online: no more events
  online_ = false;
  loop_.AdvanceBy(500);
  EXPECT_FALSE(detector->IsOnline());
  EXPECT_EQ(changes_, (std::vector<bool>{true, false}));
}

TEST_F(DetectorTest, CheckNowTestsAtOnceAndKeepsTheSchedule) {
  online_ = true;
  auto detector = Make();
  loop_.AdvanceBy(200);
  detector->CheckNow();
  EXPECT_TRUE(detector->IsOnline());
  EXPECT_EQ(changes_, std::vector<bool>{true});
  EXPECT_EQ(loop_.NextDueIn(), 300u);
}

TEST_F(DetectorTest, DisabledDetectorStopsTestingAndKeepsItsState) {
  online_ = true;
  auto detector = Make();
  loop_.AdvanceBy(500);
  detector->SetEnabled(false);
  online_ = false;
  loop_.AdvanceBy(5000);
  EXPECT_EQ(tests_, 1);
  EXPECT_TRUE(detector->IsOnline());
  detector->SetEnabled(true);
  loop_.AdvanceBy(500);
  EXPECT_FALSE(detector->IsOnline());
}

TEST_F(DetectorTest, ZeroIntervalStopsTheTicks) {
  auto detector = Make();
  detector->SetInterval(0);
  loop_.AdvanceBy(5000);
  EXPECT_EQ(tests_, 0);
  EXPECT_FALSE(loop_.NextDueIn().has_value());
}

TEST_F(DetectorTest, NewIntervalStartsAFreshPeriod) {
  auto detector = Make();
  loop_.AdvanceBy(400);
  detector->SetInterval(1000);
  loop_.AdvanceBy(999);
  EXPECT_EQ(tests_, 0);
  loop_.AdvanceBy(1);
  EXPECT_EQ(tests_, 1);
}

TEST_F(DetectorTest, RestartSwitchesOnWithTheNewInterval) {
  auto detector = Make();
  detector->SetEnabled(false);
  detector->Restart(250);
  EXPECT_TRUE(detector->Enabled());
  EXPECT_EQ(detector->Interval(), 250u);
  loop_.AdvanceBy(1000);
  EXPECT_EQ(tests_, 4);
}

TEST_F(DetectorTest, MainWindowStartSequenceReportsAtOnce) {
  online_ = true;
  auto detector = Make();
  detector->CheckNow();
  detector->Restart(500);
  EXPECT_EQ(changes_, std::vector<bool>{true});
  loop_.AdvanceBy(500);
  EXPECT_EQ(changes_, std::vector<bool>{true});
  EXPECT_EQ(tests_, 2);
}

TEST_F(DetectorTest, HandlerThatDisablesTheDetectorIsNotOverriddenByTheTick) {
  auto detector = Make();
  detector->SetOnChangeState([](TxxInternetDetector& sender) { sender.SetEnabled(false); });
  online_ = true;
  loop_.AdvanceBy(500);
  loop_.AdvanceBy(5000);
  EXPECT_EQ(tests_, 1);
  EXPECT_FALSE(loop_.NextDueIn().has_value());
}

TEST_F(DetectorTest, HandlerMayDestroyTheDetector) {
  auto detector = Make();
  detector->SetOnChangeState([&](TxxInternetDetector&) { detector.reset(); });
  online_ = true;
  loop_.AdvanceBy(500);
  EXPECT_EQ(detector, nullptr);
  loop_.AdvanceBy(5000);
  EXPECT_EQ(tests_, 1);
}

TEST_F(DetectorTest, HandlerMayReplaceItself) {
  auto detector = Make();
  int replaced = 0;
  detector->SetOnChangeState([&](TxxInternetDetector& sender) {
    sender.SetOnChangeState([&](TxxInternetDetector&) { ++replaced; });
  });
  online_ = true;
  loop_.AdvanceBy(500);
  online_ = false;
  loop_.AdvanceBy(500);
  EXPECT_EQ(replaced, 1);
}

TEST_F(DetectorTest, DestroyedDetectorLeavesNoTimerBehind) {
  auto detector = Make();
  detector.reset();
  EXPECT_FALSE(loop_.NextDueIn().has_value());
  loop_.AdvanceBy(5000);
  EXPECT_EQ(tests_, 0);
}

}  // namespace
}  // namespace vantrel
