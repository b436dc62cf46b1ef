#pragma once

// The monitoring test: one check with settings that are not saved yet (the
// properties dialog's test button, `vantrel-cli check`), told step by step as
// it goes. A step adds its label as a new line ("Pinging: ") and, once it has
// run, appends "Success" or "Failure" to that line; information lines
// ("Response time: 12 milli-seconds") stand alone. The last two lines are an
// empty one and "Test finished successfully." or "Test failed.".

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "core/check_network.h"
#include "core/watch_types.h"
#include "net/proxy.h"

namespace vantrel {

// Where the test's lines go as they grow.
class TTestOutput {
 public:
  virtual ~TTestOutput() = default;
  // Starts a new line with `text`.
  virtual void AddLine(const std::string& text) = 0;
  // Adds `text` to the end of the last line.
  virtual void AppendToLine(const std::string& text) = 0;
};

// Keeps the lines.
class TTestTranscript final : public TTestOutput {
 public:
  void AddLine(const std::string& text) override { Lines.push_back(text); }
  void AppendToLine(const std::string& text) override;

  std::vector<std::string> Lines;
};

// Writes the lines to a stream as they grow, each step's label before the step
// runs, so that a slow step shows what is being waited for. Every line ends
// with a line feed once the next one starts or the output is finished.
class TStreamTestOutput final : public TTestOutput {
 public:
  explicit TStreamTestOutput(std::ostream& stream) : Stream_(stream) {}
  // Ends the last line.
  ~TStreamTestOutput() override { Finish(); }
  TStreamTestOutput(const TStreamTestOutput&) = delete;
  TStreamTestOutput& operator=(const TStreamTestOutput&) = delete;

  void AddLine(const std::string& text) override;
  void AppendToLine(const std::string& text) override;
  // Ends the last line; harmless when done already.
  void Finish();

 private:
  std::ostream& Stream_;
  bool LineOpen_ = false;
};

// The settings under test, as the user entered them.
struct TMonitoringTestSettings {
  TCheckType CheckType = TCheckType::Ping;
  // The host or URL as typed; blanks at both ends are ignored. A download
  // requests it as it stands; ping drops a leading scheme and "://", the
  // service checks also a leading "www.".
  std::string Url;
  // The thresholds the replies are judged by (ms).
  std::int32_t PingTimeout = 3000;
  std::int32_t DownloadTimeout = 8000;
  std::int32_t ServiceTimeout = 4000;
  // Download only. Searched for as it stands; a text of blanks alone skips
  // the content step.
  std::string SearchText;
  bool CaseSensitive = false;
  // The proxy for the URL (download only): GetProxyForHost(Url, options).
  TProxyChoice Proxy;
};

// Runs one monitoring test at a time; Cancel from another thread makes the
// step under way fail at once and every later step too.
class TMonitoringTest {
 public:
  // Over the real network; `ports` are the services' ports.
  explicit TMonitoringTest(TServicePorts ports = {});
  explicit TMonitoringTest(std::unique_ptr<TCheckNetwork> network);

  // Writes the test's lines to `output`; true when the test passed.
  bool Run(const TMonitoringTestSettings& settings, TTestOutput& output);
  // Any thread.
  void Cancel() { Network_->Cancel(); }

 private:
  bool TestPing(const TMonitoringTestSettings& settings, TTestOutput& output);
  bool TestDownload(const TMonitoringTestSettings& settings, TTestOutput& output);
  bool TestService(const TMonitoringTestSettings& settings, TTestOutput& output);

  const std::unique_ptr<TCheckNetwork> Network_;
};

// One monitoring test over the real network with the standard service ports.
bool RunMonitoringTest(const TMonitoringTestSettings& settings, TTestOutput& output);

}  // namespace vantrel
