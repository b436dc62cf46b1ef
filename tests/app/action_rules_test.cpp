// The enabling table of the actions, row by row, and the connection state.

#include "app/action_rules.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/connect_state.h"

namespace vantrel {
namespace {

struct TRuleCase {
  const char* Situation;
  TActionFacts Facts;
  std::vector<TAction> Enabled;  // of the actions with a rule
};

// The actions whose enabling depends on something.
const std::vector<TAction> kRuledActions = {
    TAction::acRunNow,  TAction::acRunAllNow,  TAction::acPause,      TAction::acSynchronize,
    TAction::acDelete,  TAction::acResetAlarm, TAction::acClearStats, TAction::acProperties,
    TAction::acGotoUrl, TAction::acSuspend,    TAction::acActivate,
};

TActionFacts Facts(bool connected, bool paused, int rows, int selected, bool active,
                   bool service = false) {
  return TActionFacts{.Connected = connected,
                      .Paused = paused,
                      .ServiceStatus = service,
                      .RowCount = rows,
                      .SelectedCount = selected,
                      .SelectedActive = active};
}

TEST(ActionRules, EachRowOfTheEnablingTable) {
  using enum TAction;
  const TRuleCase cases[] = {
      {"empty list, offline", Facts(false, false, 0, 0, false), {}},
      {"empty list, connected", Facts(true, false, 0, 0, false), {}},
      {"rows, none selected", Facts(true, false, 3, 0, false), {acRunAllNow, acPause}},
      {"one active selected",
       Facts(true, false, 3, 1, true),
       {acRunNow, acRunAllNow, acPause, acDelete, acResetAlarm, acClearStats, acProperties,
        acGotoUrl, acSuspend}},
      {"one suspended selected",
       Facts(true, false, 3, 1, false),
       {acRunNow, acRunAllNow, acPause, acDelete, acResetAlarm, acClearStats, acProperties,
        acGotoUrl, acActivate}},
      {"two selected",
       Facts(true, false, 3, 2, true),
       {acRunNow, acRunAllNow, acPause, acDelete, acResetAlarm, acClearStats, acSuspend,
        acActivate}},
      {"one selected, offline",
       Facts(false, false, 3, 1, true),
       {acPause, acDelete, acResetAlarm, acClearStats, acProperties, acGotoUrl, acSuspend}},
      {"paused",
       Facts(true, true, 3, 1, true),
       {acRunNow, acRunAllNow, acDelete, acResetAlarm, acClearStats, acProperties, acGotoUrl,
        acSuspend}},
      {"service on, connected", Facts(true, false, 0, 0, false, true), {acSynchronize}},
      {"service on, offline", Facts(false, false, 0, 0, false, true), {}},
  };
  for (const TRuleCase& rule : cases) {
    std::vector<TAction> enabled;
    for (const TAction action : kRuledActions) {
      if (ActionEnabled(action, rule.Facts))
        enabled.push_back(action);
    }
    std::vector<std::string> got, want;
    for (const TAction action : enabled)
      got.push_back(ActionName(action));
    for (const TAction action : rule.Enabled)
      want.push_back(ActionName(action));
    std::sort(got.begin(), got.end());
    std::sort(want.begin(), want.end());
    EXPECT_EQ(got, want) << rule.Situation;
  }
}

TEST(ActionRules, ActionsWithoutARuleAreAlwaysEnabled) {
  const TActionFacts nothing;
  for (const TAction action :
       {TAction::acAddNew, TAction::acTableView, TAction::acSaveData, TAction::acLoadData,
        TAction::acSaveSettings, TAction::acLoadSettings, TAction::acSuspendServiceItems}) {
    EXPECT_TRUE(ActionEnabled(action, nothing)) << ActionName(action);
  }
}

TEST(ConnectState, PauseShowsBeforeTheConnection) {
  EXPECT_EQ(ConnectStateOf(true, true), TConnectState::Paused);
  EXPECT_EQ(ConnectStateOf(true, false), TConnectState::Paused);
  EXPECT_EQ(ConnectStateOf(false, true), TConnectState::Connected);
  EXPECT_EQ(ConnectStateOf(false, false), TConnectState::Disconnected);
}

TEST(ConnectState, TextsAndColoursOfTheThreeStates) {
  EXPECT_EQ(ConnectStateText(TConnectState::Disconnected), "Disconnected");
  EXPECT_EQ(ConnectStateText(TConnectState::Connected), "Connected");
  EXPECT_EQ(ConnectStateText(TConnectState::Paused), "Paused");
  EXPECT_EQ(ConnectStateColor(TConnectState::Disconnected), (TRgbColor{128, 0, 0}));
  EXPECT_EQ(ConnectStateColor(TConnectState::Connected), (TRgbColor{0, 128, 0}));
  EXPECT_EQ(ConnectStateColor(TConnectState::Paused), (TRgbColor{128, 0, 0}));
}

}  // namespace
}  // namespace vantrel
