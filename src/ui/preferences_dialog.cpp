#include "ui/preferences_dialog.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QCursor>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTextCursor>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdlib>
#include <initializer_list>
#include <vector>

#include "sync/service_client.h"
#include "sync/synchronizer.h"
#include "text/codings.h"
#include "ui/widget_names.h"

namespace vantrel {

// Sixteen characters no one types: what the field shows for a stored digest.
const QString TfmPreferences::kPasswordPlaceholder = QString(16, QChar(24));

namespace {

constexpr int kMailPasswordLength = 64;
constexpr int kSubjectLength = 255;
constexpr int kSmsLength = 160;
constexpr int kHtmlTextLength = 1530;
constexpr int kServiceUrlLength = 255;
constexpr int kSecondsPerMinute = 60;
constexpr int kSecondsPerHour = 3600;
constexpr int kMinutesUnit = 0;
constexpr int kHoursUnit = 1;

QSpinBox* MakeSpin(QWidget* parent, const char* name, int minimum, int maximum) {
  auto* spin = Named(new QSpinBox(parent), name);
  spin->setRange(minimum, maximum);
  return spin;
}

QLabel* LabelFor(const QString& caption, QWidget* buddy, QWidget* parent) {
  auto* label = new QLabel(caption, parent);
  label->setBuddy(buddy);
  return label;
}

QString Text(const std::string& text) {
  return QString::fromStdString(text);
}

std::string Trimmed(const QLineEdit* edit) {
  return edit->text().trimmed().toStdString();
}

// A text longer than the field's limit (set elsewhere) is shown whole rather
// than cut: the limit holds for what is typed.
void SetLimitedText(QLineEdit* edit, const std::string& text, int limit) {
  const QString value = Text(text);
  edit->setMaxLength(std::max<int>(limit, static_cast<int>(value.size())));
  edit->setText(value);
}

// A multi-line field that takes at most `limit` characters as typed or
// pasted. The limit in force is a property, so that a longer text loaded into
// it (SetLimitedText) stays whole.
constexpr const char* kLimitProperty = "vantrelLimit";

void LimitLength(QPlainTextEdit* edit) {
  QObject::connect(edit, &QPlainTextEdit::textChanged, edit, [edit] {
    const int excess =
        edit->document()->characterCount() - 1 - edit->property(kLimitProperty).toInt();
    if (excess <= 0)
      return;
    // The cursor stands after what was just typed or pasted: that loses its end.
    QTextCursor cursor = edit->textCursor();
    cursor.movePosition(QTextCursor::Left, QTextCursor::KeepAnchor, excess);
    cursor.removeSelectedText();
  });
}

void SetLimitedText(QPlainTextEdit* edit, const std::string& text, int limit) {
  const QString value = Text(text);
  edit->setProperty(kLimitProperty, std::max<int>(limit, static_cast<int>(value.size())));
  edit->setPlainText(value);
}

void ChainTabOrder(const std::vector<QWidget*>& order) {
  for (std::size_t i = 1; i < order.size(); ++i)
    QWidget::setTabOrder(order[i - 1], order[i]);
}

QGroupBox* MakeGroup(const QString& title, QWidget* parent) {
  return new QGroupBox(title, parent);
}

// A spin box between two captions: "Auto-save every [15] minute(s)". The
// caption before it names it for screen readers.
QHBoxLayout* SpinRow(QWidget* before, QSpinBox* spin, const QString& after, QWidget* parent) {
  auto* row = new QHBoxLayout;
  if (before)
    row->addWidget(before);
  row->addWidget(spin);
  if (!after.isEmpty())
    row->addWidget(new QLabel(after, parent));
  row->addStretch();
  return row;
}

}  // namespace

TfmPreferences::TfmPreferences(const TPreferencesContext& context, QWidget* parent)
    : QDialog(parent), Context_(context) {
  setObjectName("fmPreferences");
  setWindowTitle("Preferences");

  pcPages_ = Named(new QTabWidget(this), "pcPages");
  pcPages_->addTab(BuildGeneralPage(), "&General");
  pcPages_->addTab(BuildViewPage(), "&View");
  pcPages_->addTab(BuildMailPage(), "&Mail");
  pcPages_->addTab(BuildMessagePage(), "Me&ssage");
  pcPages_->addTab(BuildServicePage(), "Se&rvice");

  btDefault_ = Named(new QPushButton("Set &Default", this), "btDefault");
  btDefault_->setAutoDefault(false);
  btCancel_ = Named(new QPushButton("Cancel", this), "btCancel");
  btCancel_->setAutoDefault(false);
  btOk_ = Named(new QPushButton("OK", this), "btOk");
  btOk_->setDefault(true);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(btDefault_);
  buttons->addStretch();
  buttons->addWidget(btCancel_);
  buttons->addWidget(btOk_);

  auto* page = new QVBoxLayout(this);
  page->addWidget(pcPages_);
  page->addLayout(buttons);
  // The size the layout asks for, and no other: a fixed dialog border.
  page->setSizeConstraint(QLayout::SetFixedSize);

  ChainTabOrder({edDefaultTrigerCount_, edDefaultResetCount_, cbDefaultCheckConnection_,
                 cbDefaultCheckExtra_, btDefault_, btCancel_, btOk_});

  connect(btOk_, &QPushButton::clicked, this, &TfmPreferences::accept);
  connect(btCancel_, &QPushButton::clicked, this, &TfmPreferences::reject);
  connect(btDefault_, &QPushButton::clicked, this, &TfmPreferences::btDefaultClick);

  Load(TPreferences{});
}

TfmPreferences::~TfmPreferences() {
  if (ServiceThread_.joinable()) {
    ServiceClient_->Abort();
    ServiceThread_.join();
    QApplication::restoreOverrideCursor();
  }
}

QWidget* TfmPreferences::BuildGeneralPage() {
  auto* page = new QWidget(this);
  auto* general = MakeGroup("General ", page);
  cbIconSystray_ = Named(new QCheckBox("Show &icon in system tray", general), "cbIconSystray");
  cbStartMinimized_ = Named(new QCheckBox("Start mi&nimized", general), "cbStartMinimized");
  cbSystrayMinimize_ =
      Named(new QCheckBox("Minimize &to system tray", general), "cbSystrayMinimize");
  auto* generalRows = new QVBoxLayout(general);
  generalRows->addWidget(cbIconSystray_);
  generalRows->addWidget(cbStartMinimized_);
  generalRows->addWidget(cbSystrayMinimize_);

  auto* autosave = MakeGroup("Auto-save ", page);
  rbSaveExit_ = Named(new QRadioButton("Auto-save when e&xit", autosave), "rbSaveExit");
  rbAutoSave_ = Named(new QRadioButton("&Auto-save every", autosave), "rbAutoSave");
  edAutoSave_ = MakeSpin(autosave, "edAutoSave", 1, 180);
  // The radio button's caption begins the sentence the spin box ends.
  edAutoSave_->setAccessibleName("Auto-save every minute(s)");
  auto* autosaveRows = new QVBoxLayout(autosave);
  autosaveRows->addWidget(rbSaveExit_);
  autosaveRows->addLayout(SpinRow(rbAutoSave_, edAutoSave_, "minute(s)", autosave));

  auto* log = MakeGroup("Log ", page);
  rbNoLog_ = Named(new QRadioButton("N&o log", log), "rbNoLog");
  rbUnlimitedLog_ = Named(new QRadioButton("&Unlimited log", log), "rbUnlimitedLog");
  rbResetLog_ = Named(new QRadioButton("Reset &log when started", log), "rbResetLog");
  auto* logRows = new QVBoxLayout(log);
  logRows->addWidget(rbNoLog_);
  logRows->addWidget(rbUnlimitedLog_);
  logRows->addWidget(rbResetLog_);

  auto* rows = new QVBoxLayout(page);
  rows->addWidget(general);
  rows->addWidget(autosave);
  rows->addWidget(log);
  rows->addStretch();

  ChainTabOrder({cbIconSystray_, cbStartMinimized_, cbSystrayMinimize_, rbSaveExit_, rbAutoSave_,
                 edAutoSave_, rbNoLog_, rbUnlimitedLog_, rbResetLog_});
  connect(rbAutoSave_, &QRadioButton::toggled, this, &TfmPreferences::UpdateActionsEvent);
  return page;
}

QWidget* TfmPreferences::BuildViewPage() {
  auto* page = new QWidget(this);
  lbFields_ = Named(new QListWidget(page), "lbFields");
  lbFields_->setSelectionMode(QAbstractItemView::SingleSelection);
  auto* fieldsLabel = LabelFor("Show selected &fields in the order ", lbFields_, page);
  btFiledUp_ = Named(new QPushButton("Move &Up", page), "btFiledUp");
  btFieldDown_ = Named(new QPushButton("Move Do&wn", page), "btFieldDown");
  btFieldShow_ = Named(new QPushButton("S&how", page), "btFieldShow");
  btFieldHide_ = Named(new QPushButton("H&ide", page), "btFieldHide");
  btFieldDefault_ = Named(new QPushButton("Def&ault", page), "btFieldDefault");
  auto* fieldButtons = new QVBoxLayout;
  for (QPushButton* button :
       {btFiledUp_, btFieldDown_, btFieldShow_, btFieldHide_, btFieldDefault_}) {
    button->setAutoDefault(false);
    fieldButtons->addWidget(button);
  }
  fieldButtons->addStretch();
  auto* fields = new QHBoxLayout;
  fields->addWidget(lbFields_);
  fields->addLayout(fieldButtons);

  cbTableView_ = Named(new QCheckBox("Show the properties as &table view", page), "cbTableView");

  gbItemTabstops_ = Named(MakeGroup("Viewer tabstops ", page), "gbItemTabstops");
  edItemTabstop_ = MakeSpin(gbItemTabstops_, "edItemTabstop", 0, 999);
  lbItemTabstop_ = LabelFor("Status/&Name:", edItemTabstop_, gbItemTabstops_);
  cbItemAutosize_ = Named(new QCheckBox("Auto-si&ze", gbItemTabstops_), "cbItemAutosize");
  auto* itemRow = new QGridLayout(gbItemTabstops_);
  itemRow->addWidget(lbItemTabstop_, 0, 0);
  itemRow->addWidget(edItemTabstop_, 0, 1);
  itemRow->addWidget(cbItemAutosize_, 0, 2);
  itemRow->setColumnStretch(3, 1);

  gbPropertyTabstops_ = Named(MakeGroup("Properties Viewer tabstops ", page), "gbPropertyTabstops");
  edPropertyTabstop_ = MakeSpin(gbPropertyTabstops_, "edPropertyTabstop", 0, 999);
  lbPropertyTabstop_ = LabelFor("&Property:", edPropertyTabstop_, gbPropertyTabstops_);
  edValueTabstop_ = MakeSpin(gbPropertyTabstops_, "edValueTabstop", 0, 999);
  lbValueTabstop_ = LabelFor("Va&lue:", edValueTabstop_, gbPropertyTabstops_);
  cbValueAutosize_ = Named(new QCheckBox("Auto-siz&e", gbPropertyTabstops_), "cbValueAutosize");
  auto* propertyRows = new QGridLayout(gbPropertyTabstops_);
  propertyRows->addWidget(lbPropertyTabstop_, 0, 0);
  propertyRows->addWidget(edPropertyTabstop_, 0, 1);
  propertyRows->addWidget(lbValueTabstop_, 1, 0);
  propertyRows->addWidget(edValueTabstop_, 1, 1);
  propertyRows->addWidget(cbValueAutosize_, 1, 2);
  propertyRows->setColumnStretch(3, 1);

  auto* rows = new QVBoxLayout(page);
  rows->addWidget(fieldsLabel);
  rows->addLayout(fields);
  rows->addWidget(cbTableView_);
  rows->addWidget(gbItemTabstops_);
  rows->addWidget(gbPropertyTabstops_);

  ChainTabOrder({lbFields_, btFiledUp_, btFieldDown_, btFieldShow_, btFieldHide_, btFieldDefault_,
                 cbTableView_, edItemTabstop_, cbItemAutosize_, edPropertyTabstop_, edValueTabstop_,
                 cbValueAutosize_});

  connect(btFiledUp_, &QPushButton::clicked, this, &TfmPreferences::btFiledUpClick);
  connect(btFieldDown_, &QPushButton::clicked, this, &TfmPreferences::btFieldDownClick);
  connect(btFieldShow_, &QPushButton::clicked, this, &TfmPreferences::btFieldShowClick);
  connect(btFieldHide_, &QPushButton::clicked, this, &TfmPreferences::btFieldHideClick);
  connect(btFieldDefault_, &QPushButton::clicked, this, &TfmPreferences::btFieldDefaultClick);
  connect(lbFields_, &QListWidget::currentRowChanged, this, &TfmPreferences::UpdateActionsEvent);
  connect(lbFields_, &QListWidget::itemSelectionChanged, this, &TfmPreferences::UpdateActionsEvent);
  // The user ticks an entry's box directly, too.
  connect(lbFields_, &QListWidget::itemChanged, this, &TfmPreferences::UpdateActionsEvent);
  for (QCheckBox* box : {cbTableView_, cbItemAutosize_, cbValueAutosize_})
    connect(box, &QCheckBox::toggled, this, &TfmPreferences::UpdateActionsEvent);
  return page;
}

QWidget* TfmPreferences::BuildMailPage() {
  auto* page = new QWidget(this);
  auto* user = MakeGroup("User Information ", page);
  edMailUserName_ = Named(new QLineEdit(user), "edMailUserName");
  edMailUserName_->setMinimumWidth(edMailUserName_->fontMetrics().averageCharWidth() * 36);
  edMailOrg_ = Named(new QLineEdit(user), "edMailOrg");
  edMailAddress_ = Named(new QLineEdit(user), "edMailAddress");
  auto* userRows = new QGridLayout(user);
  userRows->addWidget(LabelFor("User &Name:", edMailUserName_, user), 0, 0);
  userRows->addWidget(edMailUserName_, 0, 1);
  userRows->addWidget(LabelFor("&Organization:", edMailOrg_, user), 1, 0);
  userRows->addWidget(edMailOrg_, 1, 1);
  userRows->addWidget(LabelFor("&Email Address:", edMailAddress_, user), 2, 0);
  userRows->addWidget(edMailAddress_, 2, 1);

  auto* server = MakeGroup("Server Information ", page);
  edMailServer_ = Named(new QLineEdit(server), "edMailServer");
  cbMailServerAuth_ =
      Named(new QCheckBox("My server requires &authentication", server), "cbMailServerAuth");
  edMailAccount_ = Named(new QLineEdit(server), "edMailAccount");
  lbMailAccount_ = LabelFor("A&ccount name:", edMailAccount_, server);
  edMailPassword_ = Named(new QLineEdit(server), "edMailPassword");
  edMailPassword_->setEchoMode(QLineEdit::Password);
  lbMailPassword_ = LabelFor("Pass&word:", edMailPassword_, server);
  auto* serverRows = new QGridLayout(server);
  serverRows->addWidget(LabelFor("SMT&P Server:", edMailServer_, server), 0, 0);
  serverRows->addWidget(edMailServer_, 0, 1);
  serverRows->addWidget(cbMailServerAuth_, 1, 0, 1, 2);
  serverRows->addWidget(lbMailAccount_, 2, 0);
  serverRows->addWidget(edMailAccount_, 2, 1);
  serverRows->addWidget(lbMailPassword_, 3, 0);
  serverRows->addWidget(edMailPassword_, 3, 1);

  btMailTest_ = Named(new QPushButton("&Test", page), "btMailTest");
  btMailDefault_ = Named(new QPushButton("Defa&ult", page), "btMailDefault");
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  for (QPushButton* button : {btMailTest_, btMailDefault_}) {
    button->setAutoDefault(false);
    buttons->addWidget(button);
  }

  auto* rows = new QVBoxLayout(page);
  rows->addWidget(user);
  rows->addWidget(server);
  rows->addLayout(buttons);
  rows->addStretch();

  ChainTabOrder({edMailUserName_, edMailOrg_, edMailAddress_, edMailServer_, cbMailServerAuth_,
                 edMailAccount_, edMailPassword_, btMailTest_, btMailDefault_});
  connect(cbMailServerAuth_, &QCheckBox::toggled, this, &TfmPreferences::UpdateActionsEvent);
  connect(btMailTest_, &QPushButton::clicked, this, &TfmPreferences::btMailTestClick);
  connect(btMailDefault_, &QPushButton::clicked, this, &TfmPreferences::btMailDefaultClick);
  return page;
}

QWidget* TfmPreferences::BuildMessagePage() {
  auto* page = new QWidget(this);
  edMessageSubject_ = Named(new QLineEdit(page), "edMessageSubject");
  edMessageSms_ = Named(new QLineEdit(page), "edMessageSms");
  auto* html = MakeGroup("HTML Message", page);
  edMessageHeader_ = Named(new QPlainTextEdit(html), "edMessageHeader");
  edMessageSign_ = Named(new QPlainTextEdit(html), "edMessageSign");
  for (QPlainTextEdit* edit : {edMessageHeader_, edMessageSign_}) {
    edit->setTabChangesFocus(true);
    edit->setFixedHeight(edit->fontMetrics().lineSpacing() * 4 + 2 * edit->frameWidth() + 8);
    LimitLength(edit);
  }
  auto* htmlRows = new QVBoxLayout(html);
  htmlRows->addWidget(LabelFor("Message &Header:", edMessageHeader_, html));
  htmlRows->addWidget(edMessageHeader_);
  htmlRows->addWidget(LabelFor("Message S&ignature:", edMessageSign_, html));
  htmlRows->addWidget(edMessageSign_);

  auto* rows = new QVBoxLayout(page);
  rows->addWidget(LabelFor("Message Su&bject", edMessageSubject_, page));
  rows->addWidget(edMessageSubject_);
  rows->addWidget(LabelFor("SMS Mess&age", edMessageSms_, page));
  rows->addWidget(edMessageSms_);
  rows->addWidget(html);
  rows->addStretch();

  ChainTabOrder({edMessageSubject_, edMessageSms_, edMessageHeader_, edMessageSign_});
  return page;
}

QWidget* TfmPreferences::BuildServicePage() {
  auto* page = new QWidget(this);
  cbService_ = Named(new QCheckBox("Start &Web Service", page), "cbService");
  edServiceUrl_ = Named(new QLineEdit(page), "edServiceUrl");
  edServiceUrl_->setMinimumWidth(edServiceUrl_->fontMetrics().averageCharWidth() * 40);
  edServiceUrl_->setMaxLength(kServiceUrlLength);
  edServicePassword_ = Named(new QLineEdit(page), "edServicePassword");
  edServicePassword_->setEchoMode(QLineEdit::Password);
  edServiceFreq_ = MakeSpin(page, "edServiceFreq", 1, 720);
  auto* serviceRows = new QGridLayout;
  serviceRows->addWidget(LabelFor("Service &URL:", edServiceUrl_, page), 0, 0);
  serviceRows->addWidget(edServiceUrl_, 0, 1);
  serviceRows->addWidget(LabelFor("&Password:", edServicePassword_, page), 1, 0);
  serviceRows->addWidget(edServicePassword_, 1, 1);

  auto* defaults = MakeGroup("Default settings for the items from web service", page);
  edDefaultFrequency_ = MakeSpin(defaults, "edDefaultFrequency", 1, 59);
  cbDefaultFrequencyUnit_ = Named(new QComboBox(defaults), "cbDefaultFrequencyUnit");
  cbDefaultFrequencyUnit_->addItems({"Minute(s)", "Hour(s)"});
  cbDefaultFrequencyUnit_->setAccessibleName("Unit of the check frequency");
  edDefaultTrigerCount_ = MakeSpin(defaults, "edDefaultTrigerCount", 1, 999);
  edDefaultResetCount_ = MakeSpin(defaults, "edDefaultResetCount", 1, 999);
  cbDefaultCheckConnection_ = Named(
      new QCheckBox("Do checking &Internet connection before an alarm is trigered ", defaults),
      "cbDefaultCheckConnection");
  cbDefaultCheckExtra_ =
      Named(new QCheckBox("Do two additional requests at &once if a response failed", defaults),
            "cbDefaultCheckExtra");
  auto* frequencyRow = new QHBoxLayout;
  frequencyRow->addWidget(LabelFor("&Check this items every", edDefaultFrequency_, defaults));
  frequencyRow->addWidget(edDefaultFrequency_);
  frequencyRow->addWidget(cbDefaultFrequencyUnit_);
  frequencyRow->addStretch();
  auto* defaultRows = new QVBoxLayout(defaults);
  defaultRows->addLayout(frequencyRow);
  defaultRows->addLayout(SpinRow(LabelFor("&Trigger alarm after ", edDefaultTrigerCount_, defaults),
                                 edDefaultTrigerCount_, "consecutive fails", defaults));
  defaultRows->addLayout(SpinRow(LabelFor("Reset &alarm after", edDefaultResetCount_, defaults),
                                 edDefaultResetCount_, "consecutive successes", defaults));
  defaultRows->addWidget(cbDefaultCheckConnection_);
  defaultRows->addWidget(cbDefaultCheckExtra_);

  auto* rows = new QVBoxLayout(page);
  rows->addWidget(cbService_);
  rows->addLayout(serviceRows);
  rows->addLayout(SpinRow(LabelFor("Synchronize with the server ever&y", edServiceFreq_, page),
                          edServiceFreq_, "minutes", page));
  rows->addWidget(defaults);
  rows->addStretch();

  ChainTabOrder({cbService_, edServiceUrl_, edServicePassword_, edServiceFreq_, edDefaultFrequency_,
                 cbDefaultFrequencyUnit_, edDefaultTrigerCount_});
  // clicked: the user's tick only, never Load's.
  connect(cbService_, &QCheckBox::clicked, this, &TfmPreferences::cbServiceClick);
  connect(edServiceUrl_, &QLineEdit::textEdited, this, &TfmPreferences::edServiceChange);
  connect(edServicePassword_, &QLineEdit::textEdited, this, &TfmPreferences::edServiceChange);
  return page;
}

void TfmPreferences::Load(const TPreferences& p) {
  cbIconSystray_->setChecked(p.IconInSystray);
  cbStartMinimized_->setChecked(p.StartMinimized);
  cbSystrayMinimize_->setChecked(p.MinimizeToSystray);
  (p.Autosave ? rbAutoSave_ : rbSaveExit_)->setChecked(true);
  edAutoSave_->setValue(p.AutosaveFrequency);
  if (p.LogType == TPreferences::NoLog)
    rbNoLog_->setChecked(true);
  else if (p.LogType == TPreferences::UnlimitedLog)
    rbUnlimitedLog_->setChecked(true);
  else
    rbResetLog_->setChecked(true);

  LoadFields(p.Fields);
  cbItemAutosize_->setChecked(p.ItemAutosize);
  cbValueAutosize_->setChecked(p.ValueAutosize);
  LoadView();

  edMailUserName_->setText(Text(p.Username));
  edMailOrg_->setText(Text(p.Organization));
  edMailAddress_->setText(Text(p.Address));
  edMailServer_->setText(Text(p.Server));
  cbMailServerAuth_->setChecked(p.ServerAuth);
  edMailAccount_->setText(Text(p.Account));
  SetLimitedText(edMailPassword_, p.Password, kMailPasswordLength);

  SetLimitedText(edMessageSubject_, p.Subject, kSubjectLength);
  SetLimitedText(edMessageSms_, p.SMS, kSmsLength);
  SetLimitedText(edMessageHeader_, p.Header, kHtmlTextLength);
  SetLimitedText(edMessageSign_, p.Signature, kHtmlTextLength);

  cbService_->setChecked(p.ServiceStatus);
  edServiceUrl_->setText(Text(p.ServiceUrl));
  StoredDigest_ = p.ServicePassword;
  edServicePassword_->setText(StoredDigest_.empty() ? QString() : kPasswordPlaceholder);
  edServiceFreq_->setValue(p.ServiceFrequency / kSecondsPerMinute);
  const int frequency = p.DefaultFrequency;
  if (frequency >= kSecondsPerHour) {
    edDefaultFrequency_->setValue(frequency / kSecondsPerHour);
    cbDefaultFrequencyUnit_->setCurrentIndex(kHoursUnit);
  } else {
    edDefaultFrequency_->setValue(std::max(1, frequency / kSecondsPerMinute));
    cbDefaultFrequencyUnit_->setCurrentIndex(kMinutesUnit);
  }
  edDefaultTrigerCount_->setValue(p.DefaultTriggerCount);
  edDefaultResetCount_->setValue(p.DefaultResetCount);
  cbDefaultCheckConnection_->setChecked(p.DefaultCheckConnection);
  cbDefaultCheckExtra_->setChecked(p.DefaultCheckExtra);
  UpdateActionsEvent();
}

void TfmPreferences::LoadFields(const TFieldList& given) {
  // A damaged list would name fields that do not exist: the standard one then.
  const TFieldList fields = IsValidFieldList(given) ? given : DefaultFieldList();
  const QSignalBlocker quiet(lbFields_);
  lbFields_->clear();
  for (const std::int32_t entry : fields) {
    auto* item = new QListWidgetItem(kFieldCaptions[std::abs(entry) - 1], lbFields_);
    item->setData(Qt::UserRole, std::abs(entry));
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    item->setCheckState(entry > 0 ? Qt::Checked : Qt::Unchecked);
  }
  lbFields_->setCurrentRow(-1);
  UpdateActionsEvent();
}

void TfmPreferences::LoadView() {
  const TWindowState& view = Context_.View;
  cbTableView_->setChecked(view.TableView);
  edItemTabstop_->setValue(view.ItemTabstop);
  edPropertyTabstop_->setValue(view.PropertyTabstop);
  edValueTabstop_->setValue(view.ValueTabstop);
}

void TfmPreferences::Save(TPreferences& p) const {
  p.IconInSystray = cbIconSystray_->isChecked();
  p.StartMinimized = cbStartMinimized_->isChecked();
  p.MinimizeToSystray = cbSystrayMinimize_->isChecked();
  p.Autosave = rbAutoSave_->isChecked();
  p.AutosaveFrequency = edAutoSave_->value();
  p.LogType = rbNoLog_->isChecked()          ? TPreferences::NoLog
              : rbUnlimitedLog_->isChecked() ? TPreferences::UnlimitedLog
                                             : TPreferences::ResetLog;

  for (int i = 0; i < lbFields_->count(); ++i) {
    const QListWidgetItem* item = lbFields_->item(i);
    const int field = item->data(Qt::UserRole).toInt();
    p.Fields[i] = item->checkState() == Qt::Checked ? field : -field;
  }
  p.ItemAutosize = cbItemAutosize_->isChecked();
  p.ValueAutosize = cbValueAutosize_->isChecked();

  p.Username = Trimmed(edMailUserName_);
  p.Organization = Trimmed(edMailOrg_);
  p.Address = Trimmed(edMailAddress_);
  p.Server = Trimmed(edMailServer_);
  p.ServerAuth = cbMailServerAuth_->isChecked();
  p.Account = Trimmed(edMailAccount_);
  p.Password = edMailPassword_->text().toStdString();

  p.Subject = edMessageSubject_->text().toStdString();
  p.SMS = edMessageSms_->text().toStdString();
  p.Header = edMessageHeader_->toPlainText().toStdString();
  p.Signature = edMessageSign_->toPlainText().toStdString();

  p.ServiceStatus = cbService_->isChecked();
  p.ServiceUrl = Trimmed(edServiceUrl_);
  p.ServicePassword = ServiceDigest();
  p.ServiceFrequency = edServiceFreq_->value() * kSecondsPerMinute;
  p.DefaultFrequency =
      edDefaultFrequency_->value() *
      (cbDefaultFrequencyUnit_->currentIndex() == kHoursUnit ? kSecondsPerHour : kSecondsPerMinute);
  p.DefaultTriggerCount = edDefaultTrigerCount_->value();
  p.DefaultResetCount = edDefaultResetCount_->value();
  p.DefaultCheckConnection = cbDefaultCheckConnection_->isChecked();
  p.DefaultCheckExtra = cbDefaultCheckExtra_->isChecked();
}

void TfmPreferences::SaveView(TWindowState& view) const {
  view.TableView = cbTableView_->isChecked();
  view.ItemTabstop = edItemTabstop_->value();
  view.PropertyTabstop = edPropertyTabstop_->value();
  view.ValueTabstop = edValueTabstop_->value();
}

std::string TfmPreferences::ServiceDigest() const {
  const QString text = edServicePassword_->text();
  if (text.isEmpty())
    return "";
  if (text == kPasswordPlaceholder)
    return StoredDigest_;
  return MD5Hex(text.toStdString());
}

void TfmPreferences::btDefaultClick() {
  if (QMessageBox::question(
          this, windowTitle(), "Are you sure you want to reset your current preferences?",
          QMessageBox::Yes | QMessageBox::No, QMessageBox::No) != QMessageBox::Yes)
    return;
  TPreferences defaults;
  SetDefaultPreferences(defaults);
  Load(defaults);
}

void TfmPreferences::btMailDefaultClick() {
  TPreferences found;
  SetDefaultMailIdentity(found);
  if (found.Address.empty() || found.Server.empty()) {
    QMessageBox::information(
        this, windowTitle(),
        "The default e-mail settings could not be found. Please enter the settings manually.");
    return;
  }
  edMailUserName_->setText(Text(found.Username));
  edMailOrg_->setText(Text(found.Organization));
  edMailAddress_->setText(Text(found.Address));
  edMailServer_->setText(Text(found.Server));
  cbMailServerAuth_->setChecked(false);
  edMailAccount_->clear();
  edMailPassword_->clear();
}

void TfmPreferences::btMailTestClick() {
  if (Trimmed(edMailServer_).empty() || Trimmed(edMailAddress_).empty()) {
    QMessageBox::warning(this, windowTitle(), "Please enter SMPT Server and Email Address fields.");
    return;
  }
  TPreferences shown;
  Save(shown);
  if (Context_.OpenMailTest)
    Context_.OpenMailTest(shown, this);
}

void TfmPreferences::btFiledUpClick() {
  MoveField(-1);
}

void TfmPreferences::btFieldDownClick() {
  MoveField(1);
}

void TfmPreferences::btFieldShowClick() {
  CheckField(true);
}

void TfmPreferences::btFieldHideClick() {
  CheckField(false);
}

void TfmPreferences::btFieldDefaultClick() {
  // Only the field list: what the user changed on the other pages stays.
  LoadFields(DefaultFieldList());
}

void TfmPreferences::MoveField(int by) {
  const int row = lbFields_->currentRow();
  const int target = row + by;
  if (row < 0 || target < 0 || target >= lbFields_->count())
    return;
  QListWidgetItem* item = lbFields_->takeItem(row);
  lbFields_->insertItem(target, item);
  lbFields_->setCurrentRow(target);
  UpdateActionsEvent();
}

void TfmPreferences::CheckField(bool shown) {
  if (QListWidgetItem* item = lbFields_->currentItem())
    item->setCheckState(shown ? Qt::Checked : Qt::Unchecked);
  UpdateActionsEvent();
}

void TfmPreferences::cbServiceClick(bool checked) {
  if (!checked) {
    if (Context_.SuspendServiceItems)
      Context_.SuspendServiceItems();
    return;
  }
  TPreferences tested;
  tested.ServiceUrl = Trimmed(edServiceUrl_);
  tested.ServicePassword = ServiceDigest();
  if (tested.ServiceUrl.empty()) {
    // Nothing was tested, so the service is not on.
    cbService_->setChecked(false);
    QMessageBox::warning(this, windowTitle(),
                         "No Servise URL entered. Please enter the URL. Note that server "
                         "software should be installed on the URL.");
    return;
  }
  // The request may take a while: it runs on a thread of its own while the
  // window goes on, and the answer comes back through the event loop.
  ServiceClient_ = std::make_shared<TServiceClient>(
      MakeServiceAddress(tested, Context_.Settings.GetInternetOptions()));
  QApplication::setOverrideCursor(Qt::BusyCursor);
  UpdateActionsEvent();
  ServiceThread_ = std::thread(
      [this, client = ServiceClient_, url = tested.ServiceUrl, digest = tested.ServicePassword] {
        const int status = client->Get(client->Query("test", false));
        QMetaObject::invokeMethod(
            this, [this, status, url, digest] { ServiceTestDone(status, url, digest); },
            Qt::QueuedConnection);
      });
}

void TfmPreferences::ServiceTestDone(int status, const std::string& url,
                                     const std::string& digest) {
  ServiceThread_.join();
  ServiceClient_.reset();
  QApplication::restoreOverrideCursor();
  UpdateActionsEvent();
  const std::string message = ServiceTestMessage(status);
  if (message.empty()) {
    if (Context_.ServiceActivated)
      Context_.ServiceActivated(url, digest);
    return;
  }
  cbService_->setChecked(false);
  QMessageBox::warning(this, windowTitle(), QString::fromStdString(message));
}

void TfmPreferences::edServiceChange() {
  // A changed address or password has to be tested again.
  if (cbService_->isChecked()) {
    cbService_->setChecked(false);
    cbServiceClick(false);
  }
}

void TfmPreferences::UpdateActionsEvent() {
  edAutoSave_->setEnabled(rbAutoSave_->isChecked());

  const bool auth = cbMailServerAuth_->isChecked();
  for (QWidget* widget : std::initializer_list<QWidget*>{lbMailAccount_, lbMailPassword_,
                                                         edMailAccount_, edMailPassword_})
    widget->setEnabled(auth);

  // The groups hold the tabstops of the name view, which the table view hides.
  const bool names = !cbTableView_->isChecked();
  gbItemTabstops_->setEnabled(names);
  lbItemTabstop_->setEnabled(!cbItemAutosize_->isChecked());
  edItemTabstop_->setEnabled(!cbItemAutosize_->isChecked());
  gbPropertyTabstops_->setEnabled(names);
  lbValueTabstop_->setEnabled(!cbValueAutosize_->isChecked());
  edValueTabstop_->setEnabled(!cbValueAutosize_->isChecked());

  const QListWidgetItem* item = lbFields_->currentItem();
  const int row = item && item->isSelected() ? lbFields_->currentRow() : -1;
  const bool selected = row >= 0;
  btFiledUp_->setEnabled(selected && row > 0);
  btFieldDown_->setEnabled(selected && row < lbFields_->count() - 1);
  btFieldShow_->setEnabled(selected && item->checkState() != Qt::Checked);
  btFieldHide_->setEnabled(selected && item->checkState() == Qt::Checked);

  // The answer of a service test under way decides the box; until then
  // neither it nor what it tests may change, nor may the dialog close on OK.
  const bool testing = ServiceTesting();
  for (QWidget* widget : std::initializer_list<QWidget*>{cbService_, edServiceUrl_,
                                                         edServicePassword_, btDefault_, btOk_})
    widget->setEnabled(!testing);
}

bool EditPreferences(TPreferences& preferences, const TPreferencesContext& context,
                     QWidget* parent) {
  TfmPreferences dialog(context, parent);
  dialog.Load(preferences);
  if (dialog.exec() != QDialog::Accepted)
    return false;
  dialog.Save(preferences);
  dialog.SaveView(context.View);
  return true;
}

}  // namespace vantrel
