#include "ui/main_window.h"

#include <QCloseEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QTextBrowser>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <filesystem>
#include <utility>

#include "app/app_controller.h"
#include "core/watch_item.h"
#include "core/watch_list.h"
#include "platform/version_info.h"
#include "reports/report_run.h"
#include "sync/synchronizer.h"
#include "ui/about_box.h"
#include "ui/connect_panel.h"
#include "ui/error_dialog.h"
#include "ui/icons.h"
#include "ui/internet_options_dialog.h"
#include "ui/list_views.h"
#include "ui/preferences_dialog.h"
#include "ui/properties_dialog.h"
#include "ui/report_manager.h"
#include "ui/test_window.h"
#include "ui/tray_icon.h"
#include "ui/ui_log.h"

namespace vantrel {

Q_LOGGING_CATEGORY(lcWindow, "vantrel.ui", QtWarningMsg)

namespace {

constexpr int kMinWidth = 474;
constexpr int kMinHeight = 300;
constexpr int kDefaultWidth = 546;
constexpr int kDefaultHeight = 445;

QString Text(const std::string& text) {
  return QString::fromStdString(text);
}

QFrame* Strip(const char* name, int height) {
  auto* strip = new QFrame;
  strip->setObjectName(QLatin1String(name));
  strip->setFixedHeight(height);
  return strip;
}

// A read-only list of whole rows with a header, as both panes are.
QTreeWidget* RowList(const char* name) {
  auto* tree = new QTreeWidget;
  tree->setObjectName(QLatin1String(name));
  tree->setRootIsDecorated(false);
  tree->setUniformRowHeights(true);
  tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
  tree->setSelectionBehavior(QAbstractItemView::SelectRows);
  return tree;
}

}  // namespace

TfmMain::TfmMain(TMainWindowParts parts, QWidget* parent)
    : QMainWindow(parent), Parts_(std::move(parts)) {
  ShowError = [this](const std::string& message) { ShowErrorDialog(message, this); };
  InitIconResources();
  BuildWindow();
  Controller_ = std::make_unique<TAppController>(TAppControllerParts{
      .Loop = Parts_.Loop,
      .Clock = Parts_.Clock,
      .Lock = Parts_.Lock,
      .ItemView = *ItemView_,
      .DetailsView = *DetailsView_,
      .WindowState = *this,
      .Alarms = *this,
      .Desktop = Parts_.Desktop,
      .Events = *this,
      .MakeRunner = Parts_.MakeRunner,
      .ConnectionTest = Parts_.ConnectionTest,
      .DeliverMail = Parts_.DeliverMail,
  });
  ConnectActions();
  ApplyTrayPreferences();
  ApplyColumnWidths();
  ConnectStateChanged(Controller_->ConnectState());
  ActionsChanged();
}

TfmMain::~TfmMain() {
  StopMonitor();
}

void TfmMain::StopMonitor() {
  if (Controller_ == nullptr)
    return;
  Tray_->SetIconVisible(false);
  // Saving at the stop reports through the events, which need the window.
  Controller_.reset();
}

void TfmMain::BuildWindow() {
  setWindowTitle(QStringLiteral(" Vantrel Enterprise Edition"));
  setWindowIcon(QIcon(QStringLiteral(":/icons/vantrel.svg")));
  setMinimumSize(kMinWidth, kMinHeight);
  resize(kDefaultWidth, kDefaultHeight);

  menuBar()->setObjectName(QStringLiteral("abMainMenu"));
  auto* toolBar = addToolBar(QStringLiteral("Tool Bar"));
  toolBar->setObjectName(QStringLiteral("abToolBar"));
  toolBar->setMovable(false);
  toolBar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
  toolBar->toggleViewAction()->setVisible(false);
  Actions_ = BuildMainActions(*this, *menuBar(), *toolBar);
  // Connected before the settings load, which switches the bars.
  connect(Actions_.value(QStringLiteral("acViewToolBar")), &QAction::toggled, toolBar,
          &QWidget::setVisible);
  connect(Actions_.value(QStringLiteral("acViewStatusBar")), &QAction::toggled, this,
          [this](bool shown) { statusBar()->setVisible(shown); });

  WatchTree_ = RowList("lvWatch");
  WatchTree_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  WatchTree_->setIconSize(QSize(13, 13));
  WatchTree_->setHeaderLabels({QStringLiteral("Status/Name")});
  WatchTree_->setMinimumWidth(kMinDetailsWidth);
  WatchTree_->installEventFilter(this);
  ItemView_ = std::make_unique<TListItemView>(
      *WatchTree_, QList<QIcon>{QIcon(QStringLiteral(":/icons/state-up.svg")),
                                QIcon(QStringLiteral(":/icons/state-down.svg")),
                                QIcon(QStringLiteral(":/icons/state-suspended.svg"))});

  DetailTree_ = RowList("lvDetail");
  DetailTree_->setHeaderLabels({QStringLiteral("Property"), QStringLiteral("Value")});
  DetailTree_->header()->resizeSection(0, 150);
  DetailTree_->setMinimumWidth(kMinDetailsWidth);
  DetailsView_ = std::make_unique<TListDetailsView>(*DetailTree_);

  Splitter_ = new QSplitter(Qt::Horizontal);
  Splitter_->setObjectName(QStringLiteral("spSplitter"));
  Splitter_->setChildrenCollapsible(false);
  Splitter_->addWidget(WatchTree_);
  Splitter_->addWidget(DetailTree_);
  // A wider window widens the details; the list keeps its width.
  Splitter_->setStretchFactor(0, 0);
  Splitter_->setStretchFactor(1, 1);

  Banner_ = new QTextBrowser;
  Banner_->setObjectName(QStringLiteral("wbBanner"));
  Banner_->setFixedHeight(64);
  Banner_->setFrameShape(QFrame::NoFrame);
  Banner_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  Banner_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  Banner_->setOpenLinks(false);
  Banner_->setSource(QUrl(QStringLiteral("qrc:/banner.html")));
  connect(Banner_, &QTextBrowser::anchorClicked, this, [this](const QUrl& url) {
    Guarded([&] { Parts_.Desktop.OpenDocument(url.toString().toStdString()); });
  });

  auto* center = new QWidget;
  auto* layout = new QVBoxLayout(center);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(Strip("paTopSeparator", 3));
  layout->addWidget(Splitter_, 1);
  layout->addWidget(Strip("paBottomSeparator", 2));
  layout->addWidget(Banner_);
  setCentralWidget(center);

  statusBar()->setObjectName(QStringLiteral("sbStatus"));
  StatusPanel_ = new QLabel;
  StatusPanel_->setObjectName(QStringLiteral("paStatus"));
  statusBar()->addWidget(StatusPanel_, 1);
  ConnectPanel_ = new TConnectPanel;
  ConnectPanel_->setObjectName(QStringLiteral("paConnect"));
  statusBar()->addPermanentWidget(ConnectPanel_);

  Tray_ = new TxxTrayIcon(this, this);
  Tray_->SetIconList({QIcon(QStringLiteral(":/icons/tray-on.svg")),
                      QIcon(QStringLiteral(":/icons/tray-off.svg")),
                      QIcon(QStringLiteral(":/icons/tray-alarm.svg"))});
  Tray_->SetIconIndex(1);
  Tray_->SetHint(QLatin1String(kProgramTitle));
  auto* trayMenu = new QMenu(this);
  trayMenu->addAction(QStringLiteral("Show %1").arg(QLatin1String(kProgramTitle)), Tray_,
                      &TxxTrayIcon::ShowMainForm);
  trayMenu->addSeparator();
  trayMenu->addAction(QStringLiteral("Exit"), this, &QWidget::close);
  Tray_->SetPopupMenu(trayMenu);
  connect(Tray_, &TxxTrayIcon::Click, Tray_, &TxxTrayIcon::ShowMainForm);
}

void TfmMain::ConnectActions() {
  const auto on = [this](const char* name, std::function<void()> handler) {
    connect(Actions_.value(QLatin1String(name)), &QAction::triggered, this,
            [this, handler = std::move(handler)] { Guarded(handler); });
  };
  TAppController& app = *Controller_;
  on("acRunNow", [&app] { (void)app.acRunNow(); });
  on("acRunAllNow", [&app] { (void)app.acRunAllNow(); });
  on("acPause", [&app] { app.acPause(); });
  on("acSynchronize", [this, &app] {
    if (app.Enabled(TAction::acSynchronize) && !app.acSynchronize())
      QMessageBox::critical(this, QLatin1String(kProgramTitle), QLatin1String(kSyncFailedMessage));
  });
  on("acExit", [this] { close(); });
  on("acAddNew", [this] { AddNew(); });
  on("acDelete", [&app] { app.acDelete(); });
  on("acProperties", [this] { EditProperties(); });
  on("acSuspend", [&app] { app.acSuspend(); });
  on("acActivate", [&app] { app.acActivate(); });
  on("acResetAlarm", [&app] { app.acResetAlarm(); });
  on("acClearStats", [&app] { app.acClearStats(); });
  on("acTableView", [this, &app] {
    app.acTableView();
    FollowTableView();
  });
  on("acGotoUrl", [this, &app] {
    if (const std::optional<std::string> url = app.acGotoUrl())
      Parts_.Desktop.OpenDocument(*url);
  });
  on("acViewLog", [this, &app] {
    const std::filesystem::path log = app.Files().Log;
    if (std::filesystem::exists(log))
      OpenPath(log);
    else
      QMessageBox::information(this, QLatin1String(kProgramTitle),
                               QStringLiteral("There is no event log yet (%1). The preferences "
                                              "say whether one is kept.")
                                   .arg(Text(log.string())));
  });
  on("acDefaultReport", [this, &app] {
    if (const std::optional<std::filesystem::path> path = app.acDefaultReport())
      OpenPath(*path);
  });
  on("acReportManager", [this] { RunReportManager(); });
  on("acSaveSettings", [&app] { app.acSaveSettings(); });
  on("acPreferences", [this] { EditPreferences(); });
  on("acInternetOptions", [this, &app] {
    TInternetOptions options = app.Settings().GetInternetOptions();
    if (EditInternetOptions(options, this))
      app.Settings().SetInternetOptions(options);  // the next checks use them
    UpdateActions();
  });
  on("acHelpTopics", [this] { Parts_.Desktop.OpenDocument(Parts_.HelpDocument); });
  on("acHomePage", [this] { Parts_.Desktop.OpenDocument(Parts_.HelpDocument); });
  on("acAbout", [this] { ShowAbout(this); });

  connect(WatchTree_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          [this](const QItemSelection& selected) {
            Guarded([this, &selected] {
              // The row that became selected shows its details.
              if (!selected.isEmpty())
                Controller_->RowSelected(selected.indexes().first().row());
              else
                UpdateActions();
            });
          });
  connect(WatchTree_, &QTreeWidget::itemDoubleClicked, this,
          [this] { Guarded([this] { EditProperties(); }); });
}

void TfmMain::Guarded(const std::function<void()>& handler) {
  if (Controller_ == nullptr)
    return;  // stopped: only the last error dialogs are still up
  try {
    handler();
  } catch (const std::exception& error) {
    QueueError(error.what());
  }
}

void TfmMain::QueueError(const std::string& message) {
  Errors_.push_back(message);
  if (Errors_.size() == 1 && !ShowingErrors_)
    QMetaObject::invokeMethod(this, &TfmMain::ShowQueuedErrors, Qt::QueuedConnection);
}

void TfmMain::ShowQueuedErrors() {
  if (ShowingErrors_)
    return;
  ShowingErrors_ = true;
  while (!Errors_.empty()) {
    const std::string message = std::move(Errors_.front());
    Errors_.pop_front();
    ShowError(message);
  }
  ShowingErrors_ = false;
}

void TfmMain::UpdateActions() {
  if (Controller_ == nullptr)
    return;
  const TEnabledActions enabled = Controller_->EnabledActions();
  for (const TActionInfo& info : MainActions()) {
    if (info.Operation)
      Actions_.value(QLatin1String(info.Name))->setEnabled(enabled.Contains(*info.Operation));
  }
}

void TfmMain::FollowTableView() {
  const bool on = Controller_->TableView();
  Actions_.value(QStringLiteral("acTableView"))->setChecked(on);
  ItemView_->SetTableView(on);
  if (on == ShownTableView_ && DetailTree_->isHidden() == on)
    return;
  ShownTableView_ = on;
  DetailTree_->setHidden(on);
  if (!on)
    SetItemListWidth(ItemListWidth_);
}

void TfmMain::SetItemListWidth(int width) {
  ItemListWidth_ = std::max(width, kMinDetailsWidth);
  if (ShownTableView_)
    return;
  KeepDetailsWidth();
}

void TfmMain::KeepDetailsWidth() {
  // The splitter's minimum sizes keep the details pane's 100 pixels; the
  // list takes the rest up to its remembered width.
  const int total = Splitter_->width() - Splitter_->handleWidth();
  const int list = std::min(ItemListWidth_, std::max(total - kMinDetailsWidth, 0));
  Splitter_->setSizes({list, total - list});
}

bool TfmMain::eventFilter(QObject* watched, QEvent* event) {
  // The list takes Enter for itself before the window's shortcut sees it.
  if (watched == WatchTree_ && event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<const QKeyEvent*>(event);
    if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
        key->modifiers() == Qt::NoModifier) {
      QAction* properties = Actions_.value(QStringLiteral("acProperties"));
      if (properties->isEnabled())
        properties->trigger();
      return true;
    }
  }
  if (watched == WatchTree_ && event->type() == QEvent::Resize && !ShownTableView_ &&
      WatchTree_->isVisible() && Splitter_->isVisible() && Splitter_->sizes().value(0) > 0)
    ItemListWidth_ = WatchTree_->width();
  return QMainWindow::eventFilter(watched, event);
}

