// The preferences dialog keeps every setting through a load and a save, edits
// the field list, enables what applies, never shows nor re-hashes the stored
// service password, and switches the web service on only after the reference
// service has accepted the address and password.

#include <gtest/gtest.h>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QtWidgets>

#include <string>
#include <vector>

#include "support/test_files.h"
#include "support/test_process.h"
#include "text/codings.h"
#include "ui/preferences_dialog.h"

namespace vantrel {
namespace {

// Answers the next message box with `button` once it shows, keeping its text.
struct TMessageAnswer {
  explicit TMessageAnswer(QMessageBox::StandardButton button = QMessageBox::Ok) {
    QObject::connect(&Poll, &QTimer::timeout, [this, button] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box && !Answered) {
        Answered = true;
        Text = box->text();
        QTest::mouseClick(box->button(button), Qt::LeftButton);
      }
    });
    Poll.start(5);
  }
  bool Wait() {
    return QTest::qWaitFor([this] { return Answered; }, 30000);
  }

  QTimer Poll;
  bool Answered = false;
  QString Text;
};

void Type(QLineEdit* edit, const QString& text) {
  edit->selectAll();
  if (text.isEmpty())
    QTest::keyClick(edit, Qt::Key_Delete);
  else
    QTest::keyClicks(edit, text);
}

// A push button by the mouse; a check box or radio button by its key, since
// its middle may lie past its caption.
void Click(QAbstractButton* button) {
  if (qobject_cast<QPushButton*>(button))
    QTest::mouseClick(button, Qt::LeftButton);
  else
    QTest::keyClick(button, Qt::Key_Space);
}

class PreferencesDialog : public ::testing::Test {
 protected:
  PreferencesDialog() {
    Context.OpenMailTest = [this](const TPreferences& shown, QWidget*) {
      MailTests.push_back(shown);
    };
    Context.ServiceActivated = [this](const std::string& url, const std::string& digest) {
      Activated.push_back(url + " " + digest);
    };
    Context.SuspendServiceItems = [this] { ++Suspended; };
  }

  // A dialog on `preferences`, shown on `page`.
  TfmPreferences& Open(const TPreferences& preferences = {}, int page = 0) {
    Dialog = std::make_unique<TfmPreferences>(Context);
    Dialog->Load(preferences);
    Dialog->pcPages()->setCurrentIndex(page);
    Dialog->show();
    return *Dialog;
  }
  TPreferences Saved() const {
    TPreferences saved;
    Dialog->Save(saved);
    return saved;
  }
  std::vector<std::int32_t> Fields() const {
    const TFieldList fields = Saved().Fields;
    return {fields.begin(), fields.end()};
  }

  TSettings Settings;
  TWindowState View{
      .TableView = false, .ItemTabstop = 150, .PropertyTabstop = 90, .ValueTabstop = 300};
  TPreferencesContext Context{Settings, {}, View, {}, {}};
  std::vector<TPreferences> MailTests;
  std::vector<std::string> Activated;
  int Suspended = 0;
  std::unique_ptr<TfmPreferences> Dialog;
};

