#pragma once

#include <QDialog>
#include <QSpinBox>
#include <array>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "alerts/desktop.h"
#include "core/check_rules.h"
#include "core/settings.h"
#include "core/watch_item.h"
#include "reports/report_list.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;

namespace vantrel {

class TSocketCheckNetwork;

// What the dialog needs besides the item. Everything outlives the dialog.
struct TPropertiesContext {
  std::vector<const TWatchItem*>
      Items;                   // the watch list in the main list's order ("set properties like")
  const TReportList& Reports;  // its HTML definitions fill the report list
  const TSettings& Settings;   // the Internet options: the proxy of "Snapshot"
  TDesktop& Desktop;           // PlayAlarmSound for the play button
  // Opens the test window on the settings as the dialog shows them. The item
  // lives for the call only.
  std::function<void(const TWatchItem& settings, QWidget* parent)> OpenTest;
};

// A spin box that takes any number typed and brings it to the nearest bound
// when the typing ends; text that is no number reads as the minimum.
class TClampSpinBox : public QSpinBox {
  Q_OBJECT

 public:
  TClampSpinBox(int minimum, int maximum, int step, QWidget* parent);

  // The number the text stands for now, clamped, even while it is typed.
  int ShownValue() const;

 protected:
  QValidator::State validate(QString& input, int& pos) const override;
  void fixup(QString& input) const override;
  int valueFromText(const QString& text) const override;
};

// Edits every setting of one watch item on three tabs. The item is touched
// only by Save; everything else works on the controls.
class TfmProperties : public QDialog {
  Q_OBJECT

 public:
  TfmProperties(const TPropertiesContext& context, QWidget* parent = nullptr);
  // Stops a snapshot under way and waits for its thread.
  ~TfmProperties() override;

  // Every control, name and URL included. Name and URL stay read-only for an
  // item of the web service (one with a Username).
  void Load(const TWatchItem& item);
  // The controls into the item (OK).
  void Save(TWatchItem& item) const;

  // Refused while the name or the URL is blank, whatever asked for it.
  void accept() override;

  // True while "Snapshot" is fetching the page.
  bool SnapshotRunning() const { return SnapshotThread_.joinable(); }

  QTabWidget* pcPages() const { return pcPages_; }
  QLineEdit* edName() const { return edName_; }
  QLineEdit* edUrl() const { return edUrl_; }
  QSpinBox* edFrequency() const { return edFrequency_; }
  QComboBox* cbFrequencyUnit() const { return cbFrequencyUnit_; }
  QCheckBox* cbActive() const { return cbActive_; }
  QCheckBox* cbAlarmTrigger() const { return cbAlarmTrigger_; }
  QSpinBox* edAlarmTriggerCount() const { return edAlarmTriggerCount_; }
  QCheckBox* cbAlarmReset() const { return cbAlarmReset_; }
  QSpinBox* edAlarmResetCount() const { return edAlarmResetCount_; }
  QCheckBox* cbCheckExtra() const { return cbCheckExtra_; }
  QCheckBox* cbCheckConnection() const { return cbCheckConnection_; }
  QRadioButton* rbPingMonitoring() const { return rbPingMonitoring_; }
  QRadioButton* rbDownloadMonitoring() const { return rbDownloadMonitoring_; }
  QRadioButton* rbServiceMonitoring() const { return rbServiceMonitoring_; }
  QComboBox* cbServiceType() const { return cbServiceType_; }
  QSpinBox* edPingTimeout() const { return edPingTimeout_; }
  QPlainTextEdit* meDownloadText() const { return meDownloadText_; }
  QCheckBox* cbDownloadCaseSearch() const { return cbDownloadCaseSearch_; }
  QPushButton* btDownloadSnapshot() const { return btDownloadSnapshot_; }
  QSpinBox* edDownloadTimeout() const { return edDownloadTimeout_; }
  QCheckBox* cbDownloadLog() const { return cbDownloadLog_; }
  QSpinBox* edServiceTimeout() const { return edServiceTimeout_; }
  QPushButton* btMonitoringTest() const { return btMonitoringTest_; }
  QCheckBox* cbPopupAction() const { return cbPopupAction_; }
  QPlainTextEdit* mePopupText() const { return mePopupText_; }
  QCheckBox* cbEmailAction() const { return cbEmailAction_; }
  QLineEdit* edEmailAddress() const { return edEmailAddress_; }
  QRadioButton* rbEmailSmsType() const { return rbEmailSmsType_; }
  QRadioButton* rbEmailPageType() const { return rbEmailPageType_; }
  QRadioButton* pbEmailReportType() const { return pbEmailReportType_; }
  QComboBox* cbEmailReport() const { return cbEmailReport_; }
  QCheckBox* cbCommandAction() const { return cbCommandAction_; }
  QLineEdit* edCommandName() const { return edCommandName_; }
  QCheckBox* cbSoundAction() const { return cbSoundAction_; }
  QLineEdit* edSoundFile() const { return edSoundFile_; }
  QPushButton* btSoundBrowse() const { return btSoundBrowse_; }
  QPushButton* btSoundPlay() const { return btSoundPlay_; }
  QCheckBox* cbSoundRepeat() const { return cbSoundRepeat_; }
  QComboBox* cbItemList() const { return cbItemList_; }
  QPushButton* btOk() const { return btOk_; }
  QPushButton* btCancel() const { return btCancel_; }

