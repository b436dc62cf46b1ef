// The SOCKS and tunnel clients against microsocks (SOCKS 5 with and without
// user/password) and tinyproxy (HTTP CONNECT with Basic proxy authorization;
// its refusals are in the HTTP peer tests) on loopback, in front of a
// scripted target.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <utility>

#include "net/tcp_socket.h"
#include "support/peer_proxies.h"
#include "support/peer_scripted_server.h"

namespace vantrel {
namespace {

using test::TMicrosocksPeer;
using test::TPeerConnection;
using test::TScriptedPeer;
using test::TTinyproxyPeer;

void LineEcho(TPeerConnection& connection) {
  for (std::string line; !(line = connection.ReceiveUntil("\r\n", 10000)).empty();)
    connection.Send(line);
}

// Sends a line through the connection and expects it back.
void ExpectEcho(TxxTcpSocket& socket, const std::string& text) {
  socket.WriteText(text + "\r\n");
  EXPECT_EQ(socket.ReadLine(5000), text);
  EXPECT_EQ(socket.LastError(), 0);
}

void UseProxy(TxxTcpSocket& socket, const TTinyproxyPeer& proxy) {
  ASSERT_TRUE(proxy.Ok()) << proxy.Error();
  socket.TunnelIP = "127.0.0.1";
  socket.TunnelPort = proxy.Port();
}

void UseProxy(TxxTcpSocket& socket, const TMicrosocksPeer& proxy) {
  ASSERT_TRUE(proxy.Ok()) << proxy.Error();
  socket.SocksIP = "127.0.0.1";
  socket.SocksPort = proxy.Port();
}

TEST(SocksThroughMicrosocks, Socks5ReachesTheTargetByAddressOrByNameResolvedEitherSide) {
  TScriptedPeer target(LineEcho);
  TMicrosocksPeer proxy;
  for (const auto& [host, proxyResolves] :
       {std::pair{"127.0.0.1", true}, std::pair{"localhost", true},
        std::pair{"localhost", false}}) {
    TxxTcpSocket socket;
    UseProxy(socket, proxy);
    socket.SocksResolver = proxyResolves;
    socket.Connect(host, target.Port());
    ASSERT_EQ(socket.LastError(), 0) << host << ": " << GetErrorDesc(socket.LastError());
    EXPECT_TRUE(socket.UsingSocks());
    EXPECT_EQ(socket.RemoteIP(), host);
    EXPECT_EQ(socket.RemotePort(), target.PortNumber());
    ExpectEcho(socket, "socks five");
  }
}

TEST(SocksThroughMicrosocks, AuthenticatingProxyNeedsTheRightUserAndPassword) {
  TScriptedPeer target(LineEcho);
  TMicrosocksPeer proxy("user", "pass");
  for (const auto& [user, password] :
       {std::pair{"", ""}, std::pair{"user", "guess"}, std::pair{"user", "pass"}}) {
    const bool right = std::string(password) == "pass";
    TxxTcpSocket socket;
    UseProxy(socket, proxy);
    socket.SocksUsername = user;
    socket.SocksPassword = password;
    socket.Connect("127.0.0.1", target.Port());
    EXPECT_EQ(socket.LastError() == 0, right) << user << ":" << password;
    EXPECT_EQ(socket.UsingSocks(), right);
    if (right)
      ExpectEcho(socket, "logged in");
  }
}

TEST(TlsThroughProxies, HandshakeRunsInsideWithTheTargetsName) {
  std::promise<std::string> seen[2];
  std::atomic<int> round{0};
  TScriptedPeer target([&](TPeerConnection& connection) {
    if (!connection.StartTls())
      return;
    seen[round].set_value(connection.ServerName());
    LineEcho(connection);
  });
  TTinyproxyPeer tinyproxy(target.PortNumber(), "user", "pass");
  TMicrosocksPeer microsocks;
  for (; round < 2; ++round) {
    TxxTcpSocket socket;
    if (round == 0) {
      UseProxy(socket, tinyproxy);
      socket.TunnelUser = "user";
      socket.TunnelPass = "pass";
    } else {
      UseProxy(socket, microsocks);
    }
    auto name = seen[round].get_future();
    socket.SetSslEnabled(true);
    socket.Connect("localhost", target.Port());
    ASSERT_EQ(socket.LastError(), 0)
        << GetErrorDesc(socket.LastError()) << " " << socket.SslLastErrorText();
    ASSERT_EQ(name.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_EQ(name.get(), "localhost") << "round " << round;
    ExpectEcho(socket, "tls through a proxy");
  }
}

}  // namespace
}  // namespace vantrel
