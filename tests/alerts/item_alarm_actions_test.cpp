// The order and the texts of an item's alarm actions.

#include "alerts/item_alarm_actions.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/memory_views.h"
#include "core/settings.h"
#include "core/watch_item.h"
#include "core/watch_list.h"
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

class ItemAlarmActionsTest : public ::testing::Test {
 protected:
  TWatchItem& Add(const std::string& name) {
    TWatchItem source;
    source.Name = name;
    source.Url = name + ".test";
    source.PopupAction = false;
    return List.AddItem(source);
  }

  test::TTempDir Dir;
  TManualClock Clock;
  TSettings Settings;
  TMemoryItemView ItemView;
  TMemoryDetailsView DetailsView;
  TWatchList List{ItemView, (Dir / "vantrel.vtd").string(), DetailsView, Settings, Clock};
  TWatchHistory History{List, (Dir / "vantrel.vth").string()};
  TReportList Reports{(Dir / "vantrel.vtr").string()};
  TRecorder Recorder;
  TItemAlarmActions Actions{{List, Settings, Reports, History, Clock, Recorder, Recorder}};
};

TEST_F(ItemAlarmActionsTest, EveryActionRunsInItsOrderAndTheSoundFollowsItsItem) {
  TPreferences preferences = Settings.GetPreferences();
  preferences.Subject = "%Status% %Name%";
  preferences.Account = "stored";  // not used: the server wants no login
  Settings.SetPreferences(preferences);
  TWatchItem& a = Add("a");
  a.PopupAction = true;
  a.EmailAction = true;
  a.EmailAddress = "ops@x.test";
  a.CommandAction = true;
  a.Command = "notify";
  a.SoundAction = true;
  a.SoundFile = "a.wav";
  a.SoundRepeat = true;
  TWatchItem& b = Add("b");
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
