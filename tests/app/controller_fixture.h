#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "alerts/alarm_actions.h"
#include "app/app_controller.h"
#include "app/data_folder_lock.h"
#include "app/monitor_events.h"
#include "core/checker_manager.h"
#include "core/memory_views.h"
#include "core/scripted_checks.h"
#include "core/watch_item.h"
#include "core/watch_list.h"
#include "core/watch_list_fixture.h"
#include "platform/manual_main_loop.h"
#include "storage/history.h"
#include "support/test_files.h"

namespace vantrel::test {

// The alarm events, as "DOWN name" and "UP name".
class TRecordedAlarms final : public TAlarmActions {
 public:
  void AlarmTriggered(TWatchItem& item) override { Lines.push_back("DOWN " + item.Name); }
  void AlarmCleared(TWatchItem& item) override { Lines.push_back("UP " + item.Name); }
  std::vector<std::string> Lines;
};

// The desktop of the item's own alarm actions: nothing is opened or started.
class TRecordedDesktop final : public TDesktop {
 public:
  std::string ShowHtml(const std::string& fileName, const std::string&) override {
    Lines.push_back("page " + fileName);
    return "";
  }
  void OpenDocument(const std::string& what) override { Lines.push_back("open " + what); }
  std::string RunCommand(const std::string& command, const TCommandEnvironment&) override {
    Lines.push_back("command " + command);
    return "";
  }
  void PlayAlarmSound(const std::string& file, bool) override { Lines.push_back("sound " + file); }
  void StopAlarmSound() override { Lines.push_back("stop sound"); }
  std::vector<std::string> Lines;
};

// Everything the monitor told its front.
class TRecordedEvents final : public TMonitorEvents {
 public:
  void StatusText(const std::string& text) override { Statuses.push_back(text); }
  void ConnectStateChanged(TConnectState state) override { States.push_back(state); }
  void ResultHandled(const TWatchItem*, const THistoryRecord&, bool) override {}
  void ActionsChanged() override { ++ActionUpdates; }
  void Error(const std::string& message) override { Errors.push_back(message); }
  void Warning(const std::string& message) override { Warnings.push_back(message); }

  std::vector<std::string> Statuses;
  std::vector<TConnectState> States;
  int ActionUpdates = 0;
  std::vector<std::string> Errors;
  std::vector<std::string> Warnings;
};

// A monitor in a temporary data folder on a manual loop and clock, with
// stand-in checks, in-memory views and a connection the test switches.
class TControllerFixture : public ::testing::Test {
 protected:
  static constexpr std::uint32_t kDetectorInterval = 500;  // ms

  TControllerFixture() { EXPECT_TRUE(Lock.TryLock()); }

  ~TControllerFixture() override {
    Controller.reset();
    EXPECT_FALSE(Checks.HoldTimedOut()) << "a held check was never released";
  }

  // On a fresh main loop: a stopped monitor leaves its loop shut down.
  void Start() {
    Loop = std::make_unique<TManualMainLoop>(Clock);
    Controller = std::make_unique<TAppController>(TAppControllerParts{
        .Loop = *Loop,
        .Clock = Clock,
        .Lock = Lock,
        .ItemView = ItemView,
        .DetailsView = DetailsView,
        .WindowState = Window,
        .Alarms = Alarms,
        .Desktop = Desktop,
        .Events = Events,
        .MakeRunner = Checks.Factory(),
        .ConnectionTest = [this] { return Online.load(); },
        // Mails go nowhere: the alarm actions have tests of their own.
        .DeliverMail = [](const TMailJob&, TMailCancel&) { return std::string(); },
    });
  }

  void Stop() { Controller.reset(); }

  TAppController& App() { return *Controller; }
  TWatchList& List() { return Controller->WatchList(); }

  bool Settle() {
    return Checks.Settle(
        *Loop, [this] { return Controller ? Controller->Scheduler().CheckerCount() : 0; });
  }

  void Advance(std::uint64_t ms) {
    Loop->AdvanceBy(ms);
    ASSERT_TRUE(Settle());
  }

  // The detector notices at its next tick.
  void SetOnline(bool online) {
    Online = online;
    Advance(kDetectorInterval);
  }

  // A download check of "http://<name>.test/", which is also its host, added
  // as the Add New action does; `alarm` raises it at the first failure.
  TWatchItem& AddSite(const std::string& name, std::int32_t frequency = 60, bool active = true,
                      bool alarm = false) {
    TWatchItem source(Clock);
    source.Name = name;
    source.Url = Host(name);
    source.CheckType = TCheckType::Download;
    source.SetFrequency(frequency);
    source.SetActive(active);
    source.AlarmTrigger = alarm;
    return Controller->acAddNew(source);
  }

  THistoryRecord Record(const TWatchItem& item) const {
    return THistoryRecord{static_cast<std::uint32_t>(item.Id()), true, Clock.Now(), 50, 200};
  }

  static std::string Host(const std::string& name) { return "http://" + name + ".test/"; }

  int RowOf(const TWatchItem& item) const { return test::RowOf(ItemView, item); }

  void SelectOnly(const std::vector<const TWatchItem*>& items) {
    ItemView.ClearSelection();
    for (const TWatchItem* item : items)
      ItemView.SetSelected(RowOf(*item), true);
  }

  // The history records of the item with `id`.
  THistoryArray HistoryOf(std::int32_t id) {
    THistoryArray records;
    Controller->History().GetHistory(static_cast<std::uint32_t>(id), records, 0, 1e9);
    return records;
  }

  std::size_t RequestsFor(const std::string& name) const {
    std::size_t count = 0;
    for (const std::string& host : Checks.Hosts())
      count += host == Host(name) ? 1 : 0;
    return count;
  }

  std::filesystem::path File(const std::string& name) const { return Dir / name; }

  TTempDir Dir;
  TManualClock Clock;
  TDataFolderLock Lock{Dir.Path(), "app_tests"};
  TMemoryItemView ItemView;
  TMemoryDetailsView DetailsView;
  TKeptWindowState Window;
  TRecordedAlarms Alarms;
  TRecordedDesktop Desktop;
  TRecordedEvents Events;
  TScriptedChecks Checks;
  std::atomic<bool> Online{true};
  std::unique_ptr<TManualMainLoop> Loop;
  std::unique_ptr<TAppController> Controller;
};

}  // namespace vantrel::test
