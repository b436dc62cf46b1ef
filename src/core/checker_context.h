#pragma once

#include <exception>
#include <functional>
#include <string>

#include "core/check_request.h"
#include "core/check_runner.h"
#include "core/result_sink.h"
#include "net/internet_options.h"
#include "platform/clock.h"
#include "platform/main_loop.h"
#include "storage/settings.h"

namespace vantrel {

class TWatchList;

using TLogSink = std::function<void(const std::string& text)>;
using TStatusSink = std::function<void(const std::string& text)>;
using TErrorSink = std::function<void(std::exception_ptr error)>;
using TProxyChooser = std::function<TProxyChoice(const std::string& url)>;
using TInternetOptionsSource = std::function<TInternetOptions()>;

// What the scheduler and its checkers work with. The first five are required;
// the objects pointed to must outlive the scheduler. The callbacks are called
// on the main thread only.
struct TCheckerContext {
  TMainLoop* Loop = nullptr;
  TClock* Clock = nullptr;
  TWatchList* WatchList = nullptr;
  TResultSink* Results = nullptr;  // the records of finished checks
  TCheckRunnerFactory MakeRunner;
  TLogSink Log;            // event-log entries; empty: none written
  TStatusSink ShowStatus;  // first panel of the status bar; empty: not shown
  // Unexpected errors of a tick or of a checker; empty: written to standard error.
  TErrorSink HandleError;
  // The proxy for an item's URL (given whole); empty: always a direct connection.
  TProxyChooser ChooseProxy = [](const std::string& url) {
    return GetProxyForHost(url, GetInternetOptions());
  };
  // The connection-test settings, read when a check is prepared.
  TInternetOptionsSource InternetOptions = GetInternetOptions;
};

// Hands `error` to `handler`, or writes it to standard error when there is none.
void ReportUnexpected(const TErrorSink& handler, std::exception_ptr error);

}  // namespace vantrel
