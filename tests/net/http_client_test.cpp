// The HTTP client against small scripted servers on loopback: the exact bytes
// it sends, and what it makes of answers no ordinary web server gives.

#include "net/http_client.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "support/peer_scripted_server.h"

namespace vantrel {
namespace {

using test::TPeerConnection;
using test::TPeerOptions;
using test::TScriptedPeer;
using Clock = std::chrono::steady_clock;

constexpr long long kWithinMs = 3000;

// Reads one request: its head and the body its Content-Length announces.
std::string ReceiveRequest(TPeerConnection& connection) {
  std::string request = connection.ReceiveUntil("\r\n\r\n");
  const std::size_t at = request.find("Content-Length: ");
  if (at != std::string::npos)
    request += connection.ReceiveExact(std::stoul(request.substr(at + 16)));
  return request;
}

// A server that records each request and answers it by a script of its own.
class TRecordingServer {
 public:
  explicit TRecordingServer(std::function<void(TPeerConnection&)> answer, TPeerOptions options = {})
      : Peer_(
            [this, answer](TPeerConnection& connection) {
              {
                const std::string request = ReceiveRequest(connection);
                std::lock_guard<std::mutex> lock(Mutex_);
                Requests_.push_back(request);
              }
              answer(connection);
            },
            options) {}
  // Answers every request with `reply`, then ends the connection.
  explicit TRecordingServer(const std::string& reply)
      : TRecordingServer([reply](TPeerConnection& connection) { connection.Send(reply); }) {}

  std::string Url(const std::string& path = "/") const {
    const std::string host = Peer_.Host() == "::1" ? "[::1]" : Peer_.Host();
    return "http://" + host + ":" + Peer_.Port() + path;
  }
  std::string Request(std::size_t index = 0) {
    Peer_.WaitForScripts(static_cast<int>(index) + 1, 5000);
    std::lock_guard<std::mutex> lock(Mutex_);
    return index < Requests_.size() ? Requests_[index] : "<no request>";
  }
  TScriptedPeer& Peer() { return Peer_; }

