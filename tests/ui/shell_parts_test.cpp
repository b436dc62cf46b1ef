// The small parts of the window program's shell: the tray icon's tip and
// images, one running copy per data folder, the error dialog and the icons.

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <QDesktopServices>
#include <QDirIterator>
#include <QIcon>
#include <QLocalServer>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>
#include <QUrlQuery>
#include <QWidget>

#include <cstring>
#include <vector>

#include "support/test_files.h"
#include "ui/clone_control.h"
#include "ui/error_dialog.h"
#include "ui/icons.h"
#include "ui/tray_icon.h"

namespace vantrel {
namespace {

TEST(TrayIconTest, TipIsCutAndTheIndexStaysInTheList) {
  QWidget window;
  TxxTrayIcon tray(&window);
  tray.SetHint(QString(130, 'a'));
  EXPECT_EQ(tray.ToolTip(), QString(127, 'a'));
  tray.SetHint("vantrel.org");
  EXPECT_EQ(tray.ToolTip(), "vantrel.org");

  tray.SetIconIndex(1);
  EXPECT_EQ(tray.IconIndex(), 0);  // no list
  tray.SetIconList({QIcon(":/icons/tray-on.svg"), QIcon(":/icons/tray-off.svg")});
  tray.SetIconIndex(1);
  EXPECT_EQ(tray.IconIndex(), 1);
  tray.SetIconIndex(5);
  EXPECT_EQ(tray.IconIndex(), 1);
  tray.SetIconIndex(-1);
  EXPECT_EQ(tray.IconIndex(), 0);
  tray.SetIconList({QIcon(":/icons/tray-on.svg")});
  tray.SetIconIndex(1);
  EXPECT_EQ(tray.IconIndex(), 0);
}

// Leaves a socket file at `path` that nobody listens on, as a crash does.
void LeaveStaleSocket(const QString& path) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(fd, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const QByteArray bytes = path.toLocal8Bit();
  std::memcpy(address.sun_path, bytes.constData(), bytes.size());
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ::close(fd);
}

TEST(CloneControlTest, OneInstancePerFolderAndASecondStartRaisesTheFirst) {
  const test::TTempDir tmp;
  std::filesystem::create_directories(tmp / "a");
  std::filesystem::create_directories(tmp / "b");
  EXPECT_EQ(TxxCloneControl::ServerName(tmp / "a"), TxxCloneControl::ServerName(tmp / "b/../a/"));
  EXPECT_NE(TxxCloneControl::ServerName(tmp / "a"), TxxCloneControl::ServerName(tmp / "b"));

  TxxCloneControl first(tmp / "a");
  QSignalSpy raised(&first, &TxxCloneControl::RaiseRequested);
  ASSERT_TRUE(first.Loaded());
  TxxCloneControl other(tmp / "b");
  EXPECT_TRUE(other.Loaded());
  TxxCloneControl second(tmp / "a");
  EXPECT_FALSE(second.Loaded());
  EXPECT_TRUE(QTest::qWaitFor([&] { return raised.count() == 1; }));
  EXPECT_EQ(raised.count(), 1);

  // A first instance that died left its socket behind.
  QLocalServer probe;
  const QString name = TxxCloneControl::ServerName(tmp / "c");
  ASSERT_TRUE(probe.listen(name));
  const QString path = probe.fullServerName();
  probe.close();
  LeaveStaleSocket(path);
  TxxCloneControl restarted(tmp / "c");
  EXPECT_TRUE(restarted.Loaded());
  TxxCloneControl again(tmp / "c");
  EXPECT_FALSE(again.Loaded());
}

// Takes the addresses QDesktopServices would hand to the mail client.
class TMailCatcher : public QObject {
  Q_OBJECT

 public:
  std::vector<QUrl> Urls;

 public slots:
  void Open(const QUrl& url) { Urls.push_back(url); }
};

TEST(ErrorDialogTest, DetailsToggleAndSendMailsTheReport) {
  TfmError dialog("Disk full\r\nwhile saving");
  EXPECT_EQ(dialog.windowTitle(), "vantrel");
  EXPECT_EQ(dialog.height(), 236);
  EXPECT_TRUE(dialog.ErrorMessage()->isHidden());
  for (int round = 0; round < 2; ++round) {
    QTest::mouseClick(dialog.ShowButton(), Qt::LeftButton);
    EXPECT_EQ(dialog.height(), 436);
    EXPECT_FALSE(dialog.ErrorMessage()->isHidden());
    EXPECT_EQ(dialog.ErrorMessage()->toPlainText(), "Disk full\nwhile saving");
    EXPECT_EQ(dialog.ShowButton()->text(), "Hide Error Message");
    QTest::mouseClick(dialog.ShowButton(), Qt::LeftButton);
  }
  EXPECT_EQ(dialog.height(), 236);
  EXPECT_TRUE(dialog.ErrorMessage()->isHidden());
  EXPECT_TRUE(dialog.ErrorMessage()->toPlainText().isEmpty());
  EXPECT_EQ(dialog.ShowButton()->text(), "Show Error Message");

  TMailCatcher catcher;
  QDesktopServices::setUrlHandler("mailto", &catcher, "Open");
  dialog.show();
  QTest::mouseClick(dialog.SendButton(), Qt::LeftButton);
  QDesktopServices::unsetUrlHandler("mailto");
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  ASSERT_EQ(catcher.Urls.size(), 1u);
  const QUrl& mail = catcher.Urls[0];
  EXPECT_EQ(mail.scheme(), "mailto");
  EXPECT_EQ(mail.path(), "support@vantrel.org");
  const QUrlQuery query(mail);
  EXPECT_EQ(query.queryItemValue("subject", QUrl::FullyDecoded),
            "vantrel has encountered a problem!");
  EXPECT_EQ(query.queryItemValue("body", QUrl::FullyDecoded),
            "ERROR:\r\n\r\nDisk full\r\nwhile saving");

  TfmError declined("x");
  declined.show();
  QTest::mouseClick(declined.DontSendButton(), Qt::LeftButton);
  EXPECT_EQ(declined.result(), QDialog::Rejected);
}

TEST(IconsTest, EveryIconOfTheSetLoads) {
  InitIconResources();
  int count = 0;
  for (QDirIterator it(":/icons"); it.hasNext(); ++count) {
    const QString file = it.next();
    const QIcon icon(file);
    EXPECT_FALSE(icon.isNull()) << file.toStdString();
    EXPECT_FALSE(icon.pixmap(16, 16).isNull()) << file.toStdString();
  }
  EXPECT_EQ(count, 22);
}

}  // namespace
}  // namespace vantrel

#include "shell_parts_test.moc"
