// The settings of `vantrel-cli check` from its command line.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/check_command.h"

namespace vantrel {
namespace {

TMonitoringTestSettings Settings(const std::vector<std::string>& args) {
  return CheckSettingsFromArgs(ParseArgs(args, CheckOptions()));
}

TEST(CheckArgs, MethodFollowsTheUrlUnlessOneIsChosen) {
  const std::pair<std::vector<std::string>, TCheckType> cases[] = {
      {{"http://web.test/"}, TCheckType::Download},
      {{"web.test"}, TCheckType::Ping},
      {{"http://web.test/", "--ping"}, TCheckType::Ping},
      {{"web.test", "--download"}, TCheckType::Download},
      {{"m.test", "--smtp"}, TCheckType::Smtp},
      {{"m.test", "--pop3"}, TCheckType::Pop3},
      {{"--ftp", "f.test", "--ftp"}, TCheckType::Ftp},
  };
  for (const auto& [args, type] : cases)
    EXPECT_EQ(Settings(args).CheckType, type) << args.front();
}

TEST(CheckArgs, ThresholdsAreTheNewItemDefaultsAndTimeoutSetsTheChosenOnes) {
  const TMonitoringTestSettings defaults = Settings({" web.test "});
  EXPECT_EQ(defaults.Url, "web.test");
  EXPECT_EQ(defaults.PingTimeout, 3000);
  EXPECT_EQ(defaults.DownloadTimeout, 8000);
  EXPECT_EQ(defaults.ServiceTimeout, 4000);
  EXPECT_EQ(Settings({"web.test", "--timeout", "9999"}).PingTimeout, 9999);
  EXPECT_EQ(Settings({"http://web.test/", "--timeout", "99999"}).DownloadTimeout, 99999);
  EXPECT_EQ(Settings({"m.test", "--smtp", "--timeout", "0"}).ServiceTimeout, 0);
  const TMonitoringTestSettings search =
      Settings({"http://web.test/", "--search", " Welcome ", "--case-sensitive"});
  EXPECT_EQ(search.SearchText, " Welcome ");  // as given
  EXPECT_TRUE(search.CaseSensitive);
}

TEST(CheckArgs, MistakesAreNamed) {
  const std::pair<std::vector<std::string>, const char*> cases[] = {
      {{}, "needs the URL or host to test"},
      {{"  "}, "the URL or host to test is empty"},
      {{"w.test/\r\nx"}, "the URL or host to test must not contain control characters"},
      {{"a.test", "b.test"}, "unexpected argument 'b.test' (one URL or host only)"},
      {{"w.test", "--ping", "--download"}, "--ping and --download: choose one method"},
      {{"w.test", "--timeout", "10000"}, "--timeout: 10000 is out of range (0 to 9999)"},
      {{"m.test", "--ftp", "--timeout", "10000"}, "--timeout: 10000 is out of range (0 to 9999)"},
      {{"http://w.test/", "--timeout", "100000"}, "--timeout: 100000 is out of range (0 to 99999)"},
      {{"w.test", "--search", "x"}, "--search: only a download searches the page (add --download)"},
      {{"w.test", "--case-sensitive"},
       "--case-sensitive: only a download searches the page (add --download)"},
  };
  for (const auto& [args, message] : cases) {
    try {
      Settings(args);
      ADD_FAILURE() << message;
    } catch (const EUsageError& e) {
      EXPECT_EQ(std::string(e.what()), message);
    }
  }
}

}  // namespace
}  // namespace vantrel
