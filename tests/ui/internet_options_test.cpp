// The Internet options dialog edits every option within its limits, switches
// off what its check boxes do not use, and keeps its test servers with the
// server dialog, whose name check and ping test answer the user.

#include <gtest/gtest.h>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>

#include <functional>
#include <initializer_list>
#include <string>

#include "ui/internet_options_dialog.h"
#include "ui/server_dialog.h"

namespace vantrel {
namespace {

// Hands the next modal window to `answer` once its event loop runs.
void WhenModal(QObject* context, std::function<void(QWidget*)> answer) {
  QTimer::singleShot(0, context, [answer] { answer(QApplication::activeModalWidget()); });
}

// Clicks OK of the next message box, whenever it comes (a ping's answer comes
// from the event loop), and keeps its text, after "Warning: " for a warning.
void AnswerMessage(QObject* context, QString& text) {
  auto* poll = new QTimer(context);
  QObject::connect(poll, &QTimer::timeout, poll, [poll, &text] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr)
      return;
    poll->deleteLater();
    poll->stop();
    text = (box->icon() == QMessageBox::Warning ? "Warning: " : "") + box->text();
    QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
  });
  poll->start(5);
}

void ClickBox(QAbstractButton* button) {
  QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(button->height() / 2, button->height() / 2));
}

void ClickRow(QListWidget* list, int row) {
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                    list->visualItemRect(list->item(row)).center());
}

// Types `name` into the server dialog that is about to open and clicks OK.
void AnswerServerDialog(QObject* context, const QString& name) {
  WhenModal(context, [name](QWidget* modal) {
    auto* dialog = qobject_cast<TfmServerInfo*>(modal);
    ASSERT_NE(dialog, nullptr);
    dialog->edServerName()->clear();
    QTest::keyClicks(dialog->edServerName(), name);
    QTest::mouseClick(dialog->btOk(), Qt::LeftButton);
  });
}

QStringList Entries(const TfmInternetOptions& dialog) {
  QStringList entries;
  for (int row = 0; row < dialog.lbServerNames()->count(); ++row)
    entries << dialog.lbServerNames()->item(row)->text();
  return entries;
}

TInternetOptions Options(bool proxy, bool servers, const std::string& list) {
  return {proxy, "proxy.example.org",         3128, "ann", "s3cret", "intranet;printer", servers,
          list,  TInternetOptions::ByDownload};
}

TEST(InternetOptionsTest, LoadSaveAndTheDialogsButtons) {
  TfmInternetOptions dialog;
  dialog.Load(Options(true, false, "a.example; b.example"));
  EXPECT_EQ(Entries(dialog), QStringList({"a.example", "b.example"}));
  EXPECT_EQ(dialog.edProxyPassword()->echoMode(), QLineEdit::Password);
  TInternetOptions saved;
  dialog.Save(saved);
  EXPECT_EQ(saved, Options(true, false, "a.example;b.example"));
  // A blank server list shows no entry, and saves as empty.
  dialog.Load(Options(false, true, "  "));
  EXPECT_EQ(dialog.lbServerNames()->count(), 0);

  // Escape changes nothing; Enter is OK and applies what was typed.
  TInternetOptions options = Options(true, true, "a.example");
  WhenModal(&dialog, [](QWidget* modal) {
    auto* shown = qobject_cast<TfmInternetOptions*>(modal);
    ASSERT_NE(shown, nullptr);
    QTest::keyClicks(shown->edProxyAddress(), "x");
    QTest::keyClick(shown, Qt::Key_Escape);
  });
  EXPECT_FALSE(EditInternetOptions(options, &dialog));
  EXPECT_EQ(options, Options(true, true, "a.example"));
  WhenModal(&dialog, [](QWidget* modal) {
    auto* shown = qobject_cast<TfmInternetOptions*>(modal);
    ASSERT_NE(shown, nullptr);
    shown->edProxyUsername()->clear();
    QTest::keyClicks(shown->edProxyUsername(), "  bob ");
    QTest::keyClick(shown->edProxyUsername(), Qt::Key_Return);
  });
  EXPECT_TRUE(EditInternetOptions(options, &dialog));
  EXPECT_EQ(options.Username, "bob");
}

