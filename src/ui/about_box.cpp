#include "ui/about_box.h"

#include <QDialogButtonBox>
#include <QFont>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QVBoxLayout>

#include "platform/version_info.h"
#include "ui/icons.h"

namespace vantrel {

TfmAbout::TfmAbout(QWidget* parent) : QDialog(parent) {
  InitIconResources();
  const QString title = kProgramTitle;
  setWindowTitle("About " + title);
  const QIcon programIcon(":/icons/vantrel.svg");
  setWindowIcon(programIcon);

  auto* icon = new QLabel(this);
  icon->setPixmap(programIcon.pixmap(48, 48));
  NameLine_ = new QLabel(title + " v" + QString(kFileVersion), this);
  QFont bold = NameLine_->font();
  bold.setBold(true);
  NameLine_->setFont(bold);
  NameLine_->setTextInteractionFlags(Qt::TextSelectableByMouse);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

  auto* line = new QHBoxLayout;
  line->setSpacing(14);
  line->addWidget(icon);
  line->addWidget(NameLine_, 1);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(16, 16, 16, 12);
  layout->setSpacing(14);
  layout->addLayout(line);
  layout->addWidget(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

void ShowAbout(QWidget* parent) {
  TfmAbout dialog(parent);
  dialog.exec();
}

}  // namespace vantrel
