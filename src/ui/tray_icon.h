#pragma once

#include <QIcon>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

class QEvent;
class QMenu;
class QSystemTrayIcon;
class QWidget;

namespace vantrel {

// The program's icon in the notification area: tooltip, images, the tray
// menu, a click that brings the main window back, and minimize-to-tray.
// Without a tray host (no QSystemTrayIcon support) the icon stays hidden and
// the main window keeps its task-bar button, so it can always be reached.
// Showing the icon again after the tray host restarts is left to Qt.
class TxxTrayIcon : public QObject {
  Q_OBJECT

 public:
  // The tooltip keeps this many characters of the hint.
  static constexpr int kMaxHint = 127;

  TxxTrayIcon(QWidget* mainWindow, QObject* parent = nullptr);
  ~TxxTrayIcon() override;

  void SetHint(const QString& hint);
  QString ToolTip() const;

  void SetIconList(QList<QIcon> icons);
  // Clamped to the list (0 without one); shows that image.
  void SetIconIndex(int index);
  int IconIndex() const { return IconIndex_; }

  void SetPopupMenu(QMenu* menu);

  // What the user asked for; the icon really shows only where a tray exists.
  void SetIconVisible(bool visible);
  bool IconVisible() const { return IconVisible_; }

  void SetMinimizeToTray(bool on) { MinimizeToTray_ = on; }
  bool MinimizeToTray() const { return MinimizeToTray_; }

  void ShowMainForm();
  void HideMainForm();

  static bool TrayAvailable();
  // A passing message from the icon (an item went down), where the tray
  // shows messages; nothing otherwise.
  void ShowMessage(const QString& title, const QString& text);

 signals:
  void Click();
  void MinimizedToTray();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // A hidden window is reachable only through a visible icon.
  bool CanHideInTray() const;
  void HideIfStillMinimized();

  QPointer<QWidget> MainWindow_;
  QSystemTrayIcon* Tray_;
  QList<QIcon> Icons_;
  int IconIndex_ = 0;
  bool IconVisible_ = false;
  bool MinimizeToTray_ = false;
};

}  // namespace vantrel
