// The SOCKS and HTTP tunnel clients: their messages, and the exchange with
// scripted proxies on loopback.

#include "net/http_tunnel.h"
#include "net/socks.h"

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "net/tcp_socket.h"
#include "support/peer_scripted_server.h"

namespace vantrel {
namespace {

using test::TPeerConnection;
using test::TScriptedPeer;

std::string Bytes(std::initializer_list<int> values) {
  std::string bytes;
  for (const int value : values)
    bytes += static_cast<char>(value);
  return bytes;
}

TEST(SocksMessages, Socks5GreetingLoginAndRequestByAddressType) {
  EXPECT_EQ(Socks5Greeting(false), Bytes({5, 1, 0}));
  EXPECT_EQ(Socks5Greeting(true), Bytes({5, 2, 2, 0}));
  EXPECT_EQ(Socks5UserPassRequest("bob", "secret"), Bytes({1, 3}) + "bob" + Bytes({6}) + "secret");
  EXPECT_EQ(Socks5UserPassRequest(std::string(256, 'u'), "p"), std::nullopt);
  EXPECT_EQ(Socks5Request(kSocksConnect, "10.1.2.3", 443),
            Bytes({5, 1, 0, 1, 10, 1, 2, 3, 0x01, 0xBB}));
  EXPECT_EQ(Socks5Request(kSocksConnect, "::1", 80),
            Bytes({5, 1, 0, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 80}));
  EXPECT_EQ(Socks5Request(kSocksBind, "example.org", 8080),
            Bytes({5, 2, 0, 3, 11}) + "example.org" + Bytes({0x1F, 0x90}));
  EXPECT_EQ(Socks5Request(kSocksConnect, std::string(256, 'h'), 80), std::nullopt);
}

TEST(SocksMessages, Socks5ReplyAddresses) {
  EXPECT_EQ(Socks5AddressLength(Bytes({5, 0, 0, 4})), 16);
  EXPECT_EQ(Socks5AddressLength(Bytes({5, 0, 0, 3})), 1);
  EXPECT_EQ(Socks5AddressLength(Bytes({5, 0, 0, 9})), std::nullopt);
  EXPECT_EQ(SocksAddressText(1, Bytes({192, 0, 2, 7})), "192.0.2.7");
  EXPECT_EQ(SocksAddressText(4, std::string(15, '\0') + Bytes({1})), "::1");
  EXPECT_EQ(SocksAddressText(3, Bytes({4}) + "host"), "host");
}

// Which reply codes grant is the exchange's test below.
TEST(SocksMessages, Socks4SendsAnAddressSocks4ATheNameAndAShortReplyIsNone) {
  EXPECT_EQ(Socks4Request(kSocksConnect, "127.0.0.1", 25, "me", true),
            Bytes({4, 1, 0, 25, 127, 0, 0, 1}) + "me" + Bytes({0}));
  EXPECT_EQ(Socks4Request(kSocksConnect, "mail.example", 25, "", false), std::nullopt);
  EXPECT_EQ(Socks4Request(kSocksConnect, "::1", 25, "", true), std::nullopt);
  EXPECT_EQ(ParseSocks4Reply("short"), std::nullopt);
}

// The requests themselves are checked byte for byte by the exchanges below.
TEST(TunnelMessages, TargetAndStatusLine) {
  EXPECT_EQ(TunnelTarget("192.0.2.1"), "192.0.2.1");
  EXPECT_EQ(TunnelTarget("beef"), "beef");  // a host name, though hexadecimal
  EXPECT_EQ(TunnelStatusOpens("HTTP/1.1 204 No Content\r"), true);
  EXPECT_EQ(TunnelStatusOpens("HTTP/1.0 407 Proxy Authentication Required\r"), false);
  EXPECT_EQ(TunnelStatusOpens("HTTP/1.0 20"), std::nullopt);  // not longer than 11
  EXPECT_EQ(TunnelStatusOpens("HTTP/1.0 200"), true);
  EXPECT_EQ(TunnelStatusOpens("Server: tinyproxy\r"), std::nullopt);
  EXPECT_TRUE(IsTunnelResponseEnd("\r"));
  EXPECT_FALSE(IsTunnelResponseEnd("\r\r"));
}

enum class TProxyKind { Socks4, Tunnel };

// A SOCKS 4A proxy or an HTTP tunnel that records the request, answers with
// `answer`, then talks like the target: a greeting line.
class TRecordingProxy {
 public:
  TRecordingProxy(TProxyKind kind, std::string answer)
      : Kind_(kind), Peer_([this, answer](TPeerConnection& connection) {
          std::string request;
          if (Kind_ == TProxyKind::Tunnel) {
            request = connection.ReceiveUntil("\r\n\r\n");
          } else {
            request = connection.ReceiveExact(8);
            request += connection.ReceiveUntil(std::string(1, '\0'));  // user
            if (request.size() > 7 && request.substr(4, 3) == std::string(3, '\0'))
              request += connection.ReceiveUntil(std::string(1, '\0'));  // 4A: the name
          }
          {
            std::lock_guard<std::mutex> lock(Mutex_);
            Request_ = request;
          }
          connection.Send(answer);
          connection.Send("220 target speaking\r\n");
          connection.StaySilent(5000);
        }) {}

