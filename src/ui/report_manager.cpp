#include "ui/report_manager.h"

#include <QHBoxLayout>
#include <QHideEvent>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <exception>
#include <iterator>
#include <utility>

#include "ui/report_editor.h"

namespace vantrel {

namespace {

const char* const kRemoveQuestion = "Are you sure you want to delete the report?";
const char* const kRemoveInUseQuestion =
    "The report is using for sending email when an alarm triggered.\n"
    "Sending email with the report will be disabled if you delete it.\n"
    "Are you sure you want to delete the report?";
const char* const kRebuildQuestion =
    "All current reports will be deleted.\n"
    "Are you sure you want to continue?";

}  // namespace

TfmReportManager::TfmReportManager(TReportList& reports, const TWatchList& watchList,
                                   TReportManagerHooks hooks, QWidget* parent)
    : QDialog(parent), Reports_(reports), WatchList_(watchList), Hooks_(std::move(hooks)) {
  setObjectName("fmReportManager");
  setWindowTitle("Report Manager");

  lbReports_ = new QListWidget(this);
  lbReports_->setObjectName("lbReports");
  lbReports_->setSelectionMode(QAbstractItemView::SingleSelection);
  // Room for the longest built-in name with its " (default)".
  lbReports_->setMinimumSize(lbReports_->fontMetrics().averageCharWidth() * 44,
                             lbReports_->fontMetrics().height() * 14);

  auto makeButton = [this](const char* name, const char* caption) {
    auto* button = new QPushButton(caption, this);
    button->setObjectName(name);
    // Enter in the list must not press whichever button comes first.
    button->setAutoDefault(false);
    return button;
  };
  btAdd_ = makeButton("btAdd", "&Add");
  btEdit_ = makeButton("btEdit", "&Edit");
  btRemove_ = makeButton("btRemove", "&Remove");
  btDefault_ = makeButton("btDefault", "Set as &Default");
  btRun_ = makeButton("btRun", "R&un");
  btRebuild_ = makeButton("btRebuild", "&Set Default Reports");
  btCancel_ = makeButton("btCancel", "&Close");

  auto* side = new QVBoxLayout;
  for (QPushButton* button : {btAdd_, btEdit_, btRemove_, btDefault_, btRun_})
    side->addWidget(button);
  side->addStretch();
  auto* top = new QHBoxLayout;
  top->addWidget(lbReports_, 1);
  top->addLayout(side);
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(btRebuild_);
  bottom->addStretch();
  bottom->addWidget(btCancel_);
  auto* page = new QVBoxLayout(this);
  page->addLayout(top);
  page->addLayout(bottom);
  // The size the layout asks for, and no other: a fixed dialog border.
  page->setSizeConstraint(QLayout::SetFixedSize);

  QWidget* order[] = {lbReports_, btAdd_, btEdit_,    btRemove_,
                      btDefault_, btRun_, btRebuild_, btCancel_};
  for (std::size_t i = 1; i < std::size(order); ++i)
    setTabOrder(order[i - 1], order[i]);

  connect(lbReports_, &QListWidget::itemSelectionChanged, this,
          &TfmReportManager::SelectionChanged);
  connect(lbReports_, &QListWidget::itemDoubleClicked, this, &TfmReportManager::Run);
  connect(btAdd_, &QPushButton::clicked, this, &TfmReportManager::Add);
  connect(btEdit_, &QPushButton::clicked, this, &TfmReportManager::Edit);
  connect(btRemove_, &QPushButton::clicked, this, &TfmReportManager::Remove);
  connect(btDefault_, &QPushButton::clicked, this, &TfmReportManager::SetAsDefault);
  connect(btRun_, &QPushButton::clicked, this, &TfmReportManager::Run);
  connect(btRebuild_, &QPushButton::clicked, this, &TfmReportManager::RebuildList);
  connect(btCancel_, &QPushButton::clicked, this, &TfmReportManager::reject);

  ShowList();
}

void TfmReportManager::showEvent(QShowEvent* event) {
  ShowList();
  QDialog::showEvent(event);
}

void TfmReportManager::hideEvent(QHideEvent* event) {
  // A minimised window is hidden by the system, not closed by the user.
  if (!event->spontaneous())
    SaveList();
  QDialog::hideEvent(event);
}

void TfmReportManager::ShowList() {
  {
    // Refilling would report passing selections back to the list.
    const QSignalBlocker blocker(lbReports_);
    lbReports_->clear();
    for (int index = 0; index < Reports_.Count(); ++index)
      lbReports_->addItem(QString::fromStdString(Reports_.EntryText(index)));
    const int selected = SelectedIndex();
    if (selected < 0)
      Reports_.SetSelected(-1);
    else
      lbReports_->setCurrentRow(selected);
  }
  UpdateEnabling();
}

void TfmReportManager::UpdateEnabling() {
  const bool selected = SelectedIndex() >= 0;
  const bool removable = selected && !SelectedIsDefault();
  btEdit_->setEnabled(selected);
  btRun_->setEnabled(selected);
  btRemove_->setEnabled(removable);
  btDefault_->setEnabled(removable);
}

void TfmReportManager::SelectionChanged() {
  const QList<QListWidgetItem*> items = lbReports_->selectedItems();
  Reports_.SetSelected(items.isEmpty() ? -1 : lbReports_->row(items.first()));
  UpdateEnabling();
}

int TfmReportManager::SelectedIndex() const {
  const int selected = Reports_.Selected();
  return selected >= 0 && selected < Reports_.Count() ? selected : -1;
}

bool TfmReportManager::SelectedIsDefault() const {
  const int selected = SelectedIndex();
  return selected >= 0 && &Reports_.Item(selected) == Reports_.Default();
}

bool TfmReportManager::Ask(const QString& question) {
  return QMessageBox::question(this, "Confirm", question, QMessageBox::Yes | QMessageBox::No,
                               QMessageBox::No) == QMessageBox::Yes;
}

void TfmReportManager::SaveList() {
  try {
    Reports_.SaveToFile();
  } catch (const std::exception& e) {
    if (Hooks_.Error)
      Hooks_.Error(e.what());
    else
      QMessageBox::critical(this, "Error", QString::fromStdString(e.what()));
  }
}

void TfmReportManager::Add() {
  TReportItem report;
  if (EditReport(report, this))
    Reports_.Add(report);
  ShowList();
}

void TfmReportManager::Edit() {
  const int selected = SelectedIndex();
  if (selected >= 0 && EditReport(Reports_.Item(selected), this))
    Reports_.Changed(selected);
  ShowList();
}

void TfmReportManager::Remove() {
  const int selected = SelectedIndex();
  // The default report stays, so the list is never empty.
  if (selected >= 0 && !SelectedIsDefault()) {
    const bool inUse = WatchList_.ReportInUse(Reports_.Item(selected).Id);
    if (Ask(inUse ? kRemoveInUseQuestion : kRemoveQuestion))
      Reports_.Delete(selected);
  }
  ShowList();
}

void TfmReportManager::SetAsDefault() {
  const int selected = SelectedIndex();
  if (selected >= 0)
    Reports_.SetDefault(selected);
  ShowList();
}

void TfmReportManager::Run() {
  const int selected = SelectedIndex();
  if (selected >= 0 && Hooks_.Run)
    Hooks_.Run(Reports_.Item(selected));
  UpdateEnabling();
}

void TfmReportManager::RebuildList() {
  if (Ask(kRebuildQuestion))
    Reports_.Rebuild();
  ShowList();
}

}  // namespace vantrel
