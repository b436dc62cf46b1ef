// The item properties dialog as a person uses it: what it shows of an item and
// writes back, the frequency kept to the second, the enabling of the
// controls, copying another item's settings, the page snapshot against a web
// server on loopback, and the buttons that reach outside.

#include "ui/properties_dialog.h"

#include <gtest/gtest.h>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QtWidgets>

#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/watch_list_fixture.h"
#include "modal_answers.h"
#include "support/test_env.h"
#include "support/test_files.h"

namespace vantrel {
namespace {

using test::Answer;
using test::WhenModal;

class TPlayedDesktop final : public TDesktop {
 public:
  std::string ShowHtml(const std::string&, const std::string&) override { return ""; }
  void OpenDocument(const std::string&) override {}
  std::string RunCommand(const std::string&, const TCommandEnvironment&) override { return ""; }
  void PlayAlarmSound(const std::string& file, bool loop) override {
    Played.push_back(file + (loop ? " loop" : " once"));
  }
  void StopAlarmSound() override {}
  std::vector<std::string> Played;
};

// A web server on loopback: "/page" answers 200 with Body, "/silent" never
// answers, anything else 404.
class TPageServer {
 public:
  TPageServer() {
    EXPECT_TRUE(Server.listen(QHostAddress::LocalHost));
    QObject::connect(&Server, &QTcpServer::newConnection, [this] {
      while (QTcpSocket* socket = Server.nextPendingConnection()) {
        ++Accepted;
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
          Head += socket->readAll();
          if (!Head.contains("\r\n\r\n") || Head.contains("GET /silent "))
            return;
          const QByteArray status = Head.startsWith("GET /page ") ? "200 OK" : "404 Not Found";
          const QByteArray body = status.startsWith("200") ? Body : "missing";
          socket->write("HTTP/1.0 " + status + "\r\nContent-Length: " +
                        QByteArray::number(body.size()) + "\r\n\r\n" + body);
          socket->disconnectFromHost();
          Head.clear();
        });
      }
    });
  }
  std::string Url(const char* path) const {
    return "http://127.0.0.1:" + std::to_string(Server.serverPort()) + path;
  }

  QTcpServer Server;
  QByteArray Head;
  QByteArray Body = "<html>hello</html>";
  int Accepted = 0;
};

class PropertiesDialogTest : public ::testing::Test {
 protected:
  PropertiesDialogTest() {
    TReportItem report;  // HTML0, XML1, HTML2
    for (TReportFormat format : {TReportFormat::Html, TReportFormat::Xml, TReportFormat::Html}) {
      report.Format = format;
      report.Name = ReportFormatName(format) + std::to_string(Reports.Count());
      Reports.Add(report);
    }
    test::FillSettings(Other);  // every setting other than a new item's
    Other.Name = "other";
    Other.Username.clear();
    Service.Name = "shop";
    Service.Username = "ann";
  }

