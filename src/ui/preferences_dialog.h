#pragma once

#include <QDialog>
#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "core/settings.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTabWidget;

namespace vantrel {

class TServiceClient;

// What the preferences dialog is given. Every reference must outlive it.
struct TPreferencesContext {
  const TSettings& Settings;  // the Internet options, for the service test's proxy
  // Opens the mail test in the test window on the mail settings as the dialog
  // shows them.
  std::function<void(const TPreferences& preferences, QWidget* parent)> OpenMailTest;
  // The main window's view settings the dialog edits besides the preferences:
  // TableView, ItemTabstop (the name column's width), PropertyTabstop and
  // ValueTabstop. Shown when loading; written back on OK by EditPreferences
  // (the other members are left alone).
  TWindowState& View;
  // The service test passed: the program's current preferences take the
  // address, the digest and ServiceStatus on at once (Cancel does not undo
  // it), and the on-demand synchronization runs.
  std::function<void(const std::string& url, const std::string& passwordDigest)> ServiceActivated;
  // The user switched the service off: "Suspend Service Items".
  std::function<void()> SuspendServiceItems;
};

// The preferences: five pages over a working copy, which Save writes out.
// Only the web-service box and the mail test act before OK: ticking the box
// tests the service on a worker thread (the window stays responsive, with a
// busy cursor, and the box and the address fields wait for the answer).
class TfmPreferences : public QDialog {
  Q_OBJECT

 public:
  // The service password field shows this for a stored digest, which is
  // never shown nor hashed again.
  static const QString kPasswordPlaceholder;

  explicit TfmPreferences(const TPreferencesContext& context, QWidget* parent = nullptr);
  // Cuts a service test under way short and waits for its thread.
  ~TfmPreferences() override;

  // Every control from `preferences` and the context's view settings; the
  // service box without testing anything.
  void Load(const TPreferences& preferences);
  void Save(TPreferences& preferences) const;
  // The view settings of the View page into `view`.
  void SaveView(TWindowState& view) const;

  // A service test is under way.
  bool ServiceTesting() const { return ServiceClient_ != nullptr; }

  QTabWidget* pcPages() const { return pcPages_; }
  QCheckBox* cbIconSystray() const { return cbIconSystray_; }
  QCheckBox* cbStartMinimized() const { return cbStartMinimized_; }
  QCheckBox* cbSystrayMinimize() const { return cbSystrayMinimize_; }
  QRadioButton* rbSaveExit() const { return rbSaveExit_; }
  QRadioButton* rbAutoSave() const { return rbAutoSave_; }
  QSpinBox* edAutoSave() const { return edAutoSave_; }
  QRadioButton* rbNoLog() const { return rbNoLog_; }
  QRadioButton* rbUnlimitedLog() const { return rbUnlimitedLog_; }
  QRadioButton* rbResetLog() const { return rbResetLog_; }
  QListWidget* lbFields() const { return lbFields_; }
  QPushButton* btFiledUp() const { return btFiledUp_; }
  QPushButton* btFieldDown() const { return btFieldDown_; }
  QPushButton* btFieldShow() const { return btFieldShow_; }
  QPushButton* btFieldHide() const { return btFieldHide_; }
  QPushButton* btFieldDefault() const { return btFieldDefault_; }
  QCheckBox* cbTableView() const { return cbTableView_; }
  QGroupBox* gbItemTabstops() const { return gbItemTabstops_; }
  QLabel* lbItemTabstop() const { return lbItemTabstop_; }
  QSpinBox* edItemTabstop() const { return edItemTabstop_; }
  QCheckBox* cbItemAutosize() const { return cbItemAutosize_; }
  QGroupBox* gbPropertyTabstops() const { return gbPropertyTabstops_; }
  QLabel* lbPropertyTabstop() const { return lbPropertyTabstop_; }
  QSpinBox* edPropertyTabstop() const { return edPropertyTabstop_; }
  QLabel* lbValueTabstop() const { return lbValueTabstop_; }
  QSpinBox* edValueTabstop() const { return edValueTabstop_; }
  QCheckBox* cbValueAutosize() const { return cbValueAutosize_; }
  QLineEdit* edMailUserName() const { return edMailUserName_; }
  QLineEdit* edMailOrg() const { return edMailOrg_; }
  QLineEdit* edMailAddress() const { return edMailAddress_; }
  QLineEdit* edMailServer() const { return edMailServer_; }
  QCheckBox* cbMailServerAuth() const { return cbMailServerAuth_; }
  QLabel* lbMailAccount() const { return lbMailAccount_; }
  QLineEdit* edMailAccount() const { return edMailAccount_; }
  QLabel* lbMailPassword() const { return lbMailPassword_; }
  QLineEdit* edMailPassword() const { return edMailPassword_; }
  QPushButton* btMailTest() const { return btMailTest_; }
  QPushButton* btMailDefault() const { return btMailDefault_; }
  QLineEdit* edMessageSubject() const { return edMessageSubject_; }
  QLineEdit* edMessageSms() const { return edMessageSms_; }
  QPlainTextEdit* edMessageHeader() const { return edMessageHeader_; }
  QPlainTextEdit* edMessageSign() const { return edMessageSign_; }
  QCheckBox* cbService() const { return cbService_; }
  QLineEdit* edServiceUrl() const { return edServiceUrl_; }
  QLineEdit* edServicePassword() const { return edServicePassword_; }
  QSpinBox* edServiceFreq() const { return edServiceFreq_; }
  QSpinBox* edDefaultFrequency() const { return edDefaultFrequency_; }
  QComboBox* cbDefaultFrequencyUnit() const { return cbDefaultFrequencyUnit_; }
  QSpinBox* edDefaultTrigerCount() const { return edDefaultTrigerCount_; }
  QSpinBox* edDefaultResetCount() const { return edDefaultResetCount_; }
  QCheckBox* cbDefaultCheckConnection() const { return cbDefaultCheckConnection_; }
  QCheckBox* cbDefaultCheckExtra() const { return cbDefaultCheckExtra_; }
  QPushButton* btDefault() const { return btDefault_; }
  QPushButton* btOk() const { return btOk_; }
  QPushButton* btCancel() const { return btCancel_; }

