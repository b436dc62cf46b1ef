#pragma once

// A program started by a test: the program under test (vantrel-cli), a server
// it talks to, or a tool such as `ip`. It runs in a process group of its own,
// so that whatever it starts is stopped with it, optionally inside a network
// namespace the test made; its standard output and error are read into
// memory while it runs.
//
// Started from the main thread, it gets SIGKILL should the test program die.
// Started from another thread (one that entered a namespace, say), only its
// owner stops it: a thread that ends would take it along.

#include <sys/types.h>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace vantrel::test {

struct TProcessOptions {
  std::string NetNamespace = {};  // "/proc/PID/ns/net" to run in; empty: this one
  // "NAME=VALUE" sets a variable, a bare "NAME" removes it; the rest is
  // this process's environment.
  std::vector<std::string> Environment = {};
};

class TTestProcess {
 public:
  using TOptions = TProcessOptions;

  // Starts `argv`; a name without "/" is looked up on PATH, then in /usr/sbin
  // and /sbin.
  explicit TTestProcess(const std::vector<std::string>& argv, const TOptions& options = {});
  // Kills the whole group when the program still runs, and reaps it.
  ~TTestProcess();
  TTestProcess(const TTestProcess&) = delete;
  TTestProcess& operator=(const TTestProcess&) = delete;

  bool Started() const { return Pid_ > 0; }
  const std::string& Error() const { return Error_; }
  pid_t Pid() const { return Pid_; }

  // What the program wrote so far.
  std::string Output() const;
  std::string Errors() const;
  // Stops reading standard output, as a reader that has gone: the program's
  // next write there fails.
  void CloseOutput();

  // Sends `signal` to the program itself; false when it has ended.
  bool Signal(int signal);
  // Waits at most `timeoutMs` for the end; the wait status, or nothing while
  // it still runs.
  std::optional<int> Wait(int timeoutMs);
  bool Running() { return Started() && !Wait(0); }
  // SIGTERM, then SIGKILL to the group after `graceMs`; SIGKILL to whatever
  // of the group is left in any case. The wait status.
  int Stop(int graceMs = 2000);

 private:
  void ReadOutput(int outFd, int errFd);
  // After the end of the group: until the reader has taken the last bytes.
  void WaitForDrain();

  pid_t Pid_ = -1;
  std::optional<int> Status_;
  bool GroupCleared_ = false;
  std::string Error_;

  mutable std::mutex Mutex_;
  std::condition_variable PipeClosed_;
  std::string Out_;
  std::string Err_;
  bool CloseOutput_ = false;
  bool PipeOpen_[2] = {false, false};  // standard output, standard error
  bool Quit_ = false;
  int WakeFd_ = -1;
  std::thread Reader_;
};

// The exit code of a wait status; -1 when the program did not exit normally.
int ExitCode(int waitStatus);
// "exit 3", "signal 9": a wait status for messages.
std::string DescribeStatus(int waitStatus);

// Waits, checking every few milliseconds, until `condition` holds; false
// after `timeoutMs`. For waits on other processes, never on virtual time.
bool WaitUntil(const std::function<bool()>& condition, int timeoutMs);

}  // namespace vantrel::test