void TfmMain::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  StatusPanel_->setMaximumWidth(std::max(statusBar()->width() - ConnectPanel_->width(), 0));
}

void TfmMain::closeEvent(QCloseEvent* event) {
  event->accept();
  emit ExitRequested();
}

void TfmMain::ShowAtStart() {
  const TPreferences preferences = Controller_->Settings().GetPreferences();
  if (preferences.StartMinimized) {
    if (preferences.IconInSystray && TxxTrayIcon::TrayAvailable())
      return;  // only the tray icon
    showMinimized();
    return;
  }
  if (StartMaximized_)
    showMaximized();
  else
    show();
  SetItemListWidth(ItemListWidth_);
}

void TfmMain::ApplyTrayPreferences() {
  const TPreferences preferences = Controller_->Settings().GetPreferences();
  Tray_->SetIconVisible(preferences.IconInSystray);
  Tray_->SetMinimizeToTray(preferences.IconInSystray && preferences.MinimizeToSystray);
}

void TfmMain::OpenPath(const std::filesystem::path& path) {
  Parts_.Desktop.OpenDocument(path.string());
}

TPropertiesContext TfmMain::PropertiesContext() {
  TPropertiesContext context{
      .Items = {},
      .Reports = Controller_->Reports(),
      .Settings = Controller_->Settings(),
      .Desktop = Parts_.Desktop,
      .OpenTest =
          [this](const TWatchItem& settings, QWidget* parent) {
            ShowMonitoringTest(settings, Controller_->Settings().GetInternetOptions(), parent);
          },
  };
  for (int row = 0; row < ItemView_->RowCount(); ++row) {
    if (const TWatchItem* item = ItemView_->RowItem(row))
      context.Items.push_back(item);
  }
  return context;
}

