#pragma once

#include "core/result_sink.h"
#include "core/watch_list.h"

namespace vantrel {

class TWatchHistory;
class TTempHistory;

// Whether results may be recorded now; the application controller answers
// from the connection detector and the user's pause.
class TCheckingState {
 public:
  virtual ~TCheckingState() = default;
  virtual bool IsOnline() const = 0;
  virtual bool IsPaused() const = 0;
  // True while results are recorded rather than discarded. One rule, so that
  // whoever reports on results decides as the handler does.
  bool RecordsResults() const { return IsOnline() && !IsPaused(); }
};

// Records check results, or discards those that arrive while the connection
// is down or checking is paused: such a failure says nothing about the site,
// and the item's schedule falls back to its last recorded check so that it is
// checked again as soon as checking resumes. Main thread only.
class TResultHandler final : public TResultSink {
 public:
  // All references must outlive the handler.
  TResultHandler(TWatchList& watchList, TWatchHistory& history, TTempHistory& tempHistory,
                 const TCheckingState& state, const TSettings& settings);

  // Stores the record in the response history (which applies it to the item)
  // and, with the web service switched on, queues it for the service.
  void HandleResult(const THistoryRecord& record) override;

 private:
  TWatchList& WatchList_;
  TWatchHistory& History_;
  TTempHistory& TempHistory_;
  const TCheckingState& State_;
  const TSettings& Settings_;
};

}  // namespace vantrel