TEST(InternetOptionsTest, LimitsOfTheFields) {
  TfmInternetOptions dialog;
  dialog.show();
  TInternetOptions options;
  options.ActiveStatus = true;
  options.Port = 70000;
  options.Address = std::string(100, 'a');  // longer than may be typed, as the settings allow
  dialog.Load(options);
  EXPECT_EQ(dialog.edProxyPort()->value(), 65535);
  TInternetOptions saved;
  dialog.Save(saved);
  EXPECT_EQ(saved.Address, options.Address);

  dialog.Load(TInternetOptions{});
  ClickBox(dialog.cbProxy());
  for (QLineEdit* edit :
       {dialog.edProxyAddress(), dialog.edProxyUsername(), dialog.edProxyPassword()}) {
    QTest::keyClicks(edit, QString(70, 'b'));
    EXPECT_EQ(edit->text().size(), 64) << edit->objectName().toStdString();
  }

  // Enter neither breaks the exception list nor closes the dialog; pasted
  // lines join into the list.
  QTest::keyClicks(dialog.edProxyExceptions(), " intranet");
  QTest::keyClick(dialog.edProxyExceptions(), Qt::Key_Return);
  QTest::keyClick(dialog.edProxyExceptions(), Qt::Key_Enter, Qt::ShiftModifier);
  QTest::keyClicks(dialog.edProxyExceptions(), ";");
  QApplication::clipboard()->setText("printer\r\n\nfiles\n");
  QTest::keyClick(dialog.edProxyExceptions(), Qt::Key_V, Qt::ControlModifier);
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
  dialog.Save(saved);
  EXPECT_EQ(saved.Exceptions, "intranet;printer;files");
}

// Which controls are enabled: the proxy's eleven labels and fields, then the
// list, Add, Delete, Edit, the method label and the method list.
std::string Enabled(const TfmInternetOptions& d) {
  std::string flags;
  for (const QWidget* w : std::initializer_list<const QWidget*>{
           d.laProxyAddress(), d.edProxyAddress(), d.laProxyPort(), d.edProxyPort(),
           d.laProxyUsername(), d.edProxyUsername(), d.laProxyPassword(), d.edProxyPassword(),
           d.laProxyExceptions(), d.edProxyExceptions(), d.laProxySeparator(), nullptr,
           d.lbServerNames(), d.btServerAdd(), d.btServerDelete(), d.btServerEdit(),
           d.laServerMethod(), d.cbServerMethod()})
    flags += w == nullptr ? ' ' : w->isEnabled() ? '1' : '0';
  return flags;
}

TEST(InternetOptionsTest, TheCheckBoxesAndTheSelectionEnableTheirControls) {
  TfmInternetOptions dialog;
  dialog.Load(Options(false, false, "a.example;b.example"));
  dialog.show();
  EXPECT_EQ(Enabled(dialog), "00000000000 000000");
  ClickBox(dialog.cbProxy());
  EXPECT_EQ(Enabled(dialog), "11111111111 000000");
  ClickBox(dialog.cbServer());
  EXPECT_EQ(Enabled(dialog), "11111111111 110011");
  ClickRow(dialog.lbServerNames(), 1);
  EXPECT_EQ(Enabled(dialog), "11111111111 111111");
  ClickBox(dialog.cbProxy());
  EXPECT_EQ(Enabled(dialog), "00000000000 111111");
  ClickBox(dialog.cbServer());
  EXPECT_EQ(Enabled(dialog), "00000000000 000000");
  // Switched off, the list keeps its entries, and OK stores them.
  TInternetOptions saved;
  dialog.Save(saved);
  EXPECT_FALSE(saved.PingStatus);
  EXPECT_EQ(saved.Servers, "a.example;b.example");
}

