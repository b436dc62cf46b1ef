#pragma once

// A program started by a test and watched to its end: the program under test
// (vantrel-cli) or a server it talks to. It may run inside a network
// namespace the test made, and runs in a process group of its own, so that
// whatever it starts itself can be stopped with it. Its standard output and
// error go to files, which the test reads while it runs.
//
// The program gets SIGKILL when the thread that started it ends (a test that
// crashes leaves nothing running), so start it from the test's own thread.

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace vantrel::test {

class TPeerProgram {
 public:
  struct TOptions {
    // "/proc/PID/ns/net" of a namespace to run in; empty: this process's own.
    std::string NetNamespace;
    // Standard output; standard error too unless Errors is given.
    std::filesystem::path Output;
    std::filesystem::path Errors;
    // "NAME=VALUE" entries added to (or replacing those of) this environment.
    std::vector<std::string> Environment;
  };

  // Starts `argv` (a name without "/" is looked up on PATH, then in /usr/sbin
  // and /sbin).
  TPeerProgram(const std::vector<std::string>& argv, const TOptions& options);
  // Kills the whole group when the program still runs, and reaps it.
  ~TPeerProgram();
  TPeerProgram(const TPeerProgram&) = delete;
  TPeerProgram& operator=(const TPeerProgram&) = delete;

  bool Started() const { return Pid_ > 0; }
  const std::string& Error() const { return Error_; }
  pid_t Pid() const { return Pid_; }

  // Sends `signal` to the program itself; false when it has ended.
  bool Signal(int signal);
  // Sends `signal` to every process of its group, also after the program
  // itself has ended (helpers it left behind).
  void SignalGroup(int signal);
  // Waits until the program ends, at most `timeoutMs`; its wait status, or
  // nothing while it still runs.
  std::optional<int> Wait(int timeoutMs);
  bool Running();
  // SIGTERM to the program, then SIGKILL to the group after `graceMs`, and
  // SIGKILL to whatever of the group is left in any case. The wait status.
  int Stop(int graceMs = 2000);

  std::string Output() const;
  std::string Errors() const;

 private:
  pid_t Pid_ = -1;
  std::optional<int> Status_;
  bool GroupCleared_ = false;
  std::filesystem::path Output_;
  std::filesystem::path Errors_;
  std::string Error_;
};

// The exit code of a wait status; -1 when the program did not exit normally.
int ExitCode(int waitStatus);
// "exit 3", "signal 9": a wait status for messages.
std::string DescribeStatus(int waitStatus);

// Connects to `host`:`port` from inside the namespace `netNamespace` (empty:
// this one) and reads the first line the server sends, without its line end.
// Retries until `timeoutMs` has passed; nothing when no line came.
std::optional<std::string> ReadGreeting(const std::string& netNamespace, const std::string& host,
                                        int port, int timeoutMs = 10000);

// The whole file; empty when it cannot be read.
std::string ReadWholeFile(const std::filesystem::path& path);

}  // namespace vantrel::test
