// The preferences dialog keeps every setting through a load and a save, holds
// its numbers in range, edits the field list, enables what applies, never
// shows nor re-hashes the stored service password, and switches the web
// service on only after the reference service has accepted the address and
// password, answering with the service's own warnings otherwise.

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <string>
#include <vector>

#include "support/test_files.h"
#include "support/test_process.h"
#include "text/codings.h"
#include "ui/preferences_dialog.h"

namespace vantrel {
namespace {

// Answers the next message box with `button` once it shows, keeping its text.
class TMessageAnswer {
 public:
  explicit TMessageAnswer(QMessageBox::StandardButton button = QMessageBox::Ok) {
    QObject::connect(&Poll_, &QTimer::timeout, [this, button] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box || Answered_)
        return;
      Answered_ = true;
      Text = box->text();
      QTest::mouseClick(box->button(button), Qt::LeftButton);
    });
    Poll_.start(5);
  }
  bool Wait() {
    return QTest::qWaitFor([this] { return Answered_; }, 30000);
  }
  bool Answered() const { return Answered_; }

  QString Text;

 private:
  QTimer Poll_;
  bool Answered_ = false;
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

std::vector<std::int32_t> Fields(const TfmPreferences& dialog) {
  TPreferences saved;
  dialog.Save(saved);
  return {saved.Fields.begin(), saved.Fields.end()};
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
  EXPECT_EQ(dialog.edDefaultFrequency()->value(), 2);
  EXPECT_EQ(dialog.cbDefaultFrequencyUnit()->currentText(), "Hour(s)");
  EXPECT_EQ(dialog.edServiceFreq()->value(), 120);
  EXPECT_EQ(dialog.lbFields()->item(0)->text(), "URL/IP");
  EXPECT_EQ(dialog.lbFields()->item(1)->checkState(), Qt::Unchecked);
  TPreferences saved;
  dialog.Save(saved);
  EXPECT_EQ(saved, p);
  TWindowState view;
  dialog.SaveView(view);
  EXPECT_EQ(view, View);

  // Typed blanks around single-line settings go; the message texts keep theirs.
  Type(dialog.edMailServer(), "  smtp.example.net ");
  Type(dialog.edServiceUrl(), " http://x.test/ ");
  dialog.Save(saved);
  EXPECT_EQ(saved.Server, "smtp.example.net");
  EXPECT_EQ(saved.ServiceUrl, "http://x.test/");
  EXPECT_EQ(saved.Subject, " %Name% down ");

  p.DefaultFrequency = 30;
  Open(p);
  EXPECT_EQ(Dialog->edDefaultFrequency()->value(), 1);
  EXPECT_EQ(Dialog->cbDefaultFrequencyUnit()->currentText(), "Minute(s)");
  Dialog->Save(saved);
  EXPECT_EQ(saved.DefaultFrequency, 60);
}

TEST_F(PreferencesDialog, NumbersStayInTheirRanges) {
  TPreferences p;
  p.AutosaveFrequency = 0;
  p.ServiceFrequency = 60 * 1000;
  p.DefaultFrequency = 100 * 3600;
  p.DefaultTriggerCount = 5000;
  p.DefaultResetCount = -4;
  View.ItemTabstop = 5000;
  View.ValueTabstop = -1;
  TfmPreferences& dialog = Open(p);
  TPreferences saved;
  dialog.Save(saved);
  EXPECT_EQ(saved.AutosaveFrequency, 1);
  EXPECT_EQ(saved.ServiceFrequency, 720 * 60);
  EXPECT_EQ(saved.DefaultFrequency, 59 * 3600);
  EXPECT_EQ(saved.DefaultTriggerCount, 999);
  EXPECT_EQ(saved.DefaultResetCount, 1);
  TWindowState view;
  dialog.SaveView(view);
  EXPECT_EQ(view.ItemTabstop, 999);
  EXPECT_EQ(view.ValueTabstop, 0);

  // What is typed past the end of the limit is refused.
  dialog.edMessageHeader()->clear();
  QTest::keyClicks(dialog.edMessageHeader(), QString(1540, 'h'));
  EXPECT_EQ(dialog.edMessageHeader()->toPlainText().size(), 1530);
}

TEST_F(PreferencesDialog, FieldListButtonsMoveShowHideAndReset) {
  TfmPreferences& dialog = Open({}, 1);
  QListWidget* list = dialog.lbFields();
  const auto enabled = [&] {
    return std::vector<bool>{dialog.btFiledUp()->isEnabled(), dialog.btFieldDown()->isEnabled(),
                             dialog.btFieldShow()->isEnabled(), dialog.btFieldHide()->isEnabled()};
  };
  EXPECT_EQ(enabled(), (std::vector<bool>{false, false, false, false}));  // nothing selected

  QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                    list->visualItemRect(list->item(0)).center());
  EXPECT_EQ(enabled(), (std::vector<bool>{false, true, false, true}));
  Click(dialog.btFieldDown());
  EXPECT_EQ(list->currentItem()->text(), "Status");
  EXPECT_EQ(list->currentRow(), 1);
  Click(dialog.btFieldHide());
  EXPECT_EQ(enabled(), (std::vector<bool>{true, true, true, false}));
  Click(dialog.btFiledUp());
  Click(dialog.btFiledUp());  // already first: disabled, nothing moves
  EXPECT_EQ(list->currentRow(), 0);
  EXPECT_EQ(Fields(dialog)[0], -1);
  EXPECT_EQ(Fields(dialog)[1], 2);
  Click(dialog.btFieldShow());
  EXPECT_EQ(Fields(dialog)[0], 1);

