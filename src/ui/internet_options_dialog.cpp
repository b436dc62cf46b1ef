#include "ui/internet_options_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QStringList>
#include <QVBoxLayout>
#include <algorithm>
#include <iterator>
#include <string>

#include "net/connection_test.h"
#include "ui/server_dialog.h"
#include "ui/widget_names.h"

namespace vantrel {

namespace {

// What the proxy fields take when typed; the options hold up to the longer limit.
constexpr int kTypedTextLength = 64;
constexpr int kStoredTextLength = 255;
constexpr int kIndent = 20;
constexpr int kExceptionLines = 3;

QLabel* MakeLabel(const char* caption, const char* name, QWidget* buddy, QWidget* parent) {
  auto* label = Named(new QLabel(caption, parent), name);
  label->setBuddy(buddy);
  return label;
}

// The exception list is one line of entries: line breaks, however they come
// in, become separators, and blank entries they would leave are dropped.
QString OneLineList(const QString& text) {
  static const QRegularExpression kLineBreaks(QStringLiteral("[\\r\\n\\x{2028}\\x{2029}]+"));
  if (!text.contains(kLineBreaks))
    return text;
  QStringList entries;
  for (const QString& part : text.split(kLineBreaks)) {
    if (!part.trimmed().isEmpty())
      entries << part.trimmed();
  }
  return entries.join(';');
}

// The exception memo: wraps a long list over its lines, but Enter never adds a
// line (nor reaches the dialog's OK), and pasted lines join into the list.
class TExceptionMemo : public QPlainTextEdit {
 public:
  using QPlainTextEdit::QPlainTextEdit;

 protected:
  void keyPressEvent(QKeyEvent* event) override {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
      event->accept();
      return;
    }
    QPlainTextEdit::keyPressEvent(event);
  }

  void insertFromMimeData(const QMimeData* source) override {
    if (source->hasText())
      insertPlainText(OneLineList(source->text()));
  }
};

// Shows `text`; a text longer than may be typed (kept by an older version or
// set outside the dialog) raises the limit for this field so OK keeps it whole.
void ShowText(QLineEdit* edit, const std::string& text) {
  const QString value = QString::fromStdString(text).left(kStoredTextLength);
  edit->setMaxLength(std::max<int>(kTypedTextLength, value.size()));
  edit->setText(value);
}

std::string TakeText(const QLineEdit* edit) {
  return edit->text().trimmed().left(kStoredTextLength).toStdString();
}

}  // namespace

