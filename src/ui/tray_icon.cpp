#include "ui/tray_icon.h"

#include <QEvent>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QWidget>
#include <algorithm>
#include <utility>

#include "ui/icons.h"

namespace vantrel {

TxxTrayIcon::TxxTrayIcon(QWidget* mainWindow, QObject* parent)
    : QObject(parent), MainWindow_(mainWindow), Tray_(new QSystemTrayIcon(this)) {
  InitIconResources();
  connect(Tray_, &QSystemTrayIcon::activated, this,
          [this](QSystemTrayIcon::ActivationReason reason) {
            if (reason == QSystemTrayIcon::Trigger)
              emit Click();
          });
  if (MainWindow_)
    MainWindow_->installEventFilter(this);
}

TxxTrayIcon::~TxxTrayIcon() {
  Tray_->hide();
}

void TxxTrayIcon::SetHint(const QString& hint) {
  QString tip = hint.left(kMaxHint);
  // Never leave half of a character that takes two UTF-16 units.
  if (tip.size() == kMaxHint && tip.back().isHighSurrogate())
    tip.chop(1);
  Tray_->setToolTip(tip);
}

QString TxxTrayIcon::ToolTip() const {
  return Tray_->toolTip();
}

void TxxTrayIcon::SetIconList(QList<QIcon> icons) {
  Icons_ = std::move(icons);
  SetIconIndex(IconIndex_);
}

void TxxTrayIcon::SetIconIndex(int index) {
  IconIndex_ = Icons_.isEmpty() ? 0 : std::clamp(index, 0, int(Icons_.size()) - 1);
  Tray_->setIcon(Icons_.isEmpty() ? QIcon() : Icons_[IconIndex_]);
}

void TxxTrayIcon::SetPopupMenu(QMenu* menu) {
  Tray_->setContextMenu(menu);
}

void TxxTrayIcon::SetIconVisible(bool visible) {
  IconVisible_ = visible;
  Tray_->setVisible(visible && TrayAvailable());
  // The icon that would bring a hidden window back is gone: show the window.
  if (!CanHideInTray() && MainWindow_ && MainWindow_->isHidden() && MainWindow_->isMinimized())
    ShowMainForm();
}

void TxxTrayIcon::ShowMainForm() {
  if (!MainWindow_)
    return;
  MainWindow_->setWindowState((MainWindow_->windowState() & ~Qt::WindowMinimized) |
                              Qt::WindowActive);
  MainWindow_->show();
  MainWindow_->raise();
  MainWindow_->activateWindow();
}

void TxxTrayIcon::HideMainForm() {
  if (MainWindow_)
    MainWindow_->hide();
}

bool TxxTrayIcon::TrayAvailable() {
  return QSystemTrayIcon::isSystemTrayAvailable();
}

bool TxxTrayIcon::eventFilter(QObject* watched, QEvent* event) {
  if (watched == MainWindow_ && event->type() == QEvent::WindowStateChange &&
      MainWindow_->isMinimized() && MinimizeToTray_ && CanHideInTray()) {
    // Hiding inside the state change confuses the window manager; do it
    // once the minimize has been handled.
    QMetaObject::invokeMethod(this, &TxxTrayIcon::HideIfStillMinimized, Qt::QueuedConnection);
  }
  return QObject::eventFilter(watched, event);
}

bool TxxTrayIcon::CanHideInTray() const {
  return IconVisible_ && TrayAvailable();
}

void TxxTrayIcon::HideIfStillMinimized() {
  if (!MainWindow_ || !MainWindow_->isMinimized() || !MinimizeToTray_ || !CanHideInTray())
    return;
  HideMainForm();
  emit MinimizedToTray();
}

void TxxTrayIcon::ShowMessage(const QString& title, const QString& text) {
  if (Tray_->isVisible() && QSystemTrayIcon::supportsMessages())
    Tray_->showMessage(title, text, QSystemTrayIcon::Warning);
}

}  // namespace vantrel
