#pragma once

#include <QDialog>

#include "reports/report_item.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace vantrel {

// Edits one report definition. Sections a report of the chosen type and
// format cannot show are switched off, but keep their values, which are saved
// with the rest: switching back brings them again.
class TfmReportEditor : public QDialog {
  Q_OBJECT

 public:
  explicit TfmReportEditor(QWidget* parent = nullptr);

  // The controls from `report`. A byte field with a value no list offers
  // leaves its list without a choice.
  void Load(const TReportItem& report);
  // The controls into `report`, the name trimmed. A list without a choice
  // leaves its field as it is.
  void Save(TReportItem& report) const;

  QLineEdit* edName() const { return edName_; }
  QComboBox* sbFormat() const { return sbFormat_; }
  QComboBox* sbPeriod() const { return sbPeriod_; }
  QRadioButton* rbDetailReport() const { return rbDetailReport_; }
  QRadioButton* rbSummaryReport() const { return rbSummaryReport_; }
  QCheckBox* cbDetailGraphics() const { return cbDetailGraphics_; }
  QComboBox* sbDetailGraphics() const { return sbDetailGraphics_; }
  QCheckBox* cbDetailResponse() const { return cbDetailResponse_; }
  QComboBox* sbDetailResponse() const { return sbDetailResponse_; }
  QCheckBox* cbDetailStatus() const { return cbDetailStatus_; }
  QComboBox* sbDetailStatus() const { return sbDetailStatus_; }
  QCheckBox* cbSummaryGraphics() const { return cbSummaryGraphics_; }
  QPushButton* btOk() const { return btOk_; }
  QPushButton* btCancel() const { return btCancel_; }

  // Refused while the name is blank, whatever asked for it.
  void accept() override;

 private:
  void UpdateEnabling();

  QLineEdit* edName_;
  QComboBox* sbFormat_;
  QComboBox* sbPeriod_;
  QRadioButton* rbDetailReport_;
  QRadioButton* rbSummaryReport_;
  QCheckBox* cbDetailGraphics_;
  QComboBox* sbDetailGraphics_;
  QCheckBox* cbDetailResponse_;
  QComboBox* sbDetailResponse_;
  QCheckBox* cbDetailStatus_;
  QComboBox* sbDetailStatus_;
  QCheckBox* cbSummaryGraphics_;
  QPushButton* btOk_;
  QPushButton* btCancel_;
};

// Edits `report` in a modal editor; true (and the definition written back)
// on OK.
bool EditReport(TReportItem& report, QWidget* parent);

}  // namespace vantrel
