#pragma once

#include <QDialog>

#include "net/internet_options.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;

namespace vantrel {

// Edits the Internet options: the program's proxy server with the hosts that
// bypass it, and the servers of the connection test with how they are tested.
// Switched-off parts keep their values, which are saved with the rest.
class TfmInternetOptions : public QDialog {
  Q_OBJECT

 public:
  explicit TfmInternetOptions(QWidget* parent = nullptr);

  void Load(const TInternetOptions& options);
  // Single-line texts are trimmed; the server list is joined with ";". A
  // method the list does not offer is left as it is.
  void Save(TInternetOptions& options) const;

  QCheckBox* cbProxy() const { return cbProxy_; }
  QLabel* laProxyAddress() const { return laProxyAddress_; }
  QLineEdit* edProxyAddress() const { return edProxyAddress_; }
  QLabel* laProxyPort() const { return laProxyPort_; }
  QSpinBox* edProxyPort() const { return edProxyPort_; }
  QLabel* laProxyUsername() const { return laProxyUsername_; }
  QLineEdit* edProxyUsername() const { return edProxyUsername_; }
  QLabel* laProxyPassword() const { return laProxyPassword_; }
  QLineEdit* edProxyPassword() const { return edProxyPassword_; }
  QLabel* laProxyExceptions() const { return laProxyExceptions_; }
  QPlainTextEdit* edProxyExceptions() const { return edProxyExceptions_; }
  QLabel* laProxySeparator() const { return laProxySeparator_; }
  QCheckBox* cbServer() const { return cbServer_; }
  QListWidget* lbServerNames() const { return lbServerNames_; }
  QPushButton* btServerAdd() const { return btServerAdd_; }
  QPushButton* btServerDelete() const { return btServerDelete_; }
  QPushButton* btServerEdit() const { return btServerEdit_; }
  QLabel* laServerMethod() const { return laServerMethod_; }
  QComboBox* cbServerMethod() const { return cbServerMethod_; }
  QPushButton* btOk() const { return btOk_; }
  QPushButton* btCancel() const { return btCancel_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void UpdateEnabling();
  void AddServer();
  void EditServer();
  void DeleteServer();

  QCheckBox* cbProxy_;
  QLabel* laProxyAddress_;
  QLineEdit* edProxyAddress_;
  QLabel* laProxyPort_;
  QSpinBox* edProxyPort_;
  QLabel* laProxyUsername_;
  QLineEdit* edProxyUsername_;
  QLabel* laProxyPassword_;
  QLineEdit* edProxyPassword_;
  QLabel* laProxyExceptions_;
  QPlainTextEdit* edProxyExceptions_;
  QLabel* laProxySeparator_;
  QCheckBox* cbServer_;
  QListWidget* lbServerNames_;
  QPushButton* btServerAdd_;
  QPushButton* btServerDelete_;
  QPushButton* btServerEdit_;
  QLabel* laServerMethod_;
  QComboBox* cbServerMethod_;
  QPushButton* btOk_;
  QPushButton* btCancel_;
};

// Edits `options` in the modal dialog; true (and the options written back) on
// OK.
bool EditInternetOptions(TInternetOptions& options, QWidget* parent);

}  // namespace vantrel
