// The monitoring test's lines against real servers on loopback. Measured
// times vary: each must be a whole number of at least 1 ms and reads as N.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "core/monitoring_test.h"
#include "support/peer_nginx.h"
#include "support/peer_scripted_server.h"

namespace vantrel {
namespace {

constexpr const char* kPassed = "||Test finished successfully.";
constexpr const char* kFailed = "||Test failed.";

// The lines joined by "|", each measured time replaced by N.
std::string Lines(TMonitoringTest& test, TCheckType checkType, const std::string& url,
                  const std::string& search = "", std::int32_t downloadTimeout = 8000) {
  TMonitoringTestSettings settings;
  settings.CheckType = checkType;
  settings.Url = url;
  settings.SearchText = search;
  settings.DownloadTimeout = downloadTimeout;
  TTestTranscript transcript;
  const bool passed = test.Run(settings, transcript);
  const std::string prefix = "Response time: ";
  const std::string suffix = " milli-seconds";
  std::string joined;
  for (const std::string& line : transcript.Lines) {
    if (line.starts_with(prefix) && line.ends_with(suffix)) {
      const std::string number =
          line.substr(prefix.size(), line.size() - prefix.size() - suffix.size());
      EXPECT_EQ(number.find_first_not_of("0123456789"), std::string::npos) << line;
      EXPECT_GE(std::atoi(number.c_str()), 1) << line;
      joined += (joined.empty() ? "" : "|") + prefix + "N" + suffix;
    } else {
      joined += (joined.empty() ? "" : "|") + line;
    }
  }
  EXPECT_EQ(passed, joined.ends_with(kPassed)) << joined;
  return joined;
}

TEST(MonitoringTestAgainstPeers, PingOfTheLoopbackAddresses) {
  for (const std::string url : {"127.0.0.1", "icmp://::1"}) {
    TMonitoringTest test;
    EXPECT_EQ(Lines(test, TCheckType::Ping, url),
              std::string("Start testing|Pinging: Success|Response time: N milli-seconds|"
                          "Checking time-out: Success") +
                  kPassed)
        << url;
  }
}

TEST(MonitoringTestAgainstPeers, PagesFoundAndLate) {
  test::TNginxPeer nginx;
  ASSERT_TRUE(nginx.Ok()) << nginx.Error();
  nginx.WriteDocument("index.html", "<p>Service is UP</p>\n");
  TMonitoringTest test;
  const std::string head = "Start testing|Loading page: Success|Response code: ";
  const std::string time = "|Response time: N milli-seconds|Checking code: ";
  EXPECT_EQ(Lines(test, TCheckType::Download, nginx.Url("/index.html"), "is up"),
            head + "200 OK" + time +
                "Success|Checking time-out: Success|Checking page content: Success" + kPassed);
  // The page comes after 50 ms.
  EXPECT_EQ(Lines(test, TCheckType::Download, nginx.Url("/delay"), "", 10),
            head + "200 OK" + time + "Success|Checking time-out: Failure" + kFailed);
}

TEST(MonitoringTestAgainstPeers, ServiceGreetingAndRefusal) {
  test::TScriptedPeer peer([](test::TPeerConnection& connection) {
    connection.Send("220 mail.test ESMTP\r\n");
    connection.ReceiveUntilClosed(5000);
  });
  ASSERT_TRUE(peer.Ok()) << peer.Error();
  TMonitoringTest test(TServicePorts{peer.Port(), peer.Port(), peer.Port()});
  EXPECT_EQ(Lines(test, TCheckType::Smtp, "127.0.0.1"),
            std::string("Start testing|Checking SMTP: Success|Response time: N milli-seconds|"
                        "Checking time-out: Success") +
                kPassed);

  const std::string port = std::to_string(test::FreeLoopbackPort());
  TMonitoringTest refused(TServicePorts{port, port, port});
  EXPECT_EQ(Lines(refused, TCheckType::Ftp, "ftp://127.0.0.1"),
            std::string("Start testing|Checking FTP: Failure") + kFailed);
}

}  // namespace
}  // namespace vantrel
