// The HTTP client against real servers on loopback, started by the tests:
// nginx for plain HTTP and HTTPS, and tinyproxy as the forward proxy with its
// CONNECT tunnel. A server that cannot start fails the test.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "net/http_client.h"
#include "support/peer_nginx.h"
#include "support/peer_proxies.h"

namespace vantrel {
namespace {

using test::TNginxPeer;
using test::TTinyproxyPeer;

class HttpAgainstNginx : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    Nginx_ = new TNginxPeer();
    Nginx_->WriteDocument("index.html", "<html>hello</html>\n");
  }
  static void TearDownTestSuite() {
    delete Nginx_;
    Nginx_ = nullptr;
  }
  void SetUp() override { ASSERT_TRUE(Nginx_->Ok()) << Nginx_->Error(); }

  // Set up as the page checks do.
  static void LikeACheck(TxxHttp& http) {
    http.UserAgent = "Mozilla/4.0 (compatible)";
    http.Headers = {"Pragma: no-cache", "Cache-Control: no-cache"};
  }

  static TNginxPeer* Nginx_;
};

TNginxPeer* HttpAgainstNginx::Nginx_ = nullptr;

TEST_F(HttpAgainstNginx, PageCheckGetsThePageAndItsType) {
  TxxHttp http;
  LikeACheck(http);
  ASSERT_TRUE(http.Request("GET", Nginx_->Url("/index.html"))) << http.Sock().LastError();
  EXPECT_EQ(http.ResultCode(), 200);
  EXPECT_EQ(http.ResultString(), "OK");
  EXPECT_EQ(http.Document, "<html>hello</html>\n");
  EXPECT_EQ(http.MimeType, "text/html");
  EXPECT_EQ(http.BodyMode(), THttpBodyMode::ByLength);
  EXPECT_GE(http.ElapsedTime(), 0);
}

TEST_F(HttpAgainstNginx, ServerReceivesTheCheckersHead) {
  TxxHttp http;
  LikeACheck(http);
  ASSERT_TRUE(http.Request("GET", Nginx_->Url("/headers")));
  EXPECT_EQ(http.Document,
            "GET /headers HTTP/1.0\r\nHost: 127.0.0.1:" + std::to_string(Nginx_->HttpPort()) +
                "\r\nUser-Agent: Mozilla/4.0 (compatible)\r\n"
                "Pragma: no-cache\r\nCache-Control: no-cache\r\n\r\n");
}

TEST_F(HttpAgainstNginx, HttpsWithASelfSignedCertificate) {
  TxxHttp http;
  ASSERT_TRUE(http.Request("GET", Nginx_->HttpsUrl("/index.html")))
      << GetErrorDesc(http.Sock().LastError());
  EXPECT_EQ(http.ResultCode(), 200);
  EXPECT_EQ(http.Document, "<html>hello</html>\n");
}

TEST_F(HttpAgainstNginx, NoContentAndHeadGiveNoBody) {
  TxxHttp http;
  ASSERT_TRUE(http.Request("GET", Nginx_->Url("/empty")));
  EXPECT_EQ(http.ResultCode(), 204);
  EXPECT_EQ(http.Document, "");
  http.Reset();
  ASSERT_TRUE(http.Request("HEAD", Nginx_->Url("/index.html")));
  EXPECT_EQ(http.ResultCode(), 200);
  EXPECT_EQ(http.Document, "");
  EXPECT_NE(std::find(http.Headers.begin(), http.Headers.end(), "Content-Length: 19"),
            http.Headers.end());
}

TEST_F(HttpAgainstNginx, CredentialsInTheUrlPassBasicAuthorization) {
  const std::string path = "127.0.0.1:" + std::to_string(Nginx_->HttpPort()) + "/auth/index.html";
  TxxHttp http;
  ASSERT_TRUE(http.Request("GET", "http://" + path));
  EXPECT_EQ(http.ResultCode(), 401);
  http.Reset();
  ASSERT_TRUE(http.Request("GET", "http://user:wrong@" + path));
  EXPECT_EQ(http.ResultCode(), 401);
  http.Reset();
  ASSERT_TRUE(http.Request("GET", "http://user:secret@" + path));
  EXPECT_EQ(http.ResultCode(), 200);
  EXPECT_EQ(http.Document, "<html>hello</html>\n");
}