  void Use(TxxTcpSocket& socket) const {
    if (Kind_ == TProxyKind::Tunnel) {
      socket.TunnelIP = "127.0.0.1";
      socket.TunnelPort = Peer_.Port();
    } else {
      socket.SocksIP = "127.0.0.1";
      socket.SocksPort = Peer_.Port();
      socket.SocksType = TSocksType::Socks4;
    }
  }
  std::string Request() {
    std::lock_guard<std::mutex> lock(Mutex_);
    return Request_;
  }

 private:
  const TProxyKind Kind_;
  std::mutex Mutex_;
  std::string Request_;
  TScriptedPeer Peer_;
};

// A SOCKS 4 reply with `code`, naming 127.0.0.9:8080.
std::string Socks4Reply(int code) {
  return Bytes({0, code, 0x1F, 0x90, 127, 0, 0, 9});
}

TEST(SocksClient, Socks4ASendsTheHostNameForTheProxyToResolveAndOnly90Grants) {
  TRecordingProxy proxy(TProxyKind::Socks4, Socks4Reply(90));
  TxxTcpSocket socket;
  proxy.Use(socket);
  socket.SocksUsername = "vantrel";
  socket.Connect("mail.example", "smtp");
  ASSERT_EQ(socket.LastError(), 0);
  EXPECT_EQ(socket.ReadLine(5000), "220 target speaking");
  EXPECT_EQ(proxy.Request(), Bytes({4, 1, 0, 25, 0, 0, 0, 1}) + "vantrel" + Bytes({0}) +
                                 "mail.example" + Bytes({0}));
  EXPECT_TRUE(socket.UsingSocks());
  EXPECT_EQ(socket.SocksResponseIP(), "127.0.0.9");
  EXPECT_EQ(socket.SocksResponsePort(), "8080");
  EXPECT_EQ(socket.RemoteIP(), "mail.example");
  EXPECT_EQ(socket.RemotePort(), 25);
  EXPECT_EQ(socket.LocalPort(), 8080);
  socket.Close();
  EXPECT_FALSE(socket.UsingSocks());

  TRecordingProxy refusing(TProxyKind::Socks4, Socks4Reply(91));
  refusing.Use(socket);
  socket.Connect("127.0.0.1", "25");
  EXPECT_EQ(socket.LastError(), kSockUnusable);
  EXPECT_EQ(socket.SocksLastError(), 91);
  EXPECT_FALSE(socket.UsingSocks());
}

TEST(TunnelClient, GrantedTunnelCarriesTheConnectionAndA407FailsWithUnusable) {
  TRecordingProxy proxy(TProxyKind::Tunnel,
                        "HTTP/1.0 200 Connection established\r\nProxy-agent: test\r\n\r\n");
  TxxTcpSocket socket;
  proxy.Use(socket);
  socket.Connect("mail.example", "smtp");
  ASSERT_EQ(socket.LastError(), 0);
  EXPECT_EQ(proxy.Request(), "CONNECT mail.example:25 HTTP/1.0\r\n\r\n");
  EXPECT_TRUE(socket.TunnelOpen());
  EXPECT_EQ(socket.RemoteIP(), "mail.example");
  EXPECT_EQ(socket.RemotePort(), 25);
  EXPECT_EQ(socket.ReadLine(5000), "220 target speaking");

  TRecordingProxy refusing(TProxyKind::Tunnel,
                           "HTTP/1.0 407 Proxy Authentication Required\r\n"
                           "Proxy-Authenticate: Basic realm=\"x\"\r\n\r\n");
  TxxTcpSocket denied;
  refusing.Use(denied);
  denied.TunnelUser = "user";
  denied.TunnelPass = "wrong";
  denied.Connect("::1", "443");
  EXPECT_EQ(denied.LastError(), kSockUnusable);
  EXPECT_FALSE(denied.TunnelOpen());
  EXPECT_EQ(refusing.Request(),
            "CONNECT [::1]:443 HTTP/1.0\r\n"
            "Proxy-Authorization: Basic dXNlcjp3cm9uZw==\r\n\r\n");
}

TEST(ProxyClient, FailingProxyGivesItsErrorAndOpensNothing) {
  struct TRow {
    const char* What;
    bool Socks;  // else an HTTP tunnel
    TScriptedPeer::TScript Script;
    std::int32_t Error;
  };
  const std::vector<TRow> rows = {
      {"socks: no acceptable method", true,
       [](TPeerConnection& connection) {
         connection.ReceiveExact(3);
         connection.Send(Bytes({5, 0xFF}));
         connection.StaySilent(5000);
       },
       kSockUnusable},
      {"socks: unknown address type", true,
       [](TPeerConnection& connection) {
         connection.ReceiveExact(3);
         connection.Send(Bytes({5, 0}));
         connection.ReceiveExact(10);
         connection.Send(Bytes({5, 0, 0, 7, 0, 0, 0, 0, 0, 0}));
         connection.StaySilent(5000);
       },
       kSockUnusable},
      {"socks: silent", true, [](TPeerConnection& connection) { connection.StaySilent(60000); },
       kSockTimedOut},
      {"socks: absent", true, nullptr, kSockConnectionRefused},
      {"tunnel: closes before answering", false,
       [](TPeerConnection& connection) {
         connection.ReceiveUntil("\r\n\r\n");
         connection.ShutdownSend();
         connection.StaySilent(5000);
       },
       kSockConnectionReset},
      {"tunnel: endless head", false,
       [](TPeerConnection& connection) {
         connection.ReceiveUntil("\r\n\r\n");
         connection.Send("HTTP/1.0 200 OK\r\n");
         for (int i = 0; i < kMaxTunnelResponseLines + 50; ++i) {
           if (!connection.Send("X-Padding: " + std::to_string(i) + "\r\n"))
             return;
         }
         connection.StaySilent(5000);
       },
       kSockUnusable},
  };
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.What);
    TScriptedPeer proxy(row.Script);
    const std::string port = row.Script ? proxy.Port() : std::to_string(test::FreeLoopbackPort());
    TxxTcpSocket socket;
    if (row.Socks) {
      socket.SocksIP = "127.0.0.1";
      socket.SocksPort = port;
      socket.SocksTimeout = 200;
    } else {
      socket.TunnelIP = "127.0.0.1";
      socket.TunnelPort = port;
    }
    socket.Connect("127.0.0.1", row.Socks ? "25" : "443");
    EXPECT_EQ(socket.LastError(), row.Error) << GetErrorDesc(row.Error);
    EXPECT_FALSE(socket.UsingSocks());
    EXPECT_FALSE(socket.TunnelOpen());
  }
}

}  // namespace
}  // namespace vantrel
