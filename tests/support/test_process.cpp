#include "support/test_process.h"

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace vantrel::test {

namespace {

using Clock = std::chrono::steady_clock;

bool Executable(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
         ::access(path.c_str(), X_OK) == 0;
}

// The file `name` stands for, found before fork: the child may only make
// system calls.
std::string ResolveProgram(const std::string& name) {
  if (name.find('/') != std::string::npos)
    return name;
  const char* path = std::getenv("PATH");
  const std::string dirs =
      std::string(path != nullptr ? path : "/usr/bin:/bin") + ":/usr/sbin:/sbin";
  std::size_t start = 0;
  while (start <= dirs.size()) {
    const std::size_t end = std::min(dirs.find(':', start), dirs.size());
    const std::string candidate = dirs.substr(start, end - start) + "/" + name;
    if (end > start && Executable(candidate))
      return candidate;
    start = end + 1;
  }
  return {};
}

std::vector<std::string> MergedEnvironment(const std::vector<std::string>& changes) {
  std::vector<std::string> merged;
  for (char** entry = environ; *entry != nullptr; ++entry)
    merged.emplace_back(*entry);
  for (const std::string& change : changes) {
    const std::string name = change.substr(0, change.find('=')) + "=";
    std::erase_if(merged, [&](const std::string& entry) { return entry.starts_with(name); });
    if (change.find('=') != std::string::npos)
      merged.push_back(change);
  }
  return merged;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (std::string& text : texts)
    pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

}  // namespace

TTestProcess::TTestProcess(const std::vector<std::string>& argv, const TOptions& options) {
  const std::string program = argv.empty() ? std::string() : ResolveProgram(argv[0]);
  if (program.empty()) {
    Error_ = "cannot find the program " + (argv.empty() ? std::string() : argv[0]);
    return;
  }
  // Everything the child needs is made before fork.
  std::vector<std::string> arguments = argv;
  std::vector<char*> argPointers = Pointers(arguments);
  std::vector<std::string> environment = MergedEnvironment(options.Environment);
  std::vector<char*> envPointers = Pointers(environment);
  int out[2] = {-1, -1};
  int err[2] = {-1, -1};
  const int input = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  const int ns = options.NetNamespace.empty()
                     ? -1
                     : ::open(options.NetNamespace.c_str(), O_RDONLY | O_CLOEXEC);
  WakeFd_ = ::eventfd(0, EFD_CLOEXEC);
  if (input < 0 || (!options.NetNamespace.empty() && ns < 0) || WakeFd_ < 0 ||
      ::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) {
    Error_ = "cannot prepare " + argv[0] + ": " + std::strerror(errno);
  } else {
    const bool fromMainThread = ::gettid() == ::getpid();
    const pid_t parent = ::getpid();
    Pid_ = ::fork();
    if (Pid_ == 0) {
      ::setpgid(0, 0);
      if (fromMainThread)
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
      if (fromMainThread && ::getppid() != parent)
        _exit(125);
      if (ns >= 0 && ::setns(ns, CLONE_NEWNET) != 0)
        _exit(126);
      sigset_t none;
      sigemptyset(&none);
      ::sigprocmask(SIG_SETMASK, &none, nullptr);
      // As from a terminal, even when the tests run under nohup.
      ::signal(SIGHUP, SIG_DFL);
      ::dup2(input, STDIN_FILENO);
      ::dup2(out[1], STDOUT_FILENO);
      ::dup2(err[1], STDERR_FILENO);
      ::execve(program.c_str(), argPointers.data(), envPointers.data());
      _exit(127);
    }
    if (Pid_ < 0) {
      Error_ = std::string("fork: ") + std::strerror(errno);
    } else {
      // Also here, so that a signal to the group cannot come before the child
      // has made it.
      ::setpgid(Pid_, Pid_);
      PipeOpen_[0] = PipeOpen_[1] = true;
      Reader_ = std::thread([this, outFd = out[0], errFd = err[0]] { ReadOutput(outFd, errFd); });
      out[0] = err[0] = -1;  // the reader's now
    }
  }
  for (const int fd : {input, ns, out[0], out[1], err[0], err[1]}) {
    if (fd >= 0)
      ::close(fd);
  }
}

TTestProcess::~TTestProcess() {
  if (Pid_ > 0)
    Stop(0);
  if (Reader_.joinable()) {
    {
      std::lock_guard lock(Mutex_);
      Quit_ = true;
    }
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t woken = ::write(WakeFd_, &one, sizeof one);
    Reader_.join();
  }
  if (WakeFd_ >= 0)
    ::close(WakeFd_);
}

void TTestProcess::ReadOutput(int outFd, int errFd) {
  int fds[2] = {outFd, errFd};
  std::string* sinks[2] = {&Out_, &Err_};
  char buffer[4096];
  const auto close = [&](int i) {
    ::close(fds[i]);
    fds[i] = -1;
    std::lock_guard lock(Mutex_);
    PipeOpen_[i] = false;
    PipeClosed_.notify_all();
  };
  while (fds[0] >= 0 || fds[1] >= 0) {
    bool closeOutput = false;
    {
      std::lock_guard lock(Mutex_);
      if (Quit_)
        break;
      closeOutput = CloseOutput_;
    }
    if (closeOutput && fds[0] >= 0)
      close(0);
    pollfd ready[3] = {{fds[0], POLLIN, 0}, {fds[1], POLLIN, 0}, {WakeFd_, POLLIN, 0}};
    if (::poll(ready, 3, -1) < 0) {
      if (errno == EINTR)
        continue;
      break;
    }
    if (ready[2].revents != 0) {
      std::uint64_t count = 0;
      [[maybe_unused]] const ssize_t got = ::read(WakeFd_, &count, sizeof count);
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i] < 0 || ready[i].revents == 0)
        continue;
      const ssize_t got = ::read(fds[i], buffer, sizeof buffer);
      if (got > 0) {
        std::lock_guard lock(Mutex_);
        sinks[i]->append(buffer, static_cast<std::size_t>(got));
      } else if (got == 0 || errno != EINTR) {
        close(i);
      }
    }
  }
  for (int i = 0; i < 2; ++i) {
    if (fds[i] >= 0)
      close(i);
  }
}

