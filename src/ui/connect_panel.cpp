#include "ui/connect_panel.h"

#include <QFontMetrics>
#include <QPainter>

namespace vantrel {

namespace {

// The text stands this far right of the panel's left edge and one pixel
// below its top.
constexpr int kTextLeft = 8;
constexpr int kTextTop = 1;

}  // namespace

TConnectPanel::TConnectPanel(QWidget* parent) : QWidget(parent) {
  SetState(TConnectState::Disconnected);
}

void TConnectPanel::SetState(TConnectState state) {
  Text_ = QString::fromStdString(ConnectStateText(state));
  const TRgbColor color = ConnectStateColor(state);
  Color_ = QColor(color.Red, color.Green, color.Blue);
  update();
}

QSize TConnectPanel::sizeHint() const {
  // Wide enough for the longest state's text, whatever the font.
  const QFontMetrics metrics(font());
  const int text = metrics.horizontalAdvance(QStringLiteral("Disconnected"));
  return {std::max(100, text + 2 * kTextLeft), metrics.height() + 2 * kTextTop};
}

void TConnectPanel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setPen(Color_);
  const QFontMetrics metrics(font());
  painter.drawText(kTextLeft, kTextTop + metrics.ascent(), Text_);
}

}  // namespace vantrel
