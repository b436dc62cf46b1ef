// The alarm texts from the item's display texts and the user's templates.

#include "alerts/alarm_templates.h"

#include <gtest/gtest.h>

#include <string>

#include "core/memory_views.h"
#include "core/settings.h"
#include "core/watch_item.h"
#include "core/watch_list.h"
#include "platform/date_format.h"
#include "platform/manual_main_loop.h"
#include "reports/report_list.h"
#include "storage/history.h"
#include "support/test_files.h"

namespace vantrel {
namespace {

class AlarmTemplatesTest : public ::testing::Test {
 protected:
  AlarmTemplatesTest() {
    TWatchItem source;
    source.Name = "Shop";
    source.Url = "10.0.0.5";
    Shop = &List.AddItem(source);
    Shop->SetStatus(TWatchStatus::Down);
  }

  TAlarmTextSources Sources() {
    return {.List = List,
            .Preferences = Preferences,
            .Reports = &Reports,
            .History = &History,
            .Now = Clock.Now()};
  }

  test::TTempDir Dir;
  TManualClock Clock;
  TSettings Settings;
  TMemoryItemView ItemView;
  TMemoryDetailsView DetailsView;
  TWatchList List{ItemView, (Dir / "vantrel.vtd").string(), DetailsView, Settings, Clock};
  TWatchHistory History{List, (Dir / "vantrel.vth").string()};
  TReportList Reports{(Dir / "vantrel.vtr").string()};
  TPreferences Preferences;
  TWatchItem* Shop = nullptr;
};

TEST_F(AlarmTemplatesTest, DefaultSubjectAndSmsNameTheItemAndItsState) {
  EXPECT_EQ(MakeSubject(Sources(), *Shop),
            "Alarm Down - Shop (10.0.0.5) " + TimeStampText(Clock.Now()));
  EXPECT_EQ(MakeMessage(Sources(), *Shop, TEmailType::Sms), "Shop is Down");
  EXPECT_FALSE(IsHtmlMessage(TEmailType::Sms));
}

TEST_F(AlarmTemplatesTest, EachMacroIsReplacedEverywhereOnceAndOnlyInItsOwnCase) {
  Shop->Name = "%Name% and %URL%";
  const TMacroLists macros = BuildMacroLists(List, *Shop, Clock.Now());
  ASSERT_EQ(macros.Names.size(), 22u);
  // The name's own "%Name%" is not replaced again; its "%URL%" is, by the
  // later macro.
  EXPECT_EQ(ReplaceMacros(macros, "%Name%|%status%|%URL% %URL% %URL%"),
            "%Name% and 10.0.0.5|%status%|10.0.0.5 10.0.0.5 10.0.0.5");

  // Without a row the templates come back as written.
  TWatchItem loose;
  loose.Name = "Loose";
  EXPECT_TRUE(BuildMacroLists(List, loose, Clock.Now()).Names.empty());
  EXPECT_EQ(MakeSubject(Sources(), loose), Preferences.Subject);
}

TEST_F(AlarmTemplatesTest, SignatureAndBannerGoBeforeTheFirstHtmlEndOrAtTheEnd) {
  Preferences.Header = "<p>%Name%</p>";
  Preferences.Signature = "<i>sig</i>";
  Shop->LastResponseText = "<html><body>page</body></HTML></html>";
  std::string message = MakeMessage(Sources(), *Shop, TEmailType::Page);
  EXPECT_EQ(message.rfind("<p>Shop</p><html><body>page</body><i>sig</i><br><br><hr", 0), 0u);
  EXPECT_NE(message.find("/banner/banner.php\" border=\"0\"></a></center></HTML></html>"),
            std::string::npos);

  // A page cut to the kept size says so.
  Shop->LastResponseText = "start";
  Shop->LastResponseCut = true;
  message = MakeMessage(Sources(), *Shop, TEmailType::Page);
  EXPECT_EQ(message.rfind("<p>Shop</p>start<p>[The page was longer than 1 MiB", 0), 0u);
  EXPECT_NE(message.find("</p><i>sig</i><br><br><hr"), std::string::npos);
}

TEST_F(AlarmTemplatesTest, ReportMailCarriesTheReportOrOnlyTheFrameWhenItIsGone) {
  Preferences.Header = "H";
  Reports.Rebuild();
  Shop->ReportId = Reports.Item(0).Id;
  const std::string withReport = MakeMessage(Sources(), *Shop, TEmailType::Report);
  EXPECT_EQ(withReport.rfind("H<!DOCTYPE HTML", 0), 0u);
  EXPECT_NE(withReport.find("<h3>Shop (10.0.0.5)</h3>"), std::string::npos);
  EXPECT_NE(withReport.find("</center></html>\r\n"), std::string::npos);

  Reports.Delete(0);
  const std::string without = MakeMessage(Sources(), *Shop, TEmailType::Report);
  EXPECT_EQ(without.rfind("H<br><br><hr color=\"#000000\">", 0), 0u);
}

}  // namespace
}  // namespace vantrel
