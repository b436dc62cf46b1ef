#include "app/window_state_binding.h"

#include <utility>

namespace vantrel {

TWindowStateBinding::TWindowStateBinding(TWindowStateStore& window, std::function<bool()> tableView)
    : Window_(window), TableView_(std::move(tableView)) {}

TWindowState TWindowStateBinding::GetWindowState() const {
  TWindowState state = Window_.GetWindowState();
  state.TableView = TableView_();
  return state;
}

void TWindowStateBinding::SetWindowState(const TWindowState& state) {
  Window_.SetWindowState(state);
  LoadedTableView_ = state.TableView;
}

std::optional<bool> TWindowStateBinding::TakeLoadedTableView() {
  return std::exchange(LoadedTableView_, std::nullopt);
}

}  // namespace vantrel