void TfmMain::AddNew() {
  // A scratch item with the new-item defaults; the list takes a copy on OK.
  TWatchItem scratch(Parts_.Clock);
  if (EditItem(scratch, PropertiesContext(), this))
    Controller_->acAddNew(scratch);
}

void TfmMain::EditProperties() {
  const TWatchItem* target = Controller_->PropertiesTarget();
  if (target == nullptr)
    return;
  TWatchItem scratch(Parts_.Clock);
  scratch.Assign(*target);
  // The dialog edits the copy; the controller finds its target again on OK.
  if (EditItem(scratch, PropertiesContext(), this))
    Controller_->acProperties(scratch);
}

void TfmMain::EditPreferences() {
  TAppController& app = *Controller_;
  TPreferences preferences = app.Settings().GetPreferences();
  TWindowState view = GetWindowState();
  view.TableView = app.TableView();
  const TPreferencesContext context{
      .Settings = app.Settings(),
      .OpenMailTest = [](const TPreferences& edited,
                         QWidget* parent) { ShowMailTest(edited, parent); },
      .View = view,
      .ServiceActivated =
          [this, &app](const std::string& url, const std::string& passwordDigest) {
            TPreferences current = app.Settings().GetPreferences();
            current.ServiceUrl = url;
            current.ServicePassword = passwordDigest;
            current.ServiceStatus = true;
            app.Settings().SetPreferences(current);
            app.PreferencesChanged();
            if (!app.acSynchronize())
              QMessageBox::critical(this, QLatin1String(kProgramTitle),
                                    QLatin1String(kSyncFailedMessage));
          },
      .SuspendServiceItems = [&app] { app.acSuspendServiceItems(); },
  };
  if (!vantrel::EditPreferences(preferences, context, this)) {
    UpdateActions();
    return;
  }
  app.Settings().SetPreferences(preferences);
  Kept_.ItemTabstop = view.ItemTabstop;
  Kept_.PropertyTabstop = view.PropertyTabstop;
  Kept_.ValueTabstop = view.ValueTabstop;
  app.SetTableView(view.TableView);
  app.PreferencesChanged();  // timers, columns, details, actions
  ApplyTrayPreferences();
  FollowTableView();
  ApplyColumnWidths();
}

