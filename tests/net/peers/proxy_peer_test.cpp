// The tunnel and SOCKS clients against real proxy programs on loopback:
// tinyproxy (HTTP CONNECT, Basic proxy authorization) and microsocks
// (SOCKS 5 with and without user/password). The target behind each proxy is
// a scripted peer of the test.

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>

#include "net/tcp_socket.h"
#include "support/peer_proxies.h"
#include "support/peer_scripted_server.h"
#include "support/peer_tls.h"

namespace vantrel {
namespace {

using test::TMicrosocksPeer;
using test::TPeerConnection;
using test::TPeerTlsCredentials;
using test::TScriptedPeer;
using test::TTinyproxyPeer;

TScriptedPeer::TScript LineEcho() {
  return [](TPeerConnection& connection) {
    for (;;) {
      const std::string line = connection.ReceiveUntil("\r\n", 10000);
      if (line.empty() || !connection.Send(line))
        return;
    }
  };
}

// Sends a line through the connection and expects it back.
void ExpectEcho(TxxTcpSocket& socket, const std::string& text) {
  socket.WriteText(text + "\r\n");
  EXPECT_EQ(socket.ReadLine(5000), text);
  EXPECT_EQ(socket.LastError(), 0);
}

const TPeerTlsCredentials& Credentials() {
  static const TPeerTlsCredentials credentials("localhost");
  return credentials;
}

// A TLS target that reports the server name it was given, then echoes lines.
struct TTlsTarget {
  std::promise<std::string> Seen;
  TScriptedPeer Peer{[this](TPeerConnection& connection) {
    if (!connection.StartTls(Credentials()))
      return;
    Seen.set_value(connection.ServerName());
    LineEcho()(connection);
  }};
  std::string ServerName() {
    auto future = Seen.get_future();
    if (future.wait_for(std::chrono::seconds(5)) != std::future_status::ready)
      return "<no handshake>";
    return future.get();
  }
};

// ---- HTTP CONNECT through tinyproxy ----

class TunnelThroughTinyproxy : public testing::Test {
 protected:
  void UseProxy(TxxTcpSocket& socket, const TTinyproxyPeer& proxy) {
    ASSERT_TRUE(proxy.Ok()) << proxy.Error();
    socket.TunnelIP = "127.0.0.1";
    socket.TunnelPort = proxy.Port();
  }

  TScriptedPeer Target_{LineEcho()};
};

TEST_F(TunnelThroughTinyproxy, OpenProxyTunnelsWithoutCredentials) {
  ASSERT_TRUE(Target_.Ok());
  TTinyproxyPeer proxy(Target_.PortNumber());
  TxxTcpSocket socket;
  UseProxy(socket, proxy);
  socket.Connect("127.0.0.1", Target_.Port());
  ASSERT_EQ(socket.LastError(), 0) << GetErrorDesc(socket.LastError());
  EXPECT_TRUE(socket.TunnelOpen());
  EXPECT_EQ(socket.RemoteIP(), "127.0.0.1");
  EXPECT_EQ(socket.RemotePort(), Target_.PortNumber());
  ExpectEcho(socket, "through the tunnel");
}

TEST_F(TunnelThroughTinyproxy, MissingCredentialsAreRefusedWith407) {
  TTinyproxyPeer proxy(Target_.PortNumber(), "user", "pass");
  TxxTcpSocket socket;
  UseProxy(socket, proxy);
  socket.Connect("127.0.0.1", Target_.Port());
  EXPECT_EQ(socket.LastError(), kSockUnusable);
  EXPECT_FALSE(socket.TunnelOpen());
}

TEST_F(TunnelThroughTinyproxy, WrongPasswordIsRefused) {
  TTinyproxyPeer proxy(Target_.PortNumber(), "user", "pass");
  TxxTcpSocket socket;
  UseProxy(socket, proxy);
  socket.TunnelUser = "user";
  socket.TunnelPass = "guess";
  socket.Connect("127.0.0.1", Target_.Port());
  EXPECT_EQ(socket.LastError(), kSockUnusable);
}

TEST_F(TunnelThroughTinyproxy, CredentialsOpenTheTunnel) {
  TTinyproxyPeer proxy(Target_.PortNumber(), "user", "pass");
  TxxTcpSocket socket;
  UseProxy(socket, proxy);
  socket.TunnelUser = "user";
  socket.TunnelPass = "pass";
  socket.Connect("localhost", Target_.Port());
  ASSERT_EQ(socket.LastError(), 0) << GetErrorDesc(socket.LastError());
  EXPECT_EQ(socket.RemoteIP(), "localhost");
  ExpectEcho(socket, "authorized");
}

TEST_F(TunnelThroughTinyproxy, PortTheProxyDoesNotAllowIsRefused) {
  TTinyproxyPeer proxy(Target_.PortNumber() == 1 ? 2 : 1);
  TxxTcpSocket socket;
  UseProxy(socket, proxy);
  socket.Connect("127.0.0.1", Target_.Port());
  EXPECT_EQ(socket.LastError(), kSockUnusable);
}

TEST(TlsThroughTinyproxy, HandshakeRunsInsideTheTunnelWithTheTargetsName) {
  TTlsTarget target;
  ASSERT_TRUE(target.Peer.Ok());
  TTinyproxyPeer proxy(target.Peer.PortNumber(), "user", "pass");
  ASSERT_TRUE(proxy.Ok()) << proxy.Error();
  TxxTcpSocket socket;
  socket.TunnelIP = "127.0.0.1";
  socket.TunnelPort = proxy.Port();
  socket.TunnelUser = "user";
  socket.TunnelPass = "pass";
  socket.SetSslEnabled(true);
  socket.Connect("localhost", target.Peer.Port());
  ASSERT_EQ(socket.LastError(), 0)
      << GetErrorDesc(socket.LastError()) << " " << socket.SslLastErrorText();
  EXPECT_EQ(target.ServerName(), "localhost");
  ExpectEcho(socket, "tls in a tunnel");
}

// ---- SOCKS through microsocks ----

class SocksThroughMicrosocks : public testing::Test {
 protected:
  void UseProxy(TxxTcpSocket& socket, const TMicrosocksPeer& proxy) {
    ASSERT_TRUE(proxy.Ok()) << proxy.Error();
    socket.SocksIP = "127.0.0.1";
    socket.SocksPort = proxy.Port();
  }