TEST(InternetOptionsTest, AddEditAndDeleteTestServers) {
  TfmInternetOptions dialog;
  dialog.Load(Options(false, true, "a.example"));
  dialog.show();

  AnswerServerDialog(&dialog, "  new.example ");
  QTest::mouseClick(dialog.btServerAdd(), Qt::LeftButton);
  EXPECT_EQ(Entries(dialog), QStringList({"a.example", "new.example"}));
  EXPECT_EQ(dialog.lbServerNames()->currentRow(), 1);
  EXPECT_TRUE(dialog.btServerEdit()->isEnabled());

  // The server dialog opens with the entry; Cancel leaves it as it was.
  QString shown;
  WhenModal(&dialog, [&shown](QWidget* modal) {
    auto* server = qobject_cast<TfmServerInfo*>(modal);
    ASSERT_NE(server, nullptr);
    shown = server->edServerName()->text();
    server->edServerName()->clear();
    EXPECT_FALSE(server->btOk()->isEnabled());
    QTest::keyClicks(server->edServerName(), "other.example");
    QTest::keyClick(server, Qt::Key_Escape);
  });
  QTest::mouseClick(dialog.btServerEdit(), Qt::LeftButton);
  EXPECT_EQ(shown, "new.example");
  EXPECT_EQ(Entries(dialog), QStringList({"a.example", "new.example"}));

  ClickRow(dialog.lbServerNames(), 0);
  AnswerServerDialog(&dialog, "10.0.0.1");
  QTest::mouseClick(dialog.btServerEdit(), Qt::LeftButton);
  EXPECT_EQ(Entries(dialog), QStringList({"10.0.0.1", "new.example"}));

  ClickRow(dialog.lbServerNames(), 1);
  QTest::mouseClick(dialog.btServerDelete(), Qt::LeftButton);
  EXPECT_EQ(Entries(dialog), QStringList({"10.0.0.1"}));
  TInternetOptions saved;
  dialog.Save(saved);
  EXPECT_EQ(saved.Servers, "10.0.0.1");
}

TEST(InternetOptionsTest, TheServerDialogRefusesNamesThatAreNotHostNames) {
  TfmServerInfo dialog;
  dialog.show();
  EXPECT_FALSE(dialog.btOk()->isEnabled());
  // Enter does nothing while OK is off.
  QTest::keyClicks(dialog.edServerName(), "   ");
  QTest::keyClick(dialog.edServerName(), Qt::Key_Return);
  EXPECT_TRUE(dialog.isVisible());

  for (const char* name : {"bad name", "host:80", "h\xc3\xa9.example"}) {
    dialog.edServerName()->setText(QString::fromUtf8(name));
    for (QPushButton* button : {dialog.btOk(), dialog.btTest()}) {
      QString text;
      AnswerMessage(&dialog, text);
      QTest::mouseClick(button, Qt::LeftButton);
      EXPECT_EQ(text, "Warning: Please enter correct Domain Name or IP.") << name;
      EXPECT_TRUE(dialog.isVisible() && !dialog.Testing());
    }
  }
  dialog.edServerName()->setText(" Mail-1.my_host.example. ");
  QTest::keyClick(dialog.edServerName(), Qt::Key_Return);
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.ServerName(), "Mail-1.my_host.example.");
}

// Clicks Test and waits for the answer, which must come without the window
// freezing: while the ping runs, the dialog is busy and Test is off.
QString PingTest(TfmServerInfo& dialog, const QString& name) {
  dialog.edServerName()->setText(name);
  QString text;
  AnswerMessage(&dialog, text);
  QTest::mouseClick(dialog.btTest(), Qt::LeftButton);
  EXPECT_TRUE(dialog.Testing() && !dialog.btTest()->isEnabled() && !dialog.btOk()->isEnabled());
  EXPECT_NE(QApplication::overrideCursor(), nullptr);
  EXPECT_TRUE(QTest::qWaitFor([&text] { return !text.isEmpty(); }, 15000));
  EXPECT_TRUE(!dialog.Testing() && dialog.btTest()->isEnabled());
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  return text;
}

TEST(InternetOptionsTest, TheTestButtonPingsTheServer) {
  TfmServerInfo dialog;
  dialog.show();
  EXPECT_EQ(PingTest(dialog, "127.0.0.1"), "Test finished successfully.");
  // A name that cannot be resolved fails without a packet leaving the machine.
  EXPECT_EQ(PingTest(dialog, "no..such"),
            "Warning: Test failed.\nThe Domain Name or IP is not pingable now.");
  EXPECT_TRUE(dialog.isVisible());
}

TEST(InternetOptionsTest, CancelStopsAPingAndItsAnswerIsNeverShown) {
  TfmServerInfo dialog;
  dialog.show();
  // A documentation address: no reply comes; Cancel ends the wait at once.
  dialog.edServerName()->setText("192.0.2.1");
  QTest::mouseClick(dialog.btTest(), Qt::LeftButton);
  ASSERT_TRUE(dialog.Testing());
  QTest::mouseClick(dialog.btCancel(), Qt::LeftButton);
  EXPECT_FALSE(dialog.Testing());
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  // The worker's answer is already queued: delivering it must show nothing.
  QString text;
  AnswerMessage(&dialog, text);
  QCoreApplication::processEvents();
  EXPECT_EQ(text.toStdString(), "");
}

}  // namespace
}  // namespace vantrel
