#pragma once

// Real SMTP, POP3 and FTP servers from Debian packages for the service
// greetings: aiosmtpd (python3-aiosmtpd), dovecot's POP3 service
// (dovecot-pop3d) and pyftpdlib (python3-pyftpdlib). Each runs in the
// foreground on 127.0.0.1 of a network namespace the test made, on the
// standard port of its service there (25, 110, 21), since the monitor
// reaches services by their names, with its files in a temporary folder of
// its own. Started means its greeting has been read.

#include <memory>
#include <string>

#include "support/test_files.h"
#include "support/test_process.h"

namespace vantrel::test {

enum class TServiceKind { Smtp, Pop3, Ftp };

class TServiceServer {
 public:
  // `netNamespace`: "/proc/PID/ns/net". Starts at once.
  TServiceServer(TServiceKind kind, const std::string& netNamespace);

  // Started and greeting; otherwise Error() says why.
  bool Ok() const { return Program_ != nullptr; }
  const std::string& Error() const { return Error_; }

 private:
  TTempDir Dir_;
  std::unique_ptr<TTestProcess> Program_;
  std::string Error_;
};

}  // namespace vantrel::test
