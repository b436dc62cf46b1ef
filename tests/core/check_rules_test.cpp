// What a check is given, and the decisions of the ping, download and service
// checks on given network outcomes: codes, thresholds, search, greetings.

#include "core/check_rules.h"

#include <gtest/gtest.h>

#include <string>

#include "core/check_request.h"
#include "core/response_codes.h"
#include "core/watch_item.h"
#include "platform/manual_main_loop.h"

namespace vantrel {
namespace {

using enum TCheckType;

TEST(CheckRules, SearchFoldsOnlyAsciiCapitalsWithoutCase) {
  const struct {
    const char* Page;
    const char* Search;
    bool CaseSensitive;
    bool Found;
  } rows[] = {
      {"<h1>Welcome</h1>", "Welcome", true, true},
      {"<h1>WELCOME</h1>", "welcome", false, true},
      {"<h1>welcome</h1>", "WelCome", false, true},
      {"<h1>WELCOME</h1>", "Welcome", true, false},
      {"Caf\xC9", "caf\xE9", false, false},  // beyond ASCII: byte by byte
      {"Caf\xC9", "CAF\xC9", false, true},
      {"a@b[c", "A`B{C", false, false},  // beside the capitals, not folded
      {"anything", "", true, true},
      {"", "x", false, false},
  };
  for (const auto& row : rows)
    EXPECT_EQ(ContainsSearchText(row.Page, row.Search, row.CaseSensitive), row.Found)
        << "[" << row.Search << "] in [" << row.Page << "] case " << row.CaseSensitive;
}

TEST(CheckRules, EachServiceAcceptsItsOwnGoodGreetingOnly) {
  const struct {
    TCheckType Service;
    const char* Line;
    bool Accepted;
  } rows[] = {
      {Smtp, "220 mail.example.org ESMTP", true},
      {Smtp, "220-first of several", true},
      {Smtp, "554 no service", false},
      {Smtp, "+OK", false},
      {Smtp, "22", false},
      {Ftp, "220 FTP ready", true},
      {Ftp, "421 Too many connections", false},
      {Ftp, " 220", false},
      {Pop3, "+OK POP3 ready", true},
      {Pop3, "+oK dovecot", true},
      {Pop3, "-ERR busy", false},
      {Pop3, "220 not pop", false},
      {Pop3, "+O", false},
      {Ping, "220", false},
      {Download, "220", false},
  };
  for (const auto& row : rows)
    EXPECT_EQ(GreetingAccepted(row.Service, row.Line), row.Accepted) << row.Line;
}

TEST(CheckRules, PingReplyIsJudgedByTheThresholdAndSilenceByNothing) {
  const struct {
    TPingOutcome Outcome;
    TCheckResult Expected;
  } rows[] = {
      {{true, 12}, {true, 12, 200, ""}},
      {{true, 3000}, {true, 3000, 200, ""}},  // the threshold itself passes
      {{true, 3001}, {false, 3001, 408, ""}},
      {{true, 0}, {true, 1, 200, ""}},
      {{false, -1}, {false, -1, 0, ""}},
      {{false, 5}, {false, -1, 0, ""}},  // no reply without its flag
  };
  for (const auto& row : rows)
    EXPECT_EQ(JudgePing(row.Outcome, 3000), row.Expected) << row.Outcome.Time;
}

TEST(CheckRules, DownloadStatusThresholdAndSearchGiveTheCode) {
  const std::string page = "<html><h1>WELCOME</h1></html>";
  const struct {
    std::int32_t Status;
    std::int32_t Time;
    const char* Search;
    bool CaseSensitive;
    bool Success;
    std::int32_t RecordedTime;
    std::int32_t Code;
  } rows[] = {
      {200, 120, "", false, true, 120, 200},
      {200, 8000, "", false, true, 8000, 200},          // at the threshold
      {200, 9000, "", false, false, 9000, 408},         // 9 s against 8000 ms
      {200, 9000, "missing", false, false, 9000, 408},  // late even without its text
      {404, 50, "WELCOME", true, false, 50, 404},
      {404, 9000, "", false, false, 9000, 404},  // a late 404 stays 404
      {301, 50, "", false, false, 50, 301},
      {200, 50, "welcome", false, true, 50, 200},
      {200, 50, "welcome", true, false, 50, 220},  // how a search folds is the test above
      {200, 0, "", false, true, 1, 200},
      {404, 0, "", false, false, 1, 404},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(
        JudgeDownload({true, row.Status, row.Time, page}, 8000, row.Search, row.CaseSensitive),
        (TCheckResult{row.Success, row.RecordedTime, row.Code, page}))
        << row.Status << " in " << row.Time << " ms, search [" << row.Search << "]";
  }
  EXPECT_EQ(JudgeDownload({true, 0, 10060, "\r\n"}, 8000, "", false),
            (TCheckResult{false, 10060, 0, "\r\n"}));  // no status line
  // Unsent: no time and no text, whatever the client left in its document.
  EXPECT_EQ(JudgeDownload({false, 500, 40, "stale"}, 8000, "", false),
            (TCheckResult{false, -1, 500, ""}));
}

TEST(CheckRules, ServiceGreetingAndThresholdGiveTheCode) {
  const struct {
    TCheckType Service;
    TGreetingOutcome Outcome;
    bool Success;
    std::int32_t Time;
    std::int32_t Code;
  } rows[] = {
      {Smtp, {0, "220 mail ESMTP", 30}, true, 30, 200},
      {Smtp, {0, "220 mail ESMTP", 4001}, false, 4001, 408},
      {Ftp, {0, "220 ready", 4000}, true, 4000, 200},
      {Ftp, {0, "421 Too many users", 15}, false, 15, 420},
      {Pop3, {0, "+OK Dovecot ready.", 7}, true, 7, 200},
      {Pop3, {0, "-ERR", 7}, false, 7, 420},
      {Smtp, {10061, "", -1}, false, -1, 420},  // refused
      {Pop3, {10060, "", -1}, false, -1, 420},  // no greeting came
      {Smtp, {0, "220 x", 0}, true, 1, 200},
      {Ftp, {0, "530 no", 0}, false, 1, 420},
  };
  for (const auto& row : rows) {
    const TCheckResult expected{row.Success, row.Time, row.Code, row.Outcome.Line};
    EXPECT_EQ(JudgeGreeting(row.Service, row.Outcome, 4000), expected) << row.Outcome.Line;
  }
}

TEST(CheckHost, PingDropsTheSchemeServicesAlsoALeadingWwwDownloadsNothing) {
  const struct {
    TCheckType Type;
    const char* Url;
    const char* Host;
  } cases[] = {
      {Ping, "example.com", "example.com"},
      {Ping, "a://b://c", "b://c"},
      {Pop3, "WwW.mail.example.com:1100", "mail.example.com:1100"},
      {Ftp, "wwwx.example.com", "wwwx.example.com"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(CheckHost(c.Type, c.Url), c.Host) << c.Url;
  EXPECT_EQ(TrimBlanks(" \t a; b \r\n"), "a; b");
  EXPECT_EQ(TrimBlanks("   "), "");
}

TEST(CheckRequest, EachMethodTakesItsOwnThresholdAndOnlyDownloadsTheSearch) {
  TManualClock clock;
  TWatchItem item(clock);
  item.PingTimeout = 1111;
  item.DownloadTimeout = 2222;
  item.ServiceTimeout = 3333;
  item.SearchText = "needle";
  item.CaseSensitive = true;
  const struct {
    TCheckType Type;
    std::int32_t Timeout;
    const char* Search;
  } cases[] = {{Ping, 1111, ""},
               {Download, 2222, "needle"},
               {Smtp, 3333, ""},
               {Pop3, 3333, ""},
               {Ftp, 3333, ""}};
  for (const auto& c : cases) {
    item.CheckType = c.Type;
    const TCheckRequest request = MakeCheckRequest(item, {}, {});
    EXPECT_EQ(request.Timeout, c.Timeout) << c.Timeout;
    EXPECT_EQ(request.SearchText, c.Search) << c.Timeout;
    EXPECT_EQ(request.CaseSensitive, c.Type == Download) << c.Timeout;
  }
}

TEST(CheckRules, OnlyAnUnreachableConnectionChangesTheCode) {
  const TCheckResult failed{false, 80, 404, "<html>gone</html>"};
  TCheckResult result = failed;
  ApplyConnectionTest(result, TConnectionTestResult::NotRun);
  ApplyConnectionTest(result, TConnectionTestResult::Reachable);
  EXPECT_EQ(result, failed);
  ApplyConnectionTest(result, TConnectionTestResult::Unreachable);
  EXPECT_EQ(result, (TCheckResult{false, 80, 420, "<html>gone</html>"}));
}

}  // namespace
}  // namespace vantrel
