#pragma once

// Real servers started by the tests: a program run in the foreground with its
// output in a log file, stopped by its process id when the test ends.

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace vantrel::test {

class TPeerProcess {
 public:
  // Starts `argv` (looked up on PATH) with standard output and error going to
  // `logFile`.
  TPeerProcess(const std::vector<std::string>& argv, std::filesystem::path logFile);
  // Stops the program: SIGTERM, then SIGKILL when it lingers.
  ~TPeerProcess();
  TPeerProcess(const TPeerProcess&) = delete;
  TPeerProcess& operator=(const TPeerProcess&) = delete;

  // Waits until 127.0.0.1:`port` accepts connections; false when the program
  // ended or `timeoutMs` passed first.
  bool WaitForPort(int port, int timeoutMs = 5000);
  bool Running();
  pid_t Pid() const { return Pid_; }
  // What the program wrote so far, and why it could not start.
  std::string Log() const;
  const std::string& Error() const { return Error_; }

 private:
  pid_t Pid_ = -1;
  bool Reaped_ = false;
  std::filesystem::path LogFile_;
  std::string Error_;
};

}  // namespace vantrel::test
