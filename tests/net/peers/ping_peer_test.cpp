// ICMP echo against loopback and a TUN responder in a network namespace of
// the test's own (delay, unrelated replies, silence), over the
// raw socket (root) and the unprivileged datagram socket ("nobody").

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
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

// What one ping gave; trivially copyable, so that it crosses the pipe of an
// unprivileged child as raw bytes.
struct TOutcome {
  bool Ok = false;
  int Time = -1;
  int Error = -1;
  bool Datagram = false;
  long long ElapsedMs = 0;
  char From[48] = {};
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
  std::snprintf(outcome.From, sizeof outcome.From, "%s", ping.ReplyFrom.c_str());
  return outcome;
}

TOutcome PingOnce(const std::string& host, std::int32_t timeout) {
  TxxPing ping;
  ping.Timeout = timeout;
  return PingOnce(ping, host);
}

// Pings from inside the namespace on a thread of this process (root: raw socket).
TOutcome PingInside(TNetNamespace& ns, const std::string& host, std::int32_t timeout) {
  TOutcome outcome;
  EXPECT_TRUE(ns.RunOnThread([&] { outcome = PingOnce(host, timeout); })) << "setns";
  return outcome;
}

// Pings from inside the namespace as "nobody" (datagram socket).
TOutcome PingAsNobody(TNetNamespace& ns, const std::string& host, std::int32_t timeout,
                      const char* groupRange = nullptr) {
  const auto bytes = ns.RunAsNobody(
      [&] {
        const TOutcome outcome = PingOnce(host, timeout);
        return std::string(reinterpret_cast<const char*>(&outcome), sizeof outcome);
      },
      groupRange);
  TOutcome outcome;
  EXPECT_TRUE(bytes && bytes->size() == sizeof outcome) << ns.Error();
  if (bytes && bytes->size() == sizeof outcome)
    std::memcpy(&outcome, bytes->data(), sizeof outcome);
  return outcome;
}

TEST(PingLoopback, RootPingsOverARawSocketAgainAndSwitchingFamily) {
  TxxPing ping;
  ping.Timeout = 5000;
  // A handle kept from the IPv4 ping could not reach an IPv6 host.
  for (const char* host : {"127.0.0.1", "127.0.0.1", "::1", "127.0.0.1"}) {
    const TOutcome outcome = PingOnce(ping, host);
    ASSERT_TRUE(outcome.Ok) << host << ": " << GetErrorDesc(outcome.Error)
                            << " (the peer tests run as root)";
    EXPECT_FALSE(outcome.Datagram);
    EXPECT_GE(outcome.Time, 0);
    EXPECT_LT(outcome.Time, kGenerousMs);
    EXPECT_STREQ(outcome.From, host);
  }
  EXPECT_EQ(ping.Sequence, 4u);
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

TEST(PingDelayedTarget, TimeIsTheRoundTripOfTheDelayedReplyNotOfAnEarlierOnesLateReply) {
  TTunPingTarget target({.DelayMs = kDelayMs});
  ASSERT_TRUE(target.Ok()) << target.Error();
  for (const char* host : {TTunPingTarget::kTargetIPv4, TTunPingTarget::kTargetIPv6}) {
    TOutcome early;
    TOutcome outcome;
    ASSERT_TRUE(target.Namespace().RunOnThread([&] {
      TxxPing ping;
      ping.Timeout = kDelayMs / 2;
      early = PingOnce(ping, host);
      // The first request's reply comes while this one waits.
      ping.Timeout = 5000;
      outcome = PingOnce(ping, host);
    }));
    EXPECT_FALSE(early.Ok) << host;
    EXPECT_EQ(early.Error, kSockTimedOut) << host;
    EXPECT_EQ(early.Time, -1) << host;
    ASSERT_TRUE(outcome.Ok) << host << ": " << GetErrorDesc(outcome.Error) << "\n" << target.Log();
    EXPECT_GE(outcome.Time, kShortestDelayed) << host;
    EXPECT_LT(outcome.Time, kDelayMs + kGenerousMs) << host;
    EXPECT_STREQ(outcome.From, host);
  }
  EXPECT_EQ(target.Count("dropped"), 0) << "our checksum was refused:\n" << target.Log();
}

TEST(PingDelayedTarget, FloodOfUnrelatedRepliesDoesNotStretchTheTimeout) {
  // Raw socket: decoys with other identifiers; datagram socket: with other sequences.
  for (const bool datagram : {false, true}) {
    // One decoy every 10 ms for 5 s, never our reply.
    TTunPingTarget target(
        {.Decoys = 500, .DecoyIntervalMs = 10, .DecoysDifferInSequence = datagram, .Silent = true});
    ASSERT_TRUE(target.Ok()) << target.Error();
    const TOutcome outcome =
        datagram ? PingAsNobody(target.Namespace(), TTunPingTarget::kTargetIPv6, 500)
                 : PingInside(target.Namespace(), TTunPingTarget::kTargetIPv4, 500);
    EXPECT_FALSE(outcome.Ok) << "datagram " << datagram;
    EXPECT_EQ(outcome.Error, kSockTimedOut);
    // Waiting anew after every datagram would last as long as the flood.
    EXPECT_LT(outcome.ElapsedMs, 2500);
    EXPECT_GE(target.Count("decoy"), 10) << "the flood did not run:\n" << target.Log();
  }
}

TEST(PingDelayedTarget, AbortOrAnUnknownHostEndsThePingAtOnce) {
  TTunPingTarget target({.Silent = true});
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
  // A name that cannot be resolved (the lookup cannot leave the namespace).
  outcome = PingInside(target.Namespace(), "no-such-host.invalid", 5000);
  EXPECT_FALSE(outcome.Ok);
  EXPECT_EQ(outcome.Time, -1);
  EXPECT_NE(outcome.Error, 0);
  EXPECT_LT(outcome.ElapsedMs, kGenerousMs);
}

TEST(PingUnprivileged, PingsLoopbackOverTheDatagramSocketOrIsDenied) {
  TNetNamespace ns;
  ASSERT_TRUE(ns.Ok()) << ns.Error();
  for (const char* host : {"127.0.0.1", "::1"}) {
    const TOutcome outcome = PingAsNobody(ns, host, 5000);
    EXPECT_TRUE(outcome.Ok) << host << ": " << GetErrorDesc(outcome.Error);
    EXPECT_TRUE(outcome.Datagram) << host;
    EXPECT_STREQ(outcome.From, host);
  }
  // Without any ICMP socket: no group may open datagram sockets.
  const TOutcome denied = PingAsNobody(ns, "127.0.0.1", 1000, "1 0");
  EXPECT_FALSE(denied.Ok);
  EXPECT_EQ(denied.Error, kSockPermissionDenied);
  EXPECT_EQ(denied.Time, -1);
}

}  // namespace
}  // namespace vantrel
