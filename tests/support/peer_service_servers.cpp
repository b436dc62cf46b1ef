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
std::string DovecotConfig(const std::filesystem::path& dir, int port) {
  const std::string d = dir.string();
  const std::vector<std::string> lines = {
      "base_dir = " + d + "/run",
      "state_dir = " + d + "/state",
      "log_path = " + d + "/dovecot.log",
      "protocols = pop3",
      "listen = 127.0.0.1",
      "ssl = no",
      "disable_plaintext_auth = no",
      "auth_mechanisms = plain",
      "shutdown_clients = yes",
      "mail_location = maildir:" + d + "/mail/%u",
      "passdb {",
      "  driver = static",
      "  args = password=secret",
      "}",
      "userdb {",
      "  driver = static",
      "  args = uid=root gid=root home=" + d + "/mail/%u",
      "}",
      "service pop3-login {",
      "  inet_listener pop3 {",
      "    port = " + std::to_string(port),
      "  }",
      "}",
  };
  std::string text;
  for (const std::string& line : lines)
    text += line + "\n";
  return text;
}

const char* KindName(TServiceKind kind) {
  switch (kind) {
    case TServiceKind::Smtp:
      return "smtp";
    case TServiceKind::Pop3:
      return "pop3";
    case TServiceKind::Ftp:
      return "ftp";
  }
  return "?";
}

}  // namespace

int StandardPort(TServiceKind kind) {
  switch (kind) {
    case TServiceKind::Smtp:
      return 25;
    case TServiceKind::Pop3:
      return 110;
    case TServiceKind::Ftp:
      return 21;
  }
  return 0;
}

TServiceServer::TServiceServer(TServiceKind kind, std::string netNamespace, int port)
    : Kind_(kind),
      NetNamespace_(std::move(netNamespace)),
      Port_(port > 0 ? port : StandardPort(kind)) {
  std::filesystem::create_directories(Dir_ / "files");
  if (Kind_ == TServiceKind::Pop3) {
    std::filesystem::create_directories(Dir_ / "run");
    std::filesystem::create_directories(Dir_ / "state");
    std::filesystem::create_directories(Dir_ / "mail");
    std::ofstream(Dir_ / "dovecot.conf") << DovecotConfig(Dir_.Path(), Port_);
  }
  Start();
}

TServiceServer::~TServiceServer() {
  Stop();
}

std::vector<std::string> TServiceServer::Command() const {
  const std::string address = "127.0.0.1";
  switch (Kind_) {
    case TServiceKind::Smtp:
      return {kPython,    "-m",
              "aiosmtpd", "-n",
              "-c",       "aiosmtpd.handlers.Sink",
              "-l",       address + ":" + std::to_string(Port_)};
    case TServiceKind::Pop3:
      return {"dovecot", "-F", "-c", (Dir_ / "dovecot.conf").string()};
    case TServiceKind::Ftp:
      return {kPython,
              "-m",
              "pyftpdlib",
              "-i",
              address,
              "-p",
              std::to_string(Port_),
              "-d",
              (Dir_ / "files").string()};
  }
  return {};
}

bool TServiceServer::Start() {
  Stop();
  Error_.clear();
  auto program = std::make_unique<TTestProcess>(
      Command(), TTestProcess::TOptions{.NetNamespace = NetNamespace_});
  if (!program->Started()) {
    Error_ = std::string(KindName(Kind_)) + " server: " + program->Error();
    return false;
  }
  const auto greeting = ReadGreeting(NetNamespace_, Port_, kGreetingWaitMs);
  if (!greeting || !program->Running()) {
    program->Stop(0);
    std::string text = program->Output() + program->Errors();
    if (Kind_ == TServiceKind::Pop3) {
      std::ifstream log(Dir_ / "dovecot.log");
      text.append(std::istreambuf_iterator<char>(log), std::istreambuf_iterator<char>());
    }
    Error_ = std::string(KindName(Kind_)) + " server did not greet on port " +
             std::to_string(Port_) + ": " + text;
    return false;
  }
  Greeting_ = *greeting;
  Program_ = std::move(program);
  return true;
}

void TServiceServer::Stop() {
  if (Program_ == nullptr)
    return;
  Program_->Stop(5000);
  Program_.reset();
}

}  // namespace vantrel::test
