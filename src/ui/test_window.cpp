#include "ui/test_window.h"

#include <QHBoxLayout>
#include <QMetaObject>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextCursor>
#include <QVBoxLayout>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

#include "alerts/mail_senders.h"
#include "alerts/mail_test.h"
#include "core/check_request.h"
#include "core/monitoring_test.h"
#include "core/watch_item.h"
#include "net/proxy.h"

namespace vantrel {

// One test on its worker thread. The window and the worker share it; the
// worker hands every line to the window's thread, and only while the window
// still holds the run, so that a worker ending after the window has closed
// (or been destroyed) writes to nobody.
struct TfmTest::TRun : std::enable_shared_from_this<TRun> {
  // Exactly one of the two is set.
  std::optional<TMonitoringTestSettings> Monitoring;
  std::optional<TMailTestSettings> Mail;
  TMonitoringTest MonitoringTest;
  TMailCancel MailCancel;

  std::mutex Mutex;
  TfmTest* Window = nullptr;  // guarded by Mutex; null once the window let go

  // Window's thread: no more lines reach the window, and the test stops.
  void Release() {
    {
      std::lock_guard lock(Mutex);
      Window = nullptr;
    }
    MonitoringTest.Cancel();
    MailCancel.Cancel();
  }

  // Worker: queues `step` for the window's thread. Posting under the lock
  // keeps the window from going while its event is posted; Qt drops the
  // events of a window destroyed before they are delivered.
  template <typename TStep>
  void Post(TStep step) {
    std::lock_guard lock(Mutex);
    if (Window == nullptr)
      return;
    TfmTest* window = Window;
    QMetaObject::invokeMethod(
        window,
        [window, run = shared_from_this(), step = std::move(step)] {
          // A later test of the same window does not take this one's lines.
          if (window->Run_ == run)
            step(*window);
        },
        Qt::QueuedConnection);
  }

  // Worker.
  void Execute();
};

namespace {

TMonitoringTestSettings MonitoringSettingsOf(const TWatchItem& item,
                                             const TInternetOptions& options) {
  TMonitoringTestSettings settings;
  settings.CheckType = item.CheckType;
  settings.Url = item.Url;
  settings.PingTimeout = item.PingTimeout;
  settings.DownloadTimeout = item.DownloadTimeout;
  settings.ServiceTimeout = item.ServiceTimeout;
  settings.SearchText = item.SearchText;
  settings.CaseSensitive = item.CaseSensitive;
  // The proxy a check of the item would use.
  settings.Proxy = GetProxyForHost(TrimBlanks(item.Url), options);
  return settings;
}

// The mail settings as `vantrel-cli mailtest` takes them from the settings
// file; the test trims what it must.
TMailTestSettings MailSettingsOf(const TPreferences& preferences) {
  return TMailTestSettings{.Server = preferences.Server,
                           .ServerAuth = preferences.ServerAuth,
                           .Account = preferences.Account,
                           .Password = preferences.Password,
                           .Username = preferences.Username,
                           .Address = preferences.Address};
}

}  // namespace

void TfmTest::TRun::Execute() {
  // The output forwards to the window through this run.
  class TOutput final : public TTestOutput {
   public:
    explicit TOutput(TRun& run) : Run_(run) {}
    void AddLine(const std::string& text) override {
      Run_.Post([text](TfmTest& window) { window.AddLine(text); });
    }
    void AppendToLine(const std::string& text) override {
      Run_.Post([text](TfmTest& window) { window.AppendToLine(text); });
    }

   private:
    TRun& Run_;
  } output(*this);

  bool passed = false;
  try {
    passed =
        Mail ? RunMailTest(*Mail, output, &MailCancel) : MonitoringTest.Run(*Monitoring, output);
  } catch (const std::exception& error) {
    // An exception must not end the program from a worker thread; the user
    // sees what went wrong instead.
    output.AddLine(error.what());
  } catch (...) {
    output.AddLine("Unexpected error.");
  }
  Post([passed](TfmTest& window) { window.Finish(passed); });
}

TfmTest::TfmTest(QWidget* parent) : QDialog(parent) {
  setWindowTitle("Test");

  meTest_ = new QPlainTextEdit(this);
  meTest_->setObjectName("meTest");
  meTest_->setReadOnly(true);
  meTest_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  meTest_->setLineWrapMode(QPlainTextEdit::NoWrap);

  btOk_ = new QPushButton("OK", this);
  btOk_->setObjectName("btOk");
  btOk_->setDefault(true);
  connect(btOk_, &QPushButton::clicked, this, &QDialog::accept);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(btOk_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(meTest_, 1);
  layout->addLayout(buttons);

  setTabOrder(meTest_, btOk_);
  btOk_->setFocus();
  resize(420, 300);
}

TfmTest::~TfmTest() {
  Cancel();
}

void TfmTest::StartMonitoringTest(const TWatchItem& settings, const TInternetOptions& options) {
  auto run = std::make_shared<TRun>();
  run->Monitoring = MonitoringSettingsOf(settings, options);
  Start(std::move(run));
}

void TfmTest::StartMailTest(const TPreferences& preferences) {
  auto run = std::make_shared<TRun>();
  run->Mail = MailSettingsOf(preferences);
  Start(std::move(run));
}

void TfmTest::Start(std::shared_ptr<TRun> run) {
  Cancel();
  meTest_->clear();
  HasLines_ = false;
  Passed_ = false;
  run->Window = this;  // no worker sees the run yet
  std::thread([run] { run->Execute(); }).detach();
  Run_ = std::move(run);
  Running_ = true;
}

void TfmTest::Cancel() {
  if (Run_ != nullptr) {
    Run_->Release();
    Run_.reset();
  }
  Running_ = false;
}

QString TfmTest::Text() const {
  return meTest_->toPlainText();
}

void TfmTest::done(int result) {
  Cancel();
  QDialog::done(result);
}

void TfmTest::AddLine(const std::string& text) {
  QTextCursor cursor(meTest_->document());
  cursor.movePosition(QTextCursor::End);
  if (HasLines_)
    cursor.insertBlock();
  cursor.insertText(QString::fromStdString(text));
  HasLines_ = true;
  ShowEnd();
}

void TfmTest::AppendToLine(const std::string& text) {
  QTextCursor cursor(meTest_->document());
  cursor.movePosition(QTextCursor::End);
  cursor.insertText(QString::fromStdString(text));
  HasLines_ = true;
  ShowEnd();
}

void TfmTest::ShowEnd() {
  QScrollBar* bar = meTest_->verticalScrollBar();
  bar->setValue(bar->maximum());
}

void TfmTest::Finish(bool passed) {
  Running_ = false;
  Passed_ = passed;
  emit Finished(passed);
}

void ShowMonitoringTest(const TWatchItem& settings, const TInternetOptions& options,
                        QWidget* parent) {
  TfmTest window(parent);
  window.StartMonitoringTest(settings, options);
  window.exec();
}

void ShowMailTest(const TPreferences& preferences, QWidget* parent) {
  TfmTest window(parent);
  window.StartMailTest(preferences);
  window.exec();
}

}  // namespace vantrel
