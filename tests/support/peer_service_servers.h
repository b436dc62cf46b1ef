#pragma once

// Real SMTP, POP3 and FTP servers from Debian packages for the service
// greetings: aiosmtpd (python3-aiosmtpd), dovecot's POP3 service
// (dovecot-pop3d) and pyftpdlib (python3-pyftpdlib). Each runs in the
// foreground on 127.0.0.1 with its files in a temporary folder of its own,
// normally inside a network namespace the test made, on the standard port of
// its service there (25, 110, 21), since the monitor reaches services by
// their names. Started means its greeting has been read.

#include <memory>
#include <optional>
#include <string>

#include "support/test_files.h"
#include "support/test_process.h"

namespace vantrel::test {

enum class TServiceKind { Smtp, Pop3, Ftp };

class TServiceServer {
 public:
  // `netNamespace`: "/proc/PID/ns/net", or empty for this process's own.
  // `port` 0: the service's standard port. Starts at once.
  TServiceServer(TServiceKind kind, std::string netNamespace, int port = 0);
  ~TServiceServer();
  TServiceServer(const TServiceServer&) = delete;
  TServiceServer& operator=(const TServiceServer&) = delete;

  // Started and greeting; otherwise Error() says why.
  bool Ok() const { return Program_ != nullptr; }
  std::string Error() const { return Error_; }
  int Port() const { return Port_; }
  // The first line the server sent.
  const std::string& Greeting() const { return Greeting_; }

  // Stops the server and everything it started; connections are refused
  // from then on.
  void Stop();
  // Starts it again after Stop; false (Error() says why) when it does not greet.
  bool Start();

 private:
  std::vector<std::string> Command() const;

  TServiceKind Kind_;
  std::string NetNamespace_;
  int Port_;
  TTempDir Dir_;
  std::unique_ptr<TTestProcess> Program_;
  std::string Greeting_;
  std::string Error_;
};

// The standard port of the service: 25, 110, 21.
int StandardPort(TServiceKind kind);

}  // namespace vantrel::test
