#include "app/app_controller.h"

#include <cstdint>
#include <exception>
#include <stdexcept>
#include <utility>
#include <vector>

#include "alerts/alarm_actions.h"
#include "alerts/item_alarm_actions.h"
#include "app/data_folder_lock.h"
#include "app/go_to_url.h"
#include "app/monitor_events.h"
#include "app/reported_results.h"
#include "core/checker_manager.h"
#include "core/result_handler.h"
#include "core/watch_item.h"
#include "core/watch_list.h"
#include "reports/report_list.h"
#include "reports/report_run.h"
#include "storage/history.h"
#include "storage/log_file.h"
#include "storage/temp_history.h"
#include "text/escape.h"

namespace vantrel {

namespace {

const std::filesystem::path& LockedFolder(const TDataFolderLock& lock) {
  if (!lock.Locked())
    throw std::logic_error("the data folder " + lock.Folder().string() +
                           " must be locked before the monitor starts on it");
  return lock.Folder();
}

std::string ExceptionText(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "unknown error";
  }
}

// Marks a save under way for as long as it lasts, however it ends.
class TSavingScope {
 public:
  explicit TSavingScope(bool& saving) : Saving_(saving) { Saving_ = true; }
  ~TSavingScope() { Saving_ = false; }
  TSavingScope(const TSavingScope&) = delete;
  TSavingScope& operator=(const TSavingScope&) = delete;

 private:
  bool& Saving_;
};

}  // namespace

TAppController::TAppController(TAppControllerParts parts)
    : Loop_(parts.Loop),
      Clock_(parts.Clock),
      ItemView_(parts.ItemView),
      Alarms_(parts.Alarms),
      Desktop_(parts.Desktop),
      Events_(parts.Events),
      MakeRunner_(std::move(parts.MakeRunner)),
      ConnectionTest_(std::move(parts.ConnectionTest)),
      DeliverMail_(std::move(parts.DeliverMail)),
      Files_(DataFilesIn(LockedFolder(parts.Lock))),
      Pump_(parts.Loop),
      WindowState_(parts.WindowState, [this] { return TableView(); }) {
  List_ = std::make_unique<TWatchList>(ItemView_, Files_.WatchList.string(), parts.DetailsView,
                                       Settings_, Clock_);
  List_->OnAlarm = [this](TWatchItem& item) {
    Alarms_.AlarmTriggered(item);
    if (ItemAlarms_)
      ItemAlarms_->AlarmTriggered(item);
  };
  List_->OnAlarmReset = [this](TWatchItem& item) {
    Alarms_.AlarmCleared(item);
    if (ItemAlarms_)
      ItemAlarms_->AlarmCleared(item);
  };

  const auto reportDamage = [this](const std::string& message) { ReportDamage(message); };
  History_ = std::make_unique<TWatchHistory>(*List_, Files_.History.string(), reportDamage);
  TempHistory_ = std::make_unique<TTempHistory>(*List_, Files_.TempHistory.string(), reportDamage);
  Reports_ = std::make_unique<TReportList>(Files_.Reports.string());
  LoadReportDefinitions(*Reports_, [this](const std::string& message) { Events_.Error(message); });
  // Only now: loading and the first rebuild delete nothing the user made.
  Reports_->OnDelete = [this](const TReportItem& report) {
    List_->ReportDeleted(report.Id);
    Reported([this] { List_->SaveToFile(); });
  };
  // A mail that did not arrive is said, not lost in silence.
  Mail_ = std::make_unique<TMailSenders>(
      Loop_, [this](const std::string& failure) { ReportDamage(failure); }, DeliverMail_);
  ItemAlarms_ = std::make_unique<TItemAlarmActions>(TItemAlarmActions::TParts{
      .List = *List_,
      .Settings = Settings_,
      .Reports = *Reports_,
      .History = *History_,
      .Clock = Clock_,
      .Desktop = Desktop_,
      .Mail = *Mail_,
      .Report = [this](const std::string& trouble) { ReportDamage(trouble); },
  });
  Handler_ = std::make_unique<TResultHandler>(*List_, *History_, *TempHistory_, Flags_, Settings_);
  Results_ = std::make_unique<TReportedResults>(*Handler_, Flags_, *List_, Events_);
  Autosave_ = std::make_unique<TAutosaveTimer>(Loop_, [this] { SaveAll(); });

  Synchronizer_ = std::make_unique<TSynchronizer>(Loop_, static_cast<TSyncHost&>(*this));
  SyncTimer_ = Loop_.CreateTimer([this] { SynchronizationTick(); });

  // The settings start from the built-in values, which the file overrides.
  acLoadSettings();

  acLoadData();
  List_->SetupColumns();

  Log_ = std::make_unique<TLogFile>(
      Files_.Log,
      TLogFile::TOptions{
          .LogType = [this] { return Settings_.GetPreferences().LogType; },
          .Now = [this] { return Clock_.Now(); },
          .ReportError = [this](const std::string& message) { Events_.Warning(message); },
      });

  Scheduler_ = std::make_unique<TCheckerManager>(TCheckerContext{
      .Loop = &Loop_,
      .Clock = &Clock_,
      .WatchList = List_.get(),
      .Results = Results_.get(),
      .MakeRunner = MakeRunner_,
      .Settings = &Settings_,
      .Log = [this](const std::string& text) { Log_->Add(text); },
      .ShowStatus = [this](const std::string& text) { Events_.StatusText(text); },
      .HandleError = [this](std::exception_ptr error) { Events_.Error(ExceptionText(error)); },
  });

  Detector_ = std::make_unique<TxxInternetDetector>(Loop_, ConnectionTest_);
  Flags_.SetDetector(Detector_.get());
  Detector_->SetOnChangeState([this](TxxInternetDetector&) { ConnectionChanged(); });
  Detector_->CheckNow();
  Detector_->Restart(TxxInternetDetector::kDefaultInterval);
  ConnectionChanged();
  Started_ = true;
}

