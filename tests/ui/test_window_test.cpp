// The test window against real servers on loopback: it shows what
// `vantrel-cli check` prints, the mail test's steps, and a close while the
// test waits on a server that never answers.

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <QApplication>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

#include <filesystem>
#include <memory>
#include <string>

#include "core/watch_item.h"
#include "support/cli_program.h"
#include "support/test_env.h"
#include "support/test_files.h"
#include "support/test_process.h"
#include "ui/test_window.h"

namespace vantrel {
namespace {

// The lines of a transcript, each response time made 0: two runs never take
// the same time.
QStringList Normalized(const QString& text) {
  QString lines = text.trimmed();
  lines.replace(QRegularExpression("^Response time: \\d+", QRegularExpression::MultilineOption),
                "Response time: 0");
  return lines.split('\n');
}

// A socket on 127.0.0.1 that listens and never answers; its port.
class TSilentServer {
 public:
  TSilentServer() : Fd_(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    EXPECT_EQ(::bind(Fd_, reinterpret_cast<sockaddr*>(&address), size), 0);
    EXPECT_EQ(::listen(Fd_, 4), 0);
    ::getsockname(Fd_, reinterpret_cast<sockaddr*>(&address), &size);
    Port_ = ntohs(address.sin_port);
  }
  ~TSilentServer() {
    if (Client_ >= 0)
      ::close(Client_);
    ::close(Fd_);
  }
  int Port() const { return Port_; }

  bool Accepted() {
    if (Client_ < 0)
      Client_ = ::accept4(Fd_, nullptr, nullptr, SOCK_NONBLOCK);
    return Client_ >= 0;
  }
  // True once the client has closed its end (whatever it sent is read).
  bool ClientGone() {
    char buffer[4096];
    for (;;) {
      const ssize_t read = ::recv(Client_, buffer, sizeof buffer, 0);
      if (read > 0)
        continue;
      return read == 0 || errno != EAGAIN;
    }
  }

 private:
  int Fd_;
  int Client_ = -1;
  int Port_ = 0;
};

TEST(TestWindowTest, DownloadShowsWhatTheCommandLinePrintsAndEnterCloses) {
  const test::TTempDir site;
  test::WriteFileBytes(site / "index.html", "<html>Hello, world</html>");
  const int port = [] {
    const TSilentServer probe;  // a port nobody uses now
    return probe.Port();
  }();
  test::TTestProcess server({"python3", "-m", "http.server", "--bind", "127.0.0.1",
                             std::to_string(port), "--directory", site.Path().string()});
  ASSERT_TRUE(test::WaitUntil(
      [&] {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const bool up = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        ::close(fd);
        return up;
      },
      20000))
      << server.Error() << server.Errors();
  const test::TEnvGuard noProxy("http_proxy", "");
  const test::TTempDir data;
  const test::TCli cli(data.Path());

  TfmTest window;
  window.show();
  const std::string base = "http://127.0.0.1:" + std::to_string(port);
  // All steps passing, and a 404 that ends at the code.
  for (const std::string page : {"/index.html", "/missing.html"}) {
    SCOPED_TRACE(page);
    TWatchItem item;
    item.CheckType = TCheckType::Download;
    item.Url = " " + base + page + " ";
    item.SearchText = "hello";
    window.StartMonitoringTest(item, TInternetOptions{});
    EXPECT_TRUE(window.Running());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window.Running(); }, 30000))
        << window.Text().toStdString();

    const test::TToolResult printed =
        cli.Tool({"check", base + page, "--download", "--search", "hello"});
    ASSERT_GE(printed.Status, 0) << printed.Describe();
    EXPECT_EQ(Normalized(window.Text()), Normalized(QString::fromStdString(printed.Out)));
    EXPECT_EQ(window.Passed(), printed.Status == 0);
  }
  EXPECT_TRUE(window.Text().contains("Checking code: Failure"));

  // Enter in the text box closes the window as OK does.
  QTest::keyClick(window.TextBox(), Qt::Key_Return);
  EXPECT_FALSE(window.isVisible());
  EXPECT_EQ(window.result(), QDialog::Accepted);
}

TEST(TestWindowTest, MailTestWithAWrongPasswordEndsAfterLogining) {
  // The mail server of the SMTP client's tests, beside this folder.
  const std::filesystem::path script =
      std::filesystem::path(QT_TESTCASE_SOURCEDIR).parent_path() / "alerts/smtp_server.py";
  test::TTestProcess server({"/usr/bin/python3", script.string()});
  std::string port;
  test::WaitUntil(
      [&] {
        const std::string output = server.Output();
        const std::string key = R"({"event": "port", "port": )";
        const std::size_t at = output.find(key);
        if (at != std::string::npos)
          port = output.substr(at + key.size(), output.find('}', at) - at - key.size());
        return !port.empty() || !server.Running();
      },
      20000);
  ASSERT_FALSE(port.empty()) << server.Error() << server.Errors();

  TPreferences preferences;
  preferences.Server = " 127.0.0.1:" + port + " ";
  preferences.ServerAuth = true;
  preferences.Account = "alice";
  preferences.Password = "wrong";
  preferences.Username = "Alice";
  preferences.Address = "alice@vantrel.test";

  // The modal window as the preferences open it, closed with Escape once done.
  QString shown;
  QTimer::singleShot(0, [&] {
    auto* window = qobject_cast<TfmTest*>(QApplication::activeModalWidget());
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->windowTitle(), "Test");
    EXPECT_TRUE(QTest::qWaitFor([&] { return !window->Running(); }, 30000));
    shown = window->Text();
    QTest::keyClick(window, Qt::Key_Escape);
  });
  ShowMailTest(preferences, nullptr);
  EXPECT_EQ(shown, "Start testing\nLogining: Failure\n\nTest failed.");
}

TEST(TestWindowTest, ClosingTheWindowCancelsATestWaitingOnASilentServer) {
  {
    // Escape while the page is awaited.
    TSilentServer silent;
    auto window = std::make_unique<TfmTest>();
    window->show();
    TWatchItem item;
    item.CheckType = TCheckType::Download;
    item.Url = "http://127.0.0.1:" + std::to_string(silent.Port()) + "/";
    const test::TEnvGuard noProxy("http_proxy", "");
    window->StartMonitoringTest(item, TInternetOptions{});
    ASSERT_TRUE(QTest::qWaitFor([&] { return silent.Accepted(); }, 10000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->Text().endsWith("Loading page: "); }, 10000));
    QTest::keyClick(window.get(), Qt::Key_Escape);
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(window->Running());
    window.reset();
    // The download would wait 100 seconds.
    EXPECT_TRUE(QTest::qWaitFor([&] { return silent.ClientGone(); }, 10000));
  }
  {
    // The window destroyed while the greeting is awaited.
    TSilentServer silent;
    auto window = std::make_unique<TfmTest>();
    TPreferences preferences;
    preferences.Server = "127.0.0.1:" + std::to_string(silent.Port());
    preferences.Address = "alice@vantrel.test";
    window->StartMailTest(preferences);
    ASSERT_TRUE(QTest::qWaitFor([&] { return silent.Accepted(); }, 10000));
    window.reset();
    // The greeting would be awaited 60 seconds.
    EXPECT_TRUE(QTest::qWaitFor([&] { return silent.ClientGone(); }, 10000));
  }
}

}  // namespace
}  // namespace vantrel