void TfmMain::ApplyColumnWidths() {
  const TPreferences preferences = Controller_->Settings().GetPreferences();
  if (!ShownTableView_ && !preferences.ItemAutosize && Kept_.ItemTabstop > 0)
    WatchTree_->header()->resizeSection(0, Kept_.ItemTabstop);
  QHeaderView& details = *DetailTree_->header();
  if (Kept_.PropertyTabstop > 0)
    details.resizeSection(0, Kept_.PropertyTabstop);
  details.setStretchLastSection(preferences.ValueAutosize);
  if (!preferences.ValueAutosize && Kept_.ValueTabstop > 0)
    details.resizeSection(1, Kept_.ValueTabstop);
}

void TfmMain::RunReportManager() {
  TfmReportManager manager(Controller_->Reports(), Controller_->WatchList(),
                           TReportManagerHooks{
                               .Run =
                                   [this](const TReportItem& report) {
                                     if (const std::optional<std::filesystem::path> path =
                                             Controller_->RunReport(report))
                                       OpenPath(*path);
                                   },
                               .Error = [this](const std::string& message) { QueueError(message); },
                           },
                           this);
  manager.exec();
  UpdateActions();
}

// --- What the monitor tells -------------------------------------------------

void TfmMain::StatusText(const std::string& text) {
  StatusPanel_->setText(Text(text));
}

