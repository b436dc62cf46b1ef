#include "core/result_handler.h"

#include <cstdint>

#include "storage/history.h"
#include "storage/temp_history.h"

namespace vantrel {

TResultHandler::TResultHandler(TWatchList& watchList, TWatchHistory& history,
                               TTempHistory& tempHistory, const TCheckingState& state,
                               const TSettings& settings)
    : WatchList_(watchList),
      History_(history),
      TempHistory_(tempHistory),
      State_(state),
      Settings_(settings) {}

void TResultHandler::HandleResult(const THistoryRecord& record) {
  if (!State_.RecordsResults()) {
    const int index = WatchList_.IndexOfId(static_cast<std::int32_t>(record.ItemId));
    if (index >= 0)
      WatchList_.Item(index).RestoreLastChecked();
    return;
  }
  History_.Add(record);
  if (Settings_.GetPreferences().ServiceStatus)
    TempHistory_.Add(record);
}

}  // namespace vantrel
