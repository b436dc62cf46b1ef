#pragma once

#include <QMainWindow>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "alerts/alarm_actions.h"
#include "alerts/desktop.h"
#include "alerts/smtp_delivery.h"
#include "app/monitor_events.h"
#include "core/check_runner.h"
#include "core/settings.h"
#include "net/internet_detector.h"
#include "platform/clock.h"
#include "platform/main_loop.h"
#include "ui/main_actions.h"
#include "ui/properties_dialog.h"

class QLabel;
class QSplitter;
class QTextBrowser;
class QTreeWidget;
class QTreeWidgetItem;

namespace vantrel {

class TAppController;
class TConnectPanel;
class TDataFolderLock;
class TListDetailsView;
class TListItemView;
class TxxTrayIcon;

// What the window is given. Every reference must outlive the window.
struct TMainWindowParts {
  TMainLoop& Loop;
  TClock& Clock;
  const TDataFolderLock& Lock;
  TDesktop& Desktop;
  TCheckRunnerFactory MakeRunner;
  TxxInternetDetector::TTest ConnectionTest = LocalAddressTest;
  TMailDeliver DeliverMail = DeliverBySmtp;
  // Where "Help Topics" and "Home Page" lead.
  std::string HelpDocument;
};

// The main window: the item list with its status images and the details
// pane, every operation as a menu and tool-bar action, the connection state
// in the status bar, the banner strip and the tray icon. It owns the monitor
// (TAppController) and only draws what it is told and calls its operations;
// the enabling of the actions is the monitor's.
//
// Errors the monitor reports, and exceptions out of an action, are shown in
// the error dialog once control is back in the event loop, one after the
// other; the program goes on afterwards.
class TfmMain final : public QMainWindow,
                      private TMonitorEvents,
                      private TAlarmActions,
                      private TWindowStateStore {
  Q_OBJECT

 public:
  static constexpr int kMinDetailsWidth = 100;

  // Starts the monitor on the locked folder's files. Throws what the
  // monitor's start throws (an unreadable settings file).
  explicit TfmMain(TMainWindowParts parts, QWidget* parent = nullptr);
  // Stops the monitor (StopMonitor).
  ~TfmMain() override;

  // Stops the monitor, which saves the settings, the list and the history;
  // what fails there is queued for the error dialog (ShowQueuedErrors).
  // The window then only shows those errors. Call after the event loop ends.
  void StopMonitor();
  // Shows the errors waiting for the dialog, one after the other.
  void ShowQueuedErrors();
  bool HasQueuedErrors() const { return !Errors_.empty(); }
  std::vector<std::string> QueuedErrors() const { return {Errors_.begin(), Errors_.end()}; }

  // Shows the window as the preferences say: normal, minimized, or only as
  // the tray icon.
  void ShowAtStart();

  TAppController& Controller() { return *Controller_; }
  QAction* Action(const QString& name) const { return Actions_.value(name); }
  QTreeWidget& WatchTree() const { return *WatchTree_; }
  QTreeWidget& DetailTree() const { return *DetailTree_; }
  TListItemView& ItemView() const { return *ItemView_; }
  QLabel& StatusPanel() const { return *StatusPanel_; }
  TConnectPanel& ConnectPanel() const { return *ConnectPanel_; }
  TxxTrayIcon& Tray() const { return *Tray_; }
  // The item list's width in the name view, kept for the return from the
  // table view.
  int ItemListWidth() const { return ItemListWidth_; }
  void SetItemListWidth(int width);

  // How an error reaches the user; the error dialog unless replaced.
  std::function<void(const std::string&)> ShowError;

 signals:
  // The user closed the window or chose Exit: the program ends.
  void ExitRequested();

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  // TMonitorEvents
  void StatusText(const std::string& text) override;
  void ConnectStateChanged(TConnectState state) override;
  void ResultHandled(const TWatchItem* item, const THistoryRecord& record, bool recorded) override;
  void ActionsChanged() override;
  void Error(const std::string& message) override;
  void Warning(const std::string& message) override;
  // TAlarmActions: the tray tells of an item going down or coming back.
  void AlarmTriggered(TWatchItem& item) override;
  void AlarmCleared(TWatchItem& item) override;
  // TWindowStateStore: what the settings file keeps of the window.
  TWindowState GetWindowState() const override;
  void SetWindowState(const TWindowState& state) override;

  void BuildWindow();
  void ConnectActions();
  // Runs an action's handler; what it throws goes to the error dialog.
  void Guarded(const std::function<void()>& handler);
  void QueueError(const std::string& message);
  void UpdateActions();
  void UpdateTrayImage();
  // The layout follows the monitor's table-view switch.
  void FollowTableView();
  // The details pane keeps kMinDetailsWidth pixels in the name view.
  void KeepDetailsWidth();
  void ApplyTrayPreferences();
  void OpenPath(const std::filesystem::path& path);

  TPropertiesContext PropertiesContext();
  void AddNew();
  void EditProperties();
  void EditPreferences();
  // The column widths the settings keep (name column, details) where the
  // preferences do not size them automatically.
  void ApplyColumnWidths();
  void RunReportManager();

  TMainWindowParts Parts_;
  TActionMap Actions_;
  QTreeWidget* WatchTree_ = nullptr;
  QTreeWidget* DetailTree_ = nullptr;
  QSplitter* Splitter_ = nullptr;
  QTextBrowser* Banner_ = nullptr;
  QLabel* StatusPanel_ = nullptr;
  TConnectPanel* ConnectPanel_ = nullptr;
  std::unique_ptr<TListItemView> ItemView_;
  std::unique_ptr<TListDetailsView> DetailsView_;
  TxxTrayIcon* Tray_ = nullptr;
  std::unique_ptr<TAppController> Controller_;

  TWindowState Kept_;  // the settings' values the window does not use itself
  TConnectState State_ = TConnectState::Disconnected;
  int ItemListWidth_ = 200;
  bool ShownTableView_ = false;
  bool StartMaximized_ = false;
  std::deque<std::string> Errors_;
  bool ShowingErrors_ = false;
};

}  // namespace vantrel