TAppController::~TAppController() {
  Stop();
}

void TAppController::Stop() {
  // No connection change and no auto-save from here on.
  Flags_.SetDetector(nullptr);
  Detector_.reset();
  Autosave_->Stop();
  // A checker waiting for a main-thread step is released and none gets one
  // again, so the scheduler can cancel and join them all.
  Loop_.Shutdown();
  SyncTimer_.reset();
  // A run under way is cut short; its steps are refused from here on.
  Synchronizer_.reset();
  Scheduler_.reset();
  // No alarm from here on; the mails on their way get a moment to arrive,
  // and what failed is logged before the log closes.
  ItemAlarms_.reset();
  Mail_.reset();
  Log_.reset();
  // The window is going away: the saves run nothing else in between.
  Pump_.Remove();

  Reported([this] { acSaveSettings(); });
  Reported([this] { List_->SaveToFile(); });
  Reported([this] { History_->Flush(); });
  Reported([this] { TempHistory_->Flush(); });
  Reported([this] { Reports_->SaveToFile(); });

  Results_.reset();
  Handler_.reset();
  TempHistory_.reset();
  History_.reset();
  Autosave_.reset();
  // The views are the front's and may outlive the items: no row may point at
  // a freed one.
  List_->Clear();
  List_.reset();
}

bool TAppController::TableView() const {
  return List_ != nullptr && List_->TableView();
}

// --- Enabling ----------------------------------------------------------------

TActionFacts TAppController::ActionFacts() const {
  TActionFacts facts;
  facts.Connected = Flags_.IsOnline();
  facts.Paused = Flags_.IsPaused();
  facts.ServiceStatus = Settings_.GetPreferences().ServiceStatus;
  facts.RowCount = ItemView_.RowCount();
  facts.SelectedCount = ItemView_.SelectedCount();
  const int row = ItemView_.FirstSelectedRow();
  const TWatchItem* item = row >= 0 ? ItemView_.RowItem(row) : nullptr;
  facts.SelectedActive = item != nullptr && item->Active();
  return facts;
}

void TAppController::UpdateActions() {
  // The front asks for the enabled actions in return, which it cannot do
  // before the constructor has returned; it updates them itself then.
  if (Started_)
    Events_.ActionsChanged();
}

// --- Actions -----------------------------------------------------------------

bool TAppController::acRunNow() {
  return RunNowAndResume(TAction::acRunNow, &TWatchList::RunSelectedNow);
}

bool TAppController::acRunAllNow() {
  return RunNowAndResume(TAction::acRunAllNow, &TWatchList::RunAllNow);
}

// Running items now also ends a pause: the user asked for checks.
bool TAppController::RunNowAndResume(TAction action, void (TWatchList::*run)()) {
  if (!Enabled(action))
    return false;
  ((*List_).*run)();
  if (Flags_.IsPaused()) {
    Flags_.SetPaused(false);
    SetChecking(true);
  }
  WakeScheduler();
  UpdateActions();
  return true;
}

void TAppController::acPause() {
  if (!Enabled(TAction::acPause))
    return;
  Flags_.SetPaused(true);
  SetChecking(false);
  UpdateActions();
}

TWatchItem& TAppController::acAddNew(const TWatchItem& prepared) {
  TWatchItem& item = List_->AddItem(prepared);
  WakeScheduler();
  UpdateActions();
  return item;
}

void TAppController::acDelete() {
  if (!Enabled(TAction::acDelete))
    return;
  // The history first: it finds the items to delete by the selection.
  History_->DeleteSelected();
  List_->DeleteSelected();
  UpdateActions();
}

