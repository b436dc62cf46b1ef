#pragma once

#include <functional>
#include <optional>

#include "core/settings.h"

namespace vantrel {

// The window state the settings file keeps, as the front holds it, except for
// the table-view switch: that decides what the item list shows, so it is the
// monitor's. A save writes the monitor's switch; a load hands the switch read
// to the monitor, which applies it once the whole file is read (the columns
// follow the field list of the preferences, read after the window state).
class TWindowStateBinding final : public TWindowStateStore {
 public:
  // `window` must outlive the binding; `tableView` gives the monitor's switch.
  TWindowStateBinding(TWindowStateStore& window, std::function<bool()> tableView);

  TWindowState GetWindowState() const override;
  void SetWindowState(const TWindowState& state) override;

  // The switch the last load read, once; nothing when none was read since.
  std::optional<bool> TakeLoadedTableView();

 private:
  TWindowStateStore& Window_;
  std::function<bool()> TableView_;
  std::optional<bool> LoadedTableView_;
};

}  // namespace vantrel
