#include "ui/server_dialog.h"

#include <QApplication>
#include <QCursor>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMetaObject>
#include <QPushButton>
#include <QVBoxLayout>
#include <string>

#include "core/check_network.h"
#include "net/connection_test.h"
#include "platform/version_info.h"
#include "ui/widget_names.h"

namespace vantrel {

namespace {

constexpr const char* kInvalidNameMessage = "Please enter correct Domain Name or IP.";
constexpr const char* kTestPassedMessage = "Test finished successfully.";
constexpr const char* kTestFailedMessage =
    "Test failed.\nThe Domain Name or IP is not pingable now.";

}  // namespace

bool IsValidServerName(const QString& name) {
  if (name.isEmpty())
    return false;
  for (const QChar c : name) {
    const char16_t u = c.unicode();
    const bool letter = (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z');
    if (!letter && !(u >= '0' && u <= '9') && u != '-' && u != '.' && u != '_')
      return false;
  }
  return true;
}

TfmServerInfo::TfmServerInfo(QWidget* parent) : QDialog(parent) {
  setObjectName("fmServerInfo");
  setWindowTitle("Server Information");

  laServeNamer_ = Named(new QLabel("&Domain Name / Server IP:", this), "laServeNamer");
  edServerName_ = Named(new QLineEdit(this), "edServerName");
  edServerName_->setMinimumWidth(edServerName_->fontMetrics().averageCharWidth() * 40);
  laServeNamer_->setBuddy(edServerName_);
  btTest_ = Named(new QPushButton("&Test", this), "btTest");
  laNote_ = Named(new QLabel("Note: the host should be pingable or downloadable", this), "laNote");
  btOk_ = Named(new QPushButton("OK", this), "btOk");
  btOk_->setDefault(true);
  btCancel_ = Named(new QPushButton("Cancel", this), "btCancel");

  auto* nameRow = new QHBoxLayout;
  nameRow->addWidget(edServerName_, 1);
  nameRow->addWidget(btTest_);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(btOk_);
  buttons->addWidget(btCancel_);
  auto* page = new QVBoxLayout(this);
  page->addWidget(laServeNamer_);
  page->addLayout(nameRow);
  page->addWidget(laNote_);
  page->addSpacing(laNote_->fontMetrics().height() / 2);
  page->addLayout(buttons);
  page->setSizeConstraint(QLayout::SetFixedSize);

  setTabOrder(edServerName_, btTest_);
  setTabOrder(btTest_, btOk_);
  setTabOrder(btOk_, btCancel_);

  connect(edServerName_, &QLineEdit::textChanged, this, &TfmServerInfo::UpdateEnabling);
  connect(btTest_, &QPushButton::clicked, this, &TfmServerInfo::Test);
  connect(btOk_, &QPushButton::clicked, this, &TfmServerInfo::accept);
  connect(btCancel_, &QPushButton::clicked, this, &TfmServerInfo::reject);
  UpdateEnabling();
}

TfmServerInfo::~TfmServerInfo() {
  StopTest();
}

QString TfmServerInfo::ServerName() const {
  return edServerName_->text().trimmed();
}

void TfmServerInfo::SetServerName(const QString& name) {
  edServerName_->setText(name.trimmed());
}

void TfmServerInfo::accept() {
  if (!btOk_->isEnabled())
    return;
  if (!IsValidServerName(ServerName())) {
    QMessageBox::warning(this, QLatin1String(kProgramTitle), QLatin1String(kInvalidNameMessage));
    return;
  }
  QDialog::accept();
}

void TfmServerInfo::reject() {
  StopTest();
  QDialog::reject();
}

void TfmServerInfo::UpdateEnabling() {
  const bool idle = !Testing();
  edServerName_->setEnabled(idle);
  btTest_->setEnabled(idle);
  btOk_->setEnabled(idle && !ServerName().isEmpty());
}

void TfmServerInfo::Test() {
  if (Testing())
    return;
  const QString name = ServerName();
  if (!IsValidServerName(name)) {
    QMessageBox::warning(this, QLatin1String(kProgramTitle), QLatin1String(kInvalidNameMessage));
    return;
  }
  // A test is a ping whatever testing method the options choose: the note
  // asks for a host that answers both.
  Network_ = std::make_shared<TSocketCheckNetwork>();
  Worker_ = std::thread([this, network = Network_, host = name.toStdString()] {
    const bool replied =
        network->Ping(host, static_cast<std::int32_t>(kConnectionTestPingTimeout)).Replied;
    QMetaObject::invokeMethod(
        this, [this, replied] { TestFinished(replied); }, Qt::QueuedConnection);
  });
  QApplication::setOverrideCursor(Qt::BusyCursor);
  UpdateEnabling();
}

void TfmServerInfo::TestFinished(bool replied) {
  // A test stopped by Cancel has already been cleaned up and says nothing.
  if (!Testing())
    return;
  StopTest();
  if (replied)
    QMessageBox::information(this, QLatin1String(kProgramTitle), QLatin1String(kTestPassedMessage));
  else
    QMessageBox::warning(this, QLatin1String(kProgramTitle), QLatin1String(kTestFailedMessage));
  edServerName_->setFocus();
}

void TfmServerInfo::StopTest() {
  if (!Testing())
    return;
  Network_->Cancel();
  Worker_.join();
  Network_.reset();
  QApplication::restoreOverrideCursor();
  UpdateEnabling();
}

QString EditServerName(const QString& initial, QWidget* parent) {
  TfmServerInfo dialog(parent);
  dialog.SetServerName(initial);
  if (dialog.exec() != QDialog::Accepted)
    return {};
  return dialog.ServerName();
}

}  // namespace vantrel
