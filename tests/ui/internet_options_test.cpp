// The Internet options dialog edits every option, switches off what its check
// boxes do not use, and keeps its test servers with the server dialog, whose
// name check and ping test answer the user.

#include <gtest/gtest.h>
#include <QTest>
#include <QtWidgets>

#include <functional>
#include <initializer_list>
#include <string>

#include "modal_answers.h"
#include "ui/internet_options_dialog.h"
#include "ui/server_dialog.h"

namespace vantrel {
namespace {

using test::WhenModal;

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

// Types `name` into the server dialog that is about to open, keeping what it
// showed, and presses Enter (or Escape).
void AnswerServerDialog(QObject* context, const QString& name, QString* shown = nullptr,
                        bool ok = true) {
  WhenModal(context, [name, shown, ok](QWidget* modal) {
    auto* dialog = qobject_cast<TfmServerInfo*>(modal);
    ASSERT_NE(dialog, nullptr);
    if (shown)
      *shown = dialog->edServerName()->text();
    dialog->edServerName()->clear();
    QTest::keyClicks(dialog->edServerName(), name);
    QTest::keyClick(dialog->edServerName(), ok ? Qt::Key_Return : Qt::Key_Escape);
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
  TInternetOptions options = Options(true, false, "a.example; b.example");
  options.Address = std::string(100, 'a');  // longer than may be typed, as the settings allow
  dialog.Load(options);
  EXPECT_EQ(Entries(dialog), QStringList({"a.example", "b.example"}));
  EXPECT_EQ(dialog.edProxyPassword()->echoMode(), QLineEdit::Password);
  TInternetOptions saved;
  dialog.Save(saved);
  options.Servers = "a.example;b.example";
  EXPECT_EQ(saved, options);
  // A blank server list shows no entry.
  dialog.Load(Options(false, true, "  "));
  EXPECT_EQ(dialog.lbServerNames()->count(), 0);

  // Escape changes nothing; Enter is OK and applies what was typed.
  for (const bool ok : {false, true}) {
    options = Options(true, true, "a.example");
    WhenModal(&dialog, [ok](QWidget* modal) {
      auto* shown = qobject_cast<TfmInternetOptions*>(modal);
      ASSERT_NE(shown, nullptr);
      shown->edProxyUsername()->clear();
      QTest::keyClicks(shown->edProxyUsername(), "  bob ");
      QTest::keyClick(shown->edProxyUsername(), ok ? Qt::Key_Return : Qt::Key_Escape);
    });
    EXPECT_EQ(EditInternetOptions(options, &dialog), ok);
    EXPECT_EQ(options.Username, ok ? "bob" : "ann");
  }
}

TEST(InternetOptionsTest, TheExceptionListTakesNoLineBreaks) {
  TfmInternetOptions dialog;
  dialog.show();
  ClickBox(dialog.cbProxy());
  // Enter neither breaks the list nor closes the dialog; pasted lines join
  // into the list.
  QTest::keyClicks(dialog.edProxyExceptions(), " intranet");
  QTest::keyClick(dialog.edProxyExceptions(), Qt::Key_Return);
  QTest::keyClick(dialog.edProxyExceptions(), Qt::Key_Enter, Qt::ShiftModifier);
  QTest::keyClicks(dialog.edProxyExceptions(), ";");
  QApplication::clipboard()->setText("printer\r\n\nfiles\n");
  QTest::keyClick(dialog.edProxyExceptions(), Qt::Key_V, Qt::ControlModifier);
  EXPECT_TRUE(dialog.isVisible());
  TInternetOptions saved;
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

  // Host names may hold hyphens, underscores and a final dot.
  AnswerServerDialog(&dialog, " Mail-1.my_host.example. ");
  QTest::mouseClick(dialog.btServerAdd(), Qt::LeftButton);
  EXPECT_EQ(Entries(dialog), QStringList({"a.example", "Mail-1.my_host.example."}));
  EXPECT_EQ(dialog.lbServerNames()->currentRow(), 1);
  EXPECT_TRUE(dialog.btServerEdit()->isEnabled());

  // The server dialog opens with the entry; Cancel leaves it as it was.
  QString shown;
  AnswerServerDialog(&dialog, "other.example", &shown, false);
  QTest::mouseClick(dialog.btServerEdit(), Qt::LeftButton);
  EXPECT_EQ(shown, "Mail-1.my_host.example.");
  EXPECT_EQ(Entries(dialog), QStringList({"a.example", "Mail-1.my_host.example."}));

  ClickRow(dialog.lbServerNames(), 0);
  AnswerServerDialog(&dialog, "10.0.0.1");
  QTest::mouseClick(dialog.btServerEdit(), Qt::LeftButton);
  EXPECT_EQ(Entries(dialog), QStringList({"10.0.0.1", "Mail-1.my_host.example."}));

  ClickRow(dialog.lbServerNames(), 1);
  QTest::mouseClick(dialog.btServerDelete(), Qt::LeftButton);
  EXPECT_EQ(Entries(dialog), QStringList({"10.0.0.1"}));
  TInternetOptions saved;
  dialog.Save(saved);
  EXPECT_EQ(saved.Servers, "10.0.0.1");
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

TEST(InternetOptionsTest, TheServerDialogRefusesBadNamesAndPingsTheServer) {
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

  EXPECT_EQ(PingTest(dialog, "127.0.0.1"), "Test finished successfully.");
  // A name that cannot be resolved fails without a packet leaving the machine.
  EXPECT_EQ(PingTest(dialog, "no..such"),
            "Warning: Test failed.\nThe Domain Name or IP is not pingable now.");

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
