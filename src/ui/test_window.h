#pragma once

// The window the Test buttons open: it runs the monitoring test of an item's
// settings or the mail test of the mail settings on a thread of its own and
// shows the test's lines as they come, so that the window stays responsive
// during a download that may take its full time-out. Closing the window
// cancels the test; the thread may outlive the window and then writes to
// nobody.

#include <QDialog>
#include <QString>
#include <memory>
#include <string>

#include "core/settings.h"

class QPlainTextEdit;
class QPushButton;

namespace vantrel {

class TWatchItem;

class TfmTest : public QDialog {
  Q_OBJECT

 public:
  explicit TfmTest(QWidget* parent = nullptr);
  // Cancels a test still under way, without waiting for it.
  ~TfmTest() override;
  TfmTest(const TfmTest&) = delete;
  TfmTest& operator=(const TfmTest&) = delete;

  // Start the test and return at once; the lines follow while the event loop
  // runs. A test still under way is cancelled first and the text cleared.
  // `settings`: an item's settings as a dialog shows them, not yet saved.
  void StartMonitoringTest(const TWatchItem& settings, const TInternetOptions& options);
  void StartMailTest(const TPreferences& preferences);

  // What the read-only text shows.
  QString Text() const;
  bool Running() const { return Running_; }
  // Whether the last test that ran to its end passed.
  bool Passed() const { return Passed_; }

  QPlainTextEdit* TextBox() const { return meTest_; }
  QPushButton* OkButton() const { return btOk_; }

  // Closing the window in any way cancels the test.
  void done(int result) override;

 signals:
  void Finished(bool passed);

 private:
  struct TRun;

  void Start(std::shared_ptr<TRun> run);
  void Cancel();
  void AddLine(const std::string& text);
  void AppendToLine(const std::string& text);
  // Keeps the newest line in view.
  void ShowEnd();
  void Finish(bool passed);

  QPlainTextEdit* meTest_;
  QPushButton* btOk_;
  std::shared_ptr<TRun> Run_;
  bool HasLines_ = false;  // an empty first line leaves the text empty
  bool Running_ = false;
  bool Passed_ = false;
};

// Opens the test window modally and runs the monitoring test of `settings`
// (an item's settings as a dialog shows them) with these Internet options.
void ShowMonitoringTest(const TWatchItem& settings, const TInternetOptions& options,
                        QWidget* parent);
// The same for the mail test of the preferences' mail settings.
void ShowMailTest(const TPreferences& preferences, QWidget* parent);

}  // namespace vantrel