TfmInternetOptions::TfmInternetOptions(QWidget* parent) : QDialog(parent) {
  setObjectName("fmInternetOptions");
  setWindowTitle("Internet Options");

  auto* panel = new QFrame(this);
  panel->setFrameShape(QFrame::StyledPanel);

  cbProxy_ =
      Named(new QCheckBox("&Use a proxy server for connecting to Internet", panel), "cbProxy");
  edProxyAddress_ = Named(new QLineEdit(panel), "edProxyAddress");
  edProxyAddress_->setMinimumWidth(edProxyAddress_->fontMetrics().averageCharWidth() * 30);
  laProxyAddress_ = MakeLabel("&Address:", "laProxyAddress", edProxyAddress_, panel);
  edProxyPort_ = Named(new QSpinBox(panel), "edProxyPort");
  edProxyPort_->setRange(0, 65535);
  laProxyPort_ = MakeLabel("&Port:", "laProxyPort", edProxyPort_, panel);
  edProxyUsername_ = Named(new QLineEdit(panel), "edProxyUsername");
  laProxyUsername_ = MakeLabel("U&sername:", "laProxyUsername", edProxyUsername_, panel);
  edProxyPassword_ = Named(new QLineEdit(panel), "edProxyPassword");
  edProxyPassword_->setEchoMode(QLineEdit::Password);
  laProxyPassword_ = MakeLabel("Pass&word:", "laProxyPassword", edProxyPassword_, panel);
  for (QLineEdit* edit : {edProxyAddress_, edProxyUsername_, edProxyPassword_})
    edit->setMaxLength(kTypedTextLength);
  edProxyExceptions_ = Named(new TExceptionMemo(panel), "edProxyExceptions");
  edProxyExceptions_->setTabChangesFocus(true);
  edProxyExceptions_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  edProxyExceptions_->setFixedHeight(
      edProxyExceptions_->fontMetrics().lineSpacing() * kExceptionLines +
      2 * edProxyExceptions_->frameWidth() +
      2 * static_cast<int>(edProxyExceptions_->document()->documentMargin()));
  laProxyExceptions_ =
      MakeLabel("Do &not use proxy server for addresses beginning with:", "laProxyExceptions",
                edProxyExceptions_, panel);
  laProxySeparator_ =
      Named(new QLabel("Use semicolons (;) to separate entries.", panel), "laProxySeparator");

  cbServer_ = Named(new QCheckBox("&Test the servers for checking Internet connection ", panel),
                    "cbServer");
  lbServerNames_ = Named(new QListWidget(panel), "lbServerNames");
  lbServerNames_->setAccessibleName("Test servers");
  lbServerNames_->setSelectionMode(QAbstractItemView::SingleSelection);
  lbServerNames_->setFixedHeight(lbServerNames_->fontMetrics().lineSpacing() * 5 +
                                 2 * lbServerNames_->frameWidth());
  btServerAdd_ = Named(new QPushButton("A&dd", panel), "btServerAdd");
  btServerDelete_ = Named(new QPushButton("De&lete", panel), "btServerDelete");
  btServerEdit_ = Named(new QPushButton("&Edit", panel), "btServerEdit");
  cbServerMethod_ = Named(new QComboBox(panel), "cbServerMethod");
  cbServerMethod_->addItems({"by ping", "by download"});
  laServerMethod_ = MakeLabel("Testing &method:", "laServerMethod", cbServerMethod_, panel);

  // The proxy fields sit under their check box, indented.
  auto* proxyGrid = new QGridLayout;
  proxyGrid->setContentsMargins(kIndent, 0, 0, 0);
  proxyGrid->addWidget(laProxyAddress_, 0, 0);
  proxyGrid->addWidget(edProxyAddress_, 0, 1);
  proxyGrid->addWidget(laProxyPort_, 0, 2);
  proxyGrid->addWidget(edProxyPort_, 0, 3);
  proxyGrid->addWidget(laProxyUsername_, 1, 0);
  proxyGrid->addWidget(edProxyUsername_, 1, 1);
  proxyGrid->addWidget(laProxyPassword_, 1, 2);
  proxyGrid->addWidget(edProxyPassword_, 1, 3);
  proxyGrid->addWidget(laProxyExceptions_, 2, 0, 1, 4);
  proxyGrid->addWidget(edProxyExceptions_, 3, 0, 1, 4);
  proxyGrid->addWidget(laProxySeparator_, 4, 0, 1, 4);
  proxyGrid->setColumnStretch(1, 1);

  auto* serverButtons = new QVBoxLayout;
  serverButtons->addWidget(btServerAdd_);
  serverButtons->addWidget(btServerDelete_);
  serverButtons->addWidget(btServerEdit_);
  serverButtons->addStretch();
  auto* methodRow = new QHBoxLayout;
  methodRow->addWidget(laServerMethod_);
  methodRow->addWidget(cbServerMethod_);
  methodRow->addStretch();
  auto* serverGrid = new QGridLayout;
  serverGrid->setContentsMargins(kIndent, 0, 0, 0);
  serverGrid->addWidget(lbServerNames_, 0, 0);
  serverGrid->addLayout(serverButtons, 0, 1);
  serverGrid->addLayout(methodRow, 1, 0, 1, 2);
  serverGrid->setColumnStretch(0, 1);

  auto* rule = new QFrame(panel);
  rule->setFrameShape(QFrame::HLine);
  rule->setFrameShadow(QFrame::Sunken);

  auto* panelLayout = new QVBoxLayout(panel);
  panelLayout->addWidget(cbProxy_);
  panelLayout->addLayout(proxyGrid);
  panelLayout->addWidget(rule);
  panelLayout->addWidget(cbServer_);
  panelLayout->addLayout(serverGrid);

  btOk_ = Named(new QPushButton("OK", this), "btOk");
  btOk_->setDefault(true);
  btCancel_ = Named(new QPushButton("Cancel", this), "btCancel");
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(btOk_);
  buttons->addWidget(btCancel_);

  auto* page = new QVBoxLayout(this);
  page->addWidget(panel);
  page->addLayout(buttons);
  page->setSizeConstraint(QLayout::SetFixedSize);

  QWidget* order[] = {
      cbProxy_,           edProxyAddress_, edProxyPort_,   edProxyUsername_, edProxyPassword_,
      edProxyExceptions_, cbServer_,       lbServerNames_, btServerAdd_,     btServerDelete_,
      btServerEdit_,      cbServerMethod_, btOk_,          btCancel_};
  for (std::size_t i = 1; i < std::size(order); ++i)
    setTabOrder(order[i - 1], order[i]);

  connect(btOk_, &QPushButton::clicked, this, &TfmInternetOptions::accept);
  connect(btCancel_, &QPushButton::clicked, this, &TfmInternetOptions::reject);
  connect(cbProxy_, &QCheckBox::toggled, this, &TfmInternetOptions::UpdateEnabling);
  connect(cbServer_, &QCheckBox::toggled, this, &TfmInternetOptions::UpdateEnabling);
  connect(lbServerNames_, &QListWidget::itemSelectionChanged, this,
          &TfmInternetOptions::UpdateEnabling);
  connect(btServerAdd_, &QPushButton::clicked, this, &TfmInternetOptions::AddServer);
  connect(btServerEdit_, &QPushButton::clicked, this, &TfmInternetOptions::EditServer);
  connect(btServerDelete_, &QPushButton::clicked, this, &TfmInternetOptions::DeleteServer);

  Load(TInternetOptions{});
}

