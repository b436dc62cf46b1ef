#include "net/block_socket.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "net/tcp_socket.h"
#include "support/peer_scripted_server.h"

namespace vantrel {
namespace {

using test::TPeerConnection;
using test::TScriptedPeer;
using Clock = std::chrono::steady_clock;

// Far above what each operation should take: only a wait that ignores its
// time-out (or an abort) fails them.
constexpr std::int32_t kShortTimeout = 200;
constexpr long long kWithinMs = 2000;

long long MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

void Pause(int milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

TScriptedPeer::TScript SendAndClose(std::string text) {
  return [text](TPeerConnection& peer) {
    peer.Send(text);
    peer.ShutdownSend();
    peer.StaySilent(5000);
  };
}

// Sends `first`, waits for the client's "go", sends `then` (or resets) and stays.
TScriptedPeer::TScript SendAfterGo(std::string first, std::string then, bool reset = false) {
  return [=](TPeerConnection& peer) {
    peer.Send(first);
    peer.ReceiveUntil("go\r\n");
    if (then.empty())
      reset ? peer.Reset() : peer.ShutdownSend();
    else
      peer.Send(then);
    peer.StaySilent(5000);
  };
}

void Silent(TPeerConnection& peer) {
  peer.StaySilent(60000);
}

void Endless(TPeerConnection& peer) {
  while (peer.Send(std::string(16 * 1024, 'e'))) {
  }
}

void ConnectTo(TxxTcpSocket& socket, const TScriptedPeer& peer) {
  ASSERT_TRUE(peer.Ok()) << peer.Error();
  socket.Connect(peer.Host(), peer.Port());
  ASSERT_EQ(socket.LastError(), 0) << GetErrorDesc(socket.LastError());
}

int ReceiveBufferSize(const TxxBlockSocket& socket) {
  int size = 0;
  socklen_t length = sizeof(size);
  getsockopt(socket.Handle(), SOL_SOCKET, SO_RCVBUF, &size, &length);
  return size;
}

TEST(Connect, BindEndpointsCloseAndReconnect) {
  TScriptedPeer first(SendAndClose("one\r\n"));
  TScriptedPeer second(SendAndClose("two\r\n"));
  TxxTcpSocket socket;
  socket.Bind("0.0.0.0", "0");  // no handle yet: Connect picks the family
  EXPECT_EQ(socket.LastError(), 0);
  EXPECT_FALSE(socket.HandleValid());
  ConnectTo(socket, first);
  EXPECT_EQ(socket.RemotePort(), first.PortNumber());
  EXPECT_EQ(socket.LocalIP(), "127.0.0.1");
  EXPECT_EQ(socket.ReadLine(5000), "one");
  socket.AddressFamily = TAddressFamily::afIPv6;
  socket.Close();
  EXPECT_FALSE(socket.HandleValid());
  EXPECT_EQ(socket.AddressFamily, TAddressFamily::afAny);  // the saved family is back
  ConnectTo(socket, second);
  EXPECT_EQ(socket.ReadLine(5000), "two");
}

TEST(Connect, RefusedUnknownServiceAndHangingConnectThatTimesOutOrIsAborted) {
  TxxTcpSocket refused;
  refused.Connect("127.0.0.1", std::to_string(test::FreeLoopbackPort()));
  EXPECT_EQ(refused.LastError(), kSockConnectionRefused);
  TxxTcpSocket unknown;
  unknown.Connect("127.0.0.1", "no-such-service-here");
  EXPECT_EQ(unknown.LastError(), kSockServiceNotFound);
  EXPECT_FALSE(unknown.HandleValid());

  // A peer whose backlog is full, so that a connect to it never completes.
  TScriptedPeer hanging(nullptr, {.Backlog = 0, .NeverAccept = true});
  const std::vector<int> fillers = test::FillBacklog(hanging);
  ASSERT_FALSE(fillers.empty()) << "could not fill the listen backlog";
  TxxTcpSocket socket;
  socket.Timeout = kShortTimeout;
  const auto start = Clock::now();
  socket.Connect("127.0.0.1", hanging.Port());
  EXPECT_EQ(socket.LastError(), kSockTimedOut);
  EXPECT_LT(MsSince(start), kWithinMs);

  TxxTcpSocket aborted;
  aborted.Timeout = 60000;
  const auto abortStart = Clock::now();
  std::thread aborter([&aborted] {
    Pause(100);
    aborted.Abort();
  });
  aborted.Connect("127.0.0.1", hanging.Port());
  aborter.join();
  EXPECT_EQ(aborted.LastError(), kSockInterrupted);
  EXPECT_LT(MsSince(abortStart), kWithinMs);
  for (const int handle : fillers)
    ::close(handle);
}

TEST(Connect, LoopbackIsReachedOverIPv4UnlessToldOtherwiseOrGivenAnIPv6Literal) {
  TScriptedPeer peer4(SendAndClose("v4\r\n"));
  ASSERT_TRUE(peer4.Ok()) << peer4.Error();
  TScriptedPeer peer6(SendAndClose("v6\r\n"), {.IPv6 = true, .Port = peer4.PortNumber()});
  ASSERT_TRUE(peer6.Ok()) << peer6.Error();
  // "127.0.0.1" stands for the system's loopback, which has both families.
  for (const auto& [host, preferIPv4, v6] :
       {std::tuple{"127.0.0.1", true, false}, {"127.0.0.1", false, true}, {"::1", true, true}}) {
    TxxTcpSocket socket;
    socket.PreferIPv4 = preferIPv4;
    socket.Connect(host, peer4.Port());
    EXPECT_EQ(socket.UsesIPv6(), v6) << host << " " << preferIPv4;
    EXPECT_EQ(socket.ReadLine(5000), v6 ? "v6" : "v4");
  }
}

TEST(Options, BufferSizeBeforeTheHandleAppliesToThatHandleOnlyAndOnAnOpenOneAtOnce) {
  TScriptedPeer peer(Silent);
  TxxTcpSocket plain;
  ConnectTo(plain, peer);
  const int systemDefault = ReceiveBufferSize(plain);
  plain.SetRecvBufferSize(30000);
  EXPECT_GE(ReceiveBufferSize(plain), 30000);
  EXPECT_LT(ReceiveBufferSize(plain), systemDefault);

  TxxTcpSocket socket;
  socket.SetRecvBufferSize(40000);
  ConnectTo(socket, peer);
  EXPECT_TRUE(socket.PendingOptions().empty());
  EXPECT_GE(ReceiveBufferSize(socket), 40000);
  socket.Close();
  ConnectTo(socket, peer);
  EXPECT_EQ(ReceiveBufferSize(socket), systemDefault);
}

TEST(Read, SilentOrDrippingPeerEndsWithTimeOutAndWhatArrived) {
  TScriptedPeer peer([](TPeerConnection& connection) {
    connection.Send("abc");
    connection.StaySilent(60000);
  });
  TxxTcpSocket socket;
  ConnectTo(socket, peer);
  const auto start = Clock::now();
  EXPECT_EQ(socket.ReadLine(kShortTimeout), "");
  EXPECT_EQ(socket.LastError(), kSockTimedOut);
  std::string data(10, '\0');
  EXPECT_EQ(socket.ReadExact(data.data(), 10, kShortTimeout), 3);
  EXPECT_EQ(socket.LastError(), kSockTimedOut);
  EXPECT_LT(MsSince(start), kWithinMs);

  // Each byte restarts a wait, but not the deadline of the whole line read;
  // without one the read would last until the peer gives up and closes.
  TScriptedPeer dripping([](TPeerConnection& connection) {
    for (int i = 0; i < 500 && connection.Send("2"); ++i)
      connection.StaySilent(20);
  });
  TxxTcpSocket dripped;
  ConnectTo(dripped, dripping);
  EXPECT_EQ(dripped.ReadLineWithin(kShortTimeout), "");
  EXPECT_EQ(dripped.LastError(), kSockTimedOut);
  EXPECT_TRUE(dripped.PendingData().starts_with("2")) << dripped.PendingData();
}

TEST(Read, PeerCloseOrResetGivesConnectionResetAndKeepsAnUnfinishedLine) {
  for (const bool reset : {false, true}) {
    TScriptedPeer peer(SendAfterGo("last words\r\nno end", "", reset));
    TxxTcpSocket socket;
    ConnectTo(socket, peer);
    EXPECT_EQ(socket.ReadLine(5000), "last words");
    socket.WriteText("go\r\n");
    EXPECT_EQ(socket.ReadLine(5000), "");
    EXPECT_EQ(socket.LastError(), kSockConnectionReset) << "reset " << reset;
    EXPECT_EQ(socket.PendingData(), "no end");
  }
}

TEST(ReadLine, HalfALineEndIsSwallowedByTheNextReadOnlyWithAcceptAnyLineEnd) {
  for (const auto& [any, first, second, secondLine] : {std::tuple{true, "a\r", "\nb\r\n", "b"},
                                                       {true, "a\n", "\rb\n", "b"},
                                                       {false, "a\r\n", "\nb\r\n", "\nb"}}) {
    TScriptedPeer peer(SendAfterGo(first, second));
    TxxTcpSocket socket;
    socket.AcceptAnyLineEnd = any;
    ConnectTo(socket, peer);
    EXPECT_EQ(socket.ReadLine(5000), "a");
    socket.WriteText("go\r\n");
    EXPECT_EQ(socket.ReadLine(5000), secondLine) << "any " << any;
  }
}

TEST(ReadLine, LineOfTheCapIsAcceptedALongerOneFailsWithMessageTooLong) {
  const std::string cap(kMaxLineLength, 'y');
  TScriptedPeer peer(SendAndClose(cap + "\r\n" + cap + "x\r\n"));
  TxxTcpSocket socket;
  ConnectTo(socket, peer);
  EXPECT_EQ(socket.ReadLine(5000), cap);
  EXPECT_EQ(socket.ReadLine(5000), "");
  EXPECT_EQ(socket.LastError(), kSockMessageTooLong);
  EXPECT_LE(socket.PendingData().size(), kMaxLineLength + kMaxChunkLength + 2);
}

TEST(Read, ExactAndByteReadsCollectAcrossPacketsAndLeaveTheRestPending) {
  TScriptedPeer peer([](TPeerConnection& connection) {
    connection.Send("line\r\nABCD");
    connection.StaySilent(50);
    connection.Send("EFGHIJz");
    connection.ShutdownSend();
    connection.StaySilent(5000);
  });
  TxxTcpSocket socket;
  ConnectTo(socket, peer);
  EXPECT_EQ(socket.ReadLine(5000), "line");
  EXPECT_EQ(socket.ReadExactText(8, 5000), "ABCDEFGH");
  EXPECT_EQ(socket.ReadExactText(2, 5000), "IJ");
  EXPECT_EQ(socket.PeekByte(5000), 'z');
  EXPECT_EQ(socket.ReadByte(5000), 'z');
  EXPECT_EQ(socket.ReadByte(5000), 0);
  EXPECT_EQ(socket.LastError(), kSockConnectionReset);
}

TEST(Read, NoChunkExceedsTheCap) {
  constexpr std::size_t kTotal = 4 * 1024 * 1024;
  TScriptedPeer peer([](TPeerConnection& connection) {
    connection.Send(std::string(kTotal, 'z'));
    connection.StaySilent(10000);
  });
  TxxTcpSocket socket;
  ConnectTo(socket, peer);
  Pause(100);  // let the system collect more than one chunk's worth
  for (std::size_t total = 0; total < kTotal;) {
    const std::string chunk = socket.ReadChunk(5000);
    ASSERT_EQ(socket.LastError(), 0);
    ASSERT_LE(chunk.size(), kMaxChunkLength);
    total += chunk.size();
  }
}

TEST(Write, WritingToAVanishedPeerFailsWithoutKillingTheProcess) {
  TScriptedPeer peer([](TPeerConnection& connection) { connection.Reset(); });
  TxxTcpSocket socket;
  ConnectTo(socket, peer);
  Pause(50);
  for (int i = 0; i < 100 && socket.LastError() == 0; ++i)
    socket.WriteText(std::string(64 * 1024, 'w'));
  EXPECT_EQ(socket.LastError(), kSockConnectionReset);
}

TEST(Write, LargeWriteToAReadingPeerCompletes) {
  constexpr std::size_t kSize = 8 * 1024 * 1024;
  std::atomic<std::size_t> received{0};
  TScriptedPeer peer([&received](TPeerConnection& connection) {
    received = connection.ReceiveExact(kSize, 20000).size();
  });
  TxxTcpSocket socket;
  ConnectTo(socket, peer);
  EXPECT_EQ(socket.WriteText(std::string(kSize, 'L')), static_cast<int>(kSize));
  EXPECT_TRUE(peer.WaitForScripts());
  EXPECT_EQ(received.load(), kSize);
}

TEST(Write, PeerThatNeverReadsMakesTheWriteTimeOut) {
  TScriptedPeer peer(Silent);
  TxxTcpSocket socket;
  socket.SetSendBufferSize(16 * 1024);
  ConnectTo(socket, peer);
  socket.Timeout = kShortTimeout;
  const auto start = Clock::now();
  EXPECT_EQ(socket.WriteText(std::string(64 * 1024 * 1024, 'S')), -1);
  EXPECT_EQ(socket.LastError(), kSockTimedOut);
  EXPECT_LT(MsSince(start), 10000);
}

TEST(Abort, AbortsFromAnotherThreadEndThirtyTwoBlockedReadsAtOnce) {
  constexpr int kChecks = 32;
  TScriptedPeer peer(Silent);
  std::vector<std::unique_ptr<TxxTcpSocket>> sockets;
  std::vector<std::thread> checks;
  std::atomic<int> waiting{0};
  std::atomic<int> interrupted{0};
  for (int i = 0; i < kChecks; ++i) {
    sockets.push_back(std::make_unique<TxxTcpSocket>());
    checks.emplace_back([&, socket = sockets.back().get()] {
      socket->Connect(peer.Host(), peer.Port());
      ++waiting;
      socket->ReadLine(60000);
      interrupted += socket->LastError() == kSockInterrupted ? 1 : 0;
    });
  }
  while (waiting.load() < kChecks)
    Pause(10);
  Pause(100);
  const auto start = Clock::now();
  for (auto& socket : sockets)
    socket->Abort();
  for (std::thread& check : checks)
    check.join();
  EXPECT_LT(MsSince(start), kWithinMs);
  EXPECT_EQ(interrupted.load(), kChecks);
}

TEST(Abort, AbortedSocketFailsEveryLaterCallAtOnceEvenWithDataWaiting) {
  TScriptedPeer peer(Endless);
  TxxTcpSocket socket;
  ConnectTo(socket, peer);
  Pause(50);
  socket.Abort();
  EXPECT_EQ(socket.ReadChunk(60000), "");
  EXPECT_EQ(socket.LastError(), kSockInterrupted);
  EXPECT_EQ(socket.WriteText("x"), -1);
  EXPECT_EQ(socket.LastError(), kSockInterrupted);
  socket.Connect(peer.Host(), peer.Port());
  EXPECT_EQ(socket.LastError(), kSockInterrupted);
}

TEST(Close, PeerSeesTheEndAndDrainingAnEndlessPeerIsBounded) {
  std::atomic<bool> sawEnd{false};
  TScriptedPeer listener([&sawEnd](TPeerConnection& connection) {
    bool closed = false;
    connection.ReceiveUntilClosed(5000, &closed);
    sawEnd = closed;
  });
  TxxTcpSocket socket;
  ConnectTo(socket, listener);
  socket.Close();
  EXPECT_TRUE(listener.WaitForScripts());
  EXPECT_TRUE(sawEnd.load());

  TScriptedPeer endless(Endless);
  ConnectTo(socket, endless);
  Pause(50);
  const auto start = Clock::now();
  socket.Close();
  EXPECT_FALSE(socket.HandleValid());
  EXPECT_LT(MsSince(start), 5000);
}

}  // namespace
}  // namespace vantrel
