// The main window as a person uses it: menus, tool bar, enabling after
// selection and connection changes, sorting, the details pane's width, the
// window state kept in the settings file, and errors reaching the dialog.

#include "ui/main_window.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>
#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "app/app_controller.h"
#include "app/data_folder_lock.h"
#include "core/scripted_checks.h"
#include "core/watch_item.h"
#include "core/watch_list.h"
#include "platform/manual_main_loop.h"
#include "support/test_files.h"
#include "ui/connect_panel.h"
#include "ui/error_dialog.h"
#include "ui/list_views.h"
#include "ui/properties_dialog.h"
#include "ui/tray_icon.h"

namespace vantrel {
namespace {

class TOpenedDesktop final : public TDesktop {
 public:
  std::string ShowHtml(const std::string& fileName, const std::string&) override {
    Opened.push_back(fileName);
    return "";
  }
  void OpenDocument(const std::string& what) override { Opened.push_back(what); }
  std::string RunCommand(const std::string&, const TCommandEnvironment&) override { return ""; }
  void PlayAlarmSound(const std::string&, bool) override {}
  void StopAlarmSound() override {}
  std::vector<std::string> Opened;
};

// What a menu shows, separators as "-".
std::string MenuText(const QMenu& menu) {
  std::string text;
  for (const QAction* action : menu.actions())
    text += (text.empty() ? "" : "|") +
            (action->isSeparator() ? std::string("-") : action->text().toStdString());
  return text;
}

class MainWindowTest : public ::testing::Test {
 protected:
  MainWindowTest() { EXPECT_TRUE(Lock.TryLock()); }
  ~MainWindowTest() override { Window.reset(); }

  void Open() {
    Loop = std::make_unique<TManualMainLoop>(Clock);
    Window = std::make_unique<TfmMain>(TMainWindowParts{
        .Loop = *Loop,
        .Clock = Clock,
        .Lock = Lock,
        .Desktop = Desktop,
        .MakeRunner = Checks.Factory(),
        .ConnectionTest = [this] { return Online.load(); },
        .DeliverMail = [](const TMailJob&, TMailCancel&) { return std::string(); },
        .HelpDocument = "/doc/README.md",
    });
  }

  void Close() { Window.reset(); }

  TfmMain& Main() { return *Window; }
  TAppController& App() { return Window->Controller(); }
  bool Enabled(const char* action) { return Main().Action(QLatin1String(action))->isEnabled(); }

  // Inactive, so that no check runs behind the test's back.
  void AddSite(const std::string& name, const std::string& url) {
    TWatchItem source(Clock);
    source.Name = name;
    source.Url = url;
    source.CheckType = TCheckType::Download;
    source.SetActive(false);
    App().acAddNew(source);
    QCoreApplication::processEvents();  // the list sorts its new row in
  }

  std::vector<std::string> Column(int column) const {
    std::vector<std::string> texts;
    const QTreeWidget& tree = Window->WatchTree();
    for (int row = 0; row < tree.topLevelItemCount(); ++row)
      texts.push_back(tree.topLevelItem(row)->text(column).toStdString());
    return texts;
  }

  void ClickRow(int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTreeWidget& tree = Main().WatchTree();
    const QRect rect = tree.visualItemRect(tree.topLevelItem(row));
    QTest::mouseClick(tree.viewport(), Qt::LeftButton, modifiers, rect.center());
  }

  void SetOnline(bool online) {
    Online = online;
    Loop->AdvanceBy(500);  // the detector's next look
  }