  TfmProperties& Open(const TWatchItem& item) {
    Dialog = std::make_unique<TfmProperties>(Context);
    Dialog->Load(item);
    Dialog->show();
    Dialog->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(Dialog.get()));
    return *Dialog;
  }

  // Brings the tab that holds `widget` to the front, as the user must.
  void ShowPageOf(QWidget* widget) {
    for (int i = 0; i < Dialog->pcPages()->count(); ++i)
      if (Dialog->pcPages()->widget(i)->isAncestorOf(widget))
        Dialog->pcPages()->setCurrentIndex(i);
  }
  void Click(QAbstractButton* button) {
    ShowPageOf(button);
    // The indicator of a check or radio box, which a layout never moves off its left end.
    const bool box = qobject_cast<QPushButton*>(button) == nullptr;
    QTest::mouseClick(
        button, Qt::LeftButton, {},
        box ? QPoint(button->height() / 2, button->height() / 2) : button->rect().center());
  }
  // Selects what is there, types `text` over it and leaves with Tab.
  void Type(QWidget* field, const QString& text) {
    ShowPageOf(field);
    field->setFocus();
    if (auto* spin = qobject_cast<QAbstractSpinBox*>(field))
      spin->selectAll();
    else if (auto* line = qobject_cast<QLineEdit*>(field))
      line->selectAll();
    QTest::keyClick(field, Qt::Key_Backspace);
    QTest::keyClicks(field, text);
    QTest::keyClick(field, Qt::Key_Tab);
  }

  std::string Frequency() const {
    return Dialog->edFrequency()->text().toStdString() + " " +
           Dialog->cbFrequencyUnit()->currentText().toStdString();
  }

  test::TTempDir Tmp;
  TReportList Reports{(Tmp / "vantrel.vtr").string()};
  TSettings Settings;
  TPlayedDesktop Desktop;
  TWatchItem Other, Service;
  std::vector<std::string> Tested;
  TPropertiesContext Context{
      .Items = {&Other, &Service},
      .Reports = Reports,
      .Settings = Settings,
      .Desktop = Desktop,
      .OpenTest =
          [this](const TWatchItem& item, QWidget*) {
            Tested.push_back(item.Url + " every " + std::to_string(item.Frequency()));
          },
  };
  std::unique_ptr<TfmProperties> Dialog;
};

TEST_F(PropertiesDialogTest, EverySettingGoesBackAsLoadedAndTypedTextsAreTrimmed) {
  TWatchItem item;
  test::FillSettings(item);
  item.ReportId = 2;
  item.SearchText = "  Welcome\nback ";  // multi-line texts stay as they are
  Open(item);
  // Only HTML reports can go with a mail.
  ASSERT_EQ(Dialog->cbEmailReport()->count(), 2);
  EXPECT_EQ(Dialog->cbEmailReport()->itemText(1), "HTML2");
  // What the dialog does not show, taken over so that the rest compares whole.
  TWatchItem saved;
  saved.Created = item.Created;
  saved.ServiceId = item.ServiceId;
  saved.Username = item.Username;
  saved.UserEmail = item.UserEmail;
  saved.UserFullName = item.UserFullName;
  Dialog->Save(saved);
  EXPECT_EQ(test::SettingsOf(saved), test::SettingsOf(item));

  Type(Dialog->edCommandName(), "  run.sh ");
  Dialog->Save(saved);
  EXPECT_EQ(saved.Command, "run.sh");

  // Without an HTML report the item names none.
  Reports.Clear();
  Open(item);
  Dialog->Save(item);
  EXPECT_EQ(item.ReportId, -1);
}

TEST_F(PropertiesDialogTest, TheFrequencyIsShownExactlyAndTypedNumbersAreBroughtIntoRange) {
  const std::pair<int, const char*> cases[] = {{60, "1 Minute(s)"},
                                               {7200, "2 Hour(s)"},
                                               {5400, "90 Minute(s)"},
                                               {90, "90 Second(s)"},
                                               {59, "59 Second(s)"}};
  for (const auto& [seconds, shown] : cases) {
    TWatchItem item;
    item.SetFrequency(seconds);
    Open(item);
    EXPECT_EQ(Frequency(), shown);
    Dialog->Save(item);
    EXPECT_EQ(item.Frequency(), seconds);
  }
  // The common range still holds what is typed; another unit keeps it.
  Type(Dialog->edFrequency(), "75");
  EXPECT_EQ(Frequency(), "59 Second(s)");
  Dialog->cbFrequencyUnit()->setFocus();
  QTest::keyClick(Dialog->cbFrequencyUnit(), Qt::Key_End);
  TWatchItem item;
  Dialog->Save(item);
  EXPECT_EQ(item.Frequency(), 59 * 3600);

  // A number past a bound goes to it, no number to the minimum, even one too
  // long for an int.
  item.AlarmTrigger = true;
  Open(item);
  Type(Dialog->edAlarmTriggerCount(), "1200");
  Type(Dialog->edPingTimeout(), "");
  Click(Dialog->rbServiceMonitoring());
  Type(Dialog->edServiceTimeout(), "99999999999999999999");
  EXPECT_EQ(Dialog->edAlarmTriggerCount()->value(), 999);
  EXPECT_EQ(Dialog->edPingTimeout()->value(), 0);
  EXPECT_EQ(Dialog->edServiceTimeout()->value(), 9999);
}

