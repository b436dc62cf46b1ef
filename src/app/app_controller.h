#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "alerts/desktop.h"
#include "alerts/mail_senders.h"
#include "alerts/smtp_delivery.h"
#include "app/action_rules.h"
#include "app/autosave_timer.h"
#include "app/checking_flags.h"
#include "app/connect_state.h"
#include "app/data_files.h"
#include "app/ui_pump_installation.h"
#include "app/window_state_binding.h"
#include "core/check_runner.h"
#include "core/settings.h"
#include "core/watch_types.h"
#include "core/watch_views.h"
#include "net/internet_detector.h"
#include "platform/clock.h"
#include "platform/main_loop.h"
#include "storage/history_record.h"
#include "sync/synchronizer.h"

namespace vantrel {

class TAlarmActions;
class TItemAlarmActions;
class TCheckerManager;
class TDataFolderLock;
class TLogFile;
class TMonitorEvents;
class TReportList;
struct TReportItem;
class TReportedResults;
class TResultHandler;
class TTempHistory;
class TWatchHistory;
class TWatchItem;
class TWatchList;

// What a front gives the monitor. Every reference must outlive the controller.
struct TAppControllerParts {
  TMainLoop& Loop;
  TClock& Clock;
  // Held by this process: the data folder, and its files, are the monitor's.
  const TDataFolderLock& Lock;
  // The item list and the details pane: list widgets in the window, in-memory
  // views in the headless monitor.
  TItemView& ItemView;
  TDetailsView& DetailsView;
  // The window's size, bars and column widths as the settings file keeps them
  // (TKeptWindowState without a window).
  TWindowStateStore& WindowState;
  // Told of every going down and coming back up, before the item's own alarm
  // actions run (a line, a tray message).
  TAlarmActions& Alarms;
  // Opens the alarm pages, starts the commands, plays the sounds.
  TDesktop& Desktop;
  TMonitorEvents& Events;
  // The network side of each check.
  TCheckRunnerFactory MakeRunner;
  // Whether the machine has a network connection; asked every 500 ms.
  TxxInternetDetector::TTest ConnectionTest = LocalAddressTest;
  // How an alarm mail reaches its server (on the mail's own thread).
  TMailDeliver DeliverMail = DeliverBySmtp;
};

// The monitor behind the main window and the headless front: it owns the watch
// list, the response histories, the scheduler, the event log and the
// connection detector, and offers every user operation with its enabling
// rule. The window only draws what the views and events show and calls the
// operations; decisions are made here and in the small pieces composed here.
// Main thread only.
//
// Start (the constructor): the settings take their built-in values and the
// settings file is loaded; the watch list is loaded and the
// history replayed into its statistics; the columns are set up; the event log
// is opened; the scheduler starts; the connection detector makes its first
// evaluation, which switches checking on or off. Stop (the destructor): the
// detector and the auto-save timer stop; the main loop shuts down, so that a
// checker waiting for a main-thread step gives up; the scheduler cancels and
// joins its checkers; the log closes; then the settings, the watch list and
// both histories are saved, and nothing runs any more in between. The main
// loop cannot be used again afterwards. Destroy the controller after the event
// loop has returned, never from inside one of its events or a pump.
//
// The report definitions are loaded at start (the built-in set when there are
// none) and saved at the stop; a definition deleted from them takes the
// e-mail action of the items that mailed it, and the watch list is saved.
//
// Later work plugs in here: the synchronizer (acSynchronize, its timer and
// ApplyServiceRecords, which is ready for it).
class TAppController : private TSyncHost {
 public:
  // Throws std::logic_error when the lock is not held, and what loading the
  // settings throws (an unreadable settings file stops the start before
  // anything is written). A watch list or history that will not load is
  // reported through the events, and the monitor starts without it.
  explicit TAppController(TAppControllerParts parts);
  ~TAppController();
  TAppController(const TAppController&) = delete;
  TAppController& operator=(const TAppController&) = delete;

  // --- State -----------------------------------------------------------------

