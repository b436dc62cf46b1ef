// The SMTP client against a real mail server: aiosmtpd on loopback, run by
// smtp_server.py, which reports every command, the AUTH outcome, the TLS
// server name and the message as it arrived.

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "alerts/mail_test.h"
#include "alerts/smtp_client.h"
#include "support/peer_tls.h"
#include "support/test_files.h"
#include "support/test_process.h"

namespace vantrel {
namespace {

using Lines = std::vector<std::string>;

class TMailPeer {
 public:
  explicit TMailPeer(std::vector<std::string> options) {
    options.insert(options.begin(), {"/usr/bin/python3", VANTREL_SMTP_SERVER});
    Process_ = std::make_unique<test::TTestProcess>(options);
    test::WaitUntil([this] { return !Port().empty() || !Process_->Running(); }, 20000);
  }
  // The server with STARTTLS or implicit TLS on a fresh self-signed certificate.
  static std::unique_ptr<TMailPeer> WithTls(const std::string& mode, const test::TTempDir& dir,
                                            const std::string& port = "0") {
    static const test::TPeerTlsCredentials credentials("localhost");
    const std::string cert = (dir / "cert.pem").string();
    const std::string key = (dir / "key.pem").string();
    if (!credentials.WritePem(cert, key))
      return nullptr;
    return std::make_unique<TMailPeer>(
        Lines{"--tls", mode, "--cert", cert, "--key", key, "--port", port});
  }

  std::string Port() {
    for (const std::string& line : Records())
      if (line.starts_with(R"({"event": "port", "port": )"))
        Port_ = line.substr(26, line.size() - 27);
    return Port_;
  }
  std::string Error() const { return Process_->Error() + Process_->Errors(); }

  // Each record the server wrote, one JSON object a line.
  Lines Records() const {
    Lines lines;
    std::istringstream output(Process_->Output());
    for (std::string line; std::getline(output, line);)
      lines.push_back(line);
    return lines;
  }
  // The verbs of the commands in order, " tls" added to those that came over TLS.
  Lines Commands() const {
    Lines verbs;
    for (const std::string& line : Records()) {
      const std::string key = R"("verb": ")";
      const std::size_t at = line.find(key);
      if (at == std::string::npos)
        continue;
      const std::size_t start = at + key.size();
      verbs.push_back(line.substr(start, line.find('"', start) - start) +
                      (line.find(R"("tls": true)") != std::string::npos ? " tls" : ""));
    }
    return verbs;
  }
  bool Has(const std::string& record) const {
    for (const std::string& line : Records())
      if (line == record)
        return true;
    return false;
  }
  // Waits until the server has reported the client's QUIT.
  bool WaitForQuit() const {
    return test::WaitUntil(
        [this] { return Process_->Output().find(R"("verb": "QUIT")") != std::string::npos; },
        10000);
  }

