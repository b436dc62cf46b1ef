#include "app/action_rules.h"

#include <array>

namespace vantrel {

namespace {

constexpr std::array<const char*, kActionCount> kActionNames = {
    "acRunNow",      "acRunAllNow",    "acPause",
    "acSynchronize", "acAddNew",       "acDelete",
    "acProperties",  "acSuspend",      "acActivate",
    "acResetAlarm",  "acClearStats",   "acTableView",
    "acGotoUrl",     "acSaveSettings", "acLoadSettings",
    "acSaveData",    "acLoadData",     "acSuspendServiceItems",
};

static_assert(static_cast<std::size_t>(TAction::acSuspendServiceItems) + 1 == kActionCount);

}  // namespace

std::string ActionName(TAction action) {
  const auto index = static_cast<std::size_t>(action);
  return index < kActionNames.size() ? kActionNames[index] : std::string();
}

bool ActionEnabled(TAction action, const TActionFacts& facts) {
  const bool any = facts.RowCount > 0;
  const bool one = facts.SelectedCount >= 1;
  const bool many = facts.SelectedCount > 1;
  switch (action) {
    case TAction::acRunNow:
      return facts.Connected && one;
    case TAction::acRunAllNow:
      return any && facts.Connected;
    case TAction::acPause:
      return any && !facts.Paused;
    case TAction::acSynchronize:
      return facts.ServiceStatus && facts.Connected;
    case TAction::acDelete:
    case TAction::acResetAlarm:
    case TAction::acClearStats:
      return one;
    case TAction::acProperties:
    case TAction::acGotoUrl:
      return one && !many;
    case TAction::acSuspend:
      return many || (one && facts.SelectedActive);
    case TAction::acActivate:
      return many || (one && !facts.SelectedActive);
    default:
      return true;
  }
}

TEnabledActions::TEnabledActions(const TActionFacts& facts) {
  for (std::size_t index = 0; index < kActionCount; ++index)
    Enabled_[index] = ActionEnabled(static_cast<TAction>(index), facts);
}

}  // namespace vantrel