TEST_F(PropertiesDialogTest, ControlsFollowTheChoicesTheyDependOn) {
  Open(TWatchItem());
  auto states = [this] {
    std::string flags;
    for (const QWidget* w : std::initializer_list<const QWidget*>{
             Dialog->edAlarmTriggerCount(), Dialog->edAlarmResetCount(), Dialog->edPingTimeout(),
             Dialog->meDownloadText(), Dialog->btDownloadSnapshot(), Dialog->cbServiceType(),
             Dialog->edServiceTimeout(), Dialog->mePopupText(), Dialog->edEmailAddress(),
             Dialog->cbEmailReport(), Dialog->edCommandName(), Dialog->edSoundFile(),
             Dialog->btSoundPlay(), Dialog->btOk()})
      flags += w->isEnabled() ? '1' : '0';
    // A label goes with its field.
    for (const QLabel* label : Dialog->findChildren<QLabel*>()) {
      const QWidget* field = label->buddy();
      if (field && field != Dialog->edName() && field != Dialog->edUrl()) {
        EXPECT_EQ(label->isEnabled(), field->isEnabled()) << label->text().toStdString();
      }
    }
    return flags;
  };
  // Columns: trigger and reset counts; ping time-out, download text, "Snapshot", service type
  // and time-out; pop-up text, addresses, report list, command, sound file, play; OK.
  EXPECT_EQ(states(), "00100001000000");
  const std::vector<std::pair<std::function<void()>, std::string>> steps = {
      {[&] { Click(Dialog->cbAlarmTrigger()); }, "10100001000000"},
      {[&] { Click(Dialog->cbAlarmReset()); }, "11100001000000"},
      {[&] { Click(Dialog->rbDownloadMonitoring()); }, "11011001000000"},
      {[&] { Click(Dialog->rbServiceMonitoring()); }, "11000111000000"},
      {[&] { Click(Dialog->cbPopupAction()); }, "11000110000000"},
      {[&] { Click(Dialog->cbEmailAction()); }, "11000110100000"},
      {[&] { Click(Dialog->pbEmailReportType()); }, "11000110110000"},
      {[&] { Click(Dialog->cbCommandAction()); }, "11000110111000"},
      {[&] { Click(Dialog->cbSoundAction()); }, "11000110111100"},
      {[&] { Type(Dialog->edSoundFile(), "a.wav"); }, "11000110111110"},
      {[&] { Click(Dialog->cbSoundAction()); }, "11000110111010"},
      {[&] { Type(Dialog->edName(), "x"); }, "11000110111010"},
      {[&] { Type(Dialog->edUrl(), "  "); }, "11000110111010"},
      {[&] { Type(Dialog->edUrl(), "host"); }, "11000110111011"},
      {[&] { Click(Dialog->cbEmailAction()); }, "11000110001011"},
  };
  for (std::size_t i = 0; i < steps.size(); ++i) {
    steps[i].first();
    EXPECT_EQ(states(), steps[i].second) << "step " << i;
  }
  EXPECT_TRUE(Dialog->btMonitoringTest()->isEnabled());
}