 private:
  std::unique_ptr<test::TTestProcess> Process_;
  std::string Port_;
};

void Start(TxxSmtp& smtp, TMailPeer& server, const std::string& host = "127.0.0.1") {
  ASSERT_FALSE(server.Port().empty()) << server.Error();
  smtp.TargetHost = host;
  smtp.TargetPort = server.Port();
  smtp.Timeout = 10000;
  smtp.Username = "alice";
  smtp.Password = "secret";
}

constexpr const char* kMessage = "Subject: down\r\n\r\n.\r\n.hidden\r\n..two\r\nend\r\n";
// The message as the server unstuffed it.
constexpr const char* kArrived =
    R"({"event": "data", "content": "Subject: down\r\n\r\n.\r\n.hidden\r\n..two\r\nend\r\n"})";

TEST(SmtpPeer, CramMd5IsPreferredSizeIsSentAndDotsArriveIntact) {
  TMailPeer server({"--mechanisms", "CRAM-MD5 LOGIN PLAIN", "--size", "10000000"});
  TxxSmtp smtp;
  Start(smtp, server);
  ASSERT_TRUE(smtp.Login()) << smtp.ResultString();
  EXPECT_TRUE(smtp.AuthDone());
  EXPECT_EQ(smtp.MaxSize(), 10000000);
  EXPECT_TRUE(smtp.MailFrom("alarm@example.org", 45));
  EXPECT_TRUE(smtp.RcptTo("ops@example.org"));
  EXPECT_TRUE(smtp.DataString(kMessage)) << smtp.ResultString();
  // A line holding line breaks cannot end the message early.
  EXPECT_TRUE(smtp.MailFrom("alarm@example.org", 8));
  EXPECT_TRUE(smtp.RcptTo("ops@example.org"));
  EXPECT_TRUE(smtp.Data({"x", "a\n.\rb"}));
  smtp.Logout();
  ASSERT_TRUE(server.WaitForQuit());
  EXPECT_TRUE(server.Has(R"({"event": "data", "content": "x\r\na\r\n.\r\nb\r\n"})"));
  EXPECT_TRUE(
      server.Has(R"({"event": "auth", "mechanism": "CRAM-MD5", "ok": true, "tls": false})"));
  EXPECT_TRUE(server.Has(
      R"({"event": "command", "verb": "MAIL", "arg": "FROM:<alarm@example.org> SIZE=45", "tls": false})"));
  EXPECT_TRUE(server.Has(kArrived)) << testing::PrintToString(server.Records());
}

TEST(SmtpPeer, LoginIsUsedAloneAndARefusedRecipientFailsWithoutData) {
  TMailPeer server({"--mechanisms", "LOGIN", "--refuse", "nobody@example.org"});
  TxxSmtp smtp;
  Start(smtp, server);
  smtp.Password = "wrong";
  ASSERT_TRUE(smtp.Login());  // a refused authentication leaves the later commands to the server
  EXPECT_FALSE(smtp.AuthDone());
  EXPECT_EQ(smtp.ResultCode(), 535);
  EXPECT_FALSE(smtp.ESMTPSize());
  smtp.Password = "secret";
  ASSERT_TRUE(smtp.Login());
  EXPECT_TRUE(smtp.AuthDone());
  EXPECT_TRUE(smtp.MailFrom("alarm@example.org", 45));
  EXPECT_FALSE(smtp.RcptTo("nobody@example.org"));
  EXPECT_EQ(smtp.ResultCode(), 550);
  smtp.Logout();
  ASSERT_TRUE(server.WaitForQuit());
  EXPECT_EQ(server.Commands(), (Lines{"EHLO", "AUTH", "EHLO", "AUTH", "MAIL", "RCPT", "QUIT"}));
  EXPECT_TRUE(server.Has(R"({"event": "auth", "mechanism": "LOGIN", "ok": false, "tls": false})"));
  EXPECT_TRUE(server.Has(R"({"event": "auth", "mechanism": "LOGIN", "ok": true, "tls": false})"));
}

TEST(SmtpPeer, StartTlsComesBeforeAuthenticationAndTheSecondEhloCounts) {
  test::TTempDir dir;
  const auto server = TMailPeer::WithTls("starttls", dir);
  ASSERT_NE(server, nullptr);
  TxxSmtp smtp;
  Start(smtp, *server, "localhost:" + server->Port());
  smtp.TargetPort = "smtp";  // the port in the host name wins
  ASSERT_TRUE(smtp.Login()) << smtp.ResultString() << " " << smtp.Sock().LastError();
  EXPECT_TRUE(smtp.Sock().SslEnabled());
  EXPECT_TRUE(smtp.AuthDone());
  EXPECT_EQ(smtp.FindCap("STARTTLS"), "");  // no longer offered over TLS
  EXPECT_TRUE(smtp.MailFrom("alarm@example.org", 45));
  EXPECT_TRUE(smtp.RcptTo("ops@example.org"));
  EXPECT_TRUE(smtp.DataString(kMessage));
  smtp.Logout();
  ASSERT_TRUE(server->WaitForQuit());
  EXPECT_EQ(server->Commands(), (Lines{"EHLO", "STARTTLS", "EHLO tls", "AUTH tls", "MAIL tls",
                                       "RCPT tls", "DATA tls", "QUIT tls"}));
  EXPECT_TRUE(server->Has(R"({"event": "sni", "name": "localhost"})"));
  EXPECT_TRUE(
      server->Has(R"({"event": "auth", "mechanism": "CRAM-MD5", "ok": true, "tls": true})"));
  EXPECT_TRUE(server->Has(kArrived));
}

TEST(SmtpPeer, ImplicitTlsSpeaksTlsFromTheFirstByteOnPort465OrWhenAskedFor) {
  for (const bool onPort465 : {false, true}) {
    test::TTempDir dir;
    const auto server = TMailPeer::WithTls("implicit", dir, onPort465 ? "465" : "0");
    ASSERT_NE(server, nullptr);
    TxxSmtp smtp;
    Start(smtp, *server);
    if (onPort465)
      smtp.TargetHost = "127.0.0.1:465";
    else
      smtp.ImplicitTls = true;
    ASSERT_TRUE(smtp.Login()) << smtp.ResultString() << " " << smtp.Sock().LastError();
    EXPECT_TRUE(smtp.AuthDone());
    EXPECT_TRUE(smtp.MailFrom("alarm@example.org", 45));
    EXPECT_TRUE(smtp.RcptTo("ops@example.org"));
    EXPECT_TRUE(smtp.DataString(kMessage));
    smtp.Logout();
    ASSERT_TRUE(server->WaitForQuit());
    EXPECT_EQ(server->Commands(),
              (Lines{"EHLO tls", "AUTH tls", "MAIL tls", "RCPT tls", "DATA tls", "QUIT tls"}));
    EXPECT_TRUE(server->Has(R"({"event": "sni", "name": null})"));  // an address literal
    EXPECT_TRUE(server->Has(kArrived));
  }
}

// The mail test of the preferences: a refused account stops at its first
// step; the right one sends the test message to the sender.
TEST(SmtpPeer, MailTestStopsAtARefusedLoginAndOtherwiseSendsItsMessage) {
  TMailPeer server({"--mechanisms", "LOGIN", "--user", "ops", "--password", "pw"});
  ASSERT_FALSE(server.Port().empty()) << server.Error();
  TMailTestSettings settings{.Server = "127.0.0.1:" + server.Port(),
                             .ServerAuth = true,
                             .Account = "ops",
                             .Password = "wrong",
                             .Username = "Monitor",
                             .Address = " me@x.test "};
  TTestTranscript refused;
  EXPECT_FALSE(RunMailTest(settings, refused));
  EXPECT_EQ(refused.Lines, (Lines{"Start testing", "Logining: Failure", "", "Test failed."}));

  settings.Password = "pw";
  TTestTranscript sent;
  EXPECT_TRUE(RunMailTest(settings, sent));
  EXPECT_EQ(sent.Lines, (Lines{"Start testing", "Logining: Success", "Sending sender info: Success",
                               "Sending recipients info: Success", "Sending message: Success",
                               "Logout: Success", "", "Test finished successfully."}));
  ASSERT_TRUE(server.WaitForQuit());
  EXPECT_TRUE(server.Has(
      R"({"event": "data", "content": "From: Monitor <me@x.test>\r\nTo: Monitor <me@x.test>\r\n)"
      R"(Subject: Test Message\r\n\r\nThis is a test message\r\n"})"));
}

}  // namespace
}  // namespace vantrel
