// The decisions of the ping, download and service checks on given network
// outcomes: codes, thresholds, search rules, greetings, recorded times.

#include "core/check_rules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/response_codes.h"

namespace vantrel {
namespace {

std::string Describe(const TCheckResult& result) {
  return std::string(result.Success ? "success" : "failure") + " time " +
         std::to_string(result.ResponseTime) + " code " + std::to_string(result.ResponseCode);
}

// ---- Recorded times ----

TEST(RecordedTime, ReplyWithinTheSameMillisecondIsNotRecordedAsNoResponse) {
  EXPECT_EQ(RecordedTime(0), 1);
  EXPECT_EQ(RecordedTime(1), 1);
  EXPECT_EQ(RecordedTime(250), 250);
  EXPECT_EQ(RecordedTime(-1), -1);
  EXPECT_EQ(RecordedTime(-7), -1);
}

// ---- Search text ----

struct TSearchRow {
  const char* Page;
  const char* Search;
  bool CaseSensitive;
  bool Found;
};

TEST(SearchText, OnlyAsciiCapitalsAreFoldedWithoutCase) {
  const std::vector<TSearchRow> rows = {
      {"<h1>Welcome</h1>", "Welcome", true, true},
      {"<h1>WELCOME</h1>", "welcome", false, true},
      {"<h1>welcome</h1>", "WelCome", false, true},
      {"<h1>WELCOME</h1>", "Welcome", true, false},
      {"<h1>Welcome</h1>", "Goodbye", false, false},
      // Letters beyond ASCII are compared as they are, byte by byte.
      {"Caf\xC9", "caf\xE9", false, false},
      {"Caf\xC9", "CAF\xC9", false, true},
      {"Stra\xC3\x9F"
       "e",
       "STRASSE", false, false},
      // "@" and "[" lie beside the capitals and must not be folded into "`" or "{".
      {"a@b[c", "A`B{C", false, false},
      {"anything", "", true, true},
      {"", "", false, true},
      {"", "x", false, false},
  };
  for (const TSearchRow& row : rows)
    EXPECT_EQ(ContainsSearchText(row.Page, row.Search, row.CaseSensitive), row.Found)
        << "[" << row.Search << "] in [" << row.Page << "] case " << row.CaseSensitive;
}

// ---- Greetings ----

struct TGreetingRow {
  TCheckType Service;
  const char* Line;
  bool Accepted;
};

TEST(Greeting, EachServiceAcceptsItsOwnGoodGreetingOnly) {
  const std::vector<TGreetingRow> rows = {
      {TCheckType::Smtp, "220 mail.example.org ESMTP", true},
      {TCheckType::Smtp, "220", true},
      {TCheckType::Smtp, "220-first line of several", true},
      {TCheckType::Smtp, "554 no service", false},
      {TCheckType::Smtp, "+OK", false},
      {TCheckType::Smtp, "22", false},
      {TCheckType::Smtp, "", false},
      {TCheckType::Ftp, "220 FTP ready", true},
      {TCheckType::Ftp, "421 Too many connections", false},
      {TCheckType::Ftp, " 220", false},
      {TCheckType::Pop3, "+OK POP3 ready", true},
      {TCheckType::Pop3, "+ok ready", true},
      {TCheckType::Pop3, "+Ok", true},
      {TCheckType::Pop3, "+oK dovecot", true},
      {TCheckType::Pop3, "-ERR busy", false},
      {TCheckType::Pop3, "220 not pop", false},
      {TCheckType::Pop3, "+O", false},
      {TCheckType::Ping, "220", false},
      {TCheckType::Download, "220", false},
  };
  for (const TGreetingRow& row : rows)
    EXPECT_EQ(GreetingAccepted(row.Service, row.Line), row.Accepted)
        << static_cast<int>(row.Service) << " [" << row.Line << "]";
}

// ---- Ping ----

struct TPingRow {
  TPingOutcome Outcome;
  std::int32_t Timeout;
  TCheckResult Expected;
};

TEST(PingCheck, ReplyIsJudgedByTheThresholdAndSilenceByNothing) {
  const std::vector<TPingRow> rows = {
      {{true, 12}, 3000, {true, 12, 200, ""}},
      {{true, 3000}, 3000, {true, 3000, 200, ""}},  // the threshold itself still passes
      {{true, 3001}, 3000, {false, 3001, 408, ""}},
      {{true, 0}, 3000, {true, 1, 200, ""}},  // a loopback reply
      {{false, -1}, 3000, {false, -1, 0, ""}},
      // A reply never counts without its flag, whatever time came with it.
      {{false, 5}, 3000, {false, -1, 0, ""}},
  };
  for (const TPingRow& row : rows) {
    const TCheckResult result = JudgePing(row.Outcome, row.Timeout);
    EXPECT_EQ(result, row.Expected)
        << Describe(result) << " for a reply " << row.Outcome.Replied << " in " << row.Outcome.Time;
  }
}

// ---- Download ----

struct TDownloadRow {
  const char* Case;
  THttpOutcome Outcome;
  std::int32_t Timeout;
  const char* Search;
  bool CaseSensitive;
  bool Success;
  std::int32_t Time;
  std::int32_t Code;
};

TEST(DownloadCheck, StatusThresholdAndSearchGiveTheCode) {
  const std::string page = "<html><h1>WELCOME</h1></html>";
  const std::vector<TDownloadRow> rows = {
      {"fast 200", {true, 200, 120, page}, 8000, "", false, true, 120, 200},
      {"200 in 9 s against 8000 ms", {true, 200, 9000, page}, 8000, "", false, false, 9000, 408},
      {"200 at the threshold", {true, 200, 8000, page}, 8000, "", false, true, 8000, 200},
      {"late page is late even without its text",
       {true, 200, 9000, page},
       8000,
       "missing",
       false,
       false,
       9000,
       408},
      {"404 with its text", {true, 404, 50, page}, 8000, "WELCOME", true, false, 50, 404},
      {"404 without a search", {true, 404, 50, page}, 8000, "", false, false, 50, 404},
      {"late 404 stays 404", {true, 404, 9000, page}, 8000, "", false, false, 9000, 404},
      {"redirect is a failure", {true, 301, 50, page}, 8000, "", false, false, 50, 301},
      {"no status line", {true, 0, 10060, "\r\n"}, 8000, "", false, false, 10060, 0},
      {"search without case", {true, 200, 50, page}, 8000, "welcome", false, true, 50, 200},
      {"search with case", {true, 200, 50, page}, 8000, "welcome", true, false, 50, 220},
      {"search with case, exact", {true, 200, 50, page}, 8000, "WELCOME", true, true, 50, 200},
      {"text absent", {true, 200, 50, page}, 8000, "goodbye", false, false, 50, 220},
      {"not sent", {false, 500, -1, ""}, 8000, "", false, false, -1, 500},
      {"local page within a millisecond", {true, 200, 0, page}, 8000, "", false, true, 1, 200},
      {"local 404 within a millisecond", {true, 404, 0, page}, 8000, "", false, false, 1, 404},
  };
  for (const TDownloadRow& row : rows) {
    const TCheckResult result =
        JudgeDownload(row.Outcome, row.Timeout, row.Search, row.CaseSensitive);
    EXPECT_EQ(result.Success, row.Success) << row.Case;
    EXPECT_EQ(result.ResponseTime, row.Time) << row.Case;
    EXPECT_EQ(result.ResponseCode, row.Code) << row.Case;
  }
}

TEST(DownloadCheck, WholePageIsKeptAsTheResponseText) {
  const std::string page(70000, 'x');
  EXPECT_EQ(JudgeDownload({true, 404, 5, page}, 8000, "", false).ResponseText, page);
  EXPECT_EQ(JudgeDownload({true, 200, 5, page}, 8000, "y", false).ResponseText, page);
}

TEST(DownloadCheck, UnsentRequestHasNoTimeAndNoText) {
  // Whatever the client left in its document does not become the page.
  const TCheckResult result = JudgeDownload({false, 500, 40, "stale"}, 8000, "", false);
  EXPECT_EQ(result, (TCheckResult{false, -1, 500, ""}));
  EXPECT_EQ(HttpCodeText(result.ResponseCode), "Internal Server Error");
}

// ---- Services ----

struct TServiceRow {
  const char* Case;
  TCheckType Service;
  TGreetingOutcome Outcome;
  std::int32_t Timeout;
  TCheckResult Expected;
};

TEST(ServiceCheck, GreetingAndThresholdGiveTheCode) {
  const std::vector<TServiceRow> rows = {
      {"SMTP in time",
       TCheckType::Smtp,
       {0, "220 mail ESMTP", 30},
       4000,
       {true, 30, 200, "220 mail ESMTP"}},
      {"SMTP late",
       TCheckType::Smtp,
       {0, "220 mail ESMTP", 4001},
       4000,
       {false, 4001, 408, "220 mail ESMTP"}},
      {"FTP 220", TCheckType::Ftp, {0, "220 ready", 4000}, 4000, {true, 4000, 200, "220 ready"}},
      {"FTP 421 keeps its time and text",
       TCheckType::Ftp,
       {0, "421 Too many users", 15},
       4000,
       {false, 15, 420, "421 Too many users"}},
      {"POP3 +OK in capitals",
       TCheckType::Pop3,
       {0, "+OK Dovecot ready.", 7},
       4000,
       {true, 7, 200, "+OK Dovecot ready."}},
      {"POP3 -ERR", TCheckType::Pop3, {0, "-ERR", 7}, 4000, {false, 7, 420, "-ERR"}},
      {"refused", TCheckType::Smtp, {10061, "", -1}, 4000, {false, -1, 420, ""}},
      {"greeting never came", TCheckType::Pop3, {10060, "", -1}, 4000, {false, -1, 420, ""}},
      {"loopback greeting within a millisecond",
       TCheckType::Smtp,
       {0, "220 x", 0},
       4000,
       {true, 1, 200, "220 x"}},
      {"bad greeting within a millisecond",
       TCheckType::Ftp,
       {0, "530 no", 0},
       4000,
       {false, 1, 420, "530 no"}},
  };
  for (const TServiceRow& row : rows) {
    const TCheckResult result = JudgeGreeting(row.Service, row.Outcome, row.Timeout);
    EXPECT_EQ(result, row.Expected) << row.Case << ": " << Describe(result);
  }
}

// ---- Connection test ----

TEST(ConnectionTestOutcome, OnlyAnUnreachableConnectionChangesTheCode) {
  const TCheckResult failed{false, 80, 404, "<html>gone</html>"};
  TCheckResult result = failed;
  ApplyConnectionTest(result, TConnectionTestResult::NotRun);
  EXPECT_EQ(result, failed);
  ApplyConnectionTest(result, TConnectionTestResult::Reachable);
  EXPECT_EQ(result, failed);
  ApplyConnectionTest(result, TConnectionTestResult::Unreachable);
  EXPECT_EQ(result, (TCheckResult{false, 80, 420, "<html>gone</html>"}));
  EXPECT_EQ(HttpCodeText(result.ResponseCode), "Connection Failed");
}

}  // namespace
}  // namespace vantrel
