#include "support/peer_program.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <thread>

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
  std::string path = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "/usr/bin:/bin";
  path += ":/usr/sbin:/sbin";
  std::size_t start = 0;
  while (start <= path.size()) {
    const std::size_t end = std::min(path.find(':', start), path.size());
    const std::string dir = path.substr(start, end - start);
    if (!dir.empty() && Executable(dir + "/" + name))
      return dir + "/" + name;
    start = end + 1;
  }
  return {};
}

std::vector<std::string> MergedEnvironment(const std::vector<std::string>& changes) {
  std::vector<std::string> merged;
  for (char** entry = environ; *entry != nullptr; ++entry)
    merged.emplace_back(*entry);
  for (const std::string& change : changes) {
    const std::string name = change.substr(0, change.find('=') + 1);
    std::erase_if(
        merged, [&](const std::string& entry) { return entry.compare(0, name.size(), name) == 0; });
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

int OpenOutput(const std::filesystem::path& path) {
  return ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
}

bool ParseAddress(const std::string& host, int port, sockaddr_storage& address, socklen_t& length) {
  address = {};
  auto* v4 = reinterpret_cast<sockaddr_in*>(&address);
  auto* v6 = reinterpret_cast<sockaddr_in6*>(&address);
  if (::inet_pton(AF_INET, host.c_str(), &v4->sin_addr) == 1) {
    v4->sin_family = AF_INET;
    v4->sin_port = htons(static_cast<std::uint16_t>(port));
    length = sizeof(sockaddr_in);
    return true;
  }
  if (::inet_pton(AF_INET6, host.c_str(), &v6->sin6_addr) == 1) {
    v6->sin6_family = AF_INET6;
    v6->sin6_port = htons(static_cast<std::uint16_t>(port));
    length = sizeof(sockaddr_in6);
    return true;
  }
  return false;
}

// One attempt: connect and read a line within the time left.
std::optional<std::string> GreetingOnce(const sockaddr_storage& address, socklen_t length,
                                        Clock::time_point deadline) {
  const int handle = ::socket(address.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (handle < 0)
    return std::nullopt;
  std::optional<std::string> line;
  if (::connect(handle, reinterpret_cast<const sockaddr*>(&address), length) == 0) {
    std::string text;
    char buffer[512];
    while (Clock::now() < deadline) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      pollfd ready{handle, POLLIN, 0};
      const int polled = ::poll(&ready, 1, static_cast<int>(std::max<long long>(left, 1)));
      if (polled < 0 && errno == EINTR)
        continue;
      if (polled <= 0)
        break;
      const ssize_t got = ::read(handle, buffer, sizeof buffer);
      if (got <= 0)
        break;
      text.append(buffer, static_cast<std::size_t>(got));
      const std::size_t end = text.find('\n');
      if (end != std::string::npos) {
        std::string first = text.substr(0, end);
        if (!first.empty() && first.back() == '\r')
          first.pop_back();
        line = first;
        break;
      }
    }
  }
  ::close(handle);
  return line;
}

}  // namespace

TPeerProgram::TPeerProgram(const std::vector<std::string>& argv, const TOptions& options)
    : Output_(options.Output), Errors_(options.Errors) {
  if (argv.empty()) {
    Error_ = "no program given";
    return;
  }
  const std::string program = ResolveProgram(argv[0]);
  if (program.empty()) {
    Error_ = "cannot find the program " + argv[0];
    return;
  }
  // Everything the child needs is made before fork.
  std::vector<std::string> arguments = argv;
  std::vector<char*> argPointers = Pointers(arguments);
  std::vector<std::string> environment = MergedEnvironment(options.Environment);
  std::vector<char*> envPointers = Pointers(environment);
  int nsFd = -1;
  if (!options.NetNamespace.empty()) {
    nsFd = ::open(options.NetNamespace.c_str(), O_RDONLY | O_CLOEXEC);
    if (nsFd < 0) {
      Error_ = options.NetNamespace + ": " + std::strerror(errno);
      return;
    }
  }
  const int input = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  const int output = OpenOutput(Output_);
  const int errors = Errors_.empty() ? -1 : OpenOutput(Errors_);
  if (input < 0 || output < 0 || (!Errors_.empty() && errors < 0)) {
    Error_ = "cannot open the program's output files: " + std::string(std::strerror(errno));
  } else {
    const pid_t parent = ::getpid();
    Pid_ = ::fork();
    if (Pid_ == 0) {
      ::setpgid(0, 0);
      ::prctl(PR_SET_PDEATHSIG, SIGKILL);
      if (::getppid() != parent)
        _exit(125);
      if (nsFd >= 0 && ::setns(nsFd, CLONE_NEWNET) != 0)
        _exit(126);
      sigset_t none;
      sigemptyset(&none);
      ::sigprocmask(SIG_SETMASK, &none, nullptr);
      ::dup2(input, STDIN_FILENO);
      ::dup2(output, STDOUT_FILENO);
      ::dup2(errors >= 0 ? errors : output, STDERR_FILENO);
      ::execve(program.c_str(), argPointers.data(), envPointers.data());
      _exit(127);
    }
    if (Pid_ < 0) {
      Error_ = std::string("fork: ") + std::strerror(errno);
    } else {
      // Also here, so that a signal to the group cannot come before the child
      // has made it.
      ::setpgid(Pid_, Pid_);
    }
  }
  for (const int fd : {nsFd, input, output, errors}) {
    if (fd >= 0)
      ::close(fd);
  }
}

TPeerProgram::~TPeerProgram() {
  if (Pid_ > 0)
    Stop(0);
}

bool TPeerProgram::Signal(int signal) {
  if (!Running())
    return false;
  return ::kill(Pid_, signal) == 0;
}

void TPeerProgram::SignalGroup(int signal) {
  if (Pid_ > 0 && !GroupCleared_)
    ::kill(-Pid_, signal);
}

std::optional<int> TPeerProgram::Wait(int timeoutMs) {
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
      if (::kill(-Pid_, 0) != 0 && errno == ESRCH)
        GroupCleared_ = true;
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

bool TPeerProgram::Running() {
  return Pid_ > 0 && !Wait(0);
}

int TPeerProgram::Stop(int graceMs) {
  if (Pid_ <= 0)
    return -1;
  if (graceMs > 0 && Running()) {
    ::kill(Pid_, SIGTERM);
    Wait(graceMs);
  }
  if (!GroupCleared_) {
    // The group outlives its leader while a helper is left; its number is
    // not given to another process before the last member has gone.
    ::kill(-Pid_, SIGKILL);
    GroupCleared_ = true;
  }
  return Wait(60000).value_or(-1);
}

std::string TPeerProgram::Output() const {
  return ReadWholeFile(Output_);
}

std::string TPeerProgram::Errors() const {
  return Errors_.empty() ? std::string() : ReadWholeFile(Errors_);
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

std::optional<std::string> ReadGreeting(const std::string& netNamespace, const std::string& host,
                                        int port, int timeoutMs) {
  sockaddr_storage address{};
  socklen_t length = 0;
  if (!ParseAddress(host, port, address, length))
    return std::nullopt;
  std::optional<std::string> line;
  // Namespaces belong to threads: a thread of its own enters the namespace.
  std::thread worker([&] {
    if (!netNamespace.empty()) {
      const int fd = ::open(netNamespace.c_str(), O_RDONLY | O_CLOEXEC);
      const bool entered = fd >= 0 && ::setns(fd, CLONE_NEWNET) == 0;
      if (fd >= 0)
        ::close(fd);
      if (!entered)
        return;
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!line && Clock::now() < deadline) {
      line = GreetingOnce(address, length, deadline);
      if (!line)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  });
  worker.join();
  return line;
}

std::string ReadWholeFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace vantrel::test