  TWatchList& WatchList() const { return *List_; }
  TWatchHistory& History() const { return *History_; }
  TTempHistory& TempHistory() const { return *TempHistory_; }
  TReportList& Reports() const { return *Reports_; }
  TCheckerManager& Scheduler() const { return *Scheduler_; }
  TLogFile& Log() const { return *Log_; }
  const TDataFiles& Files() const { return Files_; }
  // The preferences and Internet options of this monitor. A front that
  // replaces the preferences calls PreferencesChanged.
  TSettings& Settings() { return Settings_; }
  const TSettings& Settings() const { return Settings_; }

  bool IsOnline() const { return Flags_.IsOnline(); }
  bool Paused() const { return Flags_.IsPaused(); }
  // Paused, else connected or disconnected: the status bar's second panel.
  TConnectState ConnectState() const { return Flags_.State(); }
  // Checking runs exactly when connected and not paused (the tray icon's image).
  bool CheckingOn() const { return ConnectState() == TConnectState::Connected; }
  // The item list shows one column per field instead of the names and the
  // details pane; the window hides the pane while it is on.
  bool TableView() const;
  const TAutosaveTimer& Autosave() const { return *Autosave_; }

  // --- Enabling --------------------------------------------------------------

  TActionFacts ActionFacts() const;
  bool Enabled(TAction action) const { return ActionEnabled(action, ActionFacts()); }
  TEnabledActions EnabledActions() const { return TEnabledActions(ActionFacts()); }
  // Tells the front to update its actions (ActionsChanged).
  void UpdateActions();

  // --- Actions ---------------------------------------------------------------
  // Each does what its action does and then updates the actions. Called while
  // disabled, an action does nothing (and says so where it returns a value).

  // Makes the selected items (all items) due now, ends a pause and wakes the
  // scheduler; nothing while there is no connection (false).
  bool acRunNow();
  bool acRunAllNow();
  // Checking stops until Run Now or Run All Now.
  void acPause();
  // Adds an item set up as `prepared` (a free-standing item the front filled,
  // e.g. through the properties dialog) and selects it.
  TWatchItem& acAddNew(const TWatchItem& prepared);
  // Deletes the selected items and their history, without asking.
  void acDelete();
  // The item the properties dialog edits: that of the only selected row; null
  // when acProperties is disabled. The dialog edits a scratch copy of it.
  TWatchItem* PropertiesTarget() const;
  // Gives the target the settings of the edited scratch item; false when
  // there is no target.
  bool acProperties(const TWatchItem& edited);
  void acSuspend();
  void acActivate();
  // Selected items that are down come up, with their reset actions.
  void acResetAlarm();
  // Deletes the selected items' history, then clears their statistics.
  void acClearStats();
  // Toggles the table view; SetTableView switches it to a given state.
  void acTableView();
  void SetTableView(bool on);
  // The address to open for the only selected row's item; nothing when
  // acGotoUrl is disabled. The front opens it.
  std::optional<std::string> acGotoUrl() const;
  // Saves the settings file. Throws what the save throws.
  void acSaveSettings();
  // Loads the settings file and applies it: auto-save period, table view.
  // Throws what the load throws.
  void acLoadSettings();
  // Saves the watch list and flushes the response history. Throws what they
  // throw. Does nothing while another save is writing (the pump can reach an
  // action in the middle of one), since that save writes everything already.
  void acSaveData();
  // Loads the watch list and replays the history into its statistics. Errors
  // go to the events and the monitor goes on.
  void acLoadData();
  void acSuspendServiceItems();
  // Runs `report` on the item of the first selected row (none when no row is
  // selected): its document is written into the user's private report folder
  // and its path returned for the front to open. A detail report without an
  // item, or a document that cannot be written, is an error (through the
  // events): nothing then.
  std::optional<std::filesystem::path> RunReport(const TReportItem& report);
  // RunReport with the default report.
  std::optional<std::filesystem::path> acDefaultReport();
  // The on-demand synchronization: the web service's whole list applied at
  // once. Nothing happens (false) while the service is off or the machine is
  // offline; false also when the service's answer could not be had or read
  // (the front shows kSyncFailedMessage).
  bool acSynchronize();
  // A periodic run of the synchronization is under way.
  bool Synchronizing() const { return Synchronizing_; }
  // What the synchronization timer does at each tick: a periodic run when
  // online, not paused, the service on and no run under way.
  void SynchronizationTick();

