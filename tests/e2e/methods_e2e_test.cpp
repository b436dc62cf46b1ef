// Every check method, run by the headless monitor against real servers: ping
// of both loopback addresses, pages from nginx with and without a search
// text, and the greetings of aiosmtpd, dovecot's POP3 service and pyftpdlib
// on their standard ports.

#include <gtest/gtest.h>

#include <signal.h>

#include <string>
#include <vector>

#include "e2e_fixture.h"
#include "support/peer_service_servers.h"

namespace vantrel::test {
namespace {

struct TExpected {
  std::string Name;
  std::vector<std::string> Settings;
  std::string Outcome;  // "OK" or "FAILED"
  int Code;             // the recorded response code
  std::string Started;  // the event log's start line
};

TEST_F(E2eTest, EveryMethodIsCheckedAgainstRealServers) {
  std::unique_ptr<TNginxPeer> nginx = StartNginx();
  ASSERT_TRUE(nginx != nullptr && nginx->Ok()) << (nginx ? nginx->Error() : "");
  nginx->WriteDocument("index.html", "<p>Service is UP</p>\n");
  TServiceServer smtp(TServiceKind::Smtp, Net_->Path());
  ASSERT_TRUE(smtp.Ok()) << smtp.Error();
  TServiceServer pop3(TServiceKind::Pop3, Net_->Path());
  ASSERT_TRUE(pop3.Ok()) << pop3.Error();
  TServiceServer ftp(TServiceKind::Ftp, Net_->Path());
  ASSERT_TRUE(ftp.Ok()) << ftp.Error();

  const std::string page = nginx->Url("/index.html");
  const std::string missing = nginx->Url("/missing.html");
  const std::vector<TExpected> expected = {
      {"ping-v4",
       {"--url", "127.0.0.1", "--type", "ping"},
       "OK",
       200,
       "Start checking ping-v4 (127.0.0.1) by Ping"},
      {"ping-v6",
       {"--url", "icmp://::1", "--type", "ping"},
       "OK",
       200,
       "Start checking ping-v6 (icmp://::1) by Ping"},
      {"page",
       {"--url", page, "--type", "download"},
       "OK",
       200,
       "Start checking page (" + page + ") by Download"},
      // Without case, "is up" is found in "is UP".
      {"search",
       {"--url", page, "--type", "download", "--search", "is up"},
       "OK",
       200,
       "Start checking search (" + page + ") by Download"},
      {"search-case",
       {"--url", page, "--type", "download", "--search", "is up", "--case-sensitive"},
       "FAILED",
       220,
       "Start checking search-case (" + page + ") by Download"},
      // Down at its first failure: the alarm is printed.
      {"missing",
       {"--url", missing, "--type", "download", "--search", "is up", "--alarm-trigger", "1"},
       "FAILED",
       404,
       "Start checking missing (" + missing + ") by Download"},
      {"smtp",
       {"--url", "127.0.0.1", "--type", "smtp"},
       "OK",
       200,
       "Start checking smtp (127.0.0.1) SMTP"},
      {"pop3",
       {"--url", "localhost", "--type", "pop3"},
       "OK",
       200,
       "Start checking pop3 (localhost) POP3"},
      // The scheme and a leading "www." are no part of a service's host.
      {"ftp",
       {"--url", "ftp://www.localhost", "--type", "ftp"},
       "OK",
       200,
       "Start checking ftp (ftp://www.localhost) FTP"},
  };
  std::vector<std::int32_t> ids;
  for (const TExpected& item : expected) {
    std::vector<std::string> settings = item.Settings;
    settings.insert(settings.end(), {"--name", item.Name, "--frequency", "1"});
    ids.push_back(AddItem(settings));
  }

  auto run = StartMonitor();
  ASSERT_TRUE(run != nullptr);
  for (const TExpected& item : expected) {
    EXPECT_TRUE(run->WaitForLine(ResultOf(item.Name, item.Outcome), Scaled(20000)).has_value())
        << item.Name << " was not checked " << item.Outcome << "\n"
        << run->Transcript();
  }
  // The failures say why.
  EXPECT_TRUE(run->WaitForLine(Contains("search-case (" + page + ")  FAILED  "), 0).has_value());
  EXPECT_GE(run->Count(Contains("Search Content Failed")), 1u) << run->Transcript();
  EXPECT_GE(run->Count(Contains("Not Found")), 1u) << run->Transcript();
  EXPECT_EQ(run->Count(Contains("*** missing (" + missing + ")  DOWN")), 1u) << run->Transcript();
  StopMonitor(*run, SIGINT);

  const std::vector<QJsonObject> items = ListItems();
  ASSERT_EQ(items.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const QJsonObject item = ItemWithId(items, ids[i]);
    ASSERT_FALSE(item.isEmpty()) << expected[i].Name;
    EXPECT_EQ(item.value("Name").toString().toStdString(), expected[i].Name);
    const int checked = item.value("TimesChecked").toInt();
    EXPECT_GE(checked, 1) << expected[i].Name;
    EXPECT_EQ(item.value("TimesFailed").toInt(), expected[i].Outcome == "OK" ? 0 : checked)
        << expected[i].Name;
    EXPECT_EQ(item.value("LastResponseCode").toInt(), expected[i].Code) << expected[i].Name;
    if (expected[i].Outcome == "OK") {
      EXPECT_GE(item.value("LastResponseTime").toInt(), 1) << expected[i].Name;
    }
  }

  const std::string log = EventLog();
  for (const TExpected& item : expected) {
    EXPECT_NE(log.find(item.Started), std::string::npos) << item.Started << "\n" << log;
    EXPECT_NE(log.find("End checking " + item.Name + " ("), std::string::npos) << item.Name;
  }
  EXPECT_NE(log.find("Response Code: Search Content Failed"), std::string::npos);
  EXPECT_NE(log.find("Response Code: Not Found"), std::string::npos);
}

}  // namespace
}  // namespace vantrel::test
