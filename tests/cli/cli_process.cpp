#include "cli_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>

extern char** environ;

namespace vantrel::test {

namespace {

using TSteadyClock = std::chrono::steady_clock;

bool Unwanted(const std::string& entry) {
  for (const char* name :
       {"http_proxy=", "https_proxy=", "no_proxy=", "HTTP_PROXY=", "HTTPS_PROXY=", "NO_PROXY=",
        "all_proxy=", "ALL_PROXY=", "VANTREL_HOME="}) {
    if (entry.rfind(name, 0) == 0)
      return true;
  }
  return false;
}

std::vector<std::string> ChildEnvironment() {
  std::vector<std::string> entries;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    if (!Unwanted(*entry))
      entries.emplace_back(*entry);
  }
  return entries;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (std::string& text : texts)
    pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

int Remaining(TSteadyClock::time_point deadline) {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - TSteadyClock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

}  // namespace

const char* CliPath() {
  return VANTREL_CLI;
}

TCliProcess::TCliProcess(const std::vector<std::string>& args) {
  int out[2];
  int err[2];
  if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) {
    ADD_FAILURE() << "pipe: " << std::strerror(errno);
    return;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
  std::vector<std::string> argv = {CliPath()};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<std::string> env = ChildEnvironment();
  std::vector<char*> argvPointers = Pointers(argv);
  std::vector<char*> envPointers = Pointers(env);
  const int error =
      ::posix_spawn(&Pid_, CliPath(), &actions, nullptr, argvPointers.data(), envPointers.data());
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  ::close(err[1]);
  OutFd_ = out[0];
  ErrFd_ = err[0];
  if (error != 0) {
    ADD_FAILURE() << "cannot start " << CliPath() << ": " << std::strerror(error);
    Pid_ = -1;
  }
}

TCliProcess::~TCliProcess() {
  if (Pid_ > 0 && !Status_) {
    ::kill(Pid_, SIGKILL);
    Reap(true);
  }
  if (OutFd_ >= 0)
    ::close(OutFd_);
  if (ErrFd_ >= 0)
    ::close(ErrFd_);
}

void TCliProcess::ReadOutput(int timeoutMs) {
  pollfd fds[2] = {{OutFd_, POLLIN, 0}, {ErrFd_, POLLIN, 0}};
  const int ready = ::poll(fds, 2, timeoutMs);
  if (ready <= 0)
    return;
  std::string* targets[2] = {&Out_, &Err_};
  int* descriptors[2] = {&OutFd_, &ErrFd_};
  for (int i = 0; i < 2; ++i) {
    if (fds[i].fd < 0 || fds[i].revents == 0)
      continue;
    char buffer[4096];
    const ssize_t count = ::read(fds[i].fd, buffer, sizeof buffer);
    if (count > 0) {
      targets[i]->append(buffer, static_cast<std::size_t>(count));
    } else if (count == 0 || errno != EINTR) {
      ::close(fds[i].fd);
      *descriptors[i] = -1;  // poll skips negative descriptors
    }
  }
}

bool TCliProcess::Reap(bool wait) {
  if (Status_)
    return true;
  if (Pid_ <= 0)
    return false;
  int status = 0;
  const pid_t done = ::waitpid(Pid_, &status, wait ? 0 : WNOHANG);
  if (done != Pid_)
    return false;
  Status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return true;
}

bool TCliProcess::WaitForOutput(const std::string& text, int timeoutMs) {
  const auto deadline = TSteadyClock::now() + std::chrono::milliseconds(timeoutMs);
  while (Out_.find(text) == std::string::npos) {
    if (OutFd_ < 0 && ErrFd_ < 0)
      return false;  // the program has gone
    const int left = Remaining(deadline);
    if (left == 0)
      return false;
    ReadOutput(left);
  }
  return true;
}

void TCliProcess::Signal(int signal) {
  if (Pid_ > 0 && !Status_)
    ::kill(Pid_, signal);
}

void TCliProcess::CloseOutput() {
  if (OutFd_ >= 0)
    ::close(OutFd_);
  OutFd_ = -1;
}

std::optional<int> TCliProcess::WaitForExit(int timeoutMs) {
  const auto deadline = TSteadyClock::now() + std::chrono::milliseconds(timeoutMs);
  while (OutFd_ >= 0 || ErrFd_ >= 0) {
    const int left = Remaining(deadline);
    if (left == 0)
      return std::nullopt;
    ReadOutput(left);
  }
  // Both pipes closed: the program has ended, or is about to.
  while (!Reap(false)) {
    if (Remaining(deadline) == 0)
      return std::nullopt;
    ::usleep(1000);
  }
  return Status_;
}

TCliResult RunCli(const std::vector<std::string>& args, int timeoutMs) {
  TCliProcess process(args);
  TCliResult result;
  result.Status = process.WaitForExit(timeoutMs).value_or(-1);
  result.Out = process.Out();
  result.Err = process.Err();
  return result;
}

}  // namespace vantrel::test
