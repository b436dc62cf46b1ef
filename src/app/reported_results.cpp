#include "app/reported_results.h"

#include <cstdint>

#include "core/watch_list.h"

namespace vantrel {

TReportedResults::TReportedResults(TResultSink& handler, const TCheckingState& state,
                                   const TWatchList& list, TMonitorEvents& events)
    : Handler_(handler), State_(state), List_(list), Events_(events) {}

void TReportedResults::HandleResult(const THistoryRecord& record) {
  // Decided before the handler runs, with its own rule: handling the record
  // (alarm actions included) cannot change what it was decided on.
  const bool recorded = State_.RecordsResults();
  Handler_.HandleResult(record);
  const int index = List_.IndexOfId(static_cast<std::int32_t>(record.ItemId));
  Events_.ResultHandled(index >= 0 ? &List_.Item(index) : nullptr, record, recorded);
}

}  // namespace vantrel
