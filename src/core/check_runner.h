#pragma once

#include <functional>
#include <memory>

#include "core/check_request.h"

namespace vantrel {

// Runs one check on the checker's own thread: the network part of a checker,
// kept behind this seam so that scheduling and result handling can be
// exercised without a network.
class TCheckRunner {
 public:
  virtual ~TCheckRunner() = default;

  // Checker thread: performs the check that `request` describes, including the
  // connection test after a failure when the request asks for one. Network
  // trouble becomes a result code, never an exception.
  virtual TCheckResult Run(const TCheckRequest& request) = 0;

  // Any thread, before, during or after Run: makes a running Run return
  // promptly (with whatever result it has by then) and a later Run return at
  // once. Used when the program shuts down while checks are under way.
  virtual void Cancel() = 0;
};

// Makes the runner of one checker; called on the main thread when the checker
// is created.
using TCheckRunnerFactory = std::function<std::unique_ptr<TCheckRunner>()>;

}  // namespace vantrel