TWatchItem* TAppController::PropertiesTarget() const {
  if (!Enabled(TAction::acProperties))
    return nullptr;
  return ItemView_.RowItem(ItemView_.FirstSelectedRow());
}

bool TAppController::acProperties(const TWatchItem& edited) {
  TWatchItem* target = PropertiesTarget();
  if (target == nullptr)
    return false;
  const int row = ItemView_.FirstSelectedRow();
  target->Assign(edited);
  List_->ItemChanged(row);
  WakeScheduler();
  UpdateActions();
  return true;
}

void TAppController::acSuspend() {
  if (!Enabled(TAction::acSuspend))
    return;
  List_->SuspendSelected();
  UpdateActions();
}

void TAppController::acActivate() {
  if (!Enabled(TAction::acActivate))
    return;
  List_->ActivateSelected();
  WakeScheduler();
  UpdateActions();
}

void TAppController::acResetAlarm() {
  if (!Enabled(TAction::acResetAlarm))
    return;
  List_->ResetAlarmSelected();
  UpdateActions();
}

void TAppController::acClearStats() {
  if (!Enabled(TAction::acClearStats))
    return;
  History_->DeleteSelected();
  List_->ClearStatsSelected();
  UpdateActions();
}

void TAppController::acTableView() {
  SetTableView(!TableView());
}

void TAppController::SetTableView(bool on) {
  if (on == List_->TableView())
    return;
  List_->SetTableView(on);
  List_->SetupColumns();
  UpdateActions();
}

std::optional<std::string> TAppController::acGotoUrl() const {
  if (!Enabled(TAction::acGotoUrl))
    return std::nullopt;
  const TWatchItem* item = ItemView_.RowItem(ItemView_.FirstSelectedRow());
  if (item == nullptr)
    return std::nullopt;
  return UrlToOpen(item->Url);
}

void TAppController::acSaveSettings() {
  Settings_.Save(Files_.Settings, WindowState_);
}

void TAppController::acLoadSettings() {
  Settings_.Load(Files_.Settings, WindowState_);
  ApplySettings();
  UpdateActions();
}

void TAppController::ApplySettings() {
  const TPreferences preferences = Settings_.GetPreferences();
  Autosave_->Configure(preferences.Autosave, preferences.AutosaveFrequency);
  if (preferences.ServiceStatus)
    SyncTimer_->Start(static_cast<std::uint32_t>(preferences.ServiceFrequency) * 1000u);
  else
    SyncTimer_->Stop();
  if (const std::optional<bool> tableView = WindowState_.TakeLoadedTableView())
    SetTableView(*tableView);
}

void TAppController::acSaveData() {
  if (Saving_)
    return;
  TSavingScope saving(Saving_);
  List_->SaveToFile();
  History_->Flush();
}

void TAppController::acLoadData() {
  if (!Reported([this] { List_->LoadFromFile(); })) {
    // What was read is not all the file holds: the file stays as it is
    // unless the user changes the list.
    List_->SetModified(false);
  }
  // Replayed even without a readable watch list: the history alone knows
  // which identifiers were given, and a new item must not take one of them.
  Reported([this] { History_->LoadStatistics(); });
  WakeScheduler();
  UpdateActions();
}

void TAppController::acSuspendServiceItems() {
  List_->SuspendServiceItems();
  UpdateActions();
}

// --- Other handlers ----------------------------------------------------------

void TAppController::RowSelected(int row) {
  List_->ShowDetails(row);
  UpdateActions();
}

void TAppController::PreferencesChanged() {
  const TPreferences preferences = Settings_.GetPreferences();
  Autosave_->Configure(preferences.Autosave, preferences.AutosaveFrequency);
  if (preferences.ServiceStatus)
    SyncTimer_->Start(static_cast<std::uint32_t>(preferences.ServiceFrequency) * 1000u);
  else
    SyncTimer_->Stop();
  if (List_->TableView()) {
    List_->SetupColumns();
  } else {
    const int row = ItemView_.FirstSelectedRow();
    if (row >= 0)
      List_->ShowDetails(row);
    else
      List_->ClearDetails();
  }
  UpdateActions();
}

void TAppController::ApplyServiceRecords(const TServerItemList& records) {
  std::vector<std::uint32_t> deleted;
  for (const TServerItem& record : records) {
    if (record.State < 0) {
      const int index = List_->IndexOfServiceId(record.ServiceId);
      if (index >= 0)
        deleted.push_back(static_cast<std::uint32_t>(List_->Item(index).Id()));
    }
    if (!List_->ApplyServiceRecord(record))
      Events_.Warning("The web service's item " + std::to_string(record.ServiceId) + " (" +
                      EscapeControls(record.Url) +
                      ") is left out: its URL holds control characters.");
  }
  WakeScheduler();
  History_->DeleteItems(deleted);
  UpdateActions();
}

