// ICMP echo against real targets: the loopback addresses, and a TUN
// responder in a network namespace of the test's own that answers after a
// delay, after unrelated replies, never, or behind an nftables rule that drops
// some requests. Both the raw socket (we run as root) and the unprivileged
// datagram socket (a child that became "nobody"). Times are asserted with
// wide margins only.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "net/ping.h"
#include "support/peer_netns.h"

namespace vantrel {
namespace {

using test::TNetNamespace;
using test::TTunPingTarget;
using Clock = std::chrono::steady_clock;

constexpr int kDelayMs = 200;
// The reply cannot come sooner than the delay; the tick may lose a millisecond.
constexpr int kShortestDelayed = kDelayMs - 2;
// Anything slower than this is a fault, not a busy machine.
constexpr long long kGenerousMs = 3000;

struct TOutcome {
  bool Ok = false;
  int Time = -1;
  int Error = 0;
  bool Datagram = false;
  long long ElapsedMs = 0;
  std::string From;
};

TOutcome PingOnce(TxxPing& ping, const std::string& host) {
  TOutcome outcome;
  const auto start = Clock::now();
  outcome.Ok = ping.Ping(host);
  outcome.ElapsedMs =
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
  outcome.Time = ping.PingTime;
  outcome.Error = ping.LastError();
  outcome.Datagram = ping.Sock().IsDatagram();
  outcome.From = ping.ReplyFrom;
  return outcome;
}

TOutcome PingOnce(const std::string& host, std::int32_t timeout) {
  TxxPing ping;
  ping.Timeout = timeout;
  return PingOnce(ping, host);
}

// The outcome through the pipe of an unprivileged child, and back.
std::string Encode(const TOutcome& outcome) {
  return std::to_string(outcome.Ok) + " " + std::to_string(outcome.Time) + " " +
         std::to_string(outcome.Error) + " " + std::to_string(outcome.Datagram) + " " +
         std::to_string(outcome.ElapsedMs) + " " + outcome.From;
}

TOutcome Decode(const std::string& text) {
  TOutcome outcome;
  int ok = 0;
  int datagram = 0;
  char from[64] = {};
  std::sscanf(text.c_str(), "%d %d %d %d %lld %63s", &ok, &outcome.Time, &outcome.Error, &datagram,
              &outcome.ElapsedMs, from);
  outcome.Ok = ok != 0;
  outcome.Datagram = datagram != 0;
  outcome.From = from;
  return outcome;
}

// Pings from inside the namespace on a thread of this process (root: raw socket).
TOutcome PingInside(TNetNamespace& ns, const std::string& host, std::int32_t timeout) {
  TOutcome outcome;
  outcome.Error = -1;
  EXPECT_TRUE(ns.RunOnThread([&] { outcome = PingOnce(host, timeout); })) << "setns";
  return outcome;
}

// Pings from inside the namespace as "nobody" (datagram socket).
TOutcome PingAsNobody(TNetNamespace& ns, const std::string& host, std::int32_t timeout) {
  const auto text = ns.RunAsNobody([&] { return Encode(PingOnce(host, timeout)); });
  EXPECT_TRUE(text.has_value()) << ns.Error();
  TOutcome outcome;
  outcome.Error = -1;
  return text ? Decode(*text) : outcome;
}

TTunPingTarget::TOptions Delayed(int delayMs) {
  TTunPingTarget::TOptions options;
  options.DelayMs = delayMs;
  return options;
}

// ---- Loopback, as root: the raw socket ----

TEST(PingLoopback, RootPingsLoopbackOverARawSocket) {
  for (const char* host : {"127.0.0.1", "::1"}) {
    const TOutcome outcome = PingOnce(host, 5000);
    ASSERT_TRUE(outcome.Ok) << host << ": " << GetErrorDesc(outcome.Error)
                            << " (the peer tests run as root)";
    EXPECT_FALSE(outcome.Datagram);
    EXPECT_GE(outcome.Time, 0);
    EXPECT_LT(outcome.Time, kGenerousMs);
    EXPECT_EQ(outcome.From, host);
  }
}

TEST(PingLoopback, OneObjectPingsAgainAndSwitchesFamily) {
  TxxPing ping;
  EXPECT_TRUE(PingOnce(ping, "127.0.0.1").Ok);
  EXPECT_TRUE(PingOnce(ping, "127.0.0.1").Ok);
  EXPECT_EQ(ping.Sequence, 2u);
  // A handle kept from the IPv4 ping could not reach an IPv6 host.
  EXPECT_TRUE(PingOnce(ping, "::1").Ok) << GetErrorDesc(ping.LastError());
  EXPECT_TRUE(PingOnce(ping, "127.0.0.1").Ok) << GetErrorDesc(ping.LastError());
}

TEST(PingLoopback, ParallelPingersEachGetTheirReply) {
  // Every raw socket sees every reply from loopback; each must pick its own.
  constexpr int kThreads = 16;
  std::atomic<int> answered{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&answered, i] {
      TxxPing ping;
      for (int round = 0; round < 5; ++round)
        answered += PingOnce(ping, i % 2 == 0 ? "127.0.0.1" : "::1").Ok ? 1 : 0;
    });
  }
  for (std::thread& thread : threads)
    thread.join();
  EXPECT_EQ(answered.load(), kThreads * 5);
}

