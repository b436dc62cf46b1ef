#include "net/tls.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <thread>

#include "net/tcp_socket.h"
#include "support/peer_scripted_server.h"
#include "support/peer_tls.h"

namespace vantrel {
namespace {

using test::TPeerConnection;
using test::TPeerOptions;
using test::TPeerTlsCredentials;
using test::TScriptedPeer;

long ElapsedMs(std::chrono::steady_clock::time_point start) {
  return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                               std::chrono::steady_clock::now() - start)
                               .count());
}

// One certificate for all tests: making keys is the slow part.
const TPeerTlsCredentials& Credentials() {
  static const TPeerTlsCredentials credentials("localhost");
  return credentials;
}

// A TLS peer: the handshake, then `script`.
TScriptedPeer::TScript OverTls(std::function<void(TPeerConnection&)> script) {
  return [script](TPeerConnection& connection) {
    if (connection.StartTls(Credentials()))
      script(connection);
  };
}

TScriptedPeer::TScript TlsLineEcho() {
  return OverTls([](TPeerConnection& connection) {
    for (;;) {
      const std::string line = connection.ReceiveUntil("\r\n", 10000);
      if (line.empty() || !connection.Send(line))
        return;
    }
  });
}

void ConnectWithTls(TxxTcpSocket& socket, const std::string& host, const TScriptedPeer& peer) {
  ASSERT_TRUE(Credentials().Ok());
  ASSERT_TRUE(peer.Ok()) << peer.Error();
  socket.SetSslEnabled(true);
  ASSERT_EQ(socket.LastError(), 0);
  socket.Connect(host, peer.Port());
  ASSERT_EQ(socket.LastError(), 0)
      << GetErrorDesc(socket.LastError()) << " " << socket.SslLastErrorText();
}

// The server name a peer saw in the handshake.
struct TServerNameProbe {
  std::promise<std::string> Seen;
  std::string Name() {
    auto future = Seen.get_future();
    if (future.wait_for(std::chrono::seconds(5)) != std::future_status::ready)
      return "<no handshake>";
    return future.get();
  }
  TScriptedPeer::TScript Script() {
    return OverTls([this](TPeerConnection& connection) {
      Seen.set_value(connection.ServerName());
      connection.StaySilent(5000);
    });
  }
};

TEST(Tls, SelfSignedCertificateIsAccepted) {
  TScriptedPeer peer(TlsLineEcho());
  TxxTcpSocket socket;
  ConnectWithTls(socket, "localhost", peer);
  EXPECT_TRUE(socket.SslEnabled());
  EXPECT_FALSE(socket.SslVersion().empty());
  socket.WriteText("over tls\r\n");
  EXPECT_EQ(socket.ReadLine(5000), "over tls");
}

TEST(Tls, ServerNameIsSentForAHostName) {
  TServerNameProbe probe;
  TScriptedPeer peer(probe.Script());
  TxxTcpSocket socket;
  ConnectWithTls(socket, "localhost", peer);
  EXPECT_EQ(probe.Name(), "localhost");
}

TEST(Tls, NoServerNameIsSentForAnIPv4Literal) {
  TServerNameProbe probe;
  TScriptedPeer peer(probe.Script());
  TxxTcpSocket socket;
  ConnectWithTls(socket, "127.0.0.1", peer);
  EXPECT_EQ(probe.Name(), "");
}

TEST(Tls, NoServerNameIsSentForAnIPv6Literal) {
  TServerNameProbe probe;
  TPeerOptions options;
  options.IPv6 = true;
  TScriptedPeer peer(probe.Script(), options);
  TxxTcpSocket socket;
  ConnectWithTls(socket, "::1", peer);
  EXPECT_EQ(probe.Name(), "");
}

