#include "support/peer_service_servers.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

namespace vantrel::test {

namespace {

using Clock = std::chrono::steady_clock;

// One attempt: connects to 127.0.0.1:`port` and reads a line before `deadline`.
std::optional<std::string> GreetingOnce(int port, Clock::time_point deadline) {
  const int handle = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  std::string text;
  if (handle >= 0 &&
      ::connect(handle, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
    char buffer[512];
    for (ssize_t got = 1; got > 0 && text.find('\n') == std::string::npos;) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      pollfd ready{handle, POLLIN, 0};
      if (left <= 0 || ::poll(&ready, 1, static_cast<int>(left)) <= 0)
        break;
      got = ::read(handle, buffer, sizeof buffer);
      text.append(buffer, static_cast<std::size_t>(std::max<ssize_t>(got, 0)));
    }
  }
  if (handle >= 0)
    ::close(handle);
  const std::size_t end = text.find_first_of("\r\n");
  if (text.find('\n') == std::string::npos)
    return std::nullopt;
  return text.substr(0, end);
}

// The first line a server on 127.0.0.1:`port` of the namespace `netNamespace`
// (empty: this one) sends, retried until `timeoutMs` has passed.
std::optional<std::string> ReadGreeting(const std::string& netNamespace, int port, int timeoutMs) {
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
      line = GreetingOnce(port, deadline);
      if (!line)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  });
  worker.join();
  return line;
}

// Debian's modules are importable only by Debian's own interpreter.
constexpr const char* kPython = "/usr/bin/python3";
constexpr int kGreetingWaitMs = 20000;

// A POP3 service of dovecot, alone: no IMAP, no TLS, no system files.
std::string DovecotConfig(const std::string& dir) {
  return "base_dir = " + dir + "/run\nstate_dir = " + dir + "/state\nlog_path = " + dir +
         "/dovecot.log\nmail_location = maildir:" + dir +
         "/mail/%u\nuserdb {\n  driver = static\n" + "  args = uid=root gid=root home=" + dir +
         "/mail/%u\n}\n" + R"(protocols = pop3
listen = 127.0.0.1
ssl = no
disable_plaintext_auth = no
auth_mechanisms = plain
shutdown_clients = yes
passdb {
  driver = static
  args = password=secret
}
)";
}

}  // namespace

TServiceServer::TServiceServer(TServiceKind kind, const std::string& netNamespace) {
  const std::string dir = Dir_.Path().string();
  std::vector<std::string> command;
  int port = 0;
  switch (kind) {
    case TServiceKind::Smtp:
      port = 25;
      command = {kPython, "-m",          "aiosmtpd", "-n", "-c", "aiosmtpd.handlers.Sink",
                 "-l",    "127.0.0.1:25"};
      break;
    case TServiceKind::Pop3:
      port = 110;
      for (const char* folder : {"run", "state", "mail"})
        std::filesystem::create_directories(Dir_ / folder);
      std::ofstream(Dir_ / "dovecot.conf") << DovecotConfig(dir);
      command = {"dovecot", "-F", "-c", dir + "/dovecot.conf"};
      break;
    case TServiceKind::Ftp:
      port = 21;
      command = {kPython, "-m", "pyftpdlib", "-i", "127.0.0.1", "-p", "21", "-d", dir};
      break;
  }
  auto program =
      std::make_unique<TTestProcess>(command, TTestProcess::TOptions{.NetNamespace = netNamespace});
  if (!ReadGreeting(netNamespace, port, kGreetingWaitMs) || !program->Running()) {
    program->Stop(0);
    std::ifstream log(Dir_ / "dovecot.log");
    Error_ = command[0] + " did not greet on port " + std::to_string(port) + ": " +
             program->Error() + program->Output() + program->Errors() +
             std::string(std::istreambuf_iterator<char>(log), std::istreambuf_iterator<char>());
    return;
  }
  Program_ = std::move(program);
}

}  // namespace vantrel::test
