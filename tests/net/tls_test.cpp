#include "net/tls.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <thread>

#include "net/tcp_socket.h"
#include "support/peer_scripted_server.h"

namespace vantrel {
namespace {

using test::TPeerConnection;
using test::TScriptedPeer;

long ElapsedMs(std::chrono::steady_clock::time_point start) {
  return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                               std::chrono::steady_clock::now() - start)
                               .count());
}

TScriptedPeer::TScript OverTls(std::function<void(TPeerConnection&)> script) {
  return [script](TPeerConnection& connection) {
    if (connection.StartTls())
      script(connection);
  };
}

TScriptedPeer::TScript TlsLineEcho() {
  return OverTls([](TPeerConnection& connection) {
    for (std::string line; !(line = connection.ReceiveUntil("\r\n", 10000)).empty();)
      connection.Send(line);
  });
}

void ConnectWithTls(TxxTcpSocket& socket, const std::string& host, const TScriptedPeer& peer) {
  ASSERT_TRUE(peer.Ok()) << peer.Error();
  socket.SetSslEnabled(true);
  socket.Connect(host, peer.Port());
  ASSERT_EQ(socket.LastError(), 0)
      << GetErrorDesc(socket.LastError()) << " " << socket.SslLastErrorText();
}

TEST(Tls, ServerNameIsSentForAHostNameButNotForAddressLiterals) {
  for (const std::string host : {"localhost", "127.0.0.1", "::1"}) {
    std::promise<std::string> seen;
    TScriptedPeer peer(OverTls([&seen](TPeerConnection& connection) {
                         seen.set_value(connection.ServerName());
                         connection.StaySilent(5000);
                       }),
                       {.IPv6 = host == "::1"});
    TxxTcpSocket socket;
    ConnectWithTls(socket, host, peer);
    auto name = seen.get_future();
    ASSERT_EQ(name.wait_for(std::chrono::seconds(5)), std::future_status::ready) << host;
    EXPECT_EQ(name.get(), host == "localhost" ? host : "") << host;
  }
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

TEST(Tls, DecryptedBytesNotYetReadArePendingWithoutAWait) {
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
  int got = 0;  // session tickets may come first; they decrypt to nothing
  for (int i = 0; i < 10 && got == 0; ++i)
    got = socket.ReadBuf(head, 2);
  ASSERT_EQ(got, 2);
  EXPECT_EQ(socket.PendingBytes(), 4);
  EXPECT_EQ(socket.ReadExactText(4, 200), "cdef");
}

TEST(Tls, LargeTransfersCrossManyRecordsBothWays) {
  constexpr std::size_t kSize = 1024 * 1024;
  TScriptedPeer peer(OverTls([](TPeerConnection& connection) {
    connection.Send(connection.ReceiveExact(kSize, 20000));
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

TEST(Tls, FailedConnectOrHandshakeKeepsItsErrorAndSwitchesTlsOff) {
  TScriptedPeer plain([](TPeerConnection& connection) {
    connection.Send("220 plain text, no TLS here\r\n");
    connection.StaySilent(5000);
  });
  TScriptedPeer silent([](TPeerConnection& connection) { connection.StaySilent(60000); });
  const std::string refused = std::to_string(test::FreeLoopbackPort());
  for (const auto& [port, error] : {std::pair{plain.Port(), kSockUnusable},
                                    {silent.Port(), kSockTimedOut},
                                    {refused, kSockConnectionRefused}}) {
    TxxTcpSocket socket;
    socket.Timeout = 200;
    socket.SetSslEnabled(true);
    const auto start = std::chrono::steady_clock::now();
    socket.Connect("127.0.0.1", port);
    EXPECT_EQ(socket.LastError(), error) << GetErrorDesc(error);
    EXPECT_LT(ElapsedMs(start), 2000);
    EXPECT_FALSE(socket.SslEnabled());
  }
}

TEST(Tls, AbortEndsAWaitForTlsData) {
  TScriptedPeer peer(OverTls([](TPeerConnection& connection) { connection.StaySilent(60000); }));
  TxxTcpSocket socket;
  ConnectWithTls(socket, "localhost", peer);
  const auto start = std::chrono::steady_clock::now();
  std::thread aborter([&socket] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    socket.Abort();
  });
  socket.ReadLine(60000);
  aborter.join();
  EXPECT_EQ(socket.LastError(), kSockInterrupted);
  EXPECT_LT(ElapsedMs(start), 2000);
}

TEST(Tls, RefusedKeyFileGivesInvalidArgumentButLeavesTlsOn) {
  TxxTcpSocket socket;
  socket.SslCertificateFile = "/nonexistent/client.pem";
  socket.SetSslEnabled(true);
  EXPECT_EQ(socket.LastError(), kSockInvalidArgument);
  EXPECT_TRUE(socket.SslEnabled());
}

TEST(Tls, LoadCountNeverGoesBelowZeroAndEachConnectLoadsAFreshTlsLayer) {
  ASSERT_TRUE(LoadTls());
  while (TlsLoadCount() > 0)
    UnloadTls();
  UnloadTls();
  EXPECT_EQ(TlsLoadCount(), 0);
  TScriptedPeer peer(TlsLineEcho());
  TxxTcpSocket socket;
  EXPECT_FALSE(socket.SslAvailable());
  for (int round = 0; round < 2; ++round) {
    ConnectWithTls(socket, "localhost", peer);  // the certificate is self-signed
    EXPECT_EQ(TlsLoadCount(), 1);
    EXPECT_TRUE(TxxTcpSocket().SslAvailable());  // no load of its own needed
    EXPECT_FALSE(socket.SslVersion().empty());
    socket.WriteText("round\r\n");
    EXPECT_EQ(socket.ReadLine(5000), "round");
    socket.Close();
  }
}

}  // namespace
}  // namespace vantrel