void TAppController::HandleResult(const THistoryRecord& record) {
  Results_->HandleResult(record);
}

void TAppController::ConnectionChanged() {
  if (!Flags_.IsPaused())
    SetChecking(Flags_.IsOnline());
  NoteConnectState();
  UpdateActions();
}

void TAppController::SetChecking(bool on) {
  if (on && Flags_.IsOnline())
    Scheduler_->Resume();
  else
    Scheduler_->Pause();
  NoteConnectState();
}

void TAppController::SaveAll() {
  // The pump can bring the timer round in the middle of a save, which writes
  // everything already.
  if (Saving_)
    return;
  TSavingScope saving(Saving_);
  Reported([this] { List_->SaveToFile(); });
  Reported([this] { History_->Flush(); });
  Reported([this] { TempHistory_->Flush(); });
}

std::optional<std::filesystem::path> TAppController::RunReport(const TReportItem& report) {
  const TWatchItem* item = nullptr;
  const std::vector<std::uint32_t> selected = List_->SelectedItemIds();
  if (!selected.empty()) {
    const int index = List_->IndexOfId(static_cast<std::int32_t>(selected.front()));
    item = index >= 0 ? &List_->Item(index) : nullptr;
  }
  std::optional<std::filesystem::path> path;
  Reported([&] { path = vantrel::RunReport(report, item, *History_, Clock_.Now()); });
  return path;
}

std::optional<std::filesystem::path> TAppController::acDefaultReport() {
  if (Reports_->Default() == nullptr)
    return std::nullopt;
  return RunReport(*Reports_->Default());
}

bool TAppController::acSynchronize() {
  const TPreferences preferences = Settings_.GetPreferences();
  if (!preferences.ServiceStatus || !Flags_.IsOnline())
    return false;
  TServiceClient client(MakeServiceAddress(preferences, Settings_.GetInternetOptions()));
  const bool done = SynchronizeNow(client, *List_);
  WakeScheduler();
  UpdateActions();
  return done;
}

void TAppController::SynchronizationTick() {
  const TPreferences preferences = Settings_.GetPreferences();
  if (preferences.ServiceStatus)
    SyncTimer_->Start(static_cast<std::uint32_t>(preferences.ServiceFrequency) * 1000u);
  if (Flags_.IsOnline() && !Flags_.IsPaused() && preferences.ServiceStatus && !Synchronizing_)
    Synchronizer_->Start();
}

TServiceAddress TAppController::BeginSync() {
  Synchronizing_ = true;
  const TServiceAddress address =
      MakeServiceAddress(Settings_.GetPreferences(), Settings_.GetInternetOptions());
  const std::string text = "Start synchronization " + EscapeControls(address.Url);
  if (Log_)
    Log_->Add(text);
  Events_.StatusText(text);
  return address;
}

void TAppController::ApplyServiceItems(const TServerItemList& items) {
  Reported([&] { ApplyServiceRecords(items); });
}

THistoryArray TAppController::ReadResultsBatch() {
  THistoryArray batch;
  Reported([&] {
    TempHistory_->PrepareBatch();
    TempHistory_->ReadBatch(batch);
  });
  return batch;
}

void TAppController::CommitResultsBatch() {
  Reported([&] { TempHistory_->CommitBatch(); });
}

void TAppController::EndSync(const std::string& url, std::int32_t itemsCode, std::int32_t statsCode,
                             const std::string& problem) {
  Synchronizing_ = false;
  if (Log_) {
    Log_->Add("End synchronization " + EscapeControls(url));
    Log_->Add("Response Code: " + std::to_string(itemsCode) + "/" + std::to_string(statsCode) +
              (problem.empty() ? "" : " (" + problem + ")"));
  }
  if (!problem.empty())
    Events_.Warning("Synchronization: " + problem);
  Events_.StatusText("Done");
}

// --- Helpers -----------------------------------------------------------------

void TAppController::WakeScheduler() {
  if (Scheduler_)
    Scheduler_->Wake();
}

void TAppController::NoteConnectState() {
  const TConnectState state = Flags_.State();
  if (AnnouncedState_ == state)
    return;
  AnnouncedState_ = state;
  Events_.ConnectStateChanged(state);
}

void TAppController::ReportDamage(const std::string& message) {
  // The message names a file, whose name may hold anything but a slash.
  if (Log_)
    Log_->Add(EscapeControlsKeepingLines(message));
  Events_.Warning(message);
}

bool TAppController::Reported(const std::function<void()>& step) {
  try {
    step();
    return true;
  } catch (...) {
    Events_.Error(ExceptionText(std::current_exception()));
    return false;
  }
}

}  // namespace vantrel