TEST(PingLoopback, UnknownHostFailsAtOnceWithoutTime) {
  // In an empty namespace the name lookup cannot leave the machine.
  TNetNamespace ns;
  ASSERT_TRUE(ns.Ok()) << ns.Error();
  const TOutcome outcome = PingInside(ns, "no-such-host.invalid", 5000);
  EXPECT_FALSE(outcome.Ok);
  EXPECT_EQ(outcome.Time, -1);
  EXPECT_NE(outcome.Error, 0);
  EXPECT_LT(outcome.ElapsedMs, kGenerousMs);
}

// ---- A delayed target, as root ----

TEST(PingDelayedTarget, TimeIsTheRoundTripOfTheDelayedReply) {
  TTunPingTarget target(Delayed(kDelayMs));
  ASSERT_TRUE(target.Ok()) << target.Error();
  for (const char* host : {TTunPingTarget::kTargetIPv4, TTunPingTarget::kTargetIPv6}) {
    const TOutcome outcome = PingInside(target.Namespace(), host, 5000);
    ASSERT_TRUE(outcome.Ok) << host << ": " << GetErrorDesc(outcome.Error) << "\n" << target.Log();
    EXPECT_GE(outcome.Time, kShortestDelayed) << host;
    EXPECT_LT(outcome.Time, kDelayMs + kGenerousMs) << host;
    EXPECT_EQ(outcome.From, host);
  }
  EXPECT_EQ(target.Count("dropped"), 0) << "our checksum was refused:\n" << target.Log();
}

TEST(PingDelayedTarget, RepliesToOtherIdentifiersAreSkipped) {
  TTunPingTarget::TOptions options = Delayed(kDelayMs);
  options.Decoys = 3;
  TTunPingTarget target(options);
  ASSERT_TRUE(target.Ok()) << target.Error();
  for (const char* host : {TTunPingTarget::kTargetIPv4, TTunPingTarget::kTargetIPv6}) {
    const TOutcome outcome = PingInside(target.Namespace(), host, 5000);
    ASSERT_TRUE(outcome.Ok) << host << ": " << GetErrorDesc(outcome.Error);
    // Taking a decoy would end the ping long before the delay.
    EXPECT_GE(outcome.Time, kShortestDelayed) << host;
  }
  EXPECT_GE(target.Count("decoy"), 6);
}

TEST(PingDelayedTarget, FloodOfUnrelatedRepliesDoesNotStretchTheTimeout) {
  TTunPingTarget::TOptions options;
  options.Silent = true;
  options.Decoys = 500;  // one every 10 ms for 5 s, never our reply
  options.DecoyIntervalMs = 10;
  TTunPingTarget target(options);
  ASSERT_TRUE(target.Ok()) << target.Error();
  const TOutcome outcome = PingInside(target.Namespace(), TTunPingTarget::kTargetIPv4, 500);
  const int seen = target.Count("decoy");
  EXPECT_FALSE(outcome.Ok);
  EXPECT_EQ(outcome.Error, kSockTimedOut);
  // Waiting anew after every datagram would last as long as the flood.
  EXPECT_LT(outcome.ElapsedMs, 2500);
  EXPECT_GE(seen, 10) << "the flood did not run:\n" << target.Log();
}

TEST(PingDelayedTarget, AbortFromAnotherThreadEndsAWaitingPing) {
  TTunPingTarget::TOptions options;
  options.Silent = true;
  TTunPingTarget target(options);
  ASSERT_TRUE(target.Ok()) << target.Error();
  TxxPing ping;
  ping.Timeout = 60000;
  TOutcome outcome;
  std::thread aborter([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    ping.Abort();
  });
  ASSERT_TRUE(target.Namespace().RunOnThread(
      [&] { outcome = PingOnce(ping, TTunPingTarget::kTargetIPv4); }));
  aborter.join();
  EXPECT_FALSE(outcome.Ok);
  EXPECT_EQ(outcome.Error, kSockInterrupted);
  EXPECT_LT(outcome.ElapsedMs, kGenerousMs);
}