void TfmMain::ConnectStateChanged(TConnectState state) {
  State_ = state;
  ConnectPanel_->SetState(state);
  qCDebug(lcWindow).noquote() << "connection:" << ConnectPanel_->Text();
  UpdateTrayImage();
  UpdateActions();
}

void TfmMain::UpdateTrayImage() {
  // Checking runs (0) or not (1); while it runs, an item that is down shows
  // as the alarm image (2), so the tray tells at a glance.
  int image = State_ == TConnectState::Connected ? 0 : 1;
  if (image == 0 && Controller_ != nullptr) {
    const TWatchList& list = Controller_->WatchList();
    for (int i = 0; i < list.Count() && image == 0; ++i) {
      if (list.Item(i).Active() && list.Item(i).Status() == TWatchStatus::Down)
        image = 2;
    }
  }
  if (image != Tray_->IconIndex())
    qCDebug(lcWindow) << "tray image" << image;
  Tray_->SetIconIndex(image);
}

void TfmMain::ResultHandled(const TWatchItem*, const THistoryRecord&, bool) {}

void TfmMain::ActionsChanged() {
  UpdateActions();
  FollowTableView();
  UpdateTrayImage();  // items deleted, suspended, reset
}

void TfmMain::Error(const std::string& message) {
  if (message == kSelectItemMessage) {
    // The user's slip, not a fault of the program.
    QMetaObject::invokeMethod(
        this,
        [this] {
          QMessageBox::warning(this, QLatin1String(kProgramTitle),
                               QLatin1String(kSelectItemMessage));
        },
        Qt::QueuedConnection);
    return;
  }
  QueueError(message);
}

