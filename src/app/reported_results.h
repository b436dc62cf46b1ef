#pragma once

#include "app/monitor_events.h"
#include "core/result_handler.h"
#include "core/result_sink.h"

namespace vantrel {

class TWatchList;

// Where the checks hand their records: the result handler records or discards
// each, and the front hears which of the two became of it.
class TReportedResults final : public TResultSink {
 public:
  // All references must outlive this object.
  TReportedResults(TResultSink& handler, const TCheckingState& state, const TWatchList& list,
                   TMonitorEvents& events);

  void HandleResult(const THistoryRecord& record) override;

 private:
  TResultSink& Handler_;
  const TCheckingState& State_;
  const TWatchList& List_;
  TMonitorEvents& Events_;
};

}  // namespace vantrel
