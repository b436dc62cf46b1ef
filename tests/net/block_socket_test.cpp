#include "net/block_socket.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "net/client_socket.h"
#include "net/tcp_socket.h"
#include "support/peer_scripted_server.h"

namespace vantrel {
namespace {

using test::TPeerConnection;
using test::TPeerOptions;
using test::TScriptedPeer;

// Limits the tests assert against: far above what each operation should take,
// so that only a wait that ignores its time-out (or an abort) fails them.
constexpr std::int32_t kShortTimeout = 200;
constexpr long kWellWithinShortTimeoutMs = 2000;
constexpr long kAbortDeadlineMs = 2000;

class TStopwatch {
 public:
  long ElapsedMs() const {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                 std::chrono::steady_clock::now() - Start_)
                                 .count());
  }

 private:
  std::chrono::steady_clock::time_point Start_ = std::chrono::steady_clock::now();
};

void Pause(int milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

// A peer that sends `text` and then closes its sending side.
TScriptedPeer::TScript SendAndClose(std::string text) {
  return [text](TPeerConnection& peer) {
    peer.Send(text);
    peer.ShutdownSend();
    peer.StaySilent(5000);
  };
}

TScriptedPeer::TScript Silent() {
  return [](TPeerConnection& peer) { peer.StaySilent(60000); };
}

// A peer that answers every line with itself: echo.
TScriptedPeer::TScript LineEcho() {
  return [](TPeerConnection& peer) {
    for (;;) {
      const std::string line = peer.ReceiveUntil("\r\n", 10000);
      if (line.empty() || !peer.Send(line))
        return;
    }
  };
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

// ---- Connecting ----

TEST(Connect, BindToAnyOnAFreshSocketWaitsForConnectToMakeTheHandle) {
  TScriptedPeer peer(SendAndClose("220 ready\r\n"));
  TxxTcpSocket socket;
  socket.Bind("0.0.0.0", "0");
  EXPECT_EQ(socket.LastError(), 0);
  EXPECT_FALSE(socket.HandleValid());
  ConnectTo(socket, peer);
  EXPECT_TRUE(socket.HandleValid());
  EXPECT_EQ(socket.ReadLine(5000), "220 ready");
}

TEST(Connect, ClosedPortIsRefused) {
  const int port = test::FreeLoopbackPort();
  ASSERT_NE(port, 0);
  TxxTcpSocket socket;
  socket.Connect("127.0.0.1", std::to_string(port));
  EXPECT_EQ(socket.LastError(), kSockConnectionRefused);
}

TEST(Connect, UnknownServiceNameFailsBeforeAnyHandleIsMade) {
  TxxTcpSocket socket;
  socket.Connect("127.0.0.1", "no-such-service-here");
  EXPECT_EQ(socket.LastError(), kSockServiceNotFound);
  EXPECT_FALSE(socket.HandleValid());
}

TEST(Connect, HangingConnectEndsWithTimeOutWithinTheSocketTimeout) {
  TPeerOptions options;
  options.Backlog = 0;
  options.NeverAccept = true;
  TScriptedPeer peer(nullptr, options);
  ASSERT_TRUE(peer.Ok()) << peer.Error();
  const std::vector<int> fillers = test::FillBacklog(peer);
  ASSERT_FALSE(fillers.empty()) << "could not fill the listen backlog";
  TxxTcpSocket socket;
  socket.Timeout = kShortTimeout;
  const TStopwatch watch;
  socket.Connect("127.0.0.1", peer.Port());
  EXPECT_EQ(socket.LastError(), kSockTimedOut);
  EXPECT_LT(watch.ElapsedMs(), kWellWithinShortTimeoutMs);
  for (const int handle : fillers)
    ::close(handle);
}

TEST(Connect, ServiceNamesComeFromTheServicesDatabase) {
  TxxTcpSocket socket;
  EXPECT_EQ(socket.ResolvePort("smtp"), 25);
  EXPECT_EQ(socket.ResolvePort("pop3"), 110);
  EXPECT_EQ(socket.ResolvePort("ftp"), 21);
  EXPECT_EQ(socket.ResolvePort("8080"), 8080);
  EXPECT_EQ(socket.LastError(), 0);
  EXPECT_EQ(socket.ResolvePort("no-such-service-here"), 0);
  EXPECT_EQ(socket.LastError(), kSockServiceNotFound);
}

TEST(Connect, LoopbackWithBothFamiliesIsReachedOverIPv4UnlessToldOtherwise) {
  TScriptedPeer peer4(SendAndClose("v4\r\n"));
  ASSERT_TRUE(peer4.Ok()) << peer4.Error();
  TPeerOptions options;
  options.IPv6 = true;
  options.Port = peer4.PortNumber();
  TScriptedPeer peer6(SendAndClose("v6\r\n"), options);
  ASSERT_TRUE(peer6.Ok()) << peer6.Error();

  // "127.0.0.1" stands for the system's loopback, which has both families.
  TxxTcpSocket preferring4;
  preferring4.Connect("127.0.0.1", peer4.Port());
  EXPECT_FALSE(preferring4.UsesIPv6());
  EXPECT_EQ(preferring4.ReadLine(5000), "v4");

  TxxTcpSocket preferring6;
  preferring6.PreferIPv4 = false;
  preferring6.Connect("127.0.0.1", peer4.Port());
  EXPECT_TRUE(preferring6.UsesIPv6());
  EXPECT_EQ(preferring6.ReadLine(5000), "v6");
}

TEST(Connect, IPv6LiteralCreatesAnIPv6Socket) {
  TPeerOptions options;
  options.IPv6 = true;
  TScriptedPeer peer(SendAndClose("hello6\r\n"), options);
  TxxTcpSocket socket;
  ConnectTo(socket, peer);
  EXPECT_TRUE(socket.UsesIPv6());
  EXPECT_EQ(socket.RemoteIP(), "::1");
  EXPECT_EQ(socket.ReadLine(5000), "hello6");
}

TEST(Connect, HostNameLocalhostIsResolved) {
  TScriptedPeer peer(SendAndClose("hi\r\n"));
  ASSERT_TRUE(peer.Ok());
  TxxTcpSocket socket;
  socket.Connect("localhost", peer.Port());
  ASSERT_EQ(socket.LastError(), 0);
  EXPECT_EQ(socket.RemoteIP(), "127.0.0.1");
  EXPECT_EQ(socket.ReadLine(5000), "hi");
}

TEST(Connect, EndpointsAreReadBackFromTheSystem) {
  TScriptedPeer peer(Silent());
  TxxTcpSocket socket;
  ConnectTo(socket, peer);
  EXPECT_EQ(socket.RemoteIP(), "127.0.0.1");
  EXPECT_EQ(socket.RemotePort(), peer.PortNumber());
  EXPECT_EQ(socket.LocalIP(), "127.0.0.1");
  EXPECT_GT(socket.LocalPort(), 0);
  EXPECT_NE(socket.LocalPort(), peer.PortNumber());
}

TEST(Connect, ClosedSocketObjectConnectsAgain) {
  TScriptedPeer first(SendAndClose("one\r\n"));
  TScriptedPeer second(SendAndClose("two\r\n"));
  TxxTcpSocket socket;
  ConnectTo(socket, first);
  EXPECT_EQ(socket.ReadLine(5000), "one");
  socket.Close();
  EXPECT_FALSE(socket.HandleValid());
  EXPECT_EQ(socket.LastError(), 0);
  ConnectTo(socket, second);
  EXPECT_EQ(socket.ReadLine(5000), "two");
}

TEST(Connect, CloseRestoresTheSavedAddressFamily) {
  TxxTcpSocket socket;
  socket.AddressFamily = TAddressFamily::afIPv6;
  socket.Close();
  EXPECT_EQ(socket.AddressFamily, TAddressFamily::afAny);
}

TEST(Resolve, LiteralsAndLocalNamesResolveWithoutTheNetwork) {
  TxxTcpSocket socket;
  EXPECT_EQ(socket.ResolveName("127.0.0.1"), "127.0.0.1");
  EXPECT_EQ(socket.ResolveName("::1"), "::1");
  EXPECT_EQ(socket.ResolveName("localhost"), "127.0.0.1");
  std::vector<std::string> list;
  socket.ResolveNameList("localhost", list);
  EXPECT_EQ(list, std::vector<std::string>{"127.0.0.1"});
  EXPECT_FALSE(socket.LocalHostName().empty());
}

// ---- Socket options ----

TEST(Options, BufferSizesSetBeforeTheHandleApplyToThatHandleOnly) {
  TScriptedPeer peer(Silent());
  TxxTcpSocket plain;
  ConnectTo(plain, peer);
  const int systemDefault = ReceiveBufferSize(plain);

  TxxTcpSocket socket;
  socket.SetRecvBufferSize(40000);
  socket.SetSendBufferSize(50000);
  EXPECT_EQ(socket.LastError(), 0);
  ASSERT_EQ(socket.PendingOptions().size(), 2u);
  EXPECT_EQ(socket.PendingOptions()[0].Kind, TxxSocketOption::RecvBufferSize);
  ConnectTo(socket, peer);
  EXPECT_TRUE(socket.PendingOptions().empty());
  const int applied = ReceiveBufferSize(socket);
  EXPECT_GE(applied, 40000);
  EXPECT_NE(applied, systemDefault);

  socket.Close();
  ConnectTo(socket, peer);
  EXPECT_EQ(ReceiveBufferSize(socket), systemDefault);
}

TEST(Options, OptionOnAnOpenHandleAppliesAtOnce) {
  TScriptedPeer peer(Silent());
  TxxTcpSocket socket;
  ConnectTo(socket, peer);
  socket.SetRecvBufferSize(30000);
  EXPECT_EQ(socket.LastError(), 0);
  EXPECT_TRUE(socket.PendingOptions().empty());
  EXPECT_GE(ReceiveBufferSize(socket), 30000);
  EXPECT_LT(ReceiveBufferSize(socket), 131072);
}

// ---- Reading lines ----

TEST(ReadLine, SilentServerEndsWithTimeOutWellWithinTheLimit) {
  TScriptedPeer peer(Silent());
  TxxTcpSocket socket;
  ConnectTo(socket, peer);
  const TStopwatch watch;
  EXPECT_EQ(socket.ReadLine(kShortTimeout), "");
  EXPECT_EQ(socket.LastError(), kSockTimedOut);
  EXPECT_LT(watch.ElapsedMs(), kWellWithinShortTimeoutMs);
  EXPECT_TRUE(socket.HandleValid());
}

TEST(ReadLine, PeerCloseAfterDataGivesTheDataThenConnectionReset) {
  TScriptedPeer peer(SendAndClose("last words\r\n"));
  TxxTcpSocket socket;
  ConnectTo(socket, peer);
  EXPECT_EQ(socket.ReadLine(5000), "last words");
  EXPECT_EQ(socket.LastError(), 0);
  EXPECT_EQ(socket.ReadLine(5000), "");
  EXPECT_EQ(socket.LastError(), kSockConnectionReset);
}

TEST(ReadLine, PeerClosingWhileReadLineWaitsGivesConnectionReset) {
  TScriptedPeer peer([](TPeerConnection& connection) {
    connection.StaySilent(100);
    connection.ShutdownSend();
    connection.StaySilent(5000);
  });
  TxxTcpSocket socket;
  ConnectTo(socket, peer);
  EXPECT_EQ(socket.ReadLine(10000), "");
  EXPECT_EQ(socket.LastError(), kSockConnectionReset);
}

TEST(ReadLine, UnfinishedLineAtTheEndIsKeptPending) {
  TScriptedPeer peer(SendAndClose("no end"));
  TxxTcpSocket socket;
  ConnectTo(socket, peer);
  EXPECT_EQ(socket.ReadLine(5000), "");
  EXPECT_EQ(socket.LastError(), kSockConnectionReset);
  EXPECT_EQ(socket.PendingData(), "no end");
}

TEST(ReadLine, ResetByPeerGivesConnectionReset) {
  TScriptedPeer peer([](TPeerConnection& connection) {
    connection.ReceiveUntil("\r\n");
    connection.Reset();
  });
  TxxTcpSocket socket;
  ConnectTo(socket, peer);
  socket.WriteText("go\r\n");
  EXPECT_EQ(socket.ReadLine(5000), "");
  EXPECT_EQ(socket.LastError(), kSockConnectionReset);
}

TEST(ReadUntil, EveryLineEndEndsALineWithAcceptAnyLineEnd) {
  TScriptedPeer peer(SendAndClose("l1\r\nl2\nl3\rl4\n\rl5\r\n"));
  TxxTcpSocket socket;
  socket.AcceptAnyLineEnd = true;
  ConnectTo(socket, peer);
  for (const char* expected : {"l1", "l2", "l3", "l4", "l5"})
    EXPECT_EQ(socket.ReadLine(5000), expected);
  EXPECT_EQ(socket.ReadLine(5000), "");
  EXPECT_EQ(socket.LastError(), kSockConnectionReset);
}

TEST(ReadUntil, WithoutAcceptAnyLineEndOnlyCRLFEndsALine) {
  TScriptedPeer peer(SendAndClose("l1\r\nl2\nl3\rl4\n\rl5\r\n"));
  TxxTcpSocket socket;
  ConnectTo(socket, peer);
  EXPECT_EQ(socket.ReadLine(5000), "l1");
  EXPECT_EQ(socket.ReadLine(5000), "l2\nl3\rl4\n\rl5");
}

// The peer sends `first`, waits until the client asks for more, then sends `second`:
// the two arrive in separate reads.
TScriptedPeer::TScript TwoPackets(std::string first, std::string second) {
  return [first, second](TPeerConnection& connection) {
    connection.Send(first);
    connection.ReceiveUntil("more\r\n");
    connection.Send(second);
    connection.ShutdownSend();
    connection.StaySilent(5000);
  };
}

TEST(ReadUntil, CRAndLFInSeparatePacketsMakeOneLineEnd) {
  TScriptedPeer peer(TwoPackets("a\r", "\nb\r\n"));
  TxxTcpSocket socket;
  socket.AcceptAnyLineEnd = true;
  ConnectTo(socket, peer);
  EXPECT_EQ(socket.ReadLine(5000), "a");
  EXPECT_TRUE(socket.SkipNextLF());
  socket.WriteText("more\r\n");
  EXPECT_EQ(socket.ReadLine(5000), "b");  // not an extra empty line
  EXPECT_FALSE(socket.SkipNextLF());
}

TEST(ReadUntil, LFAndCRInSeparatePacketsMakeOneLineEnd) {
  TScriptedPeer peer(TwoPackets("a\n", "\rb\n"));
  TxxTcpSocket socket;
  socket.AcceptAnyLineEnd = true;
  ConnectTo(socket, peer);
  EXPECT_EQ(socket.ReadLine(5000), "a");
  EXPECT_TRUE(socket.SkipNextCR());
  socket.WriteText("more\r\n");
  EXPECT_EQ(socket.ReadLine(5000), "b");
}

TEST(ReadUntil, EmptyLinesAreKeptWithEveryEnd) {
  TScriptedPeer peer(SendAndClose("a\r\n\r\nb\n\nc\r\n"));
  TxxTcpSocket socket;
  socket.AcceptAnyLineEnd = true;
  ConnectTo(socket, peer);
  for (const char* expected : {"a", "", "b", "", "c"})
    EXPECT_EQ(socket.ReadLine(5000), expected);
}

TEST(ReadUntil, OtherTerminatorsAreFoundAcrossPackets) {
  TScriptedPeer peer([](TPeerConnection& connection) {
    connection.Send("head-E");
    connection.StaySilent(100);
    connection.Send("NDtail");
    connection.StaySilent(5000);
  });
  TxxTcpSocket socket;
  ConnectTo(socket, peer);
  EXPECT_EQ(socket.ReadUntil(5000, "END"), "head-");
  EXPECT_EQ(socket.PendingData(), "tail");
  EXPECT_EQ(socket.ReadUntil(5000, ""), "");
  EXPECT_EQ(socket.LastError(), 0);
}

TEST(ReadUntil, LineLongerThanTheCapFailsInsteadOfGrowing) {
  TScriptedPeer peer(SendAndClose(std::string(kMaxLineLength + 100, 'x') + "\r\n"));
  TxxTcpSocket socket;
  ConnectTo(socket, peer);
  EXPECT_EQ(socket.ReadLine(5000), "");
  EXPECT_EQ(socket.LastError(), kSockMessageTooLong);
  EXPECT_LE(socket.PendingData().size(), kMaxLineLength + kMaxChunkLength + 2);
}

TEST(ReadUntil, LineOfExactlyTheCapIsAccepted) {
  TScriptedPeer peer(SendAndClose(std::string(kMaxLineLength, 'y') + "\r\nnext\r\n"));
  TxxTcpSocket socket;
  ConnectTo(socket, peer);
  EXPECT_EQ(socket.ReadLine(5000).size(), kMaxLineLength);
  EXPECT_EQ(socket.LastError(), 0);
  EXPECT_EQ(socket.ReadLine(5000), "next");
}

// ---- Exact and chunked reads ----

TEST(ReadExact, CollectsAcrossChunkBoundaries) {
  TScriptedPeer peer([](TPeerConnection& connection) {
    for (char c = 'a'; c < 'a' + 10; ++c) {
      connection.Send(std::string(100, c));
      Pause(5);
    }
    connection.StaySilent(5000);
  });
  TxxTcpSocket socket;
  ConnectTo(socket, peer);
  std::string data(1000, '\0');
  EXPECT_EQ(socket.ReadExact(data.data(), 1000, 5000), 1000);
  EXPECT_EQ(socket.LastError(), 0);
  EXPECT_EQ(data.substr(0, 100), std::string(100, 'a'));
  EXPECT_EQ(data.substr(900), std::string(100, 'j'));
}

TEST(ReadExact, BytesBeyondTheLengthStayPending) {
  TScriptedPeer peer(SendAndClose("ABCDEFGHIJ"));
  TxxTcpSocket socket;
  ConnectTo(socket, peer);
  EXPECT_EQ(socket.ReadExactText(4, 5000), "ABCD");
  EXPECT_EQ(socket.ReadExactText(6, 5000), "EFGHIJ");
  EXPECT_EQ(socket.LastError(), 0);
}

TEST(ReadExact, DataAfterALineEndIsReturnedByTheNextRead) {
  TScriptedPeer peer(SendAndClose("line\r\nABCDEFGH"));
  TxxTcpSocket socket;
  ConnectTo(socket, peer);
  EXPECT_EQ(socket.ReadLine(5000), "line");
  EXPECT_EQ(socket.ReadExactText(8, 5000), "ABCDEFGH");
}

TEST(ReadExact, SilentPeerEndsWithTimeOutAndWhatArrived) {
  TScriptedPeer peer([](TPeerConnection& connection) {
    connection.Send("abc");
    connection.StaySilent(60000);
  });
  TxxTcpSocket socket;
  ConnectTo(socket, peer);
  std::string data(10, '\0');
  const TStopwatch watch;
  EXPECT_EQ(socket.ReadExact(data.data(), 10, kShortTimeout), 3);
  EXPECT_EQ(socket.LastError(), kSockTimedOut);
  EXPECT_LT(watch.ElapsedMs(), kWellWithinShortTimeoutMs);
  EXPECT_EQ(socket.ReadExactText(10, kShortTimeout), "");  // error: nothing handed out
}

TEST(ReadChunk, NoChunkExceedsTheCap) {
  constexpr std::size_t kTotal = 4 * 1024 * 1024;
  TScriptedPeer peer([](TPeerConnection& connection) {
    connection.Send(std::string(kTotal, 'z'));
    connection.StaySilent(10000);
  });
  TxxTcpSocket socket;
  ConnectTo(socket, peer);
  Pause(100);  // let the system collect more than one chunk's worth
  std::size_t total = 0;
  while (total < kTotal) {
    const std::string chunk = socket.ReadChunk(5000);
    ASSERT_EQ(socket.LastError(), 0);
    EXPECT_LE(chunk.size(), kMaxChunkLength);
    total += chunk.size();
  }
  EXPECT_EQ(total, kTotal);
}

TEST(ReadByte, PendingBytesComeFirstAndPeekKeepsThem) {
  TScriptedPeer peer(SendAndClose("xy\r\nz"));
  TxxTcpSocket socket;
  ConnectTo(socket, peer);
  EXPECT_EQ(socket.ReadLine(5000), "xy");
  EXPECT_EQ(socket.PeekByte(5000), 'z');
  EXPECT_EQ(socket.ReadByte(5000), 'z');
  EXPECT_EQ(socket.ReadByte(5000), 0);
  EXPECT_EQ(socket.LastError(), kSockConnectionReset);
}

TEST(WaitReadable, TellsWhetherDataIsThere) {
  TScriptedPeer peer([](TPeerConnection& connection) {
    connection.ReceiveUntil("go\r\n");
    connection.Send("data");
    connection.StaySilent(5000);
  });
  TxxTcpSocket socket;
  ConnectTo(socket, peer);
  EXPECT_FALSE(socket.WaitReadable(0));
  EXPECT_EQ(socket.LastError(), 0);
  socket.WriteText("go\r\n");
  EXPECT_TRUE(socket.WaitReadable(5000));
  EXPECT_GE(socket.PendingBytes(), 1);
}

// ---- Writing ----

TEST(Write, TextReachesThePeerExactly) {
  TScriptedPeer peer(LineEcho());
  TxxTcpSocket socket;
  ConnectTo(socket, peer);
  EXPECT_EQ(socket.WriteText("HELO there\r\n"), 12);
  EXPECT_EQ(socket.ReadLine(5000), "HELO there");
  EXPECT_EQ(socket.WriteByte('!'), 1);
  EXPECT_EQ(socket.WriteText("\r\n"), 2);
  EXPECT_EQ(socket.ReadLine(5000), "!");
}

TEST(Write, WritingToAVanishedPeerFailsWithoutKillingTheProcess) {
  TScriptedPeer peer([](TPeerConnection& connection) { connection.Reset(); });
  TxxTcpSocket socket;
  ConnectTo(socket, peer);
  Pause(50);
  const std::string block(64 * 1024, 'w');
  for (int i = 0; i < 100 && socket.LastError() == 0; ++i)
    socket.WriteText(block);
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
  const std::string data(kSize, 'L');
  EXPECT_EQ(socket.WriteText(data), static_cast<int>(kSize));
  EXPECT_EQ(socket.LastError(), 0);
  EXPECT_TRUE(peer.WaitForScripts());
  EXPECT_EQ(received.load(), kSize);
}

TEST(Write, PeerThatNeverReadsMakesTheWriteTimeOut) {
  TScriptedPeer peer(Silent());
  TxxTcpSocket socket;
  socket.SetSendBufferSize(16 * 1024);
  ConnectTo(socket, peer);
  socket.Timeout = kShortTimeout;
  const std::string data(64 * 1024 * 1024, 'S');
  const TStopwatch watch;
  EXPECT_EQ(socket.WriteText(data), -1);
  EXPECT_EQ(socket.LastError(), kSockTimedOut);
  EXPECT_LT(watch.ElapsedMs(), 10000);
}

// ---- Abort ----

TEST(Abort, AbortFromAnotherThreadEndsABlockedReadAtOnce) {
  TScriptedPeer peer(Silent());
  TxxTcpSocket socket;
  ConnectTo(socket, peer);
  std::int32_t error = 0;
  TStopwatch watch;
  std::thread reader([&] {
    socket.ReadLine(60000);
    error = socket.LastError();
  });
  Pause(100);
  socket.Abort();
  reader.join();
  EXPECT_EQ(error, kSockInterrupted);
  EXPECT_LT(watch.ElapsedMs(), kAbortDeadlineMs);
  EXPECT_TRUE(socket.Aborted());
}

TEST(Abort, ThirtyTwoChecksOnSilentServersStopWithinTwoSeconds) {
  constexpr int kChecks = 32;
  TScriptedPeer peer(Silent());
  ASSERT_TRUE(peer.Ok());
  std::vector<std::unique_ptr<TxxTcpSocket>> sockets;
  std::vector<std::thread> checks;
  std::atomic<int> waiting{0};
  std::atomic<int> interrupted{0};
  for (int i = 0; i < kChecks; ++i)
    sockets.push_back(std::make_unique<TxxTcpSocket>());
  for (int i = 0; i < kChecks; ++i) {
    checks.emplace_back([&, i] {
      TxxTcpSocket& socket = *sockets[static_cast<std::size_t>(i)];
      socket.Connect(peer.Host(), peer.Port());
      ++waiting;
      socket.ReadLine(60000);
      if (socket.LastError() == kSockInterrupted)
        ++interrupted;
    });
  }
  while (waiting.load() < kChecks)
    Pause(10);
  Pause(100);
  const TStopwatch watch;
  for (auto& socket : sockets)
    socket->Abort();
  for (std::thread& check : checks)
    check.join();
  EXPECT_LT(watch.ElapsedMs(), kAbortDeadlineMs);
  EXPECT_EQ(interrupted.load(), kChecks);
}

TEST(Abort, AbortEndsAConnectThatHangs) {
  TPeerOptions options;
  options.Backlog = 0;
  options.NeverAccept = true;
  TScriptedPeer peer(nullptr, options);
  ASSERT_TRUE(peer.Ok());
  const std::vector<int> fillers = test::FillBacklog(peer);
  ASSERT_FALSE(fillers.empty());
  TxxTcpSocket socket;
  socket.Timeout = 60000;
  std::int32_t error = 0;
  const TStopwatch watch;
  std::thread connecting([&] {
    socket.Connect("127.0.0.1", peer.Port());
    error = socket.LastError();
  });
  Pause(100);
  socket.Abort();
  connecting.join();
  EXPECT_EQ(error, kSockInterrupted);
  EXPECT_LT(watch.ElapsedMs(), kAbortDeadlineMs);
  for (const int handle : fillers)
    ::close(handle);
}

TEST(Abort, AbortedSocketFailsEveryLaterCallAtOnce) {
  TScriptedPeer peer(Silent());
  TxxTcpSocket socket;
  socket.Abort();
  socket.Connect(peer.Host(), peer.Port());
  EXPECT_EQ(socket.LastError(), kSockInterrupted);
  EXPECT_EQ(socket.ReadChunk(60000), "");
  EXPECT_EQ(socket.LastError(), kSockInterrupted);
  EXPECT_EQ(socket.WriteText("x"), -1);
  EXPECT_EQ(socket.LastError(), kSockInterrupted);
}

TEST(Abort, AbortEndsReadingFromAPeerThatNeverStops) {
  TScriptedPeer peer([](TPeerConnection& connection) {
    const std::string block(16 * 1024, 'e');
    while (connection.Send(block)) {
    }
  });
  TxxTcpSocket socket;
  ConnectTo(socket, peer);
  std::int32_t error = 0;
  std::thread reader([&] {
    while (socket.LastError() == 0)
      socket.ReadChunk(5000);
    error = socket.LastError();
  });
  Pause(100);
  const TStopwatch watch;
  socket.Abort();
  reader.join();
  EXPECT_EQ(error, kSockInterrupted);
  EXPECT_LT(watch.ElapsedMs(), kAbortDeadlineMs);
}

TEST(Abort, ClientAbortReachesItsSocket) {
  class TClient : public TxxClientSocket {
   public:
    TxxTcpSocket Sock;

   protected:
    TxxBlockSocket& Socket() override { return Sock; }
  };
  TClient client;
  EXPECT_EQ(client.TargetHost, "127.0.0.1");
  EXPECT_EQ(client.TargetPort, "0");
  EXPECT_EQ(client.IPInterface, "0.0.0.0");
  EXPECT_EQ(client.Timeout, 5000);
  client.Abort();
  EXPECT_TRUE(client.Sock.Aborted());
}

// ---- Closing ----

TEST(Close, PeerSeesTheEndAfterOurHalfClose) {
  std::atomic<bool> sawEnd{false};
  TScriptedPeer peer([&sawEnd](TPeerConnection& connection) {
    bool closed = false;
    connection.ReceiveUntilClosed(5000, &closed);
    sawEnd = closed;
  });
  TxxTcpSocket socket;
  ConnectTo(socket, peer);
  socket.WriteText("bye\r\n");
  socket.Close();
  EXPECT_TRUE(peer.WaitForScripts());
  EXPECT_TRUE(sawEnd.load());
}

TEST(Close, DrainingAPeerThatNeverStopsSendingIsBounded) {
  TScriptedPeer peer([](TPeerConnection& connection) {
    const std::string block(16 * 1024, 'd');
    while (connection.Send(block)) {
    }
  });
  TxxTcpSocket socket;
  ConnectTo(socket, peer);
  Pause(50);
  const TStopwatch watch;
  socket.Close();
  EXPECT_FALSE(socket.HandleValid());
  EXPECT_LT(watch.ElapsedMs(), 5000);
}

}  // namespace
}  // namespace vantrel
