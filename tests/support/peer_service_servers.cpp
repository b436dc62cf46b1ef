#include "support/peer_service_servers.h"

#include <filesystem>
#include <fstream>
#include <vector>

namespace vantrel::test {

namespace {

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
  const auto log = Dir_ / (std::string(KindName(Kind_)) + "-" + std::to_string(++Starts_) + ".log");
  TPeerProgram::TOptions options;
  options.NetNamespace = NetNamespace_;
  options.Output = log;
  auto program = std::make_unique<TPeerProgram>(Command(), options);
  if (!program->Started()) {
    Error_ = std::string(KindName(Kind_)) + " server: " + program->Error();
    return false;
  }
  const auto greeting = ReadGreeting(NetNamespace_, "127.0.0.1", Port_, kGreetingWaitMs);
  if (!greeting || !program->Running()) {
    program->Stop(0);
    std::string text = ReadWholeFile(log);
    if (Kind_ == TServiceKind::Pop3)
      text += ReadWholeFile(Dir_ / "dovecot.log");
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
