// The window program's desktop: pages open as files from the private folder,
// addresses as addresses, and the alarm sound loops when asked.

#include "ui/qt_desktop.h"

#include <gtest/gtest.h>
#include <QDesktopServices>
#include <QObject>
#include <QTest>
#include <QUrl>

#include <string>
#include <vector>

#include "support/test_env.h"
#include "support/test_files.h"

namespace vantrel {
namespace {

// Takes the URLs QDesktopServices would hand to the system.
class TUrlCatcher : public QObject {
  Q_OBJECT

 public:
  std::vector<QUrl> Urls;

 public slots:
  void Open(const QUrl& url) { Urls.push_back(url); }
};

TEST(QtDesktopTest, PagesAndAddressesOpenAsWhatTheyAreAndTheSoundLoops) {
  const test::TTempDir tmp;
  const test::TEnvGuard env("TMPDIR", tmp.Path().string());
  TUrlCatcher catcher;
  for (const char* scheme : {"file", "https"})
    QDesktopServices::setUrlHandler(scheme, &catcher, "Open");

  TQtDesktop desktop;
  EXPECT_EQ(desktop.ShowHtml("Alarm ../../x.html", "<p>down</p>"), "");
  desktop.OpenDocument("https://example.test/a?b=c");
  ASSERT_EQ(catcher.Urls.size(), 2u);
  const std::string page = catcher.Urls[0].toLocalFile().toStdString();
  EXPECT_EQ(page,
            (tmp / ("vantrel-" + std::to_string(::getuid())) / "Alarm .._.._x.html").string());
  EXPECT_EQ(test::ReadFileBytes(page), "<p>down</p>");
  EXPECT_EQ(catcher.Urls[1].toString().toStdString(), "https://example.test/a?b=c");

  desktop.PlayAlarmSound((tmp / "alarm.wav").string(), true);
  EXPECT_EQ(desktop.Sound().loopCount(), QSoundEffect::Infinite);
  desktop.StopAlarmSound();
  EXPECT_FALSE(desktop.Sound().isPlaying());
  // The sound loads on a thread of Qt's; it must be done before the effect
  // goes, or its loader is never freed.
  EXPECT_TRUE(QTest::qWaitFor([&] { return desktop.Sound().status() != QSoundEffect::Loading; }));
  for (const char* scheme : {"file", "https"})
    QDesktopServices::unsetUrlHandler(scheme);

  EXPECT_EQ(MailToUrl({"a@x.test", "Error & more", "line 1\nline 2"}),
            "mailto:a@x.test?subject=Error%20%26%20more&body=line%201%0Aline%202");
}

}  // namespace
}  // namespace vantrel

#include "qt_desktop_test.moc"
