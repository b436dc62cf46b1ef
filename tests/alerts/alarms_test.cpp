// The alarm texts from the item's display texts and the user's templates,
// and the order and the texts of an item's alarm actions.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "alerts/alarm_templates.h"
#include "alerts/item_alarm_actions.h"
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

// What the actions asked of the desktop and the mail, as lines.
class TRecorder final : public TDesktop, public TMailQueue {
 public:
  std::string ShowHtml(const std::string& fileName, const std::string& html) override {
    Lines.push_back("page " + fileName +
                    (html.find("Alarm DOWN") != std::string::npos ? " DOWN" : " UP"));
    return "";
  }
  void OpenDocument(const std::string& what) override { Lines.push_back("open " + what); }
  std::string RunCommand(const std::string& command, const TCommandEnvironment& env) override {
    Lines.push_back("command " + command + " " + env.at(3).first + "=" + env.at(3).second);
    return "";
  }
  void PlayAlarmSound(const std::string& file, bool loop) override {
    Lines.push_back("sound " + file + (loop ? " loop" : " once"));
  }
  void StopAlarmSound() override { Lines.push_back("stop sound"); }
  void Send(TMailJob job) override {
    Lines.push_back("mail " + job.Recipients + " [" + job.Username + "] " + job.Subject);
  }
  std::vector<std::string> Lines;
};

// A watch list with its history and reports in a temporary folder, holding
// Shop, which is down.
class AlarmTest : public ::testing::Test {
 protected:
  AlarmTest() { Shop->SetStatus(TWatchStatus::Down); }

  TWatchItem& Add(const std::string& name, const std::string& url) {
    TWatchItem source;
    source.Name = name;
    source.Url = url;
    source.PopupAction = false;
    return List.AddItem(source);
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
  TWatchItem* Shop = &Add("Shop", "10.0.0.5");
  TRecorder Recorder;
  TItemAlarmActions Actions{{List, Settings, Reports, History, Clock, Recorder, Recorder}};
};

TEST_F(AlarmTest, DefaultSubjectAndSmsNameTheItemAndItsState) {
  EXPECT_EQ(MakeSubject(Sources(), *Shop),
            "Alarm Down - Shop (10.0.0.5) " + TimeStampText(Clock.Now()));
  EXPECT_EQ(MakeMessage(Sources(), *Shop, TEmailType::Sms), "Shop is Down");
  EXPECT_FALSE(IsHtmlMessage(TEmailType::Sms));
}

TEST_F(AlarmTest, EachMacroIsReplacedEverywhereOnceAndOnlyInItsOwnCase) {
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

TEST_F(AlarmTest, SignatureAndBannerGoBeforeTheFirstHtmlEndOrAtTheEnd) {
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

TEST_F(AlarmTest, ReportMailCarriesTheReportOrOnlyTheFrameWhenItIsGone) {
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

TEST_F(AlarmTest, EveryActionRunsInItsOrderAndTheSoundFollowsItsItem) {
  TPreferences preferences = Settings.GetPreferences();
  preferences.Subject = "%Status% %Name%";
  preferences.Account = "stored";  // not used: the server wants no login
  Settings.SetPreferences(preferences);
  TWatchItem& a = Add("a", "a.test");
  a.PopupAction = true;
  a.EmailAction = true;
  a.EmailAddress = "ops@x.test";
  a.CommandAction = true;
  a.Command = "notify";
  a.SoundAction = true;
  a.SoundFile = "a.wav";
  a.SoundRepeat = true;
  TWatchItem& b = Add("b", "b.test");
  b.SoundAction = true;
  b.SoundFile = "b.wav";
  b.Username = "owner";  // a web-service user's item: the owner gets the SMS
  b.UserEmail = "owner@x.test";
  b.UserFullName = "Owner";

  a.SetStatus(TWatchStatus::Down);
  Actions.AlarmTriggered(a);
  b.SetStatus(TWatchStatus::Down);
  Actions.AlarmTriggered(b);
  b.SetStatus(TWatchStatus::Up);
  Actions.AlarmCleared(b);  // a's repeating sound goes on; b's plays once
  a.SetStatus(TWatchStatus::Up);
  Actions.AlarmCleared(a);
  EXPECT_EQ(Recorder.Lines, (std::vector<std::string>{
                                "page Alarm a.html DOWN",
                                "mail ops@x.test [] Down a",
                                "command notify VANTREL_STATUS=Down",
                                "sound a.wav loop",
                                "mail owner@x.test [] Down Owner_b",
                                "sound b.wav once",
                                "stop sound",
                                "sound b.wav once",
                                "page Alarm a.html UP",
                                "mail ops@x.test [] Up a",
                                "command notify VANTREL_STATUS=Up",
                            }));
  EXPECT_EQ(Actions.SoundItemId(), b.Id());
}

}  // namespace
}  // namespace vantrel