TEST_F(HttpAgainstNginx, CookieSetTwiceIsSentBackWithItsLaterValue) {
  TxxHttp http;
  ASSERT_TRUE(http.Request("GET", Nginx_->Url("/cookie")));
  EXPECT_EQ(http.Cookies, std::vector<std::string>{"session=second"});
  http.Reset();
  ASSERT_TRUE(http.Request("GET", Nginx_->Url("/headers")));
  EXPECT_NE(http.Document.find("\r\nCookie: session=second\r\n"), std::string::npos);
}

TEST_F(HttpAgainstNginx, LargeBodyArrivesWhole) {
  std::string large(5 * 1024 * 1024 + 7, '\0');
  for (std::size_t i = 0; i < large.size(); ++i)
    large[i] = static_cast<char>((i * 7919) >> 5);
  Nginx_->WriteDocument("large.bin", large);
  for (const std::string& url : {Nginx_->Url("/large.bin"), Nginx_->HttpsUrl("/large.bin")}) {
    TxxHttp http;
    ASSERT_TRUE(http.Request("GET", url));
    EXPECT_EQ(http.ResultCode(), 200);
    EXPECT_EQ(http.DownloadSize(), static_cast<std::int32_t>(large.size()));
    EXPECT_TRUE(http.Document == large) << url << ": " << http.Document.size() << " bytes";
  }
}

TEST_F(HttpAgainstNginx, DelayedAnswerCountsInTheElapsedTime) {
  TxxHttp http;
  ASSERT_TRUE(http.Request("GET", Nginx_->Url("/delay")));
  EXPECT_EQ(http.Document, "late\n");
  EXPECT_EQ(http.BodyMode(), THttpBodyMode::UntilClose);  // nginx sends no length to 1.0
  EXPECT_GE(http.ElapsedTime(), 45);
  EXPECT_LT(http.ElapsedTime(), 3000);
}

TEST_F(HttpAgainstNginx, RedirectIsNotFollowed) {
  TxxHttp http;
  ASSERT_TRUE(http.Request("GET", Nginx_->Url("/moved")));
  EXPECT_EQ(http.ResultCode(), 301);
  EXPECT_NE(http.Document.find("301"), std::string::npos);  // nginx's own page, not the target
}

TEST_F(HttpAgainstNginx, HttpsThroughTinyproxyWithProxyAuthorization) {
  TTinyproxyPeer proxy(Nginx_->HttpsPort(), "user", "pass");
  ASSERT_TRUE(proxy.Ok()) << proxy.Error();
  TxxHttp http;
  LikeACheck(http);
  http.ProxyHost = "127.0.0.1";
  http.ProxyPort = proxy.Port();
  http.ProxyUser = "user";
  http.ProxyPass = "pass";
  ASSERT_TRUE(http.Request("GET", Nginx_->HttpsUrl("/headers")))
      << GetErrorDesc(http.Sock().LastError());
  EXPECT_EQ(http.ResultCode(), 200);
  EXPECT_EQ(http.Document.rfind("GET /headers HTTP/1.0\r\nHost: localhost:", 0), 0u)
      << http.Document;
  EXPECT_EQ(http.Document.find("Proxy-Authorization"), std::string::npos);

  http.ProxyPass = "guess";
  http.Reset();
  EXPECT_FALSE(http.Request("GET", Nginx_->HttpsUrl("/index.html")));
  EXPECT_EQ(http.ResultCode(), 500);
  EXPECT_EQ(http.Sock().LastError(), kSockUnusable);
}

TEST_F(HttpAgainstNginx, PlainHttpThroughTinyproxyNeedsProxyAuthorization) {
  TTinyproxyPeer proxy(Nginx_->HttpsPort(), "user", "pass");
  ASSERT_TRUE(proxy.Ok()) << proxy.Error();
  TxxHttp http;
  http.ProxyHost = "127.0.0.1";
  http.ProxyPort = proxy.Port();
  ASSERT_TRUE(http.Request("GET", Nginx_->Url("/index.html")));
  EXPECT_EQ(http.ResultCode(), 407);
  http.Reset();
  http.ProxyUser = "user";
  http.ProxyPass = "pass";
  ASSERT_TRUE(http.Request("GET", Nginx_->Url("/index.html")));
  EXPECT_EQ(http.ResultCode(), 200);
  EXPECT_EQ(http.Document, "<html>hello</html>\n");
}

}  // namespace
}  // namespace vantrel