TEST_F(PropertiesDialogTest, CopyingAnotherItemAsksAndNeverTouchesNameOrUrl) {
  Open(Service);
  EXPECT_FALSE(Dialog->edName()->isEnabled());
  EXPECT_FALSE(Dialog->edUrl()->isEnabled());
  EXPECT_EQ(Dialog->cbItemList()->itemText(3), "ann_shop");  // an item of the web service
  QString question;

  Answer(Dialog.get(), QMessageBox::No, question);
  QTest::keyClick(Dialog->cbItemList(), Qt::Key_Down);  // past the dashes to "other"
  EXPECT_FALSE(question.isEmpty());
  EXPECT_EQ(Dialog->cbItemList()->currentIndex(), 0);
  EXPECT_EQ(Frequency(), "1 Minute(s)");

  Answer(Dialog.get(), QMessageBox::Yes, question);
  QTest::keyClick(Dialog->cbItemList(), Qt::Key_Down);
  EXPECT_EQ(Dialog->cbItemList()->currentText(), "other");
  TWatchItem saved;
  Dialog->Save(saved);
  EXPECT_EQ(saved.Name, "shop");
  EXPECT_EQ(saved.Url, "");
  EXPECT_EQ(saved.Frequency(), 300);
  EXPECT_EQ(saved.CheckType, TCheckType::Ftp);
  EXPECT_EQ(saved.TriggerCount, 3);
  EXPECT_EQ(saved.SoundFile, "alarm.wav");
  EXPECT_FALSE(Dialog->edName()->isEnabled());
}

TEST_F(PropertiesDialogTest, SnapshotFetchesThePageWithoutHoldingTheWindow) {
  const test::TEnvGuard http("http_proxy", std::nullopt), httpUpper("HTTP_PROXY", std::nullopt);
  TPageServer server;
  TWatchItem item;
  item.CheckType = TCheckType::Download;
  item.Url = server.Url("/page");
  Open(item);
  Click(Dialog->btDownloadSnapshot());
  EXPECT_FALSE(Dialog->btDownloadSnapshot()->isEnabled());
  EXPECT_EQ(Dialog->cursor().shape(), Qt::BusyCursor);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !Dialog->SnapshotRunning(); }));
  EXPECT_EQ(Dialog->meDownloadText()->toPlainText(), "<html>hello</html>");
  EXPECT_TRUE(Dialog->btDownloadSnapshot()->isEnabled());
  EXPECT_NE(Dialog->cursor().shape(), Qt::BusyCursor);

  QString warning;
  Answer(Dialog.get(), QMessageBox::Ok, warning);
  Type(Dialog->edUrl(), QString::fromStdString(server.Url("/gone ")));
  Click(Dialog->btDownloadSnapshot());
  ASSERT_TRUE(QTest::qWaitFor([&] { return !warning.isEmpty(); }));
  EXPECT_EQ(warning.toStdString(), "Could not load the page. " + server.Url("/gone"));
  EXPECT_EQ(Dialog->meDownloadText()->toPlainText(), "<html>hello</html>");

  // Closed while the server keeps it waiting for the whole time-out.
  Type(Dialog->edUrl(), QString::fromStdString(server.Url("/silent")));
  Click(Dialog->btDownloadSnapshot());
  ASSERT_TRUE(QTest::qWaitFor([&] { return server.Accepted == 3; }));
  Click(Dialog->btCancel());
  Dialog.reset();
}

TEST_F(PropertiesDialogTest, TestSoundAndBrowseButtons) {
  QString warning;
  Open(TWatchItem());
  Answer(Dialog.get(), QMessageBox::Ok, warning);
  Click(Dialog->btMonitoringTest());
  EXPECT_EQ(warning, "Please enter URL/IP Address field.");
  Type(Dialog->edUrl(), " host.example ");
  Type(Dialog->edFrequency(), "5");
  Click(Dialog->btMonitoringTest());
  EXPECT_EQ(Tested, std::vector<std::string>{"host.example every 300"});

  Click(Dialog->cbSoundAction());
  const std::string bell = (Tmp / "bell.wav").string();
  test::WriteFileBytes(bell, "RIFF");
  WhenModal(Dialog.get(), [&bell](QWidget* modal) {
    auto* files = qobject_cast<QFileDialog*>(modal);
    ASSERT_NE(files, nullptr);
    files->selectFile(QString::fromStdString(bell));
    static_cast<QDialog*>(files)->accept();  // the same as "Open"
  });
  Click(Dialog->btSoundBrowse());
  EXPECT_EQ(Dialog->edSoundFile()->text().toStdString(), bell);
  Click(Dialog->btSoundPlay());
  EXPECT_EQ(Desktop.Played, std::vector<std::string>{bell + " once"});
}

}  // namespace
}  // namespace vantrel
