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

TEST(SocksMessages, Socks4SendsAnAddressSocks4ATheNameAndOnlyCode90Grants) {
  EXPECT_EQ(Socks4Request(kSocksConnect, "127.0.0.1", 25, "me", true),
            Bytes({4, 1, 0, 25, 127, 0, 0, 1}) + "me" + Bytes({0}));
  EXPECT_EQ(Socks4Request(kSocksConnect, "mail.example", 25, "", false), std::nullopt);
  EXPECT_EQ(Socks4Request(kSocksConnect, "::1", 25, "", true), std::nullopt);
  const auto refused = ParseSocks4Reply(Bytes({0, 91, 0, 0, 0, 0, 0, 0}));
  ASSERT_TRUE(refused);
  EXPECT_FALSE(refused->Granted);
  EXPECT_EQ(refused->Code, 91);
  EXPECT_EQ(ParseSocks4Reply("short"), std::nullopt);
}

// A SOCKS 4A proxy that records the request, answers with `code`, then talks
// like the target: a greeting line.
class TSocks4Proxy {
 public:
  explicit TSocks4Proxy(int code)
      : Peer_([this, code](TPeerConnection& connection) {
          std::string request = connection.ReceiveExact(8);
          request += connection.ReceiveUntil(std::string(1, '\0'));  // user
          if (request.size() > 7 && request.substr(4, 3) == std::string(3, '\0'))
            request += connection.ReceiveUntil(std::string(1, '\0'));  // 4A: the name
          {
            std::lock_guard<std::mutex> lock(Mutex_);
            Request_ = request;
          }
          connection.Send(Bytes({0, code, 0x1F, 0x90, 127, 0, 0, 9}));
          connection.Send("220 through socks4a\r\n");
          connection.StaySilent(5000);
        }) {}

  void Use(TxxTcpSocket& socket) const {
    socket.SocksIP = "127.0.0.1";
    socket.SocksPort = Peer_.Port();
    socket.SocksType = TSocksType::Socks4;
  }
  std::string Request() {
    std::lock_guard<std::mutex> lock(Mutex_);
    return Request_;
  }

 private:
  std::mutex Mutex_;
  std::string Request_;
  TScriptedPeer Peer_;
};

TEST(SocksClient, Socks4ASendsTheHostNameForTheProxyToResolve) {
  TSocks4Proxy proxy(90);
  TxxTcpSocket socket;
  proxy.Use(socket);
  socket.SocksUsername = "vantrel";
  socket.Connect("mail.example", "smtp");
  ASSERT_EQ(socket.LastError(), 0);
  EXPECT_EQ(socket.ReadLine(5000), "220 through socks4a");
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
}

TEST(SocksClient, Socks4RefusalFailsWithUnusableAndKeepsTheCode) {
  TSocks4Proxy proxy(91);
  TxxTcpSocket socket;
  proxy.Use(socket);
  socket.Connect("127.0.0.1", "25");
  EXPECT_EQ(socket.LastError(), kSockUnusable);
  EXPECT_EQ(socket.SocksLastError(), 91);
  EXPECT_FALSE(socket.UsingSocks());
}

TEST(SocksClient, Socks5ProxyThatRefusesMisanswersIsSilentOrAbsentGivesItsError) {
  const std::vector<std::pair<TScriptedPeer::TScript, std::int32_t>> rows = {
      {[](TPeerConnection& connection) {  // no acceptable method
         connection.ReceiveExact(3);
         connection.Send(Bytes({5, 0xFF}));
         connection.StaySilent(5000);
       },
       kSockUnusable},
      {[](TPeerConnection& connection) {  // an unknown address type
         connection.ReceiveExact(3);
         connection.Send(Bytes({5, 0}));
         connection.ReceiveExact(10);
         connection.Send(Bytes({5, 0, 0, 7, 0, 0, 0, 0, 0, 0}));
         connection.StaySilent(5000);
       },
       kSockUnusable},
      {[](TPeerConnection& connection) { connection.StaySilent(60000); }, kSockTimedOut},
      {nullptr, kSockConnectionRefused},
  };
  for (const auto& [script, error] : rows) {
    TScriptedPeer proxy(script);
    TxxTcpSocket socket;
    socket.SocksIP = "127.0.0.1";
    socket.SocksPort = script ? proxy.Port() : std::to_string(test::FreeLoopbackPort());
    socket.SocksTimeout = 200;
    socket.Connect("127.0.0.1", "25");
    EXPECT_EQ(socket.LastError(), error) << GetErrorDesc(error);
    EXPECT_FALSE(socket.UsingSocks());
  }
}

}  // namespace
}  // namespace vantrel
