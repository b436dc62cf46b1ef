#include "core/watch_item.h"

#include <gtest/gtest.h>

#include "platform/manual_main_loop.h"
#include "storage/settings.h"

namespace vantrel {
namespace {

constexpr TDateTime kSecond = 1.0 / 86400.0;

TEST(WatchItemNew, FreeStandingItemHasTheNewItemValues) {
  TManualClock clock;
  const TWatchItem item(clock);
  EXPECT_EQ(item.List(), nullptr);
  EXPECT_EQ(item.Id(), -1);
  EXPECT_EQ(item.Status(), TWatchStatus::Up);
  EXPECT_EQ(item.Created, clock.Now());
  EXPECT_EQ(item.NextRun(), item.Created);
  EXPECT_EQ(item.LastChecked(), 0);
  EXPECT_EQ(item.Frequency(), 60);
  EXPECT_TRUE(item.Active());
  EXPECT_FALSE(item.AlarmTrigger);
  EXPECT_EQ(item.TriggerCount, 1);
  EXPECT_FALSE(item.AlarmReset);
  EXPECT_EQ(item.ResetCount, 1);
  EXPECT_FALSE(item.CheckExtra);
  EXPECT_FALSE(item.CheckConnection);
  EXPECT_EQ(item.CheckType, TCheckType::Ping);
  EXPECT_EQ(item.PingTimeout, 3000);
  EXPECT_EQ(item.DownloadTimeout, 8000);
  EXPECT_EQ(item.ServiceTimeout, 4000);
  EXPECT_TRUE(item.PopupAction);
  EXPECT_FALSE(item.EmailAction);
  EXPECT_EQ(item.EmailType, TEmailType::Page);
  EXPECT_EQ(item.ReportId, -1);
  EXPECT_FALSE(item.CommandAction);
  EXPECT_FALSE(item.SoundAction);
  EXPECT_FALSE(item.SoundRepeat);
  EXPECT_EQ(item.ServiceId, 0);
  EXPECT_EQ(item.LastResponseCode, -1);
  EXPECT_EQ(item.LastResponseTime, 0);
  EXPECT_EQ(item.AvgResponseTime, 0);
  EXPECT_EQ(item.TimesChecked, 0);
  EXPECT_EQ(item.TimesFailed, 0);
  EXPECT_EQ(item.LastFailure, 0);
  EXPECT_EQ(item.LastSuccess, 0);
  EXPECT_EQ(item.ExtraCount, 0);
  EXPECT_EQ(item.FirstFailTime, 0);
}

TEST(WatchItemSchedule, FrequencyChangeMovesTheNextRunOnlyAfterACheck) {
  TManualClock clock;
  TWatchItem item(clock);
  item.SetFrequency(120);
  EXPECT_EQ(item.NextRun(), item.Created);  // never checked: still due at once

  const TDateTime checked = clock.Now() + 10 * kSecond;
  item.SetLastChecked(checked);
  EXPECT_DOUBLE_EQ(item.NextRun(), checked + 120 * kSecond);
  item.SetFrequency(30);
  EXPECT_DOUBLE_EQ(item.NextRun(), checked + 30 * kSecond);
}

TEST(WatchItemSchedule, SameFrequencyKeepsANextRunSetDirectly) {
  TManualClock clock;
  TWatchItem item(clock);
  item.SetLastChecked(clock.Now());
  item.SetNextRun(clock.Now() + 5 * kSecond);  // an additional attempt
  item.SetFrequency(60);
  EXPECT_DOUBLE_EQ(item.NextRun(), clock.Now() + 5 * kSecond);
}

TEST(WatchItemSchedule, RestoreLastCheckedFallsBackToTheLaterRecordedCheck) {
  TManualClock clock;
  TWatchItem item(clock);
  const TDateTime now = clock.Now();
  item.LastSuccess = now - 100 * kSecond;
  item.LastFailure = now - 40 * kSecond;
  item.SetLastChecked(now);  // a check started and then abandoned
  item.RestoreLastChecked();
  EXPECT_EQ(item.LastChecked(), now - 40 * kSecond);
  EXPECT_DOUBLE_EQ(item.NextRun(), now - 40 * kSecond + 60 * kSecond);

  item.LastSuccess = now - 10 * kSecond;
  item.RestoreLastChecked();
  EXPECT_EQ(item.LastChecked(), now - 10 * kSecond);
}

TEST(WatchItemActive, ActivatingMakesTheItemUpAndDueAtOnce) {
  TManualClock clock;
  TWatchItem item(clock);
  item.SetLastChecked(clock.Now());
  item.SetActive(false);
  EXPECT_EQ(item.Status(), TWatchStatus::Suspended);
  clock.Advance(30'000);
  item.SetActive(true);
  EXPECT_EQ(item.Status(), TWatchStatus::Up);
  EXPECT_EQ(item.NextRun(), clock.Now());
}

TEST(WatchItemActive, SettingTheSameFlagChangesNothing) {
  TManualClock clock;
  TWatchItem item(clock);
  item.SetLastChecked(clock.Now());
  const TDateTime nextRun = item.NextRun();
  clock.Advance(5000);
  item.SetActive(true);
  EXPECT_EQ(item.NextRun(), nextRun);
}

TEST(WatchItemAssign, CopiesSettingsButNotIdentityStatisticsOrSchedule) {
  TManualClock clock;
  TWatchItem source(clock);
  source.Name = "shop";
  source.Url = "https://shop.example.org/";
  source.SetFrequency(300);
  source.AlarmTrigger = true;
  source.TriggerCount = 3;
  source.AlarmReset = true;
  source.ResetCount = 2;
  source.CheckExtra = true;
  source.CheckConnection = true;
  source.CheckType = TCheckType::Download;
  source.PingTimeout = 1500;
  source.DownloadTimeout = 9000;
  source.ServiceTimeout = 2500;
  source.SearchText = "Welcome";
  source.CaseSensitive = true;
  source.LogFailedPages = true;
  source.PopupAction = false;
  source.PopupText = "down!";
  source.EmailAction = true;
  source.EmailAddress = "a@example.org;b@example.org";
  source.EmailType = TEmailType::Report;
  source.ReportId = 4;
  source.CommandAction = true;
  source.Command = "notify";
  source.SoundAction = true;
  source.SoundFile = "alarm.wav";
  source.SoundRepeat = true;
  source.ServiceId = 77;
  source.Username = "jdoe";
  source.UserEmail = "jane@example.org";
  source.UserFullName = "Jane Doe";
  source.SetActive(false);
  source.TimesChecked = 12;
  source.LastResponseCode = 200;
  source.ExtraCount = 2;
  source.SetLastChecked(clock.Now());

  clock.Advance(60'000);
  TWatchItem copy(clock);
  copy.Assign(source);
  EXPECT_EQ(copy.Id(), -1);
  EXPECT_EQ(copy.Created, source.Created);
  EXPECT_EQ(copy.Name, "shop");
  EXPECT_EQ(copy.Url, "https://shop.example.org/");
  EXPECT_EQ(copy.Frequency(), 300);
  EXPECT_TRUE(copy.AlarmTrigger);
  EXPECT_EQ(copy.TriggerCount, 3);
  EXPECT_TRUE(copy.AlarmReset);
  EXPECT_EQ(copy.ResetCount, 2);
  EXPECT_TRUE(copy.CheckExtra);
  EXPECT_TRUE(copy.CheckConnection);
  EXPECT_EQ(copy.CheckType, TCheckType::Download);
  EXPECT_EQ(copy.PingTimeout, 1500);
  EXPECT_EQ(copy.DownloadTimeout, 9000);
  EXPECT_EQ(copy.ServiceTimeout, 2500);
  EXPECT_EQ(copy.SearchText, "Welcome");
  EXPECT_TRUE(copy.CaseSensitive);
  EXPECT_TRUE(copy.LogFailedPages);
  EXPECT_FALSE(copy.PopupAction);
  EXPECT_EQ(copy.PopupText, "down!");
  EXPECT_TRUE(copy.EmailAction);
  EXPECT_EQ(copy.EmailAddress, "a@example.org;b@example.org");
  EXPECT_EQ(copy.EmailType, TEmailType::Report);
  EXPECT_EQ(copy.ReportId, 4);
  EXPECT_TRUE(copy.CommandAction);
  EXPECT_EQ(copy.Command, "notify");
  EXPECT_TRUE(copy.SoundAction);
  EXPECT_EQ(copy.SoundFile, "alarm.wav");
  EXPECT_TRUE(copy.SoundRepeat);
  EXPECT_FALSE(copy.Active());
  EXPECT_EQ(copy.Status(), TWatchStatus::Suspended);
  EXPECT_EQ(copy.ServiceId, 77);
  EXPECT_EQ(copy.Username, "jdoe");
  EXPECT_EQ(copy.UserEmail, "jane@example.org");
  EXPECT_EQ(copy.UserFullName, "Jane Doe");
  EXPECT_EQ(copy.TimesChecked, 0);
  EXPECT_EQ(copy.LastResponseCode, -1);
  EXPECT_EQ(copy.ExtraCount, 0);
  EXPECT_EQ(copy.LastChecked(), 0);
}

TEST(WatchItemAssign, ActivatingCopyBecomesDueAtOnce) {
  TManualClock clock;
  TWatchItem source(clock);
  TWatchItem copy(clock);
  copy.SetActive(false);
  clock.Advance(10'000);
  copy.Assign(source);
  EXPECT_TRUE(copy.Active());
  EXPECT_EQ(copy.Status(), TWatchStatus::Up);
  EXPECT_EQ(copy.NextRun(), clock.Now());
}

TEST(WatchItemService, DefaultsComeFromThePreferences) {
  TManualClock clock;
  TWatchItem item(clock);
  TPreferences preferences;
  item.ApplyServiceDefaults(preferences);
  EXPECT_EQ(item.Frequency(), 1800);
  EXPECT_TRUE(item.AlarmTrigger);
  EXPECT_EQ(item.TriggerCount, 2);
  EXPECT_TRUE(item.AlarmReset);
  EXPECT_EQ(item.ResetCount, 1);
  EXPECT_TRUE(item.CheckExtra);
  EXPECT_FALSE(item.CheckConnection);
  EXPECT_FALSE(item.CaseSensitive);
  EXPECT_FALSE(item.LogFailedPages);
  EXPECT_FALSE(item.PopupAction);

  preferences.DefaultFrequency = 600;
  preferences.DefaultTriggerCount = 5;
  preferences.DefaultResetCount = 3;
  preferences.DefaultCheckExtra = false;
  preferences.DefaultCheckConnection = true;
  item.ApplyServiceDefaults(preferences);
  EXPECT_EQ(item.Frequency(), 600);
  EXPECT_EQ(item.TriggerCount, 5);
  EXPECT_EQ(item.ResetCount, 3);
  EXPECT_FALSE(item.CheckExtra);
  EXPECT_TRUE(item.CheckConnection);
}

TEST(WatchItemService, RecordStateDecidesActivityAndZeroFrequencyKeepsTheItems) {
  TManualClock clock;
  TWatchItem item(clock);
  item.SetFrequency(900);
  TServerItem record;
  record.ServiceId = 12;
  record.Username = "jdoe";
  record.UserEmail = "jane@example.org";
  record.UserFullName = "Jane Doe";
  record.State = 1;
  record.Name = "blog";
  record.Url = "blog.example.org";
  record.CheckType = TCheckType::Smtp;
  record.SearchText = "x";
  record.Frequency = 0;
  item.AssignFromServiceRecord(record);
  EXPECT_EQ(item.ServiceId, 12);
  EXPECT_EQ(item.Username, "jdoe");
  EXPECT_EQ(item.UserEmail, "jane@example.org");
  EXPECT_EQ(item.UserFullName, "Jane Doe");
  EXPECT_FALSE(item.Active());
  EXPECT_EQ(item.Name, "blog");
  EXPECT_EQ(item.Url, "blog.example.org");
  EXPECT_EQ(item.CheckType, TCheckType::Smtp);
  EXPECT_EQ(item.SearchText, "x");
  EXPECT_EQ(item.Frequency(), 900);

  record.State = 0;
  record.Frequency = 120;
  item.AssignFromServiceRecord(record);
  EXPECT_TRUE(item.Active());
  EXPECT_EQ(item.Frequency(), 120);
}

}  // namespace
}  // namespace vantrel
