#include "net/connection_test.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace vantrel {
namespace {

using TList = std::vector<std::string>;

struct TSplitRow {
  const char* Servers;
  TList Expected;
};

TEST(ConnectionTestServerList, SplitsLikeTheSettingsDelimitedText) {
  const std::vector<TSplitRow> rows = {
      {"", {}},
      {"www.debian.org; www.wikipedia.org", {"www.debian.org", "www.wikipedia.org"}},
      // Blanks outside quotes break entries as ";" does.
      {"a b\tc", {"a", "b", "c"}},
      // Quotes keep blanks and ";" inside one entry; "" stands for a quote.
      {"\"my host\";b", {"my host", "b"}},
      {"\"a;b\" c", {"a;b", "c"}},
      {"\"say \"\"hi\"\"\"", {"say \"hi\""}},
      {"\"unclosed; rest", {"unclosed; rest"}},
      // A quote inside an entry is an ordinary character.
      {"ab\"c d\"", {"ab\"c", "d\""}},
      // A closing quote ends the entry even without a delimiter.
      {"\"a\"b", {"a", "b"}},
      // Empty entries between delimiters and at the very end.
      {"a;;b", {"a", "", "b"}},
      {"a;", {"a", ""}},
      {";", {"", ""}},
      {"a; ", {"a"}},
  };
  for (const TSplitRow& row : rows)
    EXPECT_EQ(SplitServerList(row.Servers), row.Expected) << "servers [" << row.Servers << "]";
}

// Answers for the servers named in `Answering`, and records every attempt.
class TStandInProbe final : public TConnectionProbe {
 public:
  explicit TStandInProbe(std::set<std::string> answering) : Answering(std::move(answering)) {}

  bool Download(const std::string& server) override {
    Calls.push_back("download " + server);
    return Answering.contains(server);
  }
  bool Ping(const std::string& server) override {
    Calls.push_back("ping " + server);
    return Answering.contains(server);
  }

  std::set<std::string> Answering;
  TList Calls;
};

struct TRunRow {
  bool Enabled;
  const char* Servers;
  TInternetOptions::TTestMethod Method;
  std::set<std::string> Answering;
  TConnectionTestResult Result;
  TList Calls;
};

TEST(ConnectionTest, TriesTheNamedServersInOrderUntilOneAnswers) {
  constexpr auto kPing = TInternetOptions::ByPing;
  constexpr auto kDownload = TInternetOptions::ByDownload;
  using enum TConnectionTestResult;
  const std::vector<TRunRow> rows = {
      {false, "a;b", kPing, {}, NotRun, {}},
      {true, "  ", kDownload, {}, NotRun, {}},
      // Delimiters alone name no server: "none answered" would fail every check.
      {true, ";;", kPing, {}, NotRun, {}},
      // An empty entry is never probed, so localhost cannot answer for the Internet.
      {true, "a;;b;", kDownload, {""}, Unreachable, {"download a", "download b"}},
      {true, "a; b; c", kPing, {"b", "c"}, Reachable, {"ping a", "ping b"}},
      {true, "a;b", kDownload, {"a"}, Reachable, {"download a"}},
      {true, "c \"b b\";a", kPing, {}, Unreachable, {"ping c", "ping b b", "ping a"}},
  };
  for (const TRunRow& row : rows) {
    TStandInProbe probe(row.Answering);
    EXPECT_EQ(RunConnectionTest(row.Enabled, row.Servers, row.Method, probe), row.Result)
        << row.Servers;
    EXPECT_EQ(probe.Calls, row.Calls) << row.Servers;
  }
}

TEST(ConnectionTest, OptionsChooseSwitchMethodAndServers) {
  TStandInProbe defaults({});
  EXPECT_EQ(RunConnectionTest(TInternetOptions{}, defaults), TConnectionTestResult::Unreachable);
  EXPECT_EQ(defaults.Calls, (TList{"ping www.debian.org", "ping www.wikipedia.org"}));

  TInternetOptions options;
  options.Servers = "x; y";
  options.Method = TInternetOptions::ByDownload;
  TStandInProbe probe({"y"});
  EXPECT_EQ(RunConnectionTest(options, probe), TConnectionTestResult::Reachable);
  EXPECT_EQ(probe.Calls, (TList{"download x", "download y"}));
  options.Method = 7;  // unknown: pings
  probe.Calls.clear();
  EXPECT_EQ(RunConnectionTest(options, probe), TConnectionTestResult::Reachable);
  EXPECT_EQ(probe.Calls, (TList{"ping x", "ping y"}));
  options.PingStatus = false;
  probe.Calls.clear();
  EXPECT_EQ(RunConnectionTest(options, probe), TConnectionTestResult::NotRun);
  EXPECT_TRUE(probe.Calls.empty());
}

}  // namespace
}  // namespace vantrel