 private:
  std::mutex Mutex_;
  std::vector<std::string> Requests_;
  TScriptedPeer Peer_;
};

std::string UrlOf(const TScriptedPeer& peer) {
  return "http://127.0.0.1:" + peer.Port() + "/";
}

long long MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

TEST(HttpRequest, ThroughAProxyTargetIsAbsoluteAndLinesComeInTheirOrder) {
  TRecordingServer proxy("HTTP/1.0 200 OK\r\n\r\n");
  TxxHttp http;
  http.ProxyHost = "127.0.0.1";
  http.ProxyPort = proxy.Peer().Port();
  http.ProxyUser = "pu";
  http.ProxyPass = "pp";
  http.Cookies = {"a=1", "b=2"};
  http.RangeStart = 5;
  http.RangeEnd = 9;
  http.KeepAlive = false;
  http.Headers = {"Pragma: no-cache", "Cache-Control: no-cache"};
  ASSERT_TRUE(http.Request("get", "http://u:pw@example.org/page?q=1"));
  EXPECT_EQ(proxy.Request(),
            "GET http://example.org:80/page?q=1 HTTP/1.0\r\n"
            "Host: example.org\r\n"
            "Proxy-Authorization: Basic cHU6cHA=\r\n"
            "Authorization: Basic dTpwdw==\r\n"
            "Connection: Close\r\n"
            "Cookie: b=2\r\n"
            "Cookie: a=1\r\n"
            "Range: bytes=5-9\r\n"
            "User-Agent: Mozilla/4.0 (compatible; Microsoft)\r\n"
            "Pragma: no-cache\r\n"
            "Cache-Control: no-cache\r\n"
            "\r\n");
}

TEST(HttpRequest, HostNamesThePortUnlessItIs80AndBracketsIPv6AndABodyIsDescribed) {
  TRecordingServer v4("HTTP/1.0 200 OK\r\n\r\n");
  TRecordingServer v6([](TPeerConnection& c) { c.Send("HTTP/1.0 200 OK\r\n\r\n"); },
                      {.IPv6 = true});
  ASSERT_TRUE(v6.Peer().Ok()) << v6.Peer().Error();
  TxxHttp http;
  http.UserAgent.clear();
  http.MimeType = "application/x-www-form-urlencoded";
  http.Document = "a=1&b=2";
  ASSERT_TRUE(http.Request("POST", v4.Url("/sync")));
  EXPECT_EQ(v4.Request(), "POST /sync HTTP/1.0\r\nHost: 127.0.0.1:" + v4.Peer().Port() +
                              "\r\nContent-Type: application/x-www-form-urlencoded\r\n"
                              "Content-Length: 7\r\n\r\na=1&b=2");
  EXPECT_EQ(http.MimeType, "text/html");  // the response named no type
  http.Reset();
  ASSERT_TRUE(http.Request("GET", v6.Url("/x")));
  EXPECT_EQ(v6.Request(), "GET /x HTTP/1.0\r\nHost: [::1]:" + v6.Peer().Port() + "\r\n\r\n");
}

TEST(HttpRequest, BlanksInTheTargetAreEncodedAndControlCharactersSendNothing) {
  // The path, the user agent, and the request line sent ("": nothing is sent).
  const std::vector<std::tuple<std::string, std::string, std::string>> rows = {
      {"/my page?q=a b", "agent", "GET /my%20page?q=a%20b HTTP/1.0"},
      {"/a\r\nX-Injected: yes\r\n\r\nGET /smuggled HTTP/1.0", "agent", ""},
      {"/", "agent\nX-Injected: yes", ""},
  };
  for (const auto& [path, agent, requestLine] : rows) {
    TRecordingServer server("HTTP/1.0 200 OK\r\n\r\n");
    TxxHttp http;
    http.UserAgent = agent;
    const bool sent = http.Request("GET", server.Url(path));
    EXPECT_EQ(sent, !requestLine.empty()) << path;
    if (sent) {
      EXPECT_EQ(server.Request(), requestLine + "\r\nHost: 127.0.0.1:" + server.Peer().Port() +
                                      "\r\nUser-Agent: agent\r\n\r\n");
    } else {
      EXPECT_EQ(http.ResultCode(), 500) << path;
      EXPECT_EQ(http.Sock().LastError(), kSockInvalidArgument) << path;
      EXPECT_EQ(server.Peer().Accepted(), 0) << path;
    }
  }
}

TEST(HttpRequest, Version09SendsTheRequestLineAlone) {
  std::string received;
  TScriptedPeer server([&received](TPeerConnection& c) { received = c.Receive(); });
  TxxHttp http;
  http.Protocol = "0.9";
  ASSERT_TRUE(http.Request("GET", "http://127.0.0.1:" + server.Port() + "/old"));
  server.WaitForScripts();
  EXPECT_EQ(received, "GET /old\r\n");
}

TEST(HttpRequest, ExpectContinueHoldsTheBodyBackUntilTheInterimAnswer) {
  for (const std::string interim :
       {"HTTP/1.1 100 Continue\r\n\r\n",
        "HTTP/1.1 417 Expectation Failed\r\nContent-Length: 0\r\n\r\n"}) {
    const bool proceed = interim.find(" 100 ") != std::string::npos;
    std::string head;
    std::string early;
    std::string later;
    TScriptedPeer server([&](TPeerConnection& c) {
      head = c.ReceiveUntil("\r\n\r\n");
      early = c.Receive(300);
      c.Send(interim);
      if (proceed)
        later = c.ReceiveExact(4);
      c.Send("HTTP/1.1 200 OK\r\nContent-Length: 4\r\nConnection: close\r\n\r\ndone");
    });
    TxxHttp http;
    http.Protocol = "1.1";
    http.ExpectContinue = true;
    http.Document = "data";
    ASSERT_TRUE(http.Request("PUT", UrlOf(server)));
    server.WaitForScripts();
    EXPECT_TRUE(head.ends_with("Content-Length: 4\r\nExpect: 100-continue\r\n\r\n")) << head;
    EXPECT_EQ(early, "");
    EXPECT_EQ(later, proceed ? "data" : "");
    EXPECT_EQ(http.ResultCode(), proceed ? 200 : 417);
    EXPECT_EQ(http.UploadSize(), proceed ? 4 : 0);
  }
}

TEST(HttpBody, CutShortOrOddAnswersAreReturnedAsTheyCameWithoutRedirects) {
  // The answer, its status code, header line count and body.
  const std::vector<std::tuple<std::string, int, std::size_t, std::string>> rows = {
      {"HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\nuntil the end", 200, 3, "until the end"},
      {"HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\nonly this", 200, 3, "only this"},
      {"HTTP/1.0 200 OK\r\nContent-Type: text/pl", 0, 1, ""},  // closed inside the head
      {"SSH-2.0-OpenSSH_9.2\r\nProtocol mismatch.\r\n", 0, 0,
       "SSH-2.0-OpenSSH_9.2\r\nProtocol mismatch.\r\n"},
      {"HTTP/1.1 302\r\nLocation: /elsewhere\r\nContent-Length: 0\r\n\r\n", 302, 4, ""},
  };
  for (const auto& [reply, code, headerLines, document] : rows) {
    TRecordingServer server(reply);
    TxxHttp http;
    ASSERT_TRUE(http.Request("GET", server.Url()));
    EXPECT_EQ(http.ResultCode(), code) << reply;
    EXPECT_EQ(http.Headers.size(), headerLines) << reply;
    EXPECT_EQ(http.Document, document) << reply;
    EXPECT_EQ(http.ReadError(), code == 302 ? 0 : kSockConnectionReset) << reply;
    EXPECT_EQ(server.Peer().Accepted(), 1);
  }
}

TEST(HttpBody, NoBodyIsWaitedForAfterHead) {
  // The server announces a body, sends none and keeps the connection open.
  TRecordingServer server([](TPeerConnection& c) {
    c.Send("HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\n");
    c.StaySilent(5000);
  });
  TxxHttp http;
  ASSERT_TRUE(http.Request("HEAD", server.Url()));
  EXPECT_EQ(http.Document, "");
  EXPECT_EQ(http.ReadError(), 0);  // not the close after 5 s
}

TEST(HttpCookies, LaterValueWinsEmptyValueRemovesItAndABareNameIsItsOwnValue) {
  std::atomic<int> round{0};
  TRecordingServer server([&round](TPeerConnection& c) {
    c.Send(++round == 1 ? "HTTP/1.0 200 OK\r\nSet-Cookie: id=1; Path=/\r\nSET-COOKIE: other=x\r\n"
                          "Set-Cookie: id = 2 ; HttpOnly\r\nSet-Cookie: bare\r\n\r\n"
                        : "HTTP/1.0 200 OK\r\nSet-Cookie: other=; Max-Age=0\r\n\r\n");
  });
  TxxHttp http;
  ASSERT_TRUE(http.Request("GET", server.Url()));
  EXPECT_EQ(http.Cookies, (std::vector<std::string>{"id=2", "other=x", "bare=bare"}));
  http.Reset();
  ASSERT_TRUE(http.Request("GET", server.Url()));
  EXPECT_NE(server.Request(1).find("\r\nCookie: other=x\r\nCookie: id=2\r\n"), std::string::npos);
  EXPECT_EQ(http.Cookies, (std::vector<std::string>{"id=2", "bare=bare"}));
}

TEST(HttpConnection, Version11ReusesTheConnectionUntilTheServerClosesIt) {
  TScriptedPeer server([](TPeerConnection& c) {
    for (int i = 0; i < 2 && !ReceiveRequest(c).empty(); ++i)
      c.Send("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
    c.ShutdownSend();
  });
  TxxHttp http;
  http.Protocol = "1.1";
  for (int i = 0; i < 2; ++i) {
    http.Reset();
    ASSERT_TRUE(http.Request("GET", UrlOf(server)));
  }
  EXPECT_EQ(server.Accepted(), 1);
  ASSERT_TRUE(server.WaitForScripts(1));
  http.Reset();
  ASSERT_TRUE(http.Request("GET", UrlOf(server)));  // the closed connection is made anew
  EXPECT_EQ(http.Document, "ok");
  EXPECT_EQ(server.Accepted(), 2);
}

// Sends `head`, then `byte` every 20 ms until the client goes or 10 s pass.
TScriptedPeer::TScript Trickle(std::string head, char byte) {
  return [head, byte](TPeerConnection& c) {
    c.Receive();
    c.Send(head);
    for (int i = 0; i < 500 && c.Send(std::string(1, byte)); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
  };
}

TEST(HttpDeadline, SilentOrTricklingServerEndsAtTheWholeExchangeDeadline) {
  // The script, the status code and whether some body bytes arrived.
  const std::vector<std::tuple<TScriptedPeer::TScript, int, bool>> rows = {
      {[](TPeerConnection& c) { c.StaySilent(10000); }, 0, false},
      {Trickle("HTTP/1.0 200 OK\r\nContent-Length: 100000\r\n\r\n", 'x'), 200, true},
      {Trickle("HTTP/1.0 200 OK\r\nX-Slow: ", 'y'), 0, false},
  };
  for (const auto& [script, code, someBody] : rows) {
    TScriptedPeer server(script);
    TxxHttp http;
    http.Timeout = 300;
    const auto start = Clock::now();
    ASSERT_TRUE(http.Request("GET", UrlOf(server)));
    EXPECT_LT(MillisecondsSince(start), kWithinMs);
    EXPECT_EQ(http.ResultCode(), code);
    EXPECT_EQ(http.ReadError(), kSockTimedOut);
    EXPECT_LT(http.Document.size(), 1000u);
    if (someBody) {
      EXPECT_NE(http.Document.find('x'), std::string::npos);
    }
  }
}

TEST(HttpLimits, EndlessBodyIsCappedAndTheConnectionClosed) {
  TScriptedPeer server([](TPeerConnection& c) {
    c.Receive();
    c.Send("HTTP/1.0 200 OK\r\n\r\n");
    const std::string block(64 * 1024, 'z');
    while (c.Send(block)) {
    }
  });
  TxxHttp http;
  ASSERT_TRUE(http.Request("GET", UrlOf(server)));
  EXPECT_TRUE(http.BodyCapped());
  EXPECT_EQ(http.Document.size(), kMaxHttpBodyLength);
  EXPECT_TRUE(server.WaitForScripts(1));  // its sends failed: we hung up
}

// A refused connect is the socket's own test; this one proves that Timeout
// bounds the connect and that a request never sent has code 500.
TEST(HttpConnect, HangingConnectFailsWithCode500WithinTimeout) {
  TScriptedPeer hanging(nullptr, {.Backlog = 0, .NeverAccept = true});
  const std::vector<int> fillers = test::FillBacklog(hanging);
  ASSERT_FALSE(fillers.empty());
  TxxHttp http;
  http.Timeout = 300;
  const auto start = Clock::now();
  EXPECT_FALSE(http.Request("GET", UrlOf(hanging)));
  EXPECT_LT(MillisecondsSince(start), kWithinMs);
  EXPECT_EQ(http.ResultCode(), 500);
  EXPECT_EQ(http.ElapsedTime(), -1);
  EXPECT_EQ(http.Sock().LastError(), kSockTimedOut);
  for (const int handle : fillers)
    ::close(handle);
}

TEST(HttpTls, ElapsedTimeCountsTheExchangeNotTheHandshake) {
  TScriptedPeer server([](TPeerConnection& c) {
    std::this_thread::sleep_for(std::chrono::milliseconds(600));  // a slow handshake
    if (!c.StartTls())
      return;
    ReceiveRequest(c);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // a slow answer
    c.Send("HTTP/1.0 200 OK\r\nContent-Length: 6\r\n\r\nsecret");
    c.CloseTls();
  });
  TxxHttp http;
  ASSERT_TRUE(http.Request("GET", "https://127.0.0.1:" + server.Port() + "/"));
  EXPECT_EQ(http.Document, "secret");
  EXPECT_GE(http.ElapsedTime(), 190);
  EXPECT_LT(http.ElapsedTime(), 600);
}

TEST(HttpTls, TricklingEncryptedAnswerEndsAtTheDeadline) {
  // A TLS server, and a relay in front of it that passes the handshake on at
  // once but the answer's record a byte at a time.
  std::atomic<bool> trickle{false};
  TScriptedPeer server([&trickle](TPeerConnection& c) {
    if (!c.StartTls())
      return;
    ReceiveRequest(c);
    trickle = true;
    c.Send("HTTP/1.0 200 OK\r\n\r\n" + std::string(2000, 'x'));
    c.StaySilent(10000);
  });
  TScriptedPeer relay([&](TPeerConnection& c) {
    TxxTcpSocket inner;
    inner.Connect("127.0.0.1", server.Port());
    std::string down;
    for (int i = 0; i < 2000; ++i) {
      const std::string up = c.Receive(5);
      if (!up.empty())
        inner.WriteText(up);
      down += inner.ReadChunk(0);
      if (inner.LastError() != 0 && inner.LastError() != kSockTimedOut)
        return;
      const std::size_t pass = trickle ? std::min<std::size_t>(1, down.size()) : down.size();
      if (pass > 0 && !c.Send(down.substr(0, pass)))
        return;
      down.erase(0, pass);
      if (trickle)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  });
  TxxHttp http;
  http.Timeout = 300;
  const auto start = Clock::now();
  ASSERT_TRUE(http.Request("GET", "https://127.0.0.1:" + relay.Port() + "/"));
  EXPECT_LT(MillisecondsSince(start), kWithinMs);
  EXPECT_EQ(http.ReadError(), kSockTimedOut);
}

}  // namespace
}  // namespace vantrel