TEST(PingLossyTarget, LostEchoesTimeOutAndTheOthersAreAnswered) {
  TTunPingTarget::TOptions options;
  options.LossPercent = 50;
  TTunPingTarget target(options);
  ASSERT_TRUE(target.Ok()) << target.Error();
  int answered = 0;
  int lost = 0;
  ASSERT_TRUE(target.Namespace().RunOnThread([&] {
    TxxPing ping;
    ping.Timeout = 300;
    for (int i = 0; i < 24; ++i) {
      const TOutcome outcome =
          PingOnce(ping, i % 2 == 0 ? TTunPingTarget::kTargetIPv4 : TTunPingTarget::kTargetIPv6);
      if (outcome.Ok) {
        ++answered;
        continue;
      }
      ++lost;
      EXPECT_EQ(outcome.Error, kSockTimedOut);
      EXPECT_EQ(outcome.Time, -1);
      EXPECT_LT(outcome.ElapsedMs, kGenerousMs);
    }
  }));
  // Each outcome has even odds; all 24 alike would be a one-in-8-million event.
  EXPECT_GT(answered, 0);
  EXPECT_GT(lost, 0);
  EXPECT_EQ(target.Count("reply"), answered + lost) << "the losses were not on the way back";
}

// ---- Without privileges: the kernel's ICMP datagram socket ----

TEST(PingUnprivileged, PingsLoopbackOverTheDatagramSocket) {
  TNetNamespace ns;
  ASSERT_TRUE(ns.Ok()) << ns.Error();
  for (const char* host : {"127.0.0.1", "::1"}) {
    const TOutcome outcome = PingAsNobody(ns, host, 5000);
    EXPECT_TRUE(outcome.Ok) << host << ": " << GetErrorDesc(outcome.Error);
    EXPECT_TRUE(outcome.Datagram) << host;
    EXPECT_EQ(outcome.From, host);
  }
}

TEST(PingUnprivileged, ReplyIsTakenBySequenceAmongTheKernelsIdentifier) {
  TTunPingTarget::TOptions options = Delayed(kDelayMs);
  options.Decoys = 3;  // our identifier, other sequence numbers
  options.DecoysDifferInSequence = true;
  TTunPingTarget target(options);
  ASSERT_TRUE(target.Ok()) << target.Error();
  for (const char* host : {TTunPingTarget::kTargetIPv4, TTunPingTarget::kTargetIPv6}) {
    const TOutcome outcome = PingAsNobody(target.Namespace(), host, 5000);
    ASSERT_TRUE(outcome.Ok) << host << ": " << GetErrorDesc(outcome.Error) << "\n" << target.Log();
    EXPECT_TRUE(outcome.Datagram);
    EXPECT_GE(outcome.Time, kShortestDelayed) << host;
  }
}

TEST(PingUnprivileged, FloodOfOtherSequencesDoesNotStretchTheTimeout) {
  TTunPingTarget::TOptions options;
  options.Silent = true;
  options.Decoys = 500;
  options.DecoyIntervalMs = 10;
  options.DecoysDifferInSequence = true;
  TTunPingTarget target(options);
  ASSERT_TRUE(target.Ok()) << target.Error();
  const TOutcome outcome = PingAsNobody(target.Namespace(), TTunPingTarget::kTargetIPv6, 500);
  EXPECT_FALSE(outcome.Ok);
  EXPECT_EQ(outcome.Error, kSockTimedOut);
  EXPECT_LT(outcome.ElapsedMs, 2500);
  EXPECT_GE(target.Count("decoy"), 10);
}

TEST(PingUnprivileged, WithoutAnyIcmpSocketPermissionIsDenied) {
  TNetNamespace ns;
  ASSERT_TRUE(ns.Ok()) << ns.Error();
  const auto text = ns.RunAsNobody([] { return Encode(PingOnce("127.0.0.1", 1000)); }, "1 0");
  ASSERT_TRUE(text.has_value()) << ns.Error();
  const TOutcome outcome = Decode(*text);
  EXPECT_FALSE(outcome.Ok);
  EXPECT_EQ(outcome.Error, kSockPermissionDenied);
  EXPECT_EQ(outcome.Time, -1);
}

}  // namespace
}  // namespace vantrel