void TfmInternetOptions::Load(const TInternetOptions& options) {
  cbProxy_->setChecked(options.ActiveStatus);
  ShowText(edProxyAddress_, options.Address);
  edProxyPort_->setValue(options.Port);
  ShowText(edProxyUsername_, options.Username);
  ShowText(edProxyPassword_, options.Password);
  edProxyExceptions_->setPlainText(QString::fromStdString(options.Exceptions));
  cbServer_->setChecked(options.PingStatus);
  lbServerNames_->clear();
  // Read as the connection test reads them, so the list shows what it tries.
  for (const std::string& server : SplitServerList(options.Servers)) {
    if (!server.empty())
      lbServerNames_->addItem(QString::fromStdString(server));
  }
  const bool offered = options.Method >= 0 && options.Method < cbServerMethod_->count();
  cbServerMethod_->setCurrentIndex(offered ? options.Method : -1);
  UpdateEnabling();
}

void TfmInternetOptions::Save(TInternetOptions& options) const {
  options.ActiveStatus = cbProxy_->isChecked();
  options.Address = TakeText(edProxyAddress_);
  options.Port = edProxyPort_->value();
  options.Username = TakeText(edProxyUsername_);
  options.Password = TakeText(edProxyPassword_);
  options.Exceptions = OneLineList(edProxyExceptions_->toPlainText()).trimmed().toStdString();
  options.PingStatus = cbServer_->isChecked();
  QStringList servers;
  for (int row = 0; row < lbServerNames_->count(); ++row)
    servers << lbServerNames_->item(row)->text();
  options.Servers = servers.join(';').toStdString();
  if (cbServerMethod_->currentIndex() >= 0)
    options.Method = cbServerMethod_->currentIndex();
}

void TfmInternetOptions::showEvent(QShowEvent* event) {
  UpdateEnabling();
  QDialog::showEvent(event);
}

void TfmInternetOptions::UpdateEnabling() {
  const bool proxy = cbProxy_->isChecked();
  for (QWidget* widget : std::initializer_list<QWidget*>{
           laProxyAddress_, edProxyAddress_, laProxyPort_, edProxyPort_, laProxyUsername_,
           edProxyUsername_, laProxyPassword_, edProxyPassword_, laProxyExceptions_,
           edProxyExceptions_, laProxySeparator_})
    widget->setEnabled(proxy);
  const bool servers = cbServer_->isChecked();
  for (QWidget* widget : std::initializer_list<QWidget*>{lbServerNames_, btServerAdd_,
                                                         laServerMethod_, cbServerMethod_})
    widget->setEnabled(servers);
  const bool selected = servers && !lbServerNames_->selectedItems().isEmpty();
  btServerDelete_->setEnabled(selected);
  btServerEdit_->setEnabled(selected);
}

void TfmInternetOptions::AddServer() {
  const QString name = EditServerName(QString(), this);
  if (!name.isEmpty()) {
    lbServerNames_->addItem(name);
    lbServerNames_->setCurrentRow(lbServerNames_->count() - 1);
  }
  UpdateEnabling();
}

void TfmInternetOptions::EditServer() {
  QListWidgetItem* entry = lbServerNames_->currentItem();
  if (entry == nullptr || !entry->isSelected())
    return;
  const QString name = EditServerName(entry->text(), this);
  if (!name.isEmpty())
    entry->setText(name);
  UpdateEnabling();
}

void TfmInternetOptions::DeleteServer() {
  QListWidgetItem* entry = lbServerNames_->currentItem();
  if (entry == nullptr || !entry->isSelected())
    return;
  delete lbServerNames_->takeItem(lbServerNames_->row(entry));
  UpdateEnabling();
}

bool EditInternetOptions(TInternetOptions& options, QWidget* parent) {
  TfmInternetOptions dialog(parent);
  dialog.Load(options);
  if (dialog.exec() != QDialog::Accepted)
    return false;
  dialog.Save(options);
  return true;
}

}  // namespace vantrel