TEST(Tls, CleanTlsCloseGivesZeroBytesThenConnectionReset) {
  TScriptedPeer peer(OverTls([](TPeerConnection& connection) {
    connection.Send("bye");
    connection.CloseTls();
    connection.ShutdownSend();
    connection.StaySilent(5000);
  }));
  TxxTcpSocket socket;
  ConnectWithTls(socket, "localhost", peer);
  EXPECT_EQ(socket.ReadExactText(3, 5000), "bye");
  EXPECT_EQ(socket.ReadChunk(5000), "");
  EXPECT_EQ(socket.LastError(), 0);
  EXPECT_EQ(socket.ReadChunk(5000), "");
  EXPECT_EQ(socket.LastError(), kSockConnectionReset);
}

TEST(Tls, LineEndsSplitAcrossRecordsAreOneLineEnd) {
  TScriptedPeer peer(OverTls([](TPeerConnection& connection) {
    connection.Send("a\r");
    connection.ReceiveUntil("more\r\n");
    connection.Send("\nb\r\n");
    connection.StaySilent(5000);
  }));
  TxxTcpSocket socket;
  socket.AcceptAnyLineEnd = true;
  ConnectWithTls(socket, "localhost", peer);
  EXPECT_EQ(socket.ReadLine(5000), "a");
  socket.WriteText("more\r\n");
  EXPECT_EQ(socket.ReadLine(5000), "b");
}

TEST(Tls, PendingBytesCountsDecryptedBytesNotYetRead) {
  TScriptedPeer peer(OverTls([](TPeerConnection& connection) {
    connection.ReceiveUntil("go\r\n");
    connection.Send("abcdef");
    connection.StaySilent(5000);
  }));
  TxxTcpSocket socket;
  ConnectWithTls(socket, "localhost", peer);
  socket.WriteText("go\r\n");
  ASSERT_TRUE(socket.WaitReadable(5000));
  char head[2] = {};
  // Session tickets may come first; they decrypt to nothing.
  int got = 0;
  for (int i = 0; i < 10 && got == 0; ++i) {
    got = socket.ReadBuf(head, 2);
    ASSERT_GE(got, 0) << socket.LastError();
  }
  ASSERT_EQ(got, 2);
  EXPECT_EQ(std::string(head, 2), "ab");
  EXPECT_EQ(socket.PendingBytes(), 4);
  EXPECT_EQ(socket.ReadExactText(4, 5000), "cdef");
}

TEST(Tls, LargeTransfersCrossManyRecordsBothWays) {
  constexpr std::size_t kSize = 1024 * 1024;
  TScriptedPeer peer(OverTls([](TPeerConnection& connection) {
    const std::string data = connection.ReceiveExact(kSize, 20000);
    connection.Send(data);
    connection.StaySilent(5000);
  }));
  TxxTcpSocket socket;
  ConnectWithTls(socket, "localhost", peer);
  std::string data(kSize, '\0');
  for (std::size_t i = 0; i < kSize; ++i)
    data[i] = static_cast<char>('A' + i % 26);
  EXPECT_EQ(socket.WriteText(data), static_cast<int>(kSize));
  EXPECT_EQ(socket.ReadExactText(static_cast<int>(kSize), 10000), data);
}

TEST(Tls, CloseSendsTheCloseNotification) {
  std::atomic<bool> notified{false};
  TScriptedPeer peer(OverTls([&notified](TPeerConnection& connection) {
    connection.ReceiveUntilClosed(5000);
    notified = connection.ReceivedTlsClose();
  }));
  TxxTcpSocket socket;
  ConnectWithTls(socket, "localhost", peer);
  socket.Close();
  EXPECT_FALSE(socket.SslEnabled());
  EXPECT_TRUE(peer.WaitForScripts());
  EXPECT_TRUE(notified.load());
}

TEST(Tls, SocketObjectReconnectsWithAFreshTlsLayer) {
  TScriptedPeer peer(TlsLineEcho());
  TxxTcpSocket socket;
  for (int round = 0; round < 2; ++round) {
    ConnectWithTls(socket, "localhost", peer);
    socket.WriteText("round\r\n");
    EXPECT_EQ(socket.ReadLine(5000), "round");
    socket.Close();
  }
}