  test::TTempDir Dir;
  TManualClock Clock;
  TDataFolderLock Lock{Dir.Path(), "ui_tests"};
  TOpenedDesktop Desktop;
  test::TScriptedChecks Checks;
  std::atomic<bool> Online{false};
  std::unique_ptr<TManualMainLoop> Loop;
  std::unique_ptr<TfmMain> Window;
};

TEST_F(MainWindowTest, MenusToolBarAndShortcutsStandInTheirOrder) {
  Open();
  std::vector<std::string> menus;
  for (const QAction* menu : Main().menuBar()->actions())
    menus.push_back(menu->text().toStdString() + ": " + MenuText(*menu->menu()));
  EXPECT_EQ(menus, (std::vector<std::string>{
                       "&File: &Run Now|R&un All Now|P&ause|Synchronize|-|&Exit",
                       "&Edit: Add &New|&Delete|&Properties|-|&Suspend|&Activate|-|&Reset "
                       "Alarm|&Clear Statistics",
                       "&View: T&able View|-|&Tool Bar|&Status Bar|-|&Go To URL|-|&View Log",
                       "&Report: Default &Report|-|Report &Manager ...",
                       "&Tools: &Save Settings|-|&Preferences ...|&Internet Options ...",
                       "&Help: &Help Topics|-|H&ome Page|-|&About ...",
                   }));
  std::string tools;
  for (const QAction* action : Main().findChild<QToolBar*>("abToolBar")->actions())
    tools += (tools.empty() ? "" : "|") +
             (action->isSeparator() ? std::string("-") : action->iconText().toStdString());
  EXPECT_EQ(tools, "Run Now|-|Add New|Delete|Properties|Go To URL|-|Report|-|Help");

  const std::vector<std::pair<const char*, QKeySequence>> shortcuts = {
      {"acExit", QKeySequence(Qt::CTRL | Qt::Key_X)},
      {"acAddNew", QKeySequence(Qt::Key_Insert)},
      {"acDelete", QKeySequence(Qt::Key_Delete)},
      {"acProperties", QKeySequence(Qt::Key_Return)},
      {"acGotoUrl", QKeySequence(Qt::CTRL | Qt::Key_G)},
      {"acDefaultReport", QKeySequence(Qt::CTRL | Qt::Key_R)},
      {"acHelpTopics", QKeySequence(Qt::Key_F1)}};
  for (const auto& [name, key] : shortcuts)
    EXPECT_EQ(Main().Action(QLatin1String(name))->shortcut(), key) << name;

  // F1 reaches the action from the keyboard.
  Main().show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&Main()));
  QTest::keyClick(&Main().WatchTree(), Qt::Key_F1);
  EXPECT_EQ(Desktop.Opened, std::vector<std::string>{"/doc/README.md"});
}

TEST_F(MainWindowTest, ActionsFollowTheSelectionAndTheConnection) {
  Open();
  AddSite("alpha", "http://alpha.test/");
  AddSite("beta", "http://beta.test/");
  Main().WatchTree().clearSelection();
  EXPECT_FALSE(Enabled("acDelete"));
  EXPECT_FALSE(Enabled("acRunNow"));
  EXPECT_EQ(Main().ConnectPanel().Text(), "Disconnected");
  EXPECT_EQ(Main().ConnectPanel().Color(), QColor(128, 0, 0));
  EXPECT_EQ(Main().Tray().IconIndex(), 1);

  Main().show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&Main()));
  ClickRow(0);
  EXPECT_TRUE(Enabled("acProperties"));
  EXPECT_TRUE(Enabled("acActivate"));
  EXPECT_FALSE(Enabled("acSuspend"));
  EXPECT_FALSE(Main().DetailTree().findItems("alpha", Qt::MatchExactly, 1).isEmpty());
  ClickRow(1, Qt::ControlModifier);
  EXPECT_FALSE(Enabled("acProperties"));
  EXPECT_FALSE(Enabled("acGotoUrl"));
  EXPECT_TRUE(Enabled("acSuspend"));

  SetOnline(true);
  EXPECT_TRUE(Enabled("acRunNow"));
  EXPECT_EQ(Main().ConnectPanel().Text(), "Connected");
  EXPECT_EQ(Main().ConnectPanel().Color(), QColor(0, 128, 0));
  EXPECT_EQ(Main().Tray().IconIndex(), 0);

  Main().Action("acPause")->trigger();
  EXPECT_EQ(Main().ConnectPanel().Text(), "Paused");
  EXPECT_EQ(Main().ConnectPanel().Color(), QColor(128, 0, 0));
  EXPECT_EQ(Main().Tray().IconIndex(), 1);
  EXPECT_FALSE(Enabled("acPause"));

  // Del deletes both selected items without asking.
  QTest::keyClick(&Main().WatchTree(), Qt::Key_Delete);
  EXPECT_EQ(Main().WatchTree().topLevelItemCount(), 0);
  EXPECT_FALSE(Enabled("acDelete"));
}

// Answers the item dialog the next key opens: `name` typed over the name, and
// the URL when one is given, then OK.
void AnswerItemDialog(const QString& name, const QString& url = {}) {
  QTimer::singleShot(0, [name, url] {
    auto* dialog = qobject_cast<TfmProperties*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    dialog->edName()->selectAll();
    QTest::keyClicks(dialog->edName(), name);
    if (!url.isEmpty())
      QTest::keyClicks(dialog->edUrl(), url);
    QTest::mouseClick(dialog->btOk(), Qt::LeftButton);
  });
}