void TfmMain::Warning(const std::string& message) {
  StatusPanel_->setText(Text(message));
}

void TfmMain::AlarmTriggered(TWatchItem& item) {
  qCDebug(lcWindow).noquote() << "alarm:" << Text(item.Name) << "is down";
  Tray_->ShowMessage(QLatin1String(kProgramTitle), Text(item.Name + " is down"));
  // The item's status changes after this call returns.
  QMetaObject::invokeMethod(this, &TfmMain::UpdateTrayImage, Qt::QueuedConnection);
}

void TfmMain::AlarmCleared(TWatchItem& item) {
  qCDebug(lcWindow).noquote() << "alarm:" << Text(item.Name) << "is up";
  Tray_->ShowMessage(QLatin1String(kProgramTitle), Text(item.Name + " is up again"));
  QMetaObject::invokeMethod(this, &TfmMain::UpdateTrayImage, Qt::QueuedConnection);
}

// --- What the settings file keeps -------------------------------------------

TWindowState TfmMain::GetWindowState() const {
  TWindowState state = Kept_;
  state.Maximized = isMaximized();
  const QRect bounds = isMaximized() || isMinimized() ? normalGeometry() : geometry();
  state.Left = bounds.left();
  state.Top = bounds.top();
  state.Width = bounds.width();
  state.Height = bounds.height();
  state.ToolBarVisible = Actions_.value(QStringLiteral("acViewToolBar"))->isChecked();
  state.StatusBarVisible = Actions_.value(QStringLiteral("acViewStatusBar"))->isChecked();
  state.Separator = ItemListWidth_;
  if (!ShownTableView_)
    state.ItemTabstop = WatchTree_->header()->sectionSize(0);
  state.PropertyTabstop = DetailTree_->header()->sectionSize(0);
  state.ValueTabstop = DetailTree_->header()->sectionSize(1);
  return state;
}

void TfmMain::SetWindowState(const TWindowState& state) {
  Kept_ = state;
  if (state.Width > 0 && state.Height > 0) {
    const QRect bounds(state.Left, state.Top, std::max<int>(state.Width, kMinWidth),
                       std::max<int>(state.Height, kMinHeight));
    // A position on a screen that is no longer there would hide the window.
    bool onScreen = false;
    for (const QScreen* screen : QGuiApplication::screens())
      onScreen = onScreen || screen->availableGeometry().intersects(bounds);
    if (onScreen)
      setGeometry(bounds);
    else
      resize(bounds.size());
  }
  StartMaximized_ = state.Maximized;
  if (state.Maximized && isVisible())
    showMaximized();
  Actions_.value(QStringLiteral("acViewToolBar"))->setChecked(state.ToolBarVisible);
  Actions_.value(QStringLiteral("acViewStatusBar"))->setChecked(state.StatusBarVisible);
  SetItemListWidth(state.Separator);
}

}  // namespace vantrel
