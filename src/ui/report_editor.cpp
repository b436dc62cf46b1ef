#include "ui/report_editor.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStringList>
#include <QVBoxLayout>
#include <iterator>

#include "ui/widget_names.h"

namespace vantrel {

namespace {

// How far the sections sit in from their report type's button.
constexpr int kSectionIndent = 20;

QComboBox* MakeList(QWidget* parent, const char* name, const QStringList& entries) {
  auto* list = new QComboBox(parent);
  list->setObjectName(name);
  list->addItems(entries);
  return list;
}

// A byte field shown as the index of its list; a value past the list's end
// shows no choice rather than a wrong one.
template <typename TEnum>
void ShowIndex(QComboBox* list, TEnum value) {
  const int index = static_cast<int>(value);
  list->setCurrentIndex(index < list->count() ? index : -1);
}

template <typename TEnum>
void TakeIndex(const QComboBox* list, TEnum& value) {
  if (list->currentIndex() >= 0)
    value = static_cast<TEnum>(list->currentIndex());
}

QLayout* Indented(QWidget* widget) {
  auto* row = new QHBoxLayout;
  row->addSpacing(kSectionIndent);
  row->addWidget(widget);
  return row;
}

}  // namespace

TfmReportEditor::TfmReportEditor(QWidget* parent) : QDialog(parent) {
  setObjectName("fmReportEditor");
  setWindowTitle("Report Properties");

  auto* settings = new QGroupBox("Report Settings ", this);
  edName_ = Named(new QLineEdit(settings), "edName");
  edName_->setMinimumWidth(edName_->fontMetrics().averageCharWidth() * 36);
  sbFormat_ = MakeList(settings, "sbFormat", {"HTML", "XML", "CSV"});
  sbPeriod_ =
      MakeList(settings, "sbPeriod", {"Last Day", "Last Week", "Last Month", "Last Year", "All"});
  rbDetailReport_ = Named(new QRadioButton("&Detail Report", settings), "rbDetailReport");
  cbDetailGraphics_ = Named(new QCheckBox("&Graphics Report", settings), "cbDetailGraphics");
  sbDetailGraphics_ =
      MakeList(settings, "sbDetailGraphics", {"Show by Hours", "Show by Days", "Show by Monts"});
  cbDetailResponse_ = Named(new QCheckBox("R&esponse Report", settings), "cbDetailResponse");
  sbDetailResponse_ =
      MakeList(settings, "sbDetailResponse",
               {"Show Successful Responses", "Show Failured Responses", "Show Both Responses"});
  cbDetailStatus_ = Named(new QCheckBox("S&tatus Report", settings), "cbDetailStatus");
  sbDetailStatus_ =
      MakeList(settings, "sbDetailStatus",
               {"Show Online Statuses", "Show Downline Statuses", "Show Both Statuses"});
  rbSummaryReport_ = Named(new QRadioButton("&Summary Report", settings), "rbSummaryReport");
  cbSummaryGraphics_ = Named(new QCheckBox("Gr&aphics Report", settings), "cbSummaryGraphics");

  auto* nameLabel = new QLabel("Report &Name:", settings);
  nameLabel->setBuddy(edName_);
  auto* formatLabel = new QLabel("Report &Format:", settings);
  formatLabel->setBuddy(sbFormat_);
  auto* periodLabel = new QLabel("Report &Period:", settings);
  periodLabel->setBuddy(sbPeriod_);
  auto* typeLabel = new QLabel("Report Type:", settings);

  auto* grid = new QGridLayout(settings);
  grid->addWidget(nameLabel, 0, 0);
  grid->addWidget(edName_, 0, 1, 1, 2);
  grid->addWidget(formatLabel, 1, 0);
  grid->addWidget(sbFormat_, 1, 1, 1, 2);
  grid->addWidget(periodLabel, 2, 0);
  grid->addWidget(sbPeriod_, 2, 1, 1, 2);
  grid->addWidget(typeLabel, 3, 0);
  grid->addWidget(rbDetailReport_, 3, 1, 1, 2);
  grid->addLayout(Indented(cbDetailGraphics_), 4, 1);
  grid->addWidget(sbDetailGraphics_, 4, 2);
  grid->addLayout(Indented(cbDetailResponse_), 5, 1);
  grid->addWidget(sbDetailResponse_, 5, 2);
  grid->addLayout(Indented(cbDetailStatus_), 6, 1);
  grid->addWidget(sbDetailStatus_, 6, 2);
  grid->addWidget(rbSummaryReport_, 7, 1, 1, 2);
  grid->addLayout(Indented(cbSummaryGraphics_), 8, 1);

  btOk_ = Named(new QPushButton("OK", this), "btOk");
  btOk_->setDefault(true);
  btCancel_ = Named(new QPushButton("Cancel", this), "btCancel");
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(btOk_);
  buttons->addWidget(btCancel_);

  auto* page = new QVBoxLayout(this);
  page->addWidget(settings);
  page->addLayout(buttons);
  // The size the layout asks for, and no other: a fixed dialog border.
  page->setSizeConstraint(QLayout::SetFixedSize);

  QWidget* order[] = {edName_,
                      sbFormat_,
                      sbPeriod_,
                      rbDetailReport_,
                      cbDetailGraphics_,
                      sbDetailGraphics_,
                      cbDetailResponse_,
                      sbDetailResponse_,
                      cbDetailStatus_,
                      sbDetailStatus_,
                      rbSummaryReport_,
                      cbSummaryGraphics_,
                      btOk_,
                      btCancel_};
  for (std::size_t i = 1; i < std::size(order); ++i)
    setTabOrder(order[i - 1], order[i]);

  connect(btOk_, &QPushButton::clicked, this, &TfmReportEditor::accept);
  connect(btCancel_, &QPushButton::clicked, this, &TfmReportEditor::reject);
  connect(edName_, &QLineEdit::textChanged, this, &TfmReportEditor::UpdateEnabling);
  connect(sbFormat_, &QComboBox::currentIndexChanged, this, &TfmReportEditor::UpdateEnabling);
  for (QAbstractButton* button : {static_cast<QAbstractButton*>(rbDetailReport_),
                                  static_cast<QAbstractButton*>(rbSummaryReport_),
                                  static_cast<QAbstractButton*>(cbDetailGraphics_),
                                  static_cast<QAbstractButton*>(cbDetailResponse_),
                                  static_cast<QAbstractButton*>(cbDetailStatus_)})
    connect(button, &QAbstractButton::toggled, this, &TfmReportEditor::UpdateEnabling);

  Load(TReportItem{});
}

void TfmReportEditor::Load(const TReportItem& report) {
  edName_->setText(QString::fromStdString(report.Name));
  ShowIndex(sbFormat_, report.Format);
  ShowIndex(sbPeriod_, report.Period);
  if (report.ReportType == TReportType::Detail)
    rbDetailReport_->setChecked(true);
  else
    rbSummaryReport_->setChecked(true);
  cbDetailGraphics_->setChecked(report.DetailGraphics);
  ShowIndex(sbDetailGraphics_, report.GraphicsGrouping);
  cbDetailResponse_->setChecked(report.DetailResponse);
  ShowIndex(sbDetailResponse_, report.ResponseFilter);
  cbDetailStatus_->setChecked(report.DetailStatus);
  ShowIndex(sbDetailStatus_, report.StatusFilter);
  cbSummaryGraphics_->setChecked(report.SummaryGraphics);
  UpdateEnabling();
}

void TfmReportEditor::Save(TReportItem& report) const {
  report.Name = edName_->text().trimmed().toStdString();
  TakeIndex(sbFormat_, report.Format);
  TakeIndex(sbPeriod_, report.Period);
  report.ReportType = rbDetailReport_->isChecked() ? TReportType::Detail : TReportType::Summary;
  report.DetailGraphics = cbDetailGraphics_->isChecked();
  TakeIndex(sbDetailGraphics_, report.GraphicsGrouping);
  report.DetailResponse = cbDetailResponse_->isChecked();
  TakeIndex(sbDetailResponse_, report.ResponseFilter);
  report.DetailStatus = cbDetailStatus_->isChecked();
  TakeIndex(sbDetailStatus_, report.StatusFilter);
  report.SummaryGraphics = cbSummaryGraphics_->isChecked();
}

void TfmReportEditor::accept() {
  if (btOk_->isEnabled())
    QDialog::accept();
}

void TfmReportEditor::UpdateEnabling() {
  btOk_->setEnabled(!edName_->text().trimmed().isEmpty());
  // Graphics exist in HTML documents only.
  const bool html = sbFormat_->currentIndex() == static_cast<int>(TReportFormat::Html);
  const bool detail = rbDetailReport_->isChecked();
  cbDetailGraphics_->setEnabled(detail && html);
  sbDetailGraphics_->setEnabled(cbDetailGraphics_->isEnabled() && cbDetailGraphics_->isChecked());
  cbDetailResponse_->setEnabled(detail);
  sbDetailResponse_->setEnabled(detail && cbDetailResponse_->isChecked());
  cbDetailStatus_->setEnabled(detail);
  sbDetailStatus_->setEnabled(detail && cbDetailStatus_->isChecked());
  cbSummaryGraphics_->setEnabled(!detail && html);
}

bool EditReport(TReportItem& report, QWidget* parent) {
  TfmReportEditor editor(parent);
  editor.Load(report);
  if (editor.exec() != QDialog::Accepted)
    return false;
  editor.Save(report);
  return true;
}

}  // namespace vantrel