TEST_F(MainWindowTest, InsAndEnterEditItemsInTheItemDialog) {
  Open();
  Main().show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&Main()));
  AnswerItemDialog("shop", "http://shop.test/");
  QTest::keyClick(&Main().WatchTree(), Qt::Key_Insert);
  QCoreApplication::processEvents();
  ASSERT_EQ(Column(0), std::vector<std::string>{"shop"});
  EXPECT_EQ(App().WatchList().Item(0).Url, "http://shop.test/");

  // The new item is the selected one: Enter edits it.
  AnswerItemDialog("store");
  QTest::keyClick(&Main().WatchTree(), Qt::Key_Return);
  QCoreApplication::processEvents();
  EXPECT_EQ(Column(0), std::vector<std::string>{"store"});
  EXPECT_EQ(App().WatchList().Count(), 1);
}

TEST_F(MainWindowTest, BothViewsSortAsciiLettersWithoutCase) {
  Open();
  // Name order and address order are opposite.
  AddSite("beta", "http://Bravo.test/");
  AddSite("Alpha", "http://charlie.test/");
  AddSite("gamma", "http://alfa.test/");
  EXPECT_EQ(Column(0), (std::vector<std::string>{"Alpha", "beta", "gamma"}));
  // The rows still carry their items after the sort.
  ClickRow(2);
  EXPECT_EQ(App().PropertiesTarget()->Name, "gamma");

  Main().Action("acTableView")->trigger();
  QCoreApplication::processEvents();
  EXPECT_TRUE(Main().DetailTree().isHidden());
  EXPECT_TRUE(Main().Action("acTableView")->isChecked());
  const std::vector<std::string> second = Column(1);
  ASSERT_EQ(second.size(), 3u);
  EXPECT_TRUE(std::is_sorted(second.begin(), second.end(),
                             [](const auto& a, const auto& b) {
                               return QString::fromStdString(a).toLower() <
                                      QString::fromStdString(b).toLower();
                             }))
      << second[0] << ", " << second[1] << ", " << second[2];
  EXPECT_NE(Column(0), (std::vector<std::string>{"Alpha", "beta", "gamma"}))
      << "the table view's second column ("
      << Main().WatchTree().headerItem()->text(1).toStdString()
      << ") sorts as the names do: nothing shows the table view's own order";

  Main().Action("acTableView")->trigger();
  EXPECT_FALSE(Main().DetailTree().isHidden());
}

TEST_F(MainWindowTest, DetailsKeepAHundredPixelsAndTheWindowStateIsKept) {
  Open();
  Main().show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&Main()));
  EXPECT_EQ(Main().minimumSize(), QSize(474, 300));
  Main().SetItemListWidth(2000);
  EXPECT_GE(Main().DetailTree().width(), TfmMain::kMinDetailsWidth);
  Main().SetItemListWidth(420);
  Main().resize(474, 320);
  QCoreApplication::processEvents();
  EXPECT_GE(Main().DetailTree().width(), TfmMain::kMinDetailsWidth);
  EXPECT_LT(Main().WatchTree().width(), 420);

  Main().resize(700, 500);
  Main().SetItemListWidth(230);
  Main().Action("acViewToolBar")->trigger();
  Main().Action("acTableView")->trigger();
  Close();  // saves the settings

  Open();
  EXPECT_EQ(Main().size(), QSize(700, 500));
  EXPECT_EQ(Main().ItemListWidth(), 230);
  EXPECT_FALSE(Main().Action("acViewToolBar")->isChecked());
  EXPECT_TRUE(Main().Action("acViewStatusBar")->isChecked());
  EXPECT_TRUE(Main().Action("acTableView")->isChecked());
  EXPECT_TRUE(Main().DetailTree().isHidden());
  Main().show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&Main()));
  EXPECT_FALSE(Main().findChild<QToolBar*>("abToolBar")->isVisible());
}

TEST_F(MainWindowTest, ADamagedWatchListReachesTheErrorDialogAndTheWindowGoesOn) {
  test::WriteFileBytes(Dir / "vantrel.vtd", "not a watch list at all");
  Open();
  // The dialog comes once control is back in the event loop.
  std::string shown;
  QTimer::singleShot(0, [&shown] {
    auto* dialog = qobject_cast<TfmError*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    shown = dialog->Message().toStdString();
    dialog->reject();
  });
  QCoreApplication::processEvents();
  EXPECT_NE(shown.find("vantrel.vtd"), std::string::npos) << shown;
  AddSite("after", "http://after.test/");
  EXPECT_EQ(Column(0), std::vector<std::string>{"after"});
}

}  // namespace
}  // namespace vantrel
