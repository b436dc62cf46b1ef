#pragma once

#include <QAction>
#include <QKeySequence>
#include <QMap>
#include <QMenuBar>
#include <QString>
#include <QToolBar>
#include <optional>

#include "app/action_rules.h"

namespace vantrel {

// One user operation of the main window as the menus and the tool bar show it.
struct TActionInfo {
  const char* Name;         // "acRunNow": the QAction's object name
  const char* Caption;      // the menu caption, with its accelerator
  const char* ToolCaption;  // the tool-bar caption when it differs, else null
  QKeySequence Shortcut;
  const char* Icon;  // the image of icons.qrc, or null
  // The monitor's operation whose enabling rule the action follows; the
  // window's own actions (bars, log, help, reports) have none and stay enabled.
  std::optional<TAction> Operation;
};

// The menu bar's menus in order, each with its actions; null stands for a
// separator.
struct TMenuInfo {
  const char* Caption;
  std::initializer_list<const char*> Actions;
};

// Every action of the menus, in menu order, and the tool bar's order.
const std::initializer_list<TActionInfo>& MainActions();
const std::initializer_list<TMenuInfo>& MainMenus();
const std::initializer_list<const char*>& ToolBarActions();

// The actions made for `owner`, by name.
using TActionMap = QMap<QString, QAction*>;

// Makes every action, fills the menu bar and the tool bar. The View menu's
// bar switches and the table view are checkable.
TActionMap BuildMainActions(QWidget& owner, QMenuBar& menuBar, QToolBar& toolBar);

// An icon of the desktop theme where it has a fitting one, else our own.
QIcon ActionIcon(const char* name);

}  // namespace vantrel
