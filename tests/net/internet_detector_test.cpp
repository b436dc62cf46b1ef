#include "net/internet_detector.h"

#include <gtest/gtest.h>

#include <net/if.h>
#include <sys/socket.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "platform/manual_main_loop.h"
#include "support/peer_netns.h"

namespace vantrel {
namespace {

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
      {"loopback only", {Lo("127.0.0.1"), Lo("::1", AF_INET6)}, false},
      {"IPv4 address", {Lo("127.0.0.1"), Eth("192.0.2.7")}, true},
      {"IPv6 global address", {Lo("::1", AF_INET6), Eth("2001:db8::7", AF_INET6)}, true},
      {"interface down", {Eth("192.0.2.7", AF_INET, 0)}, false},
      {"up without carrier", {Eth("192.0.2.7", AF_INET, IFF_UP)}, false},
      {"other loopback address", {Eth("127.0.1.1")}, false},
      {"IPv4 link-local (no DHCP answer)", {Eth("169.254.10.1")}, false},
      {"IPv6 link-local", {Eth("fe80::1%eth0", AF_INET6)}, false},
      {"IPv6 loopback on a non-loopback interface", {Eth("::1", AF_INET6)}, false},
      {"address on the loopback interface", {Lo("192.0.2.7")}, false},
      {"unknown family", {Eth("192.0.2.7", AF_PACKET)}, false},
      {"link-local next to a real address", {Eth("fe80::1", AF_INET6), Eth("198.51.100.1")}, true},
  };
  for (const TAddressRow& row : rows)
    EXPECT_EQ(HasNetworkAddress(row.Addresses), row.Online) << row.What;
}

TEST(DetectorAddressTest, MachineWithOnlyLoopbackUpIsOffline) {
  test::TNetNamespace ns;
  ASSERT_TRUE(ns.Ok()) << ns.Error();
  std::vector<TInterfaceAddress> list;
  bool online = true;
  ASSERT_TRUE(ns.RunOnThread([&] {
    list = ListInterfaceAddresses();
    online = LocalAddressTest();
  }));
  EXPECT_TRUE(std::any_of(list.begin(), list.end(), [](const TInterfaceAddress& a) {
    return a.Address == "127.0.0.1" && (a.Flags & IFF_UP) != 0;
  })) << "loopback not listed";
  EXPECT_FALSE(online);
}

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

TEST_F(DetectorTest, StartsOfflineAndTicksEveryHalfSecondReportingOncePerChange) {
  auto detector = Make();
  EXPECT_FALSE(detector->IsOnline());
  EXPECT_TRUE(detector->Enabled());
  loop_.AdvanceBy(499);
  EXPECT_EQ(tests_, 0);
  loop_.AdvanceBy(1);
  EXPECT_EQ(tests_, 1);
  EXPECT_TRUE(changes_.empty());  // an offline machine raises no event at start
  online_ = true;
  loop_.AdvanceBy(500);
  EXPECT_TRUE(detector->IsOnline());
  loop_.AdvanceBy(1500);  // stays online: no more events
  online_ = false;
  loop_.AdvanceBy(500);
  EXPECT_FALSE(detector->IsOnline());
  EXPECT_EQ(tests_, 6);
  EXPECT_EQ(changes_, (std::vector<bool>{true, false}));
}

TEST_F(DetectorTest, CheckNowTestsAtOnceAndKeepsTheScheduleAsTheMainWindowStarts) {
  online_ = true;
  auto detector = Make();
  loop_.AdvanceBy(200);
  detector->CheckNow();
  EXPECT_TRUE(detector->IsOnline());
  EXPECT_EQ(changes_, std::vector<bool>{true});
  EXPECT_EQ(loop_.NextDueIn(), 300u);
  detector->Restart(500);
  loop_.AdvanceBy(500);
  EXPECT_EQ(changes_, std::vector<bool>{true});
  EXPECT_EQ(tests_, 2);
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
  detector->Restart(250);  // switches on with the new interval
  loop_.AdvanceBy(1000);
  EXPECT_EQ(tests_, 5);
  EXPECT_FALSE(detector->IsOnline());
}

TEST_F(DetectorTest, NewIntervalStartsAFreshPeriodAndZeroStopsTheTicks) {
  auto detector = Make();
  loop_.AdvanceBy(400);
  detector->SetInterval(1000);
  loop_.AdvanceBy(999);
  EXPECT_EQ(tests_, 0);
  loop_.AdvanceBy(1);
  EXPECT_EQ(tests_, 1);
  detector->SetInterval(0);
  loop_.AdvanceBy(5000);
  EXPECT_EQ(tests_, 1);
  EXPECT_FALSE(loop_.NextDueIn().has_value());
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

TEST_F(DetectorTest, HandlerMayDestroyTheDetectorWhichLeavesNoTimerBehind) {
  auto detector = Make();
  detector->SetOnChangeState([&](TxxInternetDetector&) { detector.reset(); });
  online_ = true;
  loop_.AdvanceBy(500);
  EXPECT_EQ(detector, nullptr);
  EXPECT_FALSE(loop_.NextDueIn().has_value());
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

}  // namespace
}  // namespace vantrel
