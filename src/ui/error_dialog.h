#pragma once

#include <QDialog>
#include <string>

class QPlainTextEdit;
class QPushButton;

namespace vantrel {

// Tells the user that something unexpected went wrong, shows the error's
// text on request and offers to mail a report through the user's mail
// client. The program goes on after it closes.
class TfmError : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kHeightHidden = 236;
  static constexpr int kHeightShown = 436;
  static constexpr const char* kSupportAddress = "support@vantrel.org";

  explicit TfmError(const std::string& message, QWidget* parent = nullptr);

  QPlainTextEdit* ErrorMessage() const { return meErrorMessage_; }
  // The error the dialog reports.
  QString Message() const { return Message_; }
  QPushButton* ShowButton() const { return btShowError_; }
  QPushButton* SendButton() const { return btSend_; }
  QPushButton* DontSendButton() const { return btDontSend_; }

 private:
  void ToggleMessage();
  void SendReport();

  QString Message_;
  QPlainTextEdit* meErrorMessage_;
  QPushButton* btShowError_;
  QPushButton* btSend_;
  QPushButton* btDontSend_;
};

// Shows `message` in the error dialog and returns when the user closes it.
void ShowErrorDialog(const std::string& message, QWidget* parent);

}  // namespace vantrel
