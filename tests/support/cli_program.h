#pragma once

// vantrel-cli as the process tests, the end-to-end tests and the monitor
// benchmark run it on a data folder: its tools to their end, and the headless
// monitor (`run`) in the background, whose printed lines are read while it
// runs. No proxy variable reaches it (no request may leave the machine
// through a proxy), nor VANTREL_HOME.

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/test_process.h"

namespace vantrel::test {

// The program to run: $VANTREL_CLI when set (a ThreadSanitizer build, say),
// else the one built beside the tests.
std::string CliProgram();

struct TToolResult {
  int Status = -1;  // the exit code; -1 when it did not exit by itself in time
  std::string Out;
  std::string Err;
  // "exit 2" and what was printed, for messages.
  std::string Describe() const;
};

// A running vantrel-cli.
class TCliRun : public TTestProcess {
 public:
  using TLineTest = std::function<bool(const std::string& line)>;
  using TTestProcess::TTestProcess;

  // The complete lines printed on standard output so far.
  std::vector<std::string> Lines() const;
  // Everything printed, for failure messages.
  std::string Transcript() const;

  // Waits until the line at index `from` or a later one passes `test`; its
  // index, or nothing when the program ended or `timeoutMs` passed first.
  std::optional<std::size_t> WaitForLine(const TLineTest& test, int timeoutMs,
                                         std::size_t from = 0);
  // Waits until `count` lines from `from` on pass `test`; false otherwise.
  bool WaitForCount(const TLineTest& test, int count, int timeoutMs, std::size_t from = 0);
  std::size_t Count(const TLineTest& test, std::size_t from = 0) const;

  // Sends `signal` (0: none) and waits for the end at most `timeoutMs`. The
  // exit code (-1 when it ended otherwise, nothing when it still runs);
  // `took` gets the time from the signal to the end.
  std::optional<int> StopWith(int signal, int timeoutMs, std::chrono::milliseconds* took = nullptr);
  // SIGKILL, and the end reaped.
  void Kill();
};

// The commands of one data folder.
class TCli {
 public:
  explicit TCli(std::filesystem::path dataDir) : DataDir_(std::move(dataDir)) {}

  std::filesystem::path File(const std::string& name) const { return DataDir_ / name; }

  // Runs `vantrel-cli --data-dir DIR args...` to its end, killing it after
  // `timeoutMs`.
  TToolResult Tool(const std::vector<std::string>& args, int timeoutMs = 30000) const;
  // Starts it and leaves it running, inside the network namespace
  // `netNamespace` ("/proc/PID/ns/net"; empty: this one).
  std::unique_ptr<TCliRun> Start(const std::vector<std::string>& args,
                                 const std::string& netNamespace = {}) const;

 private:
  std::filesystem::path DataDir_;
};

// Tests of printed lines. A result line names the item as "NAME (URL)".
TCliRun::TLineTest Contains(const std::string& text);
TCliRun::TLineTest ResultOf(const std::string& name, const std::string& outcome);

}  // namespace vantrel::test
