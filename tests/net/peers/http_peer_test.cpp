// The HTTP client against nginx (plain HTTP and HTTPS) and tinyproxy as the
// forward proxy with its CONNECT tunnel, all on loopback.

#include <gtest/gtest.h>

#include <string>

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

  static TNginxPeer* Nginx_;
};

TNginxPeer* HttpAgainstNginx::Nginx_ = nullptr;

TEST_F(HttpAgainstNginx, LargePageArrivesWholeOverHttpAndHttps) {
  std::string large(5 * 1024 * 1024 + 7, '\0');
  for (std::size_t i = 0; i < large.size(); ++i)
    large[i] = static_cast<char>((i * 7919) >> 5);
  Nginx_->WriteDocument("large.html", large);
  for (const std::string& url : {Nginx_->Url("/large.html"), Nginx_->HttpsUrl("/large.html")}) {
    TxxHttp http;
    ASSERT_TRUE(http.Request("GET", url)) << url << ": " << GetErrorDesc(http.Sock().LastError());
    EXPECT_EQ(http.ResultCode(), 200);
    EXPECT_EQ(http.ResultString(), "OK");
    EXPECT_EQ(http.MimeType, "text/html");
    EXPECT_EQ(http.BodyMode(), THttpBodyMode::ByLength);
    EXPECT_EQ(http.DownloadSize(), static_cast<std::int32_t>(large.size()));
    EXPECT_TRUE(http.Document == large) << url << ": " << http.Document.size() << " bytes";
  }
}

TEST_F(HttpAgainstNginx, HttpAndHttpsThroughTinyproxyWithProxyAuthorization) {
  TTinyproxyPeer proxy(Nginx_->HttpsPort(), "user", "pass");
  ASSERT_TRUE(proxy.Ok()) << proxy.Error();
  TxxHttp http;
  http.ProxyHost = "127.0.0.1";
  http.ProxyPort = proxy.Port();
  http.ProxyUser = "user";
  http.ProxyPass = "pass";
  ASSERT_TRUE(http.Request("GET", Nginx_->Url("/index.html")));
  EXPECT_EQ(http.ResultCode(), 200);
  EXPECT_EQ(http.Document, "<html>hello</html>\n");
  // Through the CONNECT tunnel; the credentials stay with the proxy.
  http.Reset();
  ASSERT_TRUE(http.Request("GET", Nginx_->HttpsUrl("/headers")))
      << GetErrorDesc(http.Sock().LastError());
  EXPECT_EQ(http.ResultCode(), 200);
  EXPECT_EQ(http.Document.rfind("GET /headers HTTP/1.0\r\nHost: localhost:", 0), 0u)
      << http.Document;
  EXPECT_EQ(http.Document.find("Proxy-Authorization"), std::string::npos);
}

}  // namespace
}  // namespace vantrel
