#pragma once

#include <QDialog>

class QLabel;

namespace vantrel {

// The program's icon, name and version.
class TfmAbout : public QDialog {
  Q_OBJECT

 public:
  explicit TfmAbout(QWidget* parent = nullptr);

  QLabel* NameLine() const { return NameLine_; }

 private:
  QLabel* NameLine_;
};

// Shows the about box and returns when the user closes it.
void ShowAbout(QWidget* parent);

}  // namespace vantrel
