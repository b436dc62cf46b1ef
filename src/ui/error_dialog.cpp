#include "ui/error_dialog.h"

#include <QDesktopServices>
#include <QFont>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>
#include <QWidget>

#include "ui/icons.h"
#include "ui/qt_desktop.h"

namespace vantrel {

namespace {

// The desktop program's file name, which the texts name.
constexpr char kProgramFileName[] = "vantrel";
constexpr int kWidth = 460;

QLabel* WrappedLabel(const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setWordWrap(true);
  return label;
}

}  // namespace

TfmError::TfmError(const std::string& message, QWidget* parent)
    : QDialog(parent), Message_(QString::fromStdString(message)) {
  InitIconResources();
  const QString program = kProgramFileName;
  setWindowTitle(program);
  setWindowIcon(QIcon(":/icons/vantrel.svg"));

  // A white band with the program's icon and the headline.
  auto* header = new QWidget(this);
  header->setAutoFillBackground(true);
  QPalette white = header->palette();
  white.setColor(QPalette::Window, Qt::white);
  white.setColor(QPalette::WindowText, Qt::black);
  header->setPalette(white);
  auto* icon = new QLabel(header);
  icon->setPixmap(QIcon(":/icons/vantrel.svg").pixmap(32, 32));
  icon->setAlignment(Qt::AlignTop);
  auto* headline = WrappedLabel(
      program + " has encountered a problem. We are sorry for the inconvenience.", header);
  QFont bold = headline->font();
  bold.setBold(true);
  headline->setFont(bold);
  auto* headerLayout = new QHBoxLayout(header);
  headerLayout->setContentsMargins(12, 10, 12, 10);
  headerLayout->setSpacing(10);
  headerLayout->addWidget(icon);
  headerLayout->addWidget(headline, 1);

  auto* lost = WrappedLabel(
      "If you were in the middle of something, the information you were working on might be "
      "lost.",
      this);
  auto* askUs = WrappedLabel("Please tell us about this problem.", this);
  askUs->setFont(bold);
  auto* report = WrappedLabel(
      "We have created an error report that you can send to us. We will treat this report as "
      "confidential and anonymous.",
      this);

  btShowError_ = new QPushButton("Show Error Message", this);
  btSend_ = new QPushButton("Send Error Report", this);
  btDontSend_ = new QPushButton("Don't Send", this);
  btSend_->setDefault(true);
  connect(btShowError_, &QPushButton::clicked, this, &TfmError::ToggleMessage);
  connect(btSend_, &QPushButton::clicked, this, &TfmError::SendReport);
  connect(btDontSend_, &QPushButton::clicked, this, &QDialog::reject);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(btShowError_);
  buttons->addStretch(1);
  buttons->addWidget(btSend_);
  buttons->addWidget(btDontSend_);

  meErrorMessage_ = new QPlainTextEdit(this);
  meErrorMessage_->setObjectName("meErrorMessage");
  meErrorMessage_->setReadOnly(true);
  meErrorMessage_->hide();

  auto* body = new QVBoxLayout;
  body->setContentsMargins(12, 8, 12, 10);
  body->setSpacing(6);
  body->addWidget(lost);
  body->addWidget(askUs);
  body->addWidget(report);
  body->addStretch(1);
  body->addLayout(buttons);
  // Shown, the text box takes the height the dialog grows by.
  body->addWidget(meErrorMessage_, 100);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(header);
  layout->addLayout(body, 1);

  setFixedSize(kWidth, kHeightHidden);
}

void TfmError::ToggleMessage() {
  if (meErrorMessage_->isHidden()) {
    meErrorMessage_->setPlainText(Message_);
    meErrorMessage_->show();
    btShowError_->setText("Hide Error Message");
    setFixedHeight(kHeightShown);
  } else {
    meErrorMessage_->clear();
    meErrorMessage_->hide();
    btShowError_->setText("Show Error Message");
    setFixedHeight(kHeightHidden);
  }
}

void TfmError::SendReport() {
  const QString program = kProgramFileName;
  // A mailto: address carries no display name, so the report goes to the
  // bare address.
  const TMailDraft draft{kSupportAddress, (program + " has encountered a problem!").toStdString(),
                         "ERROR:\r\n\r\n" + Message_.toStdString()};
  QDesktopServices::openUrl(QUrl::fromEncoded(QByteArray::fromStdString(MailToUrl(draft))));
  accept();
}

void ShowErrorDialog(const std::string& message, QWidget* parent) {
  TfmError dialog(message, parent);
  dialog.exec();
}

}  // namespace vantrel