 private:
  QWidget* MakeGeneralPage();
  QWidget* MakeMonitoringPage();
  QWidget* MakeActionsPage();
  void FillItemList();
  void SetTabOrder();
  void ConnectEnabling();

  // Everything but name and URL: what copying from another item takes over.
  void LoadSettings(const TWatchItem& item);
  void ShowFrequency(std::int32_t seconds);
  std::int32_t ShownFrequency() const;
  void FrequencyUnitChanged(int unit);

  void UpdateStatusEvent();
  void cbItemListChange(int index);
  void btDownloadSnapshotClick();
  void SnapshotDone(const THttpOutcome& outcome, const QString& url);
  void btMonitoringTestClick();
  void btSoundBrowseClick();
  void btSoundPlayClick();

  TPropertiesContext Context_;
  bool ServiceItem_ = false;  // name and URL belong to the web service
  bool LoadingPopup_ = false;
  // The largest number each frequency unit takes: the common 59, or more
  // where the loaded frequency needs it in that unit.
  std::array<int, 3> FrequencyMaximum_{};

  std::unique_ptr<TSocketCheckNetwork> SnapshotNetwork_;
  std::thread SnapshotThread_;

  QTabWidget* pcPages_;
  QLineEdit* edName_;
  QLineEdit* edUrl_;
  TClampSpinBox* edFrequency_;
  QComboBox* cbFrequencyUnit_;
  QCheckBox* cbActive_;
  QCheckBox* cbAlarmTrigger_;
  TClampSpinBox* edAlarmTriggerCount_;
  QCheckBox* cbAlarmReset_;
  TClampSpinBox* edAlarmResetCount_;
  QCheckBox* cbCheckExtra_;
  QCheckBox* cbCheckConnection_;
  QRadioButton* rbPingMonitoring_;
  QRadioButton* rbDownloadMonitoring_;
  QRadioButton* rbServiceMonitoring_;
  QComboBox* cbServiceType_;
  TClampSpinBox* edPingTimeout_;
  QPlainTextEdit* meDownloadText_;
  QCheckBox* cbDownloadCaseSearch_;
  QPushButton* btDownloadSnapshot_;
  TClampSpinBox* edDownloadTimeout_;
  QCheckBox* cbDownloadLog_;
  TClampSpinBox* edServiceTimeout_;
  QPushButton* btMonitoringTest_;
  QCheckBox* cbPopupAction_;
  QPlainTextEdit* mePopupText_;
  QCheckBox* cbEmailAction_;
  QLineEdit* edEmailAddress_;
  QRadioButton* rbEmailSmsType_;
  QRadioButton* rbEmailPageType_;
  QRadioButton* pbEmailReportType_;
  QComboBox* cbEmailReport_;
  QCheckBox* cbCommandAction_;
  QLineEdit* edCommandName_;
  QCheckBox* cbSoundAction_;
  QLineEdit* edSoundFile_;
  QPushButton* btSoundBrowse_;
  QPushButton* btSoundPlay_;
  QCheckBox* cbSoundRepeat_;
  QComboBox* cbItemList_;
  QPushButton* btOk_;
  QPushButton* btCancel_;

  // The labels that go with a control when it is switched on and off.
  std::vector<QWidget*> TriggerLabels_, ResetLabels_, PingLabels_, DownloadLabels_, ServiceLabels_,
      PopupLabels_, EmailLabels_, CommandLabels_, SoundLabels_;
};

// Edits `item` (a free-standing scratch item) modally; true and the item
// written on OK.
bool EditItem(TWatchItem& item, const TPropertiesContext& context, QWidget* parent);

}  // namespace vantrel