TEST(Tls, HandshakeWithAPlainServerFailsAndSwitchesTlsOff) {
  TScriptedPeer peer([](TPeerConnection& connection) {
    connection.Send("220 plain text, no TLS here\r\n");
    connection.StaySilent(5000);
  });
  TxxTcpSocket socket;
  socket.SetSslEnabled(true);
  socket.Connect(peer.Host(), peer.Port());
  EXPECT_EQ(socket.LastError(), kSockUnusable);
  EXPECT_FALSE(socket.SslEnabled());
  EXPECT_NE(socket.SslLastError(), 0u);
  EXPECT_FALSE(socket.SslLastErrorText().empty());
}

TEST(Tls, HandshakeWithASilentServerTimesOut) {
  TScriptedPeer peer([](TPeerConnection& connection) { connection.StaySilent(60000); });
  TxxTcpSocket socket;
  socket.Timeout = 200;
  socket.SetSslEnabled(true);
  const auto start = std::chrono::steady_clock::now();
  socket.Connect(peer.Host(), peer.Port());
  EXPECT_EQ(socket.LastError(), kSockTimedOut);
  EXPECT_LT(ElapsedMs(start), 2000);
  EXPECT_FALSE(socket.SslEnabled());
}

TEST(Tls, FailedConnectSwitchesTlsOffAndKeepsTheError) {
  const int port = test::FreeLoopbackPort();
  TxxTcpSocket socket;
  socket.SetSslEnabled(true);
  socket.Connect("127.0.0.1", std::to_string(port));
  EXPECT_EQ(socket.LastError(), kSockConnectionRefused);
  EXPECT_FALSE(socket.SslEnabled());
}

TEST(Tls, AbortEndsAWaitForTlsData) {
  TScriptedPeer peer(OverTls([](TPeerConnection& connection) { connection.StaySilent(60000); }));
  TxxTcpSocket socket;
  ConnectWithTls(socket, "localhost", peer);
  std::int32_t error = 0;
  std::thread reader([&] {
    socket.ReadLine(60000);
    error = socket.LastError();
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  const auto start = std::chrono::steady_clock::now();
  socket.Abort();
  reader.join();
  EXPECT_EQ(error, kSockInterrupted);
  EXPECT_LT(ElapsedMs(start), 2000);
}

TEST(Tls, RefusedKeyFileGivesInvalidArgumentButLeavesTlsOn) {
  TxxTcpSocket socket;
  socket.SslCertificateFile = "/nonexistent/client.pem";
  socket.SetSslEnabled(true);
  EXPECT_EQ(socket.LastError(), kSockInvalidArgument);
  EXPECT_TRUE(socket.SslEnabled());
  EXPECT_NE(socket.SslLastError(), 0u);
  socket.SetSslEnabled(false);
  EXPECT_FALSE(socket.SslEnabled());
  EXPECT_EQ(socket.LastError(), 0);
}

TEST(Tls, SwitchingOnLoadsTheLibraryOnce) {
  TxxTcpSocket socket;
  socket.SetSslEnabled(true);
  EXPECT_EQ(socket.LastError(), 0);
  EXPECT_TRUE(socket.SslAvailable());
  EXPECT_GT(TlsLoadCount(), 0);
  TxxTcpSocket later;
  EXPECT_TRUE(later.SslAvailable());  // no load of its own needed
}

TEST(Tls, LoadCountNeverGoesBelowZeroAndTlsStillWorksAfterwards) {
  const std::int32_t before = TlsLoadCount();
  ASSERT_TRUE(LoadTls());
  EXPECT_EQ(TlsLoadCount(), before + 1);
  UnloadTls();
  EXPECT_EQ(TlsLoadCount(), before);
  while (TlsLoadCount() > 0)
    UnloadTls();
  UnloadTls();
  EXPECT_EQ(TlsLoadCount(), 0);

  TScriptedPeer peer(TlsLineEcho());
  TxxTcpSocket socket;
  EXPECT_FALSE(socket.SslAvailable());
  ConnectWithTls(socket, "localhost", peer);
  EXPECT_EQ(TlsLoadCount(), 1);
  socket.WriteText("again\r\n");
  EXPECT_EQ(socket.ReadLine(5000), "again");
}

}  // namespace
}  // namespace vantrel