std::string TTestProcess::Output() const {
  std::lock_guard lock(Mutex_);
  return Out_;
}

std::string TTestProcess::Errors() const {
  std::lock_guard lock(Mutex_);
  return Err_;
}

void TTestProcess::CloseOutput() {
  std::unique_lock lock(Mutex_);
  CloseOutput_ = true;
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t woken = ::write(WakeFd_, &one, sizeof one);
  PipeClosed_.wait(lock, [this] { return !PipeOpen_[0]; });
}

void TTestProcess::WaitForDrain() {
  std::unique_lock lock(Mutex_);
  PipeClosed_.wait_for(lock, std::chrono::seconds(10),
                       [this] { return !PipeOpen_[0] && !PipeOpen_[1]; });
}

bool TTestProcess::Signal(int signal) {
  return Running() && ::kill(Pid_, signal) == 0;
}

std::optional<int> TTestProcess::Wait(int timeoutMs) {
  if (Status_ || Pid_ <= 0)
    return Status_;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    int status = 0;
    const pid_t done = ::waitpid(Pid_, &status, WNOHANG);
    if (done == Pid_) {
      Status_ = status;
      // An empty group's number may be given to a new process: never signal
      // it again. While a member is left, the number stays this group's.
      if (::kill(-Pid_, 0) != 0 && errno == ESRCH) {
        GroupCleared_ = true;
        WaitForDrain();
      }
      return Status_;
    }
    if (done < 0 && errno != EINTR) {
      Status_ = -1;
      return Status_;
    }
    if (Clock::now() >= deadline)
      return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

int TTestProcess::Stop(int graceMs) {
  if (Pid_ <= 0)
    return -1;
  if (graceMs > 0 && Signal(SIGTERM))
    Wait(graceMs);
  if (!GroupCleared_) {
    // The group outlives its leader while a helper is left; its number is
    // not given to another process before the last member has gone.
    ::kill(-Pid_, SIGKILL);
    GroupCleared_ = true;
    const int status = Wait(60000).value_or(-1);
    WaitForDrain();
    return status;
  }
  return Wait(60000).value_or(-1);
}

int ExitCode(int waitStatus) {
  return waitStatus >= 0 && WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : -1;
}

std::string DescribeStatus(int waitStatus) {
  if (waitStatus < 0)
    return "no status";
  if (WIFEXITED(waitStatus))
    return "exit " + std::to_string(WEXITSTATUS(waitStatus));
  if (WIFSIGNALED(waitStatus))
    return "signal " + std::to_string(WTERMSIG(waitStatus));
  return "status " + std::to_string(waitStatus);
}

bool WaitUntil(const std::function<bool()>& condition, int timeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!condition()) {
    if (Clock::now() >= deadline)
      return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

}  // namespace vantrel::test
