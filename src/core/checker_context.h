#pragma once

#include <exception>
#include <functional>
#include <string>

#include "core/check_request.h"
#include "core/check_runner.h"
#include "core/result_sink.h"
#include "core/settings.h"
#include "platform/clock.h"
#include "platform/main_loop.h"

namespace vantrel {

class TWatchList;

using TLogSink = std::function<void(const std::string& text)>;
using TStatusSink = std::function<void(const std::string& text)>;
using TErrorSink = std::function<void(std::exception_ptr error)>;
using TProxyChooser = std::function<TProxyChoice(const std::string& url)>;

// What the scheduler and its checkers work with. The first five are required;
// the objects pointed to must outlive the scheduler. The callbacks are called
// on the main thread only.
struct TCheckerContext {
  TMainLoop* Loop = nullptr;
  TClock* Clock = nullptr;
  TWatchList* WatchList = nullptr;
  TResultSink* Results = nullptr;  // the records of finished checks
  TCheckRunnerFactory MakeRunner;
  // The Internet options (the proxy and the connection-test servers), copied
  // when a check is prepared; null: the built-in options and no proxy.
  const TSettings* Settings = nullptr;
  TLogSink Log;            // event-log entries; empty: none written
  TStatusSink ShowStatus;  // first panel of the status bar; empty: not shown
  // Unexpected errors of a tick or of a checker; empty: written to standard error.
  TErrorSink HandleError;
  // Chooses the proxy for an item's URL (given whole) instead of the
  // options; empty: the options' proxy, or a direct connection without them.
  TProxyChooser ChooseProxy = nullptr;
};

// Hands `error` to `handler`, or writes it to standard error when there is none.
void ReportUnexpected(const TErrorSink& handler, std::exception_ptr error);

}  // namespace vantrel