 private:
  QWidget* BuildGeneralPage();
  QWidget* BuildViewPage();
  QWidget* BuildMailPage();
  QWidget* BuildMessagePage();
  QWidget* BuildServicePage();
  void LoadFields(const TFieldList& fields);
  void LoadView();
  // ServicePassword as the password field gives it.
  std::string ServiceDigest() const;

  void btDefaultClick();
  void btMailDefaultClick();
  void btMailTestClick();
  void btFiledUpClick();
  void btFieldDownClick();
  void btFieldShowClick();
  void btFieldHideClick();
  void btFieldDefaultClick();
  void cbServiceClick(bool checked);
  void edServiceChange();
  void UpdateActionsEvent();
  void MoveField(int by);
  void CheckField(bool shown);
  void ServiceTestDone(int status, const std::string& url, const std::string& digest);

  const TPreferencesContext Context_;
  std::string StoredDigest_;                       // the service password digest Load was given
  std::shared_ptr<TServiceClient> ServiceClient_;  // of the test under way
  std::thread ServiceThread_;

  QTabWidget* pcPages_;
  QCheckBox* cbIconSystray_;
  QCheckBox* cbStartMinimized_;
  QCheckBox* cbSystrayMinimize_;
  QRadioButton* rbSaveExit_;
  QRadioButton* rbAutoSave_;
  QSpinBox* edAutoSave_;
  QRadioButton* rbNoLog_;
  QRadioButton* rbUnlimitedLog_;
  QRadioButton* rbResetLog_;
  QListWidget* lbFields_;
  QPushButton* btFiledUp_;
  QPushButton* btFieldDown_;
  QPushButton* btFieldShow_;
  QPushButton* btFieldHide_;
  QPushButton* btFieldDefault_;
  QCheckBox* cbTableView_;
  QGroupBox* gbItemTabstops_;
  QLabel* lbItemTabstop_;
  QSpinBox* edItemTabstop_;
  QCheckBox* cbItemAutosize_;
  QGroupBox* gbPropertyTabstops_;
  QLabel* lbPropertyTabstop_;
  QSpinBox* edPropertyTabstop_;
  QLabel* lbValueTabstop_;
  QSpinBox* edValueTabstop_;
  QCheckBox* cbValueAutosize_;
  QLineEdit* edMailUserName_;
  QLineEdit* edMailOrg_;
  QLineEdit* edMailAddress_;
  QLineEdit* edMailServer_;
  QCheckBox* cbMailServerAuth_;
  QLabel* lbMailAccount_;
  QLineEdit* edMailAccount_;
  QLabel* lbMailPassword_;
  QLineEdit* edMailPassword_;
  QPushButton* btMailTest_;
  QPushButton* btMailDefault_;
  QLineEdit* edMessageSubject_;
  QLineEdit* edMessageSms_;
  QPlainTextEdit* edMessageHeader_;
  QPlainTextEdit* edMessageSign_;
  QCheckBox* cbService_;
  QLineEdit* edServiceUrl_;
  QLineEdit* edServicePassword_;
  QSpinBox* edServiceFreq_;
  QSpinBox* edDefaultFrequency_;
  QComboBox* cbDefaultFrequencyUnit_;
  QSpinBox* edDefaultTrigerCount_;
  QSpinBox* edDefaultResetCount_;
  QCheckBox* cbDefaultCheckConnection_;
  QCheckBox* cbDefaultCheckExtra_;
  QPushButton* btDefault_;
  QPushButton* btOk_;
  QPushButton* btCancel_;
};

// Edits `preferences` modally; true and written on OK (the view settings of
// the context then too).
bool EditPreferences(TPreferences& preferences, const TPreferencesContext& context,
                     QWidget* parent);

}  // namespace vantrel
