#include "ui/properties_dialog.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardItemModel>
#include <QStyle>
#include <QTabWidget>
#include <QTextCursor>
#include <QTextDocument>
#include <QVBoxLayout>
#include <algorithm>
#include <initializer_list>
#include <iterator>
#include <utility>

#include "core/check_network.h"
#include "core/item_limits.h"
#include "net/http_client.h"
#include "net/proxy.h"
#include "ui/widget_names.h"

namespace vantrel {

namespace {

// The frequency units in the order of their list, as seconds.
constexpr std::array<std::int32_t, 3> kUnitSeconds = {1, 60, 3600};
constexpr int kMinuteUnit = 1;
// How far the settings of a choice sit in from its button.
constexpr int kIndent = 20;
// The fixed entries before the items in "set properties like".
constexpr int kFirstItemEntry = 2;

QLabel* Label(const char* caption, QWidget* buddy, QWidget* parent) {
  auto* label = new QLabel(caption, parent);
  label->setBuddy(buddy);
  return label;
}

// A control between its two captions: "Trigger alarm after [1] consecutive ...".
QHBoxLayout* Row(std::initializer_list<QWidget*> widgets, int indent = 0) {
  auto* row = new QHBoxLayout;
  if (indent > 0)
    row->addSpacing(indent);
  for (QWidget* widget : widgets)
    row->addWidget(widget);
  row->addStretch();
  return row;
}

void SetEnabled(const std::vector<QWidget*>& widgets, bool enabled) {
  for (QWidget* widget : widgets)
    widget->setEnabled(enabled);
}

// A single-line text with the dialog's limit; a longer one loaded from the
// item is shown whole rather than cut, so that OK keeps it.
void ShowLine(QLineEdit* edit, const std::string& text) {
  const QString value = QString::fromStdString(text);
  edit->setMaxLength(
      std::max(static_cast<int>(kMaxLineTextLength), static_cast<int>(value.size())));
  edit->setText(value);
}

std::string Trimmed(const QLineEdit* edit) {
  return edit->text().trimmed().toStdString();
}

}  // namespace

// ---- TClampSpinBox ----

TClampSpinBox::TClampSpinBox(int minimum, int maximum, int step, QWidget* parent)
    : QSpinBox(parent) {
  setRange(minimum, maximum);
  setSingleStep(step);
  setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
}

int TClampSpinBox::ShownValue() const {
  return valueFromText(text());
}

QValidator::State TClampSpinBox::validate(QString& input, int& /*pos*/) const {
  // Any run of digits may be typed; fixup brings it into range afterwards.
  if (input.isEmpty())
    return QValidator::Intermediate;
  for (QChar c : input)
    if (!c.isDigit())
      return QValidator::Invalid;
  bool ok = false;
  const qlonglong number = input.toLongLong(&ok);
  return ok && number >= minimum() && number <= maximum() ? QValidator::Acceptable
                                                          : QValidator::Intermediate;
}

void TClampSpinBox::fixup(QString& input) const {
  input = QString::number(valueFromText(input));
}

int TClampSpinBox::valueFromText(const QString& text) const {
  const QString digits = text.trimmed();
  bool ok = false;
  const qlonglong number = digits.toLongLong(&ok);
  if (ok)
    return static_cast<int>(std::clamp<qlonglong>(number, minimum(), maximum()));
  // Digits too many to count are above any bound; anything else is no number.
  const bool allDigits = !digits.isEmpty() && std::all_of(digits.begin(), digits.end(),
                                                          [](QChar c) { return c.isDigit(); });
  return allDigits ? maximum() : minimum();
}

// ---- TfmProperties ----

TfmProperties::TfmProperties(const TPropertiesContext& context, QWidget* parent)
    : QDialog(parent), Context_(context) {
  setObjectName("fmProperties");
  setWindowTitle("Properties");
  FrequencyMaximum_.fill(kMaxFrequencyInUnit);

  pcPages_ = Named(new QTabWidget(this), "pcPages");
  pcPages_->addTab(MakeGeneralPage(), "&General");
  pcPages_->addTab(MakeMonitoringPage(), "&Monitoring");
  pcPages_->addTab(MakeActionsPage(), "A&ctions");

  cbItemList_ = Named(new QComboBox(this), "cbItemList");
  cbItemList_->setAccessibleName("Set properties like");
  FillItemList();
  btOk_ = Named(new QPushButton("OK", this), "btOk");
  btOk_->setDefault(true);
  btCancel_ = Named(new QPushButton("Cancel", this), "btCancel");
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(cbItemList_);
  buttons->addStretch();
  buttons->addWidget(btOk_);
  buttons->addWidget(btCancel_);

  auto* page = new QVBoxLayout(this);
  page->addWidget(pcPages_);
  page->addLayout(buttons);
  // The size the layout asks for, and no other: a fixed dialog border.
  page->setSizeConstraint(QLayout::SetFixedSize);

  SetTabOrder();
  connect(btOk_, &QPushButton::clicked, this, &TfmProperties::accept);
  connect(btCancel_, &QPushButton::clicked, this, &TfmProperties::reject);
  connect(cbItemList_, &QComboBox::activated, this, &TfmProperties::cbItemListChange);
  connect(cbFrequencyUnit_, &QComboBox::currentIndexChanged, this,
          &TfmProperties::FrequencyUnitChanged);
  connect(btDownloadSnapshot_, &QPushButton::clicked, this,
          &TfmProperties::btDownloadSnapshotClick);
  connect(btMonitoringTest_, &QPushButton::clicked, this, &TfmProperties::btMonitoringTestClick);
  connect(btSoundBrowse_, &QPushButton::clicked, this, &TfmProperties::btSoundBrowseClick);
  connect(btSoundPlay_, &QPushButton::clicked, this, &TfmProperties::btSoundPlayClick);
  // The pop-up message has the only limit a multi-line field cannot set.
  connect(mePopupText_, &QPlainTextEdit::textChanged, this, [this] {
    if (LoadingPopup_ ||
        mePopupText_->document()->characterCount() - 1 <= static_cast<int>(kMaxPopupTextLength))
      return;
    mePopupText_->setPlainText(mePopupText_->toPlainText().left(kMaxPopupTextLength));
    mePopupText_->moveCursor(QTextCursor::End);
  });
  ConnectEnabling();

  TWatchItem fresh;
  Load(fresh);
}

TfmProperties::~TfmProperties() {
  if (SnapshotThread_.joinable()) {
    SnapshotNetwork_->Cancel();
    SnapshotThread_.join();
  }
}

QWidget* TfmProperties::MakeGeneralPage() {
  auto* page = new QWidget;

  auto* general = new QGroupBox("General Settings ", page);
  edName_ = Named(new QLineEdit(general), "edName");
  edName_->setMinimumWidth(edName_->fontMetrics().averageCharWidth() * 48);
  edUrl_ = Named(new QLineEdit(general), "edUrl");
  edFrequency_ =
      Named(new TClampSpinBox(kMinFrequency, kMaxFrequencyInUnit, 1, general), "edFrequency");
  cbFrequencyUnit_ = Named(new QComboBox(general), "cbFrequencyUnit");
  cbFrequencyUnit_->addItems({"Second(s)", "Minute(s)", "Hour(s)"});
  cbFrequencyUnit_->setAccessibleName("Frequency unit");
  cbActive_ =
      Named(new QCheckBox("&Active (Uncheck this box if you want suspend this item)", general),
            "cbActive");
  auto* generalGrid = new QGridLayout(general);
  generalGrid->addWidget(Label("&Name:", edName_, general), 0, 0);
  generalGrid->addWidget(edName_, 0, 1);
  generalGrid->addWidget(Label("&URL/IP Address:", edUrl_, general), 1, 0);
  generalGrid->addWidget(edUrl_, 1, 1);
  generalGrid->addWidget(Label("Check this URL/IP e&very", edFrequency_, general), 2, 0);
  generalGrid->addLayout(Row({edFrequency_, cbFrequencyUnit_}), 2, 1);
  generalGrid->addWidget(cbActive_, 3, 0, 1, 2);

  auto* alarm = new QGroupBox("Alarm Settings ", page);
  cbAlarmTrigger_ =
      Named(new QCheckBox("&Trigger alarm when this item fails a monitor test ", alarm),
            "cbAlarmTrigger");
  edAlarmTriggerCount_ =
      Named(new TClampSpinBox(kMinAlarmCount, kMaxAlarmCount, 1, alarm), "edAlarmTriggerCount");
  TriggerLabels_ = {Label("Trigger alarm a&fter ", edAlarmTriggerCount_, alarm),
                    new QLabel("consecutive failed response(s)", alarm)};
  cbAlarmReset_ =
      Named(new QCheckBox("&Reset alarm when this item responds again  ", alarm), "cbAlarmReset");
  edAlarmResetCount_ =
      Named(new TClampSpinBox(kMinAlarmCount, kMaxAlarmCount, 1, alarm), "edAlarmResetCount");
  ResetLabels_ = {Label("Re&set alarm after", edAlarmResetCount_, alarm),
                  new QLabel("consecutive successful response(s)", alarm)};
  cbCheckExtra_ =
      Named(new QCheckBox("Do two additional re&quests at once if a response failed", alarm),
            "cbCheckExtra");
  cbCheckConnection_ =
      Named(new QCheckBox("Do checking &Internet connection before an alarm is trigered ", alarm),
            "cbCheckConnection");
  auto* alarmBox = new QVBoxLayout(alarm);
  alarmBox->addWidget(cbAlarmTrigger_);
  alarmBox->addLayout(Row({TriggerLabels_[0], edAlarmTriggerCount_, TriggerLabels_[1]}, kIndent));
  alarmBox->addWidget(cbAlarmReset_);
  alarmBox->addLayout(Row({ResetLabels_[0], edAlarmResetCount_, ResetLabels_[1]}, kIndent));
  alarmBox->addWidget(cbCheckExtra_);
  alarmBox->addWidget(cbCheckConnection_);

  auto* box = new QVBoxLayout(page);
  box->addWidget(general);
  box->addWidget(alarm);
  box->addStretch();
  return page;
}

QWidget* TfmProperties::MakeMonitoringPage() {
  auto* page = new QWidget;

  rbPingMonitoring_ = Named(new QRadioButton("Monitoring by &Ping", page), "rbPingMonitoring");
  edPingTimeout_ =
      Named(new TClampSpinBox(kMinTimeout, kMaxPingTimeout, kTimeoutStep, page), "edPingTimeout");
  PingLabels_ = {Label("Ping t&ime-out", edPingTimeout_, page),
                 new QLabel("milli-second(s)", page)};

  rbDownloadMonitoring_ =
      Named(new QRadioButton("Monitoring by Page &Download", page), "rbDownloadMonitoring");
  meDownloadText_ = Named(new QPlainTextEdit(page), "meDownloadText");
  meDownloadText_->setTabChangesFocus(true);
  meDownloadText_->setMinimumHeight(meDownloadText_->fontMetrics().lineSpacing() * 6);
  auto* textLabel = new QLabel(
      "Te&xt to identify successful page (if left it blank successful page will be identified "
      "a response status):",
      page);
  textLabel->setWordWrap(true);
  textLabel->setBuddy(meDownloadText_);
  cbDownloadCaseSearch_ =
      Named(new QCheckBox("C&ase Sensitive Search", page), "cbDownloadCaseSearch");
  btDownloadSnapshot_ = Named(new QPushButton("S&napshot", page), "btDownloadSnapshot");
  edDownloadTimeout_ = Named(
      new TClampSpinBox(kMinTimeout, kMaxDownloadTimeout, kTimeoutStep, page), "edDownloadTimeout");
  cbDownloadLog_ = Named(new QCheckBox("Save failed pages to &log file", page), "cbDownloadLog");
  DownloadLabels_ = {textLabel, Label("Page Download time-&out", edDownloadTimeout_, page),
                     new QLabel("milli-second(s)", page)};

  rbServiceMonitoring_ =
      Named(new QRadioButton("Monitoring &Services", page), "rbServiceMonitoring");
  cbServiceType_ = Named(new QComboBox(page), "cbServiceType");
  cbServiceType_->addItems({"SMTP", "POP3", "FTP"});
  cbServiceType_->setAccessibleName("Service type");
  edServiceTimeout_ = Named(new TClampSpinBox(kMinTimeout, kMaxServiceTimeout, kTimeoutStep, page),
                            "edServiceTimeout");
  ServiceLabels_ = {Label("&Time-out", edServiceTimeout_, page),
                    new QLabel("milli-second(s)", page)};

  btMonitoringTest_ = Named(new QPushButton("T&est", page), "btMonitoringTest");

  auto* box = new QVBoxLayout(page);
  box->addWidget(rbPingMonitoring_);
  box->addLayout(Row({PingLabels_[0], edPingTimeout_, PingLabels_[1]}, kIndent));
  box->addWidget(rbDownloadMonitoring_);
  auto* download = new QGridLayout;
  download->setContentsMargins(kIndent, 0, 0, 0);
  download->addWidget(textLabel, 0, 0, 1, 2);
  download->addWidget(meDownloadText_, 1, 0, 1, 2);
  download->addWidget(cbDownloadCaseSearch_, 2, 0);
  download->addWidget(btDownloadSnapshot_, 2, 1, Qt::AlignRight);
  download->addLayout(Row({DownloadLabels_[1], edDownloadTimeout_, DownloadLabels_[2]}), 3, 0, 1,
                      2);
  download->addWidget(cbDownloadLog_, 4, 0, 1, 2);
  box->addLayout(download);
  box->addLayout(Row({rbServiceMonitoring_, cbServiceType_}));
  box->addLayout(Row({ServiceLabels_[0], edServiceTimeout_, ServiceLabels_[1]}, kIndent));
  box->addStretch();
  auto* test = new QHBoxLayout;
  test->addStretch();
  test->addWidget(btMonitoringTest_);
  box->addLayout(test);
  return page;
}

QWidget* TfmProperties::MakeActionsPage() {
  auto* page = new QWidget;

  cbPopupAction_ =
      Named(new QCheckBox("Show &pop-up window when an alarm is triggered", page), "cbPopupAction");
  mePopupText_ = Named(new QPlainTextEdit(page), "mePopupText");
  mePopupText_->setTabChangesFocus(true);
  mePopupText_->setMinimumHeight(mePopupText_->fontMetrics().lineSpacing() * 4);
  PopupLabels_ = {Label("E&rror Message:", mePopupText_, page)};

  cbEmailAction_ =
      Named(new QCheckBox("Send &email message when an alarm is triggered", page), "cbEmailAction");
  edEmailAddress_ = Named(new QLineEdit(page), "edEmailAddress");
  rbEmailSmsType_ = Named(new QRadioButton("Send SM&S message", page), "rbEmailSmsType");
  rbEmailPageType_ = Named(new QRadioButton("Send down&loaded page", page), "rbEmailPageType");
  pbEmailReportType_ = Named(new QRadioButton("Send Rep&ort", page), "pbEmailReportType");
  cbEmailReport_ = Named(new QComboBox(page), "cbEmailReport");
  cbEmailReport_->setAccessibleName("Report");
  cbEmailReport_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  EmailLabels_ = {
      Label("Email A&ddresses (use semicolons \";\" to separate entries):", edEmailAddress_, page)};

  cbCommandAction_ =
      Named(new QCheckBox("E&xecute command when an alarm is triggered", page), "cbCommandAction");
  edCommandName_ = Named(new QLineEdit(page), "edCommandName");
  CommandLabels_ = {Label("Program to execute or &URL to load:", edCommandName_, page)};

  cbSoundAction_ =
      Named(new QCheckBox("Pla&y Sound when an alarm is triggered", page), "cbSoundAction");
  edSoundFile_ = Named(new QLineEdit(page), "edSoundFile");
  btSoundBrowse_ = Named(new QPushButton("&Browse", page), "btSoundBrowse");
  btSoundPlay_ = Named(new QPushButton(page), "btSoundPlay");
  btSoundPlay_->setIcon(style()->standardIcon(QStyle::SP_MediaPlay));
  btSoundPlay_->setToolTip("Play");
  btSoundPlay_->setAccessibleName("Play");
  cbSoundRepeat_ =
      Named(new QCheckBox("Play continuously until alarm is rese&t", page), "cbSoundRepeat");
  SoundLabels_ = {Label("Sou&nd:", edSoundFile_, page)};

  auto* grid = new QGridLayout(page);
  int row = 0;
  auto indented = [&](QWidget* widget, int span = 2) {
    grid->addWidget(widget, row++, 1, 1, span);
  };
  grid->setColumnMinimumWidth(0, kIndent);
  grid->addWidget(cbPopupAction_, row++, 0, 1, 4);
  indented(PopupLabels_[0], 3);
  indented(mePopupText_, 3);
  grid->addWidget(cbEmailAction_, row++, 0, 1, 4);
  indented(EmailLabels_[0], 3);
  indented(edEmailAddress_, 3);
  indented(rbEmailSmsType_);
  indented(rbEmailPageType_);
  grid->addWidget(pbEmailReportType_, row, 1);
  grid->addWidget(cbEmailReport_, row++, 2, 1, 2);
  grid->addWidget(cbCommandAction_, row++, 0, 1, 4);
  indented(CommandLabels_[0], 3);
  indented(edCommandName_, 3);
  grid->addWidget(cbSoundAction_, row++, 0, 1, 4);
  grid->addWidget(SoundLabels_[0], row++, 1, 1, 3);
  auto* sound = new QHBoxLayout;
  sound->addWidget(edSoundFile_);
  sound->addWidget(btSoundBrowse_);
  sound->addWidget(btSoundPlay_);
  grid->addLayout(sound, row++, 1, 1, 3);
  indented(cbSoundRepeat_, 3);
  grid->setColumnStretch(3, 1);
  grid->setRowStretch(row, 1);
  return page;
}

void TfmProperties::FillItemList() {
  cbItemList_->addItem("Select item to set properties like it ");
  cbItemList_->addItem(QString(40, QChar('-')));
  // The dashes only part the items from the prompt: not a choice, so the arrow
  // keys pass over them.
  if (auto* model = qobject_cast<QStandardItemModel*>(cbItemList_->model()))
    model->item(1)->setEnabled(false);
  for (std::size_t i = 0; i < Context_.Items.size(); ++i)
    cbItemList_->addItem(QString::fromStdString(Context_.Items[i]->DisplayName()),
                         QVariant::fromValue(static_cast<qulonglong>(i)));
  cbItemList_->setCurrentIndex(0);
}

void TfmProperties::SetTabOrder() {
  QWidget* order[] = {
      pcPages_,
      // General
      edName_, edUrl_, edFrequency_, cbFrequencyUnit_, cbActive_, cbAlarmTrigger_,
      edAlarmTriggerCount_, cbAlarmReset_, edAlarmResetCount_, cbCheckExtra_, cbCheckConnection_,
      // Monitoring
      rbPingMonitoring_, edPingTimeout_, rbDownloadMonitoring_, meDownloadText_,
      cbDownloadCaseSearch_, btDownloadSnapshot_, edDownloadTimeout_, cbDownloadLog_,
      rbServiceMonitoring_, cbServiceType_, edServiceTimeout_, btMonitoringTest_,
      // Actions
      cbPopupAction_, mePopupText_, cbEmailAction_, edEmailAddress_, rbEmailSmsType_,
      rbEmailPageType_, pbEmailReportType_, cbEmailReport_, cbCommandAction_, edCommandName_,
      cbSoundAction_, edSoundFile_, btSoundBrowse_, btSoundPlay_, cbSoundRepeat_,
      // Buttons
      cbItemList_, btOk_, btCancel_};
  for (std::size_t i = 1; i < std::size(order); ++i)
    setTabOrder(order[i - 1], order[i]);
}

void TfmProperties::ConnectEnabling() {
  for (QLineEdit* edit : {edName_, edUrl_, edSoundFile_})
    connect(edit, &QLineEdit::textChanged, this, &TfmProperties::UpdateStatusEvent);
  for (QAbstractButton* button : std::initializer_list<QAbstractButton*>{
           cbAlarmTrigger_, cbAlarmReset_, rbPingMonitoring_, rbDownloadMonitoring_,
           rbServiceMonitoring_, cbPopupAction_, cbEmailAction_, rbEmailSmsType_, rbEmailPageType_,
           pbEmailReportType_, cbCommandAction_, cbSoundAction_})
    connect(button, &QAbstractButton::toggled, this, &TfmProperties::UpdateStatusEvent);
}

void TfmProperties::Load(const TWatchItem& item) {
  ShowLine(edName_, item.Name);
  ShowLine(edUrl_, item.Url);
  // An item of the web service keeps the name and address the service gave it.
  ServiceItem_ = !item.Username.empty();
  LoadSettings(item);
}

void TfmProperties::LoadSettings(const TWatchItem& item) {
  ShowFrequency(item.Frequency());
  cbActive_->setChecked(item.Active());
  cbAlarmTrigger_->setChecked(item.AlarmTrigger);
  edAlarmTriggerCount_->setValue(item.TriggerCount);
  cbAlarmReset_->setChecked(item.AlarmReset);
  edAlarmResetCount_->setValue(item.ResetCount);
  cbCheckExtra_->setChecked(item.CheckExtra);
  cbCheckConnection_->setChecked(item.CheckConnection);

  switch (item.CheckType) {
    case TCheckType::Download:
      rbDownloadMonitoring_->setChecked(true);
      break;
    case TCheckType::Smtp:
    case TCheckType::Pop3:
    case TCheckType::Ftp:
      rbServiceMonitoring_->setChecked(true);
      cbServiceType_->setCurrentIndex(static_cast<int>(item.CheckType) - 2);
      break;
    default:
      rbPingMonitoring_->setChecked(true);
      break;
  }
  edPingTimeout_->setValue(item.PingTimeout);
  meDownloadText_->setPlainText(QString::fromStdString(item.SearchText));
  cbDownloadCaseSearch_->setChecked(item.CaseSensitive);
  edDownloadTimeout_->setValue(item.DownloadTimeout);
  cbDownloadLog_->setChecked(item.LogFailedPages);
  edServiceTimeout_->setValue(item.ServiceTimeout);

  cbPopupAction_->setChecked(item.PopupAction);
  // A longer message from the file is shown whole; only typing is held to the limit.
  LoadingPopup_ = true;
  mePopupText_->setPlainText(QString::fromStdString(item.PopupText));
  LoadingPopup_ = false;
  cbEmailAction_->setChecked(item.EmailAction);
  ShowLine(edEmailAddress_, item.EmailAddress);
  switch (item.EmailType) {
    case TEmailType::Sms:
      rbEmailSmsType_->setChecked(true);
      break;
    case TEmailType::Page:
      rbEmailPageType_->setChecked(true);
      break;
    case TEmailType::Report:
      pbEmailReportType_->setChecked(true);
      break;
  }
  cbEmailReport_->clear();
  for (int i = 0; i < Context_.Reports.Count(); ++i) {
    const TReportItem& report = Context_.Reports.Item(i);
    if (report.Format == TReportFormat::Html)
      cbEmailReport_->addItem(QString::fromStdString(report.Name), report.Id);
  }
  cbEmailReport_->setCurrentIndex(std::max(0, cbEmailReport_->findData(item.ReportId)));

  cbCommandAction_->setChecked(item.CommandAction);
  ShowLine(edCommandName_, item.Command);
  cbSoundAction_->setChecked(item.SoundAction);
  ShowLine(edSoundFile_, item.SoundFile);
  cbSoundRepeat_->setChecked(item.SoundRepeat);
  UpdateStatusEvent();
}

void TfmProperties::Save(TWatchItem& item) const {
  item.Name = Trimmed(edName_);
  item.Url = Trimmed(edUrl_);
  item.SetFrequency(ShownFrequency());
  item.SetActive(cbActive_->isChecked());
  item.AlarmTrigger = cbAlarmTrigger_->isChecked();
  item.TriggerCount = edAlarmTriggerCount_->ShownValue();
  item.AlarmReset = cbAlarmReset_->isChecked();
  item.ResetCount = edAlarmResetCount_->ShownValue();
  item.CheckExtra = cbCheckExtra_->isChecked();
  item.CheckConnection = cbCheckConnection_->isChecked();
  if (rbDownloadMonitoring_->isChecked())
    item.CheckType = TCheckType::Download;
  else if (rbServiceMonitoring_->isChecked())
    item.CheckType = static_cast<TCheckType>(2 + std::max(0, cbServiceType_->currentIndex()));
  else
    item.CheckType = TCheckType::Ping;
  item.PingTimeout = edPingTimeout_->ShownValue();
  item.SearchText = meDownloadText_->toPlainText().toStdString();
  item.CaseSensitive = cbDownloadCaseSearch_->isChecked();
  item.DownloadTimeout = edDownloadTimeout_->ShownValue();
  item.LogFailedPages = cbDownloadLog_->isChecked();
  item.ServiceTimeout = edServiceTimeout_->ShownValue();
  item.PopupAction = cbPopupAction_->isChecked();
  item.PopupText = mePopupText_->toPlainText().toStdString();
  item.EmailAction = cbEmailAction_->isChecked();
  item.EmailAddress = Trimmed(edEmailAddress_);
  item.EmailType = rbEmailSmsType_->isChecked()      ? TEmailType::Sms
                   : pbEmailReportType_->isChecked() ? TEmailType::Report
                                                     : TEmailType::Page;
  // No HTML report defined: no report.
  item.ReportId = cbEmailReport_->currentIndex() >= 0 ? cbEmailReport_->currentData().toInt() : -1;
  item.CommandAction = cbCommandAction_->isChecked();
  item.Command = Trimmed(edCommandName_);
  item.SoundAction = cbSoundAction_->isChecked();
  item.SoundFile = Trimmed(edSoundFile_);
  item.SoundRepeat = cbSoundRepeat_->isChecked();
}

void TfmProperties::accept() {
  if (btOk_->isEnabled())
    QDialog::accept();
}

// The frequency in the largest unit that holds it exactly, so that OK gives
// back the same number of seconds (5400 s is 90 minutes, not 1 hour). The
// unit's spin box reaches as far as that number needs.
void TfmProperties::ShowFrequency(std::int32_t seconds) {
  seconds = std::max(seconds, kMinFrequency);
  int unit = 0;
  for (int u = static_cast<int>(kUnitSeconds.size()) - 1; u > 0; --u)
    if (seconds % kUnitSeconds[u] == 0) {
      unit = u;
      break;
    }
  const int shown = seconds / kUnitSeconds[unit];
  FrequencyMaximum_.fill(kMaxFrequencyInUnit);
  FrequencyMaximum_[unit] = std::max(kMaxFrequencyInUnit, shown);
  if (cbFrequencyUnit_->currentIndex() == unit)
    FrequencyUnitChanged(unit);
  else
    cbFrequencyUnit_->setCurrentIndex(unit);
  edFrequency_->setValue(shown);
}

std::int32_t TfmProperties::ShownFrequency() const {
  const int unit = std::max(0, cbFrequencyUnit_->currentIndex());
  return edFrequency_->ShownValue() * kUnitSeconds[unit];
}

void TfmProperties::FrequencyUnitChanged(int unit) {
  if (unit >= 0)
    edFrequency_->setMaximum(FrequencyMaximum_[unit]);
}

void TfmProperties::UpdateStatusEvent() {
  btOk_->setEnabled(!edName_->text().trimmed().isEmpty() && !edUrl_->text().trimmed().isEmpty());
  edName_->setEnabled(!ServiceItem_);
  edUrl_->setEnabled(!ServiceItem_);

  const bool trigger = cbAlarmTrigger_->isChecked();
  edAlarmTriggerCount_->setEnabled(trigger);
  SetEnabled(TriggerLabels_, trigger);
  const bool reset = cbAlarmReset_->isChecked();
  edAlarmResetCount_->setEnabled(reset);
  SetEnabled(ResetLabels_, reset);

  const bool ping = rbPingMonitoring_->isChecked();
  edPingTimeout_->setEnabled(ping);
  SetEnabled(PingLabels_, ping);
  const bool download = rbDownloadMonitoring_->isChecked();
  for (QWidget* widget : std::initializer_list<QWidget*>{meDownloadText_, cbDownloadCaseSearch_,
                                                         edDownloadTimeout_, cbDownloadLog_})
    widget->setEnabled(download);
  SetEnabled(DownloadLabels_, download);
  // One fetch at a time.
  btDownloadSnapshot_->setEnabled(download && !SnapshotRunning());
  const bool service = rbServiceMonitoring_->isChecked();
  cbServiceType_->setEnabled(service);
  edServiceTimeout_->setEnabled(service);
  SetEnabled(ServiceLabels_, service);

  const bool popup = cbPopupAction_->isChecked();
  mePopupText_->setEnabled(popup);
  SetEnabled(PopupLabels_, popup);
  const bool email = cbEmailAction_->isChecked();
  for (QWidget* widget : std::initializer_list<QWidget*>{edEmailAddress_, rbEmailSmsType_,
                                                         rbEmailPageType_, pbEmailReportType_})
    widget->setEnabled(email);
  SetEnabled(EmailLabels_, email);
  cbEmailReport_->setEnabled(email && pbEmailReportType_->isChecked());
  const bool command = cbCommandAction_->isChecked();
  edCommandName_->setEnabled(command);
  SetEnabled(CommandLabels_, command);
  const bool sound = cbSoundAction_->isChecked();
  for (QWidget* widget :
       std::initializer_list<QWidget*>{edSoundFile_, btSoundBrowse_, cbSoundRepeat_})
    widget->setEnabled(sound);
  SetEnabled(SoundLabels_, sound);
  btSoundPlay_->setEnabled(!edSoundFile_->text().trimmed().isEmpty());
}

void TfmProperties::cbItemListChange(int index) {
  if (index < kFirstItemEntry) {
    cbItemList_->setCurrentIndex(0);
    return;
  }
  const auto answer = QMessageBox::question(
      this, "Confirm", "Are you sure you want to set the proprties like selected item?",
      QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
  if (answer != QMessageBox::Yes) {
    cbItemList_->setCurrentIndex(0);
    return;
  }
  LoadSettings(*Context_.Items.at(cbItemList_->itemData(index).toULongLong()));
}

void TfmProperties::btDownloadSnapshotClick() {
  if (SnapshotRunning())
    return;
  const QString url = edUrl_->text().trimmed();
  const std::string target = url.toStdString();
  const TProxyChoice proxy = GetProxyForHost(target, Context_.Settings.GetInternetOptions());
  // The page's own time-out bounds the fetch; 0, which no page could meet,
  // leaves the client's own.
  const std::int32_t timeout =
      edDownloadTimeout_->ShownValue() > 0 ? edDownloadTimeout_->ShownValue() : kHttpDefaultTimeout;

  SnapshotNetwork_ = std::make_unique<TSocketCheckNetwork>();
  setCursor(Qt::BusyCursor);
  // The fetch runs on its own thread so that the window stays alive; the
  // destructor cancels and joins it, so `this` outlives the thread.
  SnapshotThread_ =
      std::thread([this, network = SnapshotNetwork_.get(), target, proxy, timeout, url] {
        THttpOutcome outcome = network->Download(target, proxy, timeout);
        QMetaObject::invokeMethod(
            this, [this, outcome = std::move(outcome), url] { SnapshotDone(outcome, url); },
            Qt::QueuedConnection);
      });
  UpdateStatusEvent();
}

void TfmProperties::SnapshotDone(const THttpOutcome& outcome, const QString& url) {
  SnapshotThread_.join();
  SnapshotNetwork_.reset();
  unsetCursor();
  UpdateStatusEvent();
  if (outcome.Sent && outcome.ResultCode == 200)
    meDownloadText_->setPlainText(QString::fromStdString(outcome.Document));
  else if (isVisible())
    QMessageBox::warning(this, "Warning", "Could not load the page. " + url);
}

void TfmProperties::btMonitoringTestClick() {
  if (edUrl_->text().trimmed().isEmpty()) {
    QMessageBox::warning(this, "Warning", "Please enter URL/IP Address field.");
    return;
  }
  // The test runs on the settings as they stand here, not on the saved item.
  TWatchItem settings;
  Save(settings);
  if (Context_.OpenTest)
    Context_.OpenTest(settings, this);
}

void TfmProperties::btSoundBrowseClick() {
  const QString current = edSoundFile_->text().trimmed();
  const QString file = QFileDialog::getOpenFileName(
      this, "Open Sound File", QFileInfo(current).absolutePath(), "Sounds (*.wav);;All files (*)");
  if (!file.isEmpty())
    edSoundFile_->setText(file);
}

void TfmProperties::btSoundPlayClick() {
  Context_.Desktop.PlayAlarmSound(Trimmed(edSoundFile_), false);
}

bool EditItem(TWatchItem& item, const TPropertiesContext& context, QWidget* parent) {
  TfmProperties dialog(context, parent);
  dialog.Load(item);
  if (dialog.exec() != QDialog::Accepted)
    return false;
  dialog.Save(item);
  return true;
}

}  // namespace vantrel
