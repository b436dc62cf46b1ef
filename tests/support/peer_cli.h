#pragma once

// vantrel-cli as the end-to-end tests and the monitor benchmark run it: its
// tools as one-off commands, and the headless monitor (`run`) in the
// background, whose printed lines are read while it runs.

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/peer_program.h"
#include "support/test_files.h"

namespace vantrel::test {

// The program to run: $VANTREL_CLI when set (a ThreadSanitizer build, say),
// else the one built beside the tests.
std::string CliProgram();

struct TToolResult {
  int Status = -1;  // the exit code; -1 when it did not exit by itself in time
  std::string Out;
  std::string Err;
  // "exit 2: <stderr>" for messages.
  std::string Describe() const;
};

class TMonitorRun;

// The commands of one data folder.
class TCli {
 public:
  explicit TCli(std::filesystem::path dataDir, std::string program = CliProgram());

  const std::filesystem::path& DataDir() const { return DataDir_; }
  std::filesystem::path File(const std::string& name) const { return DataDir_ / name; }

  // Runs `vantrel-cli --data-dir DIR args...` to its end, killing it after
  // `timeoutMs`.
  TToolResult Tool(const std::vector<std::string>& args, int timeoutMs = 30000) const;
  // Starts a tool and leaves it running (to be killed in the middle).
  std::unique_ptr<TPeerProgram> StartTool(const std::vector<std::string>& args) const;

  // Starts `vantrel-cli --data-dir DIR run` inside the namespace (empty: here).
  std::unique_ptr<TMonitorRun> StartMonitor(const std::string& netNamespace = {},
                                            const std::vector<std::string>& environment = {}) const;

 private:
  std::filesystem::path NextOutput(const std::string& stem) const;

  std::filesystem::path DataDir_;
  std::string Program_;
  std::shared_ptr<TTempDir> Scratch_;
  std::shared_ptr<int> Counter_;
};

// A running headless monitor.
class TMonitorRun {
 public:
  using TLineTest = std::function<bool(const std::string& line)>;

  TMonitorRun(const std::vector<std::string>& argv, const TPeerProgram::TOptions& options);

  bool Started() const { return Program_.Started(); }
  std::string Error() const { return Program_.Error(); }
  pid_t Pid() const { return Program_.Pid(); }
  TPeerProgram& Program() { return Program_; }

  // The complete lines printed on standard output so far.
  std::vector<std::string> Lines() const;
  std::string Errors() const { return Program_.Errors(); }
  // Everything printed, for failure messages.
  std::string Transcript() const;

  // Waits until the line at index `from` or a later one passes `test`; its
  // index, or nothing when the program ended or `timeoutMs` passed first.
  std::optional<std::size_t> WaitForLine(const TLineTest& test, int timeoutMs,
                                         std::size_t from = 0);
  // Waits until `count` lines from `from` on pass `test`; false on time-out.
  bool WaitForCount(const TLineTest& test, int count, int timeoutMs, std::size_t from = 0);
  std::size_t Count(const TLineTest& test, std::size_t from = 0) const;

  // Sends `signal` and waits for the end at most `timeoutMs`. The exit code
  // (-1 when it ended otherwise, nothing when it still runs); `took` gets the
  // time from the signal to the end.
  std::optional<int> StopWith(int signal, int timeoutMs, std::chrono::milliseconds* took = nullptr);
  // SIGKILL, and the end reaped.
  void Kill();

 private:
  TPeerProgram Program_;
  std::filesystem::path Output_;
};

// Tests of printed lines. A result line names the item as "NAME (URL)".
TMonitorRun::TLineTest Contains(const std::string& text);
TMonitorRun::TLineTest ResultOf(const std::string& name, const std::string& outcome);

}  // namespace vantrel::test