TEST_F(PreferencesDialog, EveryFieldSurvivesLoadAndSave) {
  TPreferences p{
      .IconInSystray = false,
      .MinimizeToSystray = false,
      .StartMinimized = true,
      .Autosave = false,
      .AutosaveFrequency = 42,
      .LogType = TPreferences::ResetLog,
      .Username = "Ann",
      .Organization = "Example Ltd",
      .Address = "ann@example.org",
      .Server = "smtp.example.org:587",
      .ServerAuth = true,
      .Account = "ann",
      .Password = " secret ",
      .Fields = {3, -1, 2, 4, 5, 6, -7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, -21},
      .ItemAutosize = false,
      .ValueAutosize = false,
      .ServiceStatus = true,
      .ServiceUrl = "http://service.example/vantrel/",
      .ServicePassword = MD5Hex("service"),
      .ServiceFrequency = 7200,
      .DefaultFrequency = 7200,
      .DefaultTriggerCount = 7,
      .DefaultResetCount = 3,
      .DefaultCheckExtra = false,
      .DefaultCheckConnection = true,
      .Subject = " %Name% down ",
      .SMS = "%Name%",
      .Header = "<p>Line one\nline two</p>",
      .Signature = "-- \nMonitor"};
  TfmPreferences& dialog = Open(p);
  EXPECT_EQ(dialog.cbDefaultFrequencyUnit()->currentText(), "Hour(s)");  // 2, not 120 minutes
  EXPECT_EQ(Saved(), p);
  TWindowState view;
  dialog.SaveView(view);
  EXPECT_EQ(view, View);

  // Typed blanks around single-line settings go; the message texts keep theirs.
  Type(dialog.edMailServer(), "  smtp.example.net ");
  Type(dialog.edServiceUrl(), " http://x.test/ ");
  EXPECT_EQ(Saved().Server, "smtp.example.net");
  EXPECT_EQ(Saved().ServiceUrl, "http://x.test/");
  // What is typed past the limit of a stored text is refused.
  dialog.edMessageHeader()->clear();
  QTest::keyClicks(dialog.edMessageHeader(), QString(1540, 'h'));
  EXPECT_EQ(dialog.edMessageHeader()->toPlainText().size(), 1530);

  // Less than a minute is shown and kept as one minute.
  p.DefaultFrequency = 30;
  Open(p);
  EXPECT_EQ(Dialog->cbDefaultFrequencyUnit()->currentText(), "Minute(s)");
  EXPECT_EQ(Saved().DefaultFrequency, 60);
}

TEST_F(PreferencesDialog, FieldListButtonsMoveShowHideAndReset) {
  TfmPreferences& dialog = Open({}, 1);
  QListWidget* list = dialog.lbFields();
  // Up, Down, Show and Hide enabled; the first two fields as saved.
  const auto state = [&] {
    std::string flags;
    for (const QPushButton* button :
         {dialog.btFiledUp(), dialog.btFieldDown(), dialog.btFieldShow(), dialog.btFieldHide()})
      flags += button->isEnabled() ? '1' : '0';
    return flags + " " + std::to_string(Fields()[0]) + "," + std::to_string(Fields()[1]);
  };
  EXPECT_EQ(state(), "0000 1,2");  // nothing selected
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                    list->visualItemRect(list->item(0)).center());
  EXPECT_EQ(state(), "0101 1,2");
  Click(dialog.btFieldDown());
  EXPECT_EQ(state(), "1101 2,1");
  Click(dialog.btFieldHide());
  EXPECT_EQ(state(), "1110 2,-1");
  Click(dialog.btFiledUp());
  EXPECT_EQ(state(), "0110 -1,2");
  Click(dialog.btFieldShow());
  EXPECT_EQ(state(), "0101 1,2");
  list->setCurrentRow(kFieldCount - 1);
  EXPECT_EQ(state(), "1001 1,2");

  // "Default" puts back the field list only.
  Click(dialog.btFieldHide());
  Type(dialog.edMailUserName(), "Ann");
  Click(dialog.btFieldDefault());
  const TFieldList standard = DefaultFieldList();
  EXPECT_EQ(Fields(), std::vector<std::int32_t>(standard.begin(), standard.end()));
  EXPECT_EQ(state(), "0000 1,2");
  EXPECT_EQ(dialog.edMailUserName()->text(), "Ann");
}