  TScriptedPeer Target_{LineEcho()};
};

TEST_F(SocksThroughMicrosocks, Socks5WithoutAuthenticationReachesTheTarget) {
  TMicrosocksPeer proxy;
  TxxTcpSocket socket;
  UseProxy(socket, proxy);
  socket.Connect("127.0.0.1", Target_.Port());
  ASSERT_EQ(socket.LastError(), 0) << GetErrorDesc(socket.LastError());
  EXPECT_TRUE(socket.UsingSocks());
  EXPECT_EQ(socket.SocksLastError(), 0);
  EXPECT_EQ(socket.RemoteIP(), "127.0.0.1");
  EXPECT_EQ(socket.RemotePort(), Target_.PortNumber());
  ExpectEcho(socket, "socks five");
}

TEST_F(SocksThroughMicrosocks, HostNameIsResolvedByTheProxy) {
  TMicrosocksPeer proxy;
  TxxTcpSocket socket;
  UseProxy(socket, proxy);
  socket.Connect("localhost", Target_.Port());
  ASSERT_EQ(socket.LastError(), 0) << GetErrorDesc(socket.LastError());
  EXPECT_EQ(socket.RemoteIP(), "localhost");
  ExpectEcho(socket, "named");
}

TEST_F(SocksThroughMicrosocks, HostNameIsResolvedLocallyWhenAsked) {
  TMicrosocksPeer proxy;
  TxxTcpSocket socket;
  UseProxy(socket, proxy);
  socket.SocksResolver = false;
  socket.Connect("localhost", Target_.Port());
  ASSERT_EQ(socket.LastError(), 0) << GetErrorDesc(socket.LastError());
  ExpectEcho(socket, "resolved here");
}

TEST_F(SocksThroughMicrosocks, UserAndPasswordOpenAnAuthenticatingProxy) {
  TMicrosocksPeer proxy("user", "pass");
  TxxTcpSocket socket;
  UseProxy(socket, proxy);
  socket.SocksUsername = "user";
  socket.SocksPassword = "pass";
  socket.Connect("127.0.0.1", Target_.Port());
  ASSERT_EQ(socket.LastError(), 0) << GetErrorDesc(socket.LastError());
  ExpectEcho(socket, "logged in");
}

TEST_F(SocksThroughMicrosocks, AuthenticatingProxyRefusesAClientWithoutUser) {
  TMicrosocksPeer proxy("user", "pass");
  TxxTcpSocket socket;
  UseProxy(socket, proxy);
  socket.Connect("127.0.0.1", Target_.Port());
  EXPECT_EQ(socket.LastError(), kSockUnusable);
  EXPECT_FALSE(socket.UsingSocks());
}

TEST_F(SocksThroughMicrosocks, WrongPasswordIsRefused) {
  TMicrosocksPeer proxy("user", "pass");
  TxxTcpSocket socket;
  UseProxy(socket, proxy);
  socket.SocksUsername = "user";
  socket.SocksPassword = "guess";
  socket.Connect("127.0.0.1", Target_.Port());
  EXPECT_NE(socket.LastError(), 0);
  EXPECT_FALSE(socket.UsingSocks());
}

TEST_F(SocksThroughMicrosocks, Socks4ToASocks5OnlyProxyFailsCleanly) {
  TMicrosocksPeer proxy;
  TxxTcpSocket socket;
  UseProxy(socket, proxy);
  socket.SocksType = TSocksType::Socks4;
  socket.Connect("localhost", Target_.Port());
  // It answers in SOCKS 5 and hangs up before a full SOCKS 4 reply.
  EXPECT_NE(socket.LastError(), 0);
  EXPECT_FALSE(socket.UsingSocks());
}

TEST(TlsThroughMicrosocks, HandshakeRunsOverTheProxyWithTheTargetsName) {
  TTlsTarget target;
  ASSERT_TRUE(target.Peer.Ok());
  TMicrosocksPeer proxy;
  ASSERT_TRUE(proxy.Ok()) << proxy.Error();
  TxxTcpSocket socket;
  socket.SocksIP = "127.0.0.1";
  socket.SocksPort = proxy.Port();
  socket.SetSslEnabled(true);
  socket.Connect("localhost", target.Peer.Port());
  ASSERT_EQ(socket.LastError(), 0)
      << GetErrorDesc(socket.LastError()) << " " << socket.SslLastErrorText();
  EXPECT_EQ(target.ServerName(), "localhost");
  ExpectEcho(socket, "tls over socks");
}

}  // namespace
}  // namespace vantrel
