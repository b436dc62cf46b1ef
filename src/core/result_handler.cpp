#include "core/result_handler.h"

#include <cstdint>
#include <stdexcept>
#include <utility>

#include "storage/history.h"
#include "storage/temp_history.h"

namespace vantrel {

TResultHandler::TResultHandler(TWatchList& watchList, TWatchHistory& history,
                               TTempHistory& tempHistory, const TCheckingState& state,
                               TWatchList::TPreferencesSource preferences)
    : WatchList_(watchList),
      History_(history),
      TempHistory_(tempHistory),
      State_(state),
      Preferences_(std::move(preferences)) {
  if (!Preferences_)
    throw std::invalid_argument("TResultHandler needs a preferences source");
}

void TResultHandler::HandleResult(const THistoryRecord& record) {
  if (!State_.RecordsResults()) {
    const int index = WatchList_.IndexOfId(static_cast<std::int32_t>(record.ItemId));
    if (index >= 0)
      WatchList_.Item(index).RestoreLastChecked();
    return;
  }
  History_.Add(record);
  if (Preferences_().ServiceStatus)
    TempHistory_.Add(record);
}

}  // namespace vantrel
