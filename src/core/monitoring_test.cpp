#include "core/monitoring_test.h"

#include <utility>

#include "core/check_request.h"
#include "core/check_rules.h"
#include "core/response_codes.h"
#include "text/escape.h"

namespace vantrel {

namespace {

constexpr const char* kSuccess = "Success";
constexpr const char* kFailure = "Failure";

// Ends a step's line with its outcome and passes the outcome on.
bool EndStep(TTestOutput& output, bool success) {
  output.AppendToLine(success ? kSuccess : kFailure);
  return success;
}

void AddResponseTime(TTestOutput& output, std::int32_t time) {
  output.AddLine("Response time: " + std::to_string(time) + " milli-seconds");
}

// The step that judges a reply's time against the user's threshold.
bool CheckTimeout(TTestOutput& output, std::int32_t time, std::int32_t timeout) {
  output.AddLine("Checking time-out: ");
  return EndStep(output, time <= timeout);
}

std::string ServiceStepLabel(TCheckType service) {
  switch (service) {
    case TCheckType::Smtp:
      return "Checking SMTP: ";
    case TCheckType::Pop3:
      return "Checking POP3: ";
    case TCheckType::Ftp:
      return "Checking FTP: ";
    case TCheckType::Ping:
    case TCheckType::Download:
      break;
  }
  return {};
}

}  // namespace

// ---- Outputs ----

void TTestTranscript::AppendToLine(const std::string& text) {
  if (Lines.empty())
    Lines.emplace_back();
  Lines.back() += text;
}

// A step's text may come from the server (a code's text, a greeting): on a
// terminal, its control characters show as escapes.
void TStreamTestOutput::AddLine(const std::string& text) {
  if (LineOpen_)
    Stream_ << '\n';
  Stream_ << EscapeControls(text) << std::flush;
  LineOpen_ = true;
}

void TStreamTestOutput::AppendToLine(const std::string& text) {
  Stream_ << EscapeControls(text) << std::flush;
  LineOpen_ = true;
}

void TStreamTestOutput::Finish() {
  if (LineOpen_)
    Stream_ << '\n' << std::flush;
  LineOpen_ = false;
}

// ---- The test ----

TMonitoringTest::TMonitoringTest(TServicePorts ports)
    : Network_(std::make_unique<TSocketCheckNetwork>(std::move(ports))) {}

TMonitoringTest::TMonitoringTest(std::unique_ptr<TCheckNetwork> network)
    : Network_(std::move(network)) {}

bool TMonitoringTest::Run(const TMonitoringTestSettings& settings, TTestOutput& output) {
  output.AddLine("Start testing");
  bool passed = false;
  switch (settings.CheckType) {
    case TCheckType::Ping:
      passed = TestPing(settings, output);
      break;
    case TCheckType::Download:
      passed = TestDownload(settings, output);
      break;
    case TCheckType::Smtp:
    case TCheckType::Pop3:
    case TCheckType::Ftp:
      passed = TestService(settings, output);
      break;
  }
  output.AddLine("");
  output.AddLine(passed ? "Test finished successfully." : "Test failed.");
  return passed;
}

bool TMonitoringTest::TestPing(const TMonitoringTestSettings& settings, TTestOutput& output) {
  const std::string host = CheckHost(TCheckType::Ping, TrimBlanks(settings.Url));
  output.AddLine("Pinging: ");
  const TPingOutcome ping = Network_->Ping(host, kPingCheckTimeout);
  if (!EndStep(output, ping.Replied))
    return false;
  const std::int32_t time = RecordedTime(ping.Time);
  AddResponseTime(output, time);
  return CheckTimeout(output, time, settings.PingTimeout);
}

bool TMonitoringTest::TestDownload(const TMonitoringTestSettings& settings, TTestOutput& output) {
  output.AddLine("Loading page: ");
  const THttpOutcome page =
      Network_->Download(TrimBlanks(settings.Url), settings.Proxy, kDownloadCheckTimeout);
  if (!EndStep(output, page.Sent))
    return false;
  const std::int32_t time = RecordedTime(page.ElapsedTime);
  output.AddLine("Response code: " + std::to_string(page.ResultCode) + " " +
                 HttpCodeText(page.ResultCode));
  AddResponseTime(output, time);
  output.AddLine("Checking code: ");
  if (!EndStep(output, page.ResultCode == kResponseOk))
    return false;
  if (!CheckTimeout(output, time, settings.DownloadTimeout))
    return false;
  if (TrimBlanks(settings.SearchText).empty())
    return true;
  output.AddLine("Checking page content: ");
  return EndStep(output,
                 ContainsSearchText(page.Document, settings.SearchText, settings.CaseSensitive));
}

bool TMonitoringTest::TestService(const TMonitoringTestSettings& settings, TTestOutput& output) {
  const TCheckType service = settings.CheckType;
  const std::string host = CheckHost(service, TrimBlanks(settings.Url));
  output.AddLine(ServiceStepLabel(service));
  const TGreetingOutcome greeting = Network_->Greeting(host, service, kGreetingReadTimeout);
  EndStep(output, greeting.Error == 0);
  if (greeting.Error != 0 || !GreetingAccepted(service, greeting.Line))
    return false;
  const std::int32_t time = RecordedTime(greeting.ElapsedTime);
  AddResponseTime(output, time);
  return CheckTimeout(output, time, settings.ServiceTimeout);
}

bool RunMonitoringTest(const TMonitoringTestSettings& settings, TTestOutput& output) {
  TMonitoringTest test;
  return test.Run(settings, output);
}

}  // namespace vantrel