TEST_F(PreferencesDialog, ControlsAreEnabledAsTheirSwitchesSay) {
  struct TRow {
    bool TableView, ItemAutosize, ValueAutosize, Every, Auth;
    // item autosize, item width, property width, value autosize, value width,
    // auto-save minutes, account and password
    std::vector<bool> Enabled;
  };
  const TRow rows[] = {
      {false, false, false, true, true, {true, true, true, true, true, true, true}},
      {false, true, true, false, false, {true, false, true, true, false, false, false}},
      {true, false, false, true, false, {false, false, false, false, false, true, false}},
      {true, true, false, false, true, {false, false, false, false, false, false, true}},
  };
  for (const TRow& row : rows) {
    View.TableView = row.TableView;
    TPreferences p;
    p.ItemAutosize = row.ItemAutosize;
    p.ValueAutosize = row.ValueAutosize;
    p.Autosave = row.Every;
    p.ServerAuth = row.Auth;
    TfmPreferences& d = Open(p);
    const std::vector<bool> seen = {
        d.cbItemAutosize()->isEnabled() && d.gbItemTabstops()->isEnabled(),
        d.edItemTabstop()->isEnabled() && d.lbItemTabstop()->isEnabled(),
        d.edPropertyTabstop()->isEnabled() && d.lbPropertyTabstop()->isEnabled(),
        d.cbValueAutosize()->isEnabled(),
        d.edValueTabstop()->isEnabled() && d.lbValueTabstop()->isEnabled(),
        d.edAutoSave()->isEnabled(),
        d.edMailAccount()->isEnabled() && d.edMailPassword()->isEnabled() &&
            d.lbMailAccount()->isEnabled() && d.lbMailPassword()->isEnabled()};
    EXPECT_EQ(seen, row.Enabled) << "table view " << row.TableView;
  }
  // The switches act at once when clicked.
  View.TableView = false;
  TfmPreferences& d = Open({}, 1);
  Click(d.cbTableView());
  EXPECT_FALSE(d.cbValueAutosize()->isEnabled());
  Click(d.cbTableView());
  Click(d.cbItemAutosize());
  EXPECT_TRUE(d.edItemTabstop()->isEnabled());
  d.pcPages()->setCurrentIndex(0);
  Click(d.rbSaveExit());
  EXPECT_FALSE(d.edAutoSave()->isEnabled());
  d.pcPages()->setCurrentIndex(2);
  Click(d.cbMailServerAuth());
  EXPECT_TRUE(d.edMailPassword()->isEnabled());
}

TEST_F(PreferencesDialog, StoredServicePasswordIsNeitherShownNorHashedAgain) {
  TPreferences p;
  p.ServicePassword = MD5Hex("old");
  TfmPreferences& dialog = Open(p, 4);
  EXPECT_EQ(dialog.edServicePassword()->text(), TfmPreferences::kPasswordPlaceholder);
  EXPECT_EQ(Saved().ServicePassword, MD5Hex("old"));
  Type(dialog.edServicePassword(), "");
  EXPECT_EQ(Saved().ServicePassword, "");

  // OK applies a new password, hashed; Cancel leaves everything as it was.
  for (const bool ok : {true, false}) {
    QTimer::singleShot(0, [ok] {
      auto* shown = qobject_cast<TfmPreferences*>(QApplication::activeModalWidget());
      ASSERT_NE(shown, nullptr);
      shown->pcPages()->setCurrentIndex(4);
      Type(shown->edServicePassword(), "new");
      if (ok)
        Click(shown->btOk());
      else
        QTest::keyClick(shown, Qt::Key_Escape);
    });
    TPreferences edited = p;
    EXPECT_EQ(EditPreferences(edited, Context, nullptr), ok);
    EXPECT_EQ(edited.ServicePassword, MD5Hex(ok ? "new" : "old"));
    EXPECT_TRUE(ok || edited == p);
  }
}

TEST_F(PreferencesDialog, MailButtonsAndSetDefault) {
  TfmPreferences& dialog = Open({}, 2);
  TMessageAnswer missing;
  Click(dialog.btMailTest());
  ASSERT_TRUE(missing.Wait());
  EXPECT_TRUE(MailTests.empty());

  Type(dialog.edMailServer(), " smtp.example.org ");
  Type(dialog.edMailAddress(), "ann@example.org");
  Click(dialog.btMailTest());
  ASSERT_EQ(MailTests.size(), 1u);
  EXPECT_EQ(MailTests[0].Server, "smtp.example.org");

  // This system keeps no mail account to take the identity from.
  TMessageAnswer notFound;
  Click(dialog.btMailDefault());
  ASSERT_TRUE(notFound.Wait());
  EXPECT_EQ(dialog.edMailServer()->text(), " smtp.example.org ");

  Click(dialog.cbMailServerAuth());
  TMessageAnswer no(QMessageBox::No);
  Click(dialog.btDefault());
  ASSERT_TRUE(no.Wait());
  EXPECT_TRUE(dialog.cbMailServerAuth()->isChecked());
  TMessageAnswer yes(QMessageBox::Yes);
  Click(dialog.btDefault());
  ASSERT_TRUE(yes.Wait());
  TPreferences defaults;
  SetDefaultPreferences(defaults);
  EXPECT_EQ(Saved(), defaults);
}

