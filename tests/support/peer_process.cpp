#include "support/peer_process.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace vantrel::test {

namespace {

bool Accepts(int port) {
  const int handle = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (handle < 0)
    return false;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  const bool ok = ::connect(handle, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
  ::close(handle);
  return ok;
}

}  // namespace

TPeerProcess::TPeerProcess(const std::vector<std::string>& argv, std::filesystem::path logFile)
    : LogFile_(std::move(logFile)) {
  std::vector<char*> arguments;
  for (const std::string& argument : argv)
    arguments.push_back(const_cast<char*>(argument.c_str()));
  arguments.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, LogFile_.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  const int result =
      posix_spawnp(&Pid_, arguments[0], &actions, nullptr, arguments.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (result != 0) {
    Error_ = "cannot start " + argv[0] + ": " + std::strerror(result);
    Pid_ = -1;
  }
}

TPeerProcess::~TPeerProcess() {
  if (Pid_ <= 0 || Reaped_)
    return;
  ::kill(Pid_, SIGTERM);
  for (int i = 0; i < 200; ++i) {
    if (::waitpid(Pid_, nullptr, WNOHANG) == Pid_)
      return;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ::kill(Pid_, SIGKILL);
  ::waitpid(Pid_, nullptr, 0);
}

bool TPeerProcess::Running() {
  if (Pid_ <= 0 || Reaped_)
    return false;
  int status = 0;
  if (::waitpid(Pid_, &status, WNOHANG) == Pid_) {
    Reaped_ = true;
    Error_ = "exited with status " + std::to_string(status);
    return false;
  }
  return true;
}

bool TPeerProcess::WaitForPort(int port, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (Running()) {
    if (Accepts(port))
      return true;
    if (std::chrono::steady_clock::now() > deadline) {
      Error_ = "nothing listens on port " + std::to_string(port);
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

std::string TPeerProcess::Log() const {
  std::ifstream in(LogFile_);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace vantrel::test
