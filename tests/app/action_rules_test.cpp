// The enabling table of the actions, row by row; the connection state; URLs.

#include "app/action_rules.h"

#include <gtest/gtest.h>

#include <string>

#include "app/connect_state.h"
#include "app/go_to_url.h"

namespace vantrel {
namespace {

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
  const std::string always =
      "AddNew TableView SaveSettings LoadSettings SaveData LoadData "
      "SuspendServiceItems ";
  const struct {
    const char* Situation;
    TActionFacts Facts;
    const char* Enabled;  // in the order of the actions, apart from those always enabled
  } cases[] = {
      {"empty list, offline", Facts(false, false, 0, 0, false), ""},
      {"empty list, connected", Facts(true, false, 0, 0, false), ""},
      {"rows, none selected", Facts(true, false, 3, 0, false), "RunAllNow Pause "},
      {"one active selected", Facts(true, false, 3, 1, true),
       "RunNow RunAllNow Pause Delete Properties Suspend ResetAlarm ClearStats GotoUrl "},
      {"one suspended selected", Facts(true, false, 3, 1, false),
       "RunNow RunAllNow Pause Delete Properties Activate ResetAlarm ClearStats GotoUrl "},
      {"two selected", Facts(true, false, 3, 2, true),
       "RunNow RunAllNow Pause Delete Suspend Activate ResetAlarm ClearStats "},
      {"one selected, offline", Facts(false, false, 3, 1, true),
       "Pause Delete Properties Suspend ResetAlarm ClearStats GotoUrl "},
      {"paused", Facts(true, true, 3, 1, true),
       "RunNow RunAllNow Delete Properties Suspend ResetAlarm ClearStats GotoUrl "},
      {"service on, connected", Facts(true, false, 0, 0, false, true), "Synchronize "},
      {"service on, offline", Facts(false, false, 0, 0, false, true), ""},
  };
  for (const auto& rule : cases) {
    std::string enabled;
    for (std::size_t index = 0; index < kActionCount; ++index) {
      const TAction action = static_cast<TAction>(index);
      const std::string name = ActionName(action).substr(2) + " ";
      if (always.find(name) != std::string::npos)
        EXPECT_TRUE(ActionEnabled(action, rule.Facts)) << name << rule.Situation;
      else if (ActionEnabled(action, rule.Facts))
        enabled += name;
    }
    EXPECT_EQ(enabled, rule.Enabled) << rule.Situation;
  }
}

TEST(ConnectState, PauseShowsBeforeTheConnection) {
  EXPECT_EQ(ConnectStateOf(true, true), TConnectState::Paused);
  EXPECT_EQ(ConnectStateOf(true, false), TConnectState::Paused);
  EXPECT_EQ(ConnectStateOf(false, true), TConnectState::Connected);
  EXPECT_EQ(ConnectStateOf(false, false), TConnectState::Disconnected);
}

TEST(GoToUrl, AddressWithoutASchemeIsTakenAsAWebAddress) {
  EXPECT_EQ(UrlToOpen("example.test/page"), "http://example.test/page");
  EXPECT_EQ(UrlToOpen("https://example.test/"), "https://example.test/");
  EXPECT_EQ(UrlToOpen("ftp://files.test"), "ftp://files.test");
}

}  // namespace
}  // namespace vantrel
