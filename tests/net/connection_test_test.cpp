#include "net/connection_test.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace vantrel {
namespace {

using TList = std::vector<std::string>;

// ---- The server list ----

struct TSplitRow {
  const char* Servers;
  TList Expected;
};

TEST(ConnectionTestServerList, SplitsLikeTheSettingsDelimitedText) {
  const std::vector<TSplitRow> rows = {
      {"", {}},
      {"   ", {}},
      {"www.debian.org; www.wikipedia.org", {"www.debian.org", "www.wikipedia.org"}},
      {"a;b;c", {"a", "b", "c"}},
      {"  a  ;  b  ", {"a", "b"}},
      // Blanks outside quotes break entries as ";" does.
      {"a b\tc", {"a", "b", "c"}},
      {"a ; b c", {"a", "b", "c"}},
      // Quotes keep blanks and ";" inside one entry; "" stands for a quote.
      {"\"my host\";b", {"my host", "b"}},
      {"\"a;b\" c", {"a;b", "c"}},
      {"\"say \"\"hi\"\"\"", {"say \"hi\""}},
      {"\"\";b", {"", "b"}},
      {"\"unclosed; rest", {"unclosed; rest"}},
      // A quote inside an entry is an ordinary character.
      {"ab\"c d\"", {"ab\"c", "d\""}},
      // A closing quote ends the entry even without a delimiter.
      {"\"a\"b", {"a", "b"}},
      // Empty entries between delimiters and at the very end.
      {"a;;b", {"a", "", "b"}},
      {"a; ;b", {"a", "", "b"}},
      {";a", {"", "a"}},
      {"a;", {"a", ""}},
      {";", {"", ""}},
      {"a; ", {"a"}},
  };
  for (const TSplitRow& row : rows)
    EXPECT_EQ(SplitServerList(row.Servers), row.Expected) << "servers [" << row.Servers << "]";
}

// ---- The test ----

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

constexpr auto kByPing = TInternetOptions::ByPing;
constexpr auto kByDownload = TInternetOptions::ByDownload;

TEST(ConnectionTest, SwitchedOffTriesNothingAndLeavesTheResult) {
  TStandInProbe probe({});
  EXPECT_EQ(RunConnectionTest(false, "a;b", kByPing, probe), TConnectionTestResult::NotRun);
  EXPECT_TRUE(probe.Calls.empty());
}

TEST(ConnectionTest, EmptyListTriesNothingAndLeavesTheResult) {
  TStandInProbe probe({});
  EXPECT_EQ(RunConnectionTest(true, "", kByDownload, probe), TConnectionTestResult::NotRun);
  EXPECT_EQ(RunConnectionTest(true, "  ", kByDownload, probe), TConnectionTestResult::NotRun);
  EXPECT_TRUE(probe.Calls.empty());
}

TEST(ConnectionTest, ListOfDelimitersAloneNamesNoServerSoDoesNotFailTheCheck) {
  // Counting it as "no server answered" would turn every failure into 420,
  // which never takes an item down.
  TStandInProbe probe({});
  EXPECT_EQ(RunConnectionTest(true, ";;", kByPing, probe), TConnectionTestResult::NotRun);
  EXPECT_TRUE(probe.Calls.empty());
}

TEST(ConnectionTest, EmptyEntryIsNeverProbedSoLocalhostCannotAnswerForTheInternet) {
  TStandInProbe probe({""});
  EXPECT_EQ(RunConnectionTest(true, "a;;b;", kByDownload, probe),
            TConnectionTestResult::Unreachable);
  EXPECT_EQ(probe.Calls, (TList{"download a", "download b"}));
}

TEST(ConnectionTest, ByPingStopsAtTheFirstServerThatAnswers) {
  TStandInProbe probe({"b", "c"});
  EXPECT_EQ(RunConnectionTest(true, "a; b; c", kByPing, probe), TConnectionTestResult::Reachable);
  EXPECT_EQ(probe.Calls, (TList{"ping a", "ping b"}));
}

TEST(ConnectionTest, ByDownloadStopsAtTheFirstServerThatAnswers) {
  TStandInProbe probe({"a"});
  EXPECT_EQ(RunConnectionTest(true, "a;b", kByDownload, probe), TConnectionTestResult::Reachable);
  EXPECT_EQ(probe.Calls, (TList{"download a"}));
}

TEST(ConnectionTest, AllServersFailingTriesEachOnceInOrder) {
  TStandInProbe probe({});
  EXPECT_EQ(RunConnectionTest(true, "c \"b b\";a", kByPing, probe),
            TConnectionTestResult::Unreachable);
  EXPECT_EQ(probe.Calls, (TList{"ping c", "ping b b", "ping a"}));
}

TEST(ConnectionTest, OptionsChooseSwitchMethodAndServers) {
  TInternetOptions options;
  options.Servers = "x; y";
  options.Method = TInternetOptions::ByDownload;
  TStandInProbe probe({"y"});
  EXPECT_EQ(RunConnectionTest(options, probe), TConnectionTestResult::Reachable);
  EXPECT_EQ(probe.Calls, (TList{"download x", "download y"}));

  options.PingStatus = false;
  probe.Calls.clear();
  EXPECT_EQ(RunConnectionTest(options, probe), TConnectionTestResult::NotRun);
  EXPECT_TRUE(probe.Calls.empty());
}

TEST(ConnectionTest, UnknownMethodPings) {
  TInternetOptions options;
  options.Servers = "x";
  options.Method = 7;
  TStandInProbe probe({"x"});
  EXPECT_EQ(RunConnectionTest(options, probe), TConnectionTestResult::Reachable);
  EXPECT_EQ(probe.Calls, (TList{"ping x"}));
}

TEST(ConnectionTest, DefaultOptionsPingTheTwoDefaultServers) {
  TStandInProbe probe({});
  EXPECT_EQ(RunConnectionTest(TInternetOptions{}, probe), TConnectionTestResult::Unreachable);
  EXPECT_EQ(probe.Calls, (TList{"ping www.debian.org", "ping www.wikipedia.org"}));
}

}  // namespace
}  // namespace vantrel
