#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace vantrel {

// The user operations the monitor offers, by their action names. The window
// maps them to menu and tool-bar actions; the headless front calls them
// directly. Actions that only change what the window shows (tool bar, status
// bar, log viewer, help, about) are the window's own and not listed; the
// report actions join with the report manager. acSynchronize has its enabling
// rule here already; its operation comes with the web-service synchronizer.
enum class TAction : std::uint8_t {
  acRunNow,
  acRunAllNow,
  acPause,
  acSynchronize,
  acAddNew,
  acDelete,
  acProperties,
  acSuspend,
  acActivate,
  acResetAlarm,
  acClearStats,
  acTableView,
  acGotoUrl,
  acSaveSettings,
  acLoadSettings,
  acSaveData,
  acLoadData,
  acSuspendServiceItems,
};

inline constexpr std::size_t kActionCount = 18;

// "acRunNow", ...
std::string ActionName(TAction action);

// What the enabling of the actions depends on.
struct TActionFacts {
  bool Connected = false;       // the connection detector sees a connection
  bool Paused = false;          // the user paused checking
  bool ServiceStatus = false;   // web-service synchronization is switched on
  int RowCount = 0;             // rows of the item list
  int SelectedCount = 0;        // selected rows
  bool SelectedActive = false;  // the first selected row carries an active item
};

// Whether `action` may be used now. Actions without a rule are always enabled.
bool ActionEnabled(TAction action, const TActionFacts& facts);

// Every action's enabling at once, indexed by the action.
class TEnabledActions {
 public:
  explicit TEnabledActions(const TActionFacts& facts);
  bool Contains(TAction action) const { return Enabled_[static_cast<std::size_t>(action)]; }

 private:
  std::array<bool, kActionCount> Enabled_{};
};

}  // namespace vantrel
