#pragma once

// The built vantrel-cli run as a process, its output read through pipes.

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace vantrel::test {

// The program under test (its path comes from the build).
const char* CliPath();

struct TCliResult {
  int Status = -1;  // the exit status; 128 + the signal when one ended it; -1 timed out
  std::string Out;
  std::string Err;
};

// A vantrel-cli process. Its environment is this process's without proxy
// variables (no request may leave the machine through a proxy) and without
// VANTREL_HOME.
class TCliProcess {
 public:
  explicit TCliProcess(const std::vector<std::string>& args);
  // Kills the program when it still runs.
  ~TCliProcess();
  TCliProcess(const TCliProcess&) = delete;
  TCliProcess& operator=(const TCliProcess&) = delete;

  pid_t Pid() const { return Pid_; }
  // Reads output until standard output holds `text`; false when the program
  // ended or `timeoutMs` passed first.
  bool WaitForOutput(const std::string& text, int timeoutMs);
  void Signal(int signal);
  // Stops reading standard output, as a pipe's reader that has gone.
  void CloseOutput();
  // Reads output until the program ends; its status, or nothing after
  // `timeoutMs`.
  std::optional<int> WaitForExit(int timeoutMs);

  const std::string& Out() const { return Out_; }
  const std::string& Err() const { return Err_; }

 private:
  // Reads what the pipes hold, waiting at most `timeoutMs` for something.
  void ReadOutput(int timeoutMs);
  bool Reap(bool wait);

  pid_t Pid_ = -1;
  int OutFd_ = -1;
  int ErrFd_ = -1;
  std::string Out_;
  std::string Err_;
  std::optional<int> Status_;
};

// Runs vantrel-cli to its end (killed after `timeoutMs`).
TCliResult RunCli(const std::vector<std::string>& args, int timeoutMs = 30000);

}  // namespace vantrel::test
