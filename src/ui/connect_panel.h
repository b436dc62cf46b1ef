#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

#include "app/connect_state.h"

namespace vantrel {

// The status bar's second panel: the connection state's text in its colour,
// drawn by us so the colour holds whatever the style does with labels.
class TConnectPanel final : public QWidget {
  Q_OBJECT

 public:
  explicit TConnectPanel(QWidget* parent = nullptr);

  void SetState(TConnectState state);
  QString Text() const { return Text_; }
  QColor Color() const { return Color_; }
  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString Text_;
  QColor Color_;
};

}  // namespace vantrel