  list->setCurrentRow(kFieldCount - 1);
  EXPECT_EQ(enabled(), (std::vector<bool>{true, false, false, true}));
  Click(dialog.btFiledUp());
  Click(dialog.btFieldHide());
  EXPECT_EQ(Fields(dialog)[kFieldCount - 2], -21);

  // "Default" puts back the field list only.
  Type(dialog.edMailUserName(), "Ann");
  Click(dialog.btFieldDefault());
  const TFieldList standard = DefaultFieldList();
  EXPECT_EQ(Fields(dialog), std::vector<std::int32_t>(standard.begin(), standard.end()));
  EXPECT_EQ(enabled(), (std::vector<bool>{false, false, false, false}));
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
  TPreferences edited = p;
  QTimer::singleShot(0, [] {
    auto* dialog = qobject_cast<TfmPreferences*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->edServicePassword()->text(), TfmPreferences::kPasswordPlaceholder);
    Click(dialog->btOk());
  });
  ASSERT_TRUE(EditPreferences(edited, Context, nullptr));
  EXPECT_EQ(edited.ServicePassword, MD5Hex("old"));

  TfmPreferences& dialog = Open(p, 4);
  Type(dialog.edServicePassword(), "new");
  TPreferences saved;
  dialog.Save(saved);
  EXPECT_EQ(saved.ServicePassword, MD5Hex("new"));
  Type(dialog.edServicePassword(), "");
  dialog.Save(saved);
  EXPECT_EQ(saved.ServicePassword, "");

  // Cancel leaves the preferences and the view as they were.
  QTimer::singleShot(0, [] { QTest::keyClick(QApplication::activeModalWidget(), Qt::Key_Escape); });
  EXPECT_FALSE(EditPreferences(edited, Context, nullptr));
  EXPECT_EQ(edited, p);
}

TEST_F(PreferencesDialog, MailButtonsAndSetDefault) {
  TfmPreferences& dialog = Open({}, 2);
  TMessageAnswer missing;
  Click(dialog.btMailTest());
  ASSERT_TRUE(missing.Wait());
  EXPECT_EQ(missing.Text, "Please enter SMPT Server and Email Address fields.");
  EXPECT_TRUE(MailTests.empty());

  Type(dialog.edMailServer(), " smtp.example.org ");
  Type(dialog.edMailAddress(), "ann@example.org");
  Click(dialog.btMailTest());
  ASSERT_EQ(MailTests.size(), 1u);
  EXPECT_EQ(MailTests[0].Server, "smtp.example.org");
  EXPECT_EQ(MailTests[0].Address, "ann@example.org");

  // This system keeps no mail account to take the identity from.
  TMessageAnswer notFound;
  Click(dialog.btMailDefault());
  ASSERT_TRUE(notFound.Wait());
  EXPECT_EQ(notFound.Text,
            "The default e-mail settings could not be found. Please enter the settings "
            "manually.");
  EXPECT_EQ(dialog.edMailServer()->text(), " smtp.example.org ");

  Click(dialog.cbMailServerAuth());
  TMessageAnswer no(QMessageBox::No);
  Click(dialog.btDefault());
  ASSERT_TRUE(no.Wait());
  EXPECT_EQ(no.Text, "Are you sure you want to reset your current preferences?");
  EXPECT_TRUE(dialog.cbMailServerAuth()->isChecked());
  TMessageAnswer yes(QMessageBox::Yes);
  Click(dialog.btDefault());
  ASSERT_TRUE(yes.Wait());
  TPreferences saved, defaults;
  dialog.Save(saved);
  SetDefaultPreferences(defaults);
  EXPECT_EQ(saved, defaults);
}

int FreePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(fd);
  return ntohs(address.sin_port);
}

bool Accepts(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return ok;
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
    return AdminOk_ && Server_.Started() &&
           test::WaitUntil([this] { return Accepts(Port_) || !Server_.Running(); }, 20000) &&
           Server_.Running();
  }
  std::string Url() const { return "http://127.0.0.1:" + std::to_string(Port_); }

 private:
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
    return answer.Answered() ? answer.Text : QString();
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