// The reference web service on loopback with a database of its own and the
// password "secret".
class TReferenceService {
 public:
  TReferenceService()
      : Port_(FreePort()),
        Env_({"VANTREL_SERVICE_DB=" + (Dir_ / "service.sqlite").string()}),
        Server_({"php", "-S", "127.0.0.1:" + std::to_string(Port_), "-t", ServiceDir()},
                {.Environment = Env_}) {
    test::TTestProcess admin({"php", ServiceDir() + "/admin.php", "password", "secret"},
                             {.Environment = Env_});
    AdminOk_ = admin.Wait(30000) == 0;
  }
  bool Ok() {
    const auto accepts = [this] {
      QTcpSocket socket;
      socket.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(Port_));
      return socket.waitForConnected(1000);
    };
    return AdminOk_ && Server_.Started() &&
           test::WaitUntil([&] { return accepts() || !Server_.Running(); }, 20000) &&
           Server_.Running();
  }
  std::string Url() const { return "http://127.0.0.1:" + std::to_string(Port_); }

 private:
  static int FreePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
  }
  static std::string ServiceDir() {
    return (test::TestDataFile("README.md").parent_path().parent_path().parent_path() / "service")
        .string();
  }

  test::TTempDir Dir_;
  int Port_;
  std::vector<std::string> Env_;
  test::TTestProcess Server_;
  bool AdminOk_ = false;
};

TEST_F(PreferencesDialog, ServiceBoxTestsTheReferenceService) {
  TReferenceService service;
  ASSERT_TRUE(service.Ok());
  TfmPreferences& dialog = Open({}, 4);
  QCheckBox* box = dialog.cbService();

  // Ticks the box with the address and password typed; the warning shown.
  const auto tick = [&](const QString& url, const QString& password) {
    Type(dialog.edServiceUrl(), url);
    Type(dialog.edServicePassword(), password);
    TMessageAnswer answer;
    Click(box);
    if (!url.trimmed().isEmpty()) {
      // The request runs on; the window waits with a busy cursor.
      EXPECT_TRUE(dialog.ServiceTesting());
      EXPECT_NE(QApplication::overrideCursor(), nullptr);
      EXPECT_FALSE(box->isEnabled());
      EXPECT_FALSE(dialog.btOk()->isEnabled());
      EXPECT_TRUE(QTest::qWaitFor([&] { return !dialog.ServiceTesting(); }, 30000));
    }
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    // A warning came and went while the answer was handled.
    return answer.Answered ? answer.Text : QString();
  };

  EXPECT_EQ(tick(" ", "secret"),
            "No Servise URL entered. Please enter the URL. Note that server software should be "
            "installed on the URL.");
  EXPECT_FALSE(box->isChecked());

  EXPECT_EQ(tick(QString::fromStdString(service.Url()), "wrong"),
            "The password is incorrect. Please check service password.");
  EXPECT_FALSE(box->isChecked());

  EXPECT_EQ(tick("http://127.0.0.1:1/", "secret"),
            "The web service could not be activated. Please check the URL. Note that server "
            "software should be installed on the URL.");
  EXPECT_FALSE(box->isChecked());
  EXPECT_TRUE(Activated.empty());
  EXPECT_EQ(Suspended, 0);

  EXPECT_EQ(tick(QString::fromStdString(service.Url()), "secret"), "");
  EXPECT_TRUE(box->isChecked());
  EXPECT_EQ(Activated, std::vector<std::string>{service.Url() + " " + MD5Hex("secret")});

  // A changed address has to be tested again: the service goes off.
  QTest::keyClicks(dialog.edServiceUrl(), "x");
  EXPECT_FALSE(box->isChecked());
  EXPECT_EQ(Suspended, 1);
}

}  // namespace
}  // namespace vantrel
