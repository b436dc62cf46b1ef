// What a check is given: the host per method, the threshold, the copies.

#include <gtest/gtest.h>

#include "core/check_request.h"
#include "core/watch_item.h"
#include "platform/manual_main_loop.h"

namespace vantrel {
namespace {

TEST(CheckHost, PingDropsOnlyTheSchemeAndKeepsThePath) {
  EXPECT_EQ(CheckHost(TCheckType::Ping, "http://www.example.com/path"), "www.example.com/path");
  EXPECT_EQ(CheckHost(TCheckType::Ping, "example.com"), "example.com");
}

TEST(CheckHost, ServicesAlsoDropALeadingWwwOfAnyCase) {
  EXPECT_EQ(CheckHost(TCheckType::Smtp, "http://www.example.com/path"), "example.com/path");
  EXPECT_EQ(CheckHost(TCheckType::Pop3, "WwW.mail.example.com:1100"), "mail.example.com:1100");
  EXPECT_EQ(CheckHost(TCheckType::Ftp, "ftp://ftp.example.com"), "ftp.example.com");
  EXPECT_EQ(CheckHost(TCheckType::Ftp, "wwwx.example.com"), "wwwx.example.com");
}

TEST(CheckHost, OnlyTheFirstSchemeSeparatorIsRemoved) {
  EXPECT_EQ(CheckHost(TCheckType::Ping, "a://b://c"), "b://c");
}

TEST(CheckHost, DownloadKeepsTheWholeUrl) {
  EXPECT_EQ(CheckHost(TCheckType::Download, "https://www.example.com/a?b"),
            "https://www.example.com/a?b");
}

TEST(TrimBlanks, RemovesBlanksAndControlsAtBothEndsOnly) {
  EXPECT_EQ(TrimBlanks(" \t a; b \r\n"), "a; b");
  EXPECT_EQ(TrimBlanks("   "), "");
}

class CheckRequest : public ::testing::Test {
 protected:
  CheckRequest() : Item(Clock) {
    Item.Url = "http://www.example.com/";
    Item.PingTimeout = 1111;
    Item.DownloadTimeout = 2222;
    Item.ServiceTimeout = 3333;
    Item.SearchText = "needle";
    Item.CaseSensitive = true;
  }
  TManualClock Clock;
  TWatchItem Item;
  TInternetOptions Options;
};

TEST_F(CheckRequest, EachMethodTakesItsOwnThreshold) {
  Item.CheckType = TCheckType::Ping;
  EXPECT_EQ(MakeCheckRequest(Item, {}, Options).Timeout, 1111);
  Item.CheckType = TCheckType::Download;
  EXPECT_EQ(MakeCheckRequest(Item, {}, Options).Timeout, 2222);
  for (const TCheckType type : {TCheckType::Smtp, TCheckType::Pop3, TCheckType::Ftp}) {
    Item.CheckType = type;
    EXPECT_EQ(MakeCheckRequest(Item, {}, Options).Timeout, 3333);
  }
}

TEST_F(CheckRequest, SearchIsCopiedForDownloadsOnly) {
  Item.CheckType = TCheckType::Ping;
  const TCheckRequest ping = MakeCheckRequest(Item, {}, Options);
  EXPECT_EQ(ping.SearchText, "");
  EXPECT_FALSE(ping.CaseSensitive);
  Item.CheckType = TCheckType::Download;
  const TCheckRequest download = MakeCheckRequest(Item, {}, Options);
  EXPECT_EQ(download.SearchText, "needle");
  EXPECT_TRUE(download.CaseSensitive);
}

TEST_F(CheckRequest, ConnectionTestSettingsComeFromTheInternetOptions) {
  Options.PingStatus = false;
  Options.Servers = "  a.test;b.test  ";
  Options.Method = TInternetOptions::ByPing;
  TCheckRequest request = MakeCheckRequest(Item, {}, Options);
  EXPECT_FALSE(request.TestEnabled);
  EXPECT_EQ(request.TestServers, "a.test;b.test");
  EXPECT_FALSE(request.TestByDownload);
  Options.Method = TInternetOptions::ByDownload;
  EXPECT_TRUE(MakeCheckRequest(Item, {}, Options).TestByDownload);
}

TEST_F(CheckRequest, SuspendedItemGivesAnInactiveRequest) {
  Item.SetActive(false);
  EXPECT_FALSE(MakeCheckRequest(Item, {}, Options).Active);
}

}  // namespace
}  // namespace vantrel
