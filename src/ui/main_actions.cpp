#include "ui/main_actions.h"

#include <QIcon>
#include <QMenu>
#include <cstring>

namespace vantrel {

namespace {

// Our image names and the freedesktop names of the theme icons that mean
// the same, so the window looks at home in the user's desktop.
struct TThemeName {
  const char* Ours;
  const char* Theme;
};
constexpr TThemeName kThemeNames[] = {
    {"add-new", "list-add"},
    {"delete", "edit-delete"},
    {"properties", "document-properties"},
    {"preferences", "preferences-system"},
    {"help-topics", "help-contents"},
    {"view-log", "text-x-generic"},
};

}  // namespace

QIcon ActionIcon(const char* name) {
  const QIcon ours(QStringLiteral(":/icons/%1.svg").arg(QLatin1String(name)));
  for (const TThemeName& entry : kThemeNames) {
    if (std::strcmp(entry.Ours, name) == 0)
      return QIcon::fromTheme(QLatin1String(entry.Theme), ours);
  }
  return ours;
}

const std::initializer_list<TActionInfo>& MainActions() {
  using Op = TAction;
  static const std::initializer_list<TActionInfo> actions = {
      {"acRunNow", "&Run Now", nullptr, {}, "run-now", Op::acRunNow},
      {"acRunAllNow", "R&un All Now", nullptr, {}, nullptr, Op::acRunAllNow},
      {"acPause", "P&ause", nullptr, {}, nullptr, Op::acPause},
      {"acSynchronize", "Synchronize", nullptr, {}, nullptr, Op::acSynchronize},
      {"acExit", "&Exit", nullptr, QKeySequence(Qt::CTRL | Qt::Key_X), nullptr, std::nullopt},
      {"acAddNew", "Add &New", "&Add New", QKeySequence(Qt::Key_Insert), "add-new", Op::acAddNew},
      {"acDelete", "&Delete", nullptr, QKeySequence(Qt::Key_Delete), "delete", Op::acDelete},
      {"acProperties", "&Properties", nullptr, QKeySequence(Qt::Key_Return), "properties",
       Op::acProperties},
      {"acSuspend", "&Suspend", nullptr, {}, "suspend", Op::acSuspend},
      {"acActivate", "&Activate", nullptr, {}, "activate", Op::acActivate},
      {"acResetAlarm", "&Reset Alarm", nullptr, {}, "reset-alarm", Op::acResetAlarm},
      {"acClearStats", "&Clear Statistics", nullptr, {}, "clear-stats", Op::acClearStats},
      {"acTableView", "T&able View", nullptr, {}, nullptr, Op::acTableView},
      {"acViewToolBar", "&Tool Bar", nullptr, {}, nullptr, std::nullopt},
      {"acViewStatusBar", "&Status Bar", nullptr, {}, nullptr, std::nullopt},
      {"acGotoUrl", "&Go To URL", nullptr, QKeySequence(Qt::CTRL | Qt::Key_G), "go-to-url",
       Op::acGotoUrl},
      {"acViewLog", "&View Log", nullptr, {}, "view-log", std::nullopt},
      {"acDefaultReport", "Default &Report", "R&eport", QKeySequence(Qt::CTRL | Qt::Key_R),
       "default-report", std::nullopt},
      {"acReportManager", "Report &Manager ...", nullptr, {}, "report-manager", std::nullopt},
      {"acSaveSettings", "&Save Settings", nullptr, {}, nullptr, Op::acSaveSettings},
      {"acPreferences", "&Preferences ...", nullptr, {}, "preferences", std::nullopt},
      {"acInternetOptions", "&Internet Options ...", nullptr, {}, "internet-options", std::nullopt},
      {"acHelpTopics", "&Help Topics", "Help", QKeySequence(Qt::Key_F1), "help-topics",
       std::nullopt},
      {"acHomePage", "H&ome Page", nullptr, {}, nullptr, std::nullopt},
      {"acAbout", "&About ...", nullptr, {}, nullptr, std::nullopt},
  };
  return actions;
}

const std::initializer_list<TMenuInfo>& MainMenus() {
  static const std::initializer_list<TMenuInfo> menus = {
      {"&File", {"acRunNow", "acRunAllNow", "acPause", "acSynchronize", nullptr, "acExit"}},
      {"&Edit",
       {"acAddNew", "acDelete", "acProperties", nullptr, "acSuspend", "acActivate", nullptr,
        "acResetAlarm", "acClearStats"}},
      {"&View",
       {"acTableView", nullptr, "acViewToolBar", "acViewStatusBar", nullptr, "acGotoUrl", nullptr,
        "acViewLog"}},
      {"&Report", {"acDefaultReport", nullptr, "acReportManager"}},
      {"&Tools", {"acSaveSettings", nullptr, "acPreferences", "acInternetOptions"}},
      {"&Help", {"acHelpTopics", nullptr, "acHomePage", nullptr, "acAbout"}},
  };
  return menus;
}

const std::initializer_list<const char*>& ToolBarActions() {
  static const std::initializer_list<const char*> tools = {
      "acRunNow",  nullptr, "acAddNew",        "acDelete", "acProperties",
      "acGotoUrl", nullptr, "acDefaultReport", nullptr,    "acHelpTopics"};
  return tools;
}

TActionMap BuildMainActions(QWidget& owner, QMenuBar& menuBar, QToolBar& toolBar) {
  TActionMap actions;
  for (const TActionInfo& info : MainActions()) {
    auto* action = new QAction(QString::fromUtf8(info.Caption), &owner);
    action->setObjectName(QLatin1String(info.Name));
    if (info.ToolCaption != nullptr)
      action->setIconText(QString::fromUtf8(info.ToolCaption).remove(QLatin1Char('&')));
    if (!info.Shortcut.isEmpty()) {
      // Enter on the keypad is Enter too.
      if (info.Shortcut == QKeySequence(Qt::Key_Return))
        action->setShortcuts({info.Shortcut, QKeySequence(Qt::Key_Enter)});
      else
        action->setShortcut(info.Shortcut);
    }
    if (info.Icon != nullptr)
      action->setIcon(ActionIcon(info.Icon));
    actions.insert(action->objectName(), action);
  }
  for (const char* name : {"acTableView", "acViewToolBar", "acViewStatusBar"})
    actions[QLatin1String(name)]->setCheckable(true);
  actions[QStringLiteral("acViewToolBar")]->setChecked(true);
  actions[QStringLiteral("acViewStatusBar")]->setChecked(true);

  for (const TMenuInfo& info : MainMenus()) {
    QMenu* menu = menuBar.addMenu(QString::fromUtf8(info.Caption));
    for (const char* name : info.Actions) {
      if (name == nullptr)
        menu->addSeparator();
      else
        menu->addAction(actions[QLatin1String(name)]);
    }
  }
  for (const char* name : ToolBarActions()) {
    if (name == nullptr)
      toolBar.addSeparator();
    else
      toolBar.addAction(actions[QLatin1String(name)]);
  }
  return actions;
}

}  // namespace vantrel
