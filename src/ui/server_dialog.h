#pragma once

#include <QDialog>
#include <QString>
#include <memory>
#include <thread>

class QLabel;
class QLineEdit;
class QPushButton;

namespace vantrel {

class TSocketCheckNetwork;

// Asks for the name of one test server of the connection test, with a Test
// button that pings it. Names are host names or IPv4 addresses only, so that
// they fit the ";"-separated server list unquoted.
class TfmServerInfo : public QDialog {
  Q_OBJECT

 public:
  explicit TfmServerInfo(QWidget* parent = nullptr);
  // Stops a ping under way and waits for its thread.
  ~TfmServerInfo() override;

  // The trimmed name as typed.
  QString ServerName() const;
  void SetServerName(const QString& name);

  QLabel* laServeNamer() const { return laServeNamer_; }
  QLineEdit* edServerName() const { return edServerName_; }
  QPushButton* btTest() const { return btTest_; }
  QLabel* laNote() const { return laNote_; }
  QPushButton* btOk() const { return btOk_; }
  QPushButton* btCancel() const { return btCancel_; }
  // True from a Test click until its answer is shown.
  bool Testing() const { return Worker_.joinable(); }

  // A name that is not valid is refused with a warning and the dialog stays.
  void accept() override;
  // Abandons a ping under way; its answer is not shown.
  void reject() override;

 private:
  void UpdateEnabling();
  void Test();
  // Back on this dialog's thread with the ping's outcome.
  void TestFinished(bool replied);
  void StopTest();

  QLabel* laServeNamer_;
  QLineEdit* edServerName_;
  QPushButton* btTest_;
  QLabel* laNote_;
  QPushButton* btOk_;
  QPushButton* btCancel_;

  // The ping runs on its own thread so the window keeps painting and Cancel
  // stays usable; the network object lets Cancel end it at once.
  std::shared_ptr<TSocketCheckNetwork> Network_;
  std::thread Worker_;
};

// True when every character of `name` is an ASCII letter, a digit, "-", "."
// or "_", and there is at least one.
bool IsValidServerName(const QString& name);

// Shows the server dialog over `parent` with the trimmed `initial` name;
// the trimmed name on OK, an empty one on Cancel.
QString EditServerName(const QString& initial, QWidget* parent);

}  // namespace vantrel