  // --- Other handlers --------------------------------------------------------

  // A row of the item list became selected: its details are shown.
  void RowSelected(int row);
  // The preferences were replaced (preferences dialog): the auto-save period,
  // the columns or the details follow.
  void PreferencesChanged();
  // Records of the web service (from the synchronizer): items added, updated
  // and deleted, the deleted ones' history removed.
  void ApplyServiceRecords(const TServerItemList& records);

  // The end of a check (the scheduler's checkers call it through the result
  // sink): recorded, or discarded while offline or paused.
  void HandleResult(const THistoryRecord& record);
  // The detector saw the connection change (and once at start).
  void ConnectionChanged();
  // Switches the scheduler on (when `on` and connected) or off.
  void SetChecking(bool on);
  // What the auto-save timer does: the watch list and both histories are
  // saved, each failure reported through the events and the rest saved anyway.
  void SaveAll();

 private:
  // Each step of the stop runs whatever happened before it; errors go to the
  // events, never out of the destructor.
  void Stop();
  bool RunNowAndResume(TAction action, void (TWatchList::*run)());
  void ApplySettings();
  void WakeScheduler();
  // Announces the connection state when it differs from the last announced.
  void NoteConnectState();
  // Damage the histories worked around, an alarm mail, page or command that
  // failed: into the log while there is one, and to the front always.
  void ReportDamage(const std::string& message);
  // Runs `step`, reporting what it throws as an error; false when it threw.
  bool Reported(const std::function<void()>& step);

  // TSyncHost: the steps of a periodic run that touch the monitor.
  TServiceAddress BeginSync() override;
  void ApplyServiceItems(const TServerItemList& items) override;
  THistoryArray ReadResultsBatch() override;
  void CommitResultsBatch() override;
  void EndSync(const std::string& url, std::int32_t itemsCode, std::int32_t statsCode,
               const std::string& problem) override;

  TMainLoop& Loop_;
  TClock& Clock_;
  TItemView& ItemView_;
  TAlarmActions& Alarms_;
  TDesktop& Desktop_;
  TMonitorEvents& Events_;
  TCheckRunnerFactory MakeRunner_;
  TxxInternetDetector::TTest ConnectionTest_;
  TMailDeliver DeliverMail_;
  const TDataFiles Files_;
  TSettings Settings_;

  // Members in the order of creation; Stop takes them down in its own order,
  // and the declaration order serves a start that fails half-way.
  TUiPumpInstallation Pump_;
  TCheckingFlags Flags_;
  std::unique_ptr<TWatchList> List_;
  TWindowStateBinding WindowState_;
  std::unique_ptr<TWatchHistory> History_;
  std::unique_ptr<TTempHistory> TempHistory_;
  std::unique_ptr<TReportList> Reports_;
  std::unique_ptr<TMailSenders> Mail_;
  std::unique_ptr<TItemAlarmActions> ItemAlarms_;
  std::unique_ptr<TResultHandler> Handler_;
  std::unique_ptr<TReportedResults> Results_;
  std::unique_ptr<TAutosaveTimer> Autosave_;
  std::unique_ptr<TLogFile> Log_;
  std::unique_ptr<TCheckerManager> Scheduler_;
  std::unique_ptr<TxxInternetDetector> Detector_;
  std::unique_ptr<TTimer> SyncTimer_;
  std::unique_ptr<TSynchronizer> Synchronizer_;
  bool Synchronizing_ = false;

  std::optional<TConnectState> AnnouncedState_;
  bool Saving_ = false;
  bool Started_ = false;  // the constructor has returned
};

}  // namespace vantrel
