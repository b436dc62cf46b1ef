#pragma once

#include "storage/history_record.h"

namespace vantrel {

// Where a finished check hands the record of its result (main thread).
class TResultSink {
 public:
  virtual ~TResultSink() = default;
  virtual void HandleResult(const THistoryRecord& record) = 0;
};

}  // namespace vantrel
