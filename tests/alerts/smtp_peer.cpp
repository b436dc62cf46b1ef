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
  explicit TMailPeer(Lines options) {
    options.insert(options.begin(), {"/usr/bin/python3", VANTREL_SMTP_SERVER});
    Process_ = std::make_unique<test::TTestProcess>(options);
    test::WaitUntil([this] { return !Port().empty() || !Process_->Running(); }, 20000);
  }

  std::string Port() const {
    const std::string output = Output();
    const std::string key = R"({"event": "port", "port": )";
    const std::size_t at = output.find(key);
    return at == std::string::npos
               ? ""
               : output.substr(at + key.size(), output.find('}', at) - at - key.size());
  }
  std::string Error() const { return Process_->Error() + Process_->Errors(); }
  std::string Output() const { return Process_->Output(); }

  // Waits for the server to report `record` as a line of its own.
  bool Has(const std::string& record) const {
    return test::WaitUntil(
        [&] { return ("\n" + Output()).find("\n" + record + "\n") != std::string::npos; }, 10000);
  }
  // The verbs of the commands up to the client's QUIT, " tls" added to those
  // that came over TLS.
  Lines Commands() const {
    Lines verbs;
    test::WaitUntil([&] { return Output().find(R"("verb": "QUIT")") != std::string::npos; }, 10000);
    std::istringstream output(Output());
    const std::string key = R"({"event": "command", "verb": ")";
    for (std::string line; std::getline(output, line);) {
      if (line.starts_with(key))
        verbs.push_back(line.substr(key.size(), line.find('"', key.size()) - key.size()) +
                        (line.ends_with(R"("tls": true})") ? " tls" : ""));
    }
    return verbs;
  }

 private:
  std::unique_ptr<test::TTestProcess> Process_;
};

void Start(TxxSmtp& smtp, TMailPeer& server, const std::string& host = "127.0.0.1") {
  ASSERT_FALSE(server.Port().empty()) << server.Error();
  smtp.TargetHost = host + ":" + server.Port();  // wins over TargetPort, "smtp"
  smtp.Timeout = 10000;
  smtp.Username = "alice";
  smtp.Password = "secret";
}

constexpr const char* kMessage = "Subject: down\r\n\r\n.\r\n.hidden\r\n..two\r\nend\r\n";
// The message as the server unstuffed it.
constexpr const char* kArrived =
    R"({"event": "data", "content": "Subject: down\r\n\r\n.\r\n.hidden\r\n..two\r\nend\r\n"})";

TEST(SmtpPeer, CramMd5IsPreferredSizeIsSentDotsArriveIntactAndARefusedRecipientGetsNoData) {
  TMailPeer server({"--mechanisms", "CRAM-MD5 LOGIN PLAIN", "--size", "10000000", "--refuse",
                    "nobody@example.org"});
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
  EXPECT_TRUE(smtp.MailFrom("alarm@example.org", 8));
  EXPECT_FALSE(smtp.RcptTo("nobody@example.org"));
  EXPECT_EQ(smtp.ResultCode(), 550);
  smtp.Logout();
  EXPECT_EQ(server.Commands(), (Lines{"EHLO", "AUTH", "MAIL", "RCPT", "DATA", "MAIL", "RCPT",
                                      "DATA", "MAIL", "RCPT", "QUIT"}));
  EXPECT_TRUE(server.Has(kArrived)) << server.Output();
  EXPECT_TRUE(server.Has(R"({"event": "data", "content": "x\r\na\r\n.\r\nb\r\n"})"));
  EXPECT_TRUE(
      server.Has(R"({"event": "auth", "mechanism": "CRAM-MD5", "ok": true, "tls": false})"));
  EXPECT_TRUE(server.Has(
      R"({"event": "command", "verb": "MAIL", "arg": "FROM:<alarm@example.org> SIZE=45", "tls": false})"));
}

// LOGIN alone; then the mail test of the preferences: a refused account
// stops at its first step, the right one sends the test message to the sender.
TEST(SmtpPeer, RefusedLoginStillGreetsAndTheMailTestTellsEachStep) {
  TMailPeer server({"--mechanisms", "LOGIN", "--user", "ops", "--password", "pw"});
  TxxSmtp smtp;
  Start(smtp, server);
  ASSERT_TRUE(smtp.Login());  // a refused authentication leaves the later commands to the server
  EXPECT_FALSE(smtp.AuthDone());
  EXPECT_EQ(smtp.ResultCode(), 535);
  EXPECT_FALSE(smtp.ESMTPSize());
  smtp.Logout();

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
  EXPECT_TRUE(server.Has(R"({"event": "auth", "mechanism": "LOGIN", "ok": true, "tls": false})"));
  EXPECT_TRUE(server.Has(
      R"({"event": "data", "content": "From: Monitor <me@x.test>\r\nTo: Monitor <me@x.test>\r\n)"
      R"(Subject: Test Message\r\n\r\nThis is a test message\r\n"})"));
}

// STARTTLS comes before authentication and only the second EHLO counts;
// implicit TLS speaks TLS from the first byte on port 465 or when asked for.
TEST(SmtpPeer, TlsByStartTlsOrFromTheFirstByte) {
  const Lines starttls = {"EHLO",     "STARTTLS", "EHLO tls", "AUTH tls",
                          "MAIL tls", "RCPT tls", "DATA tls", "QUIT tls"};
  const Lines implicit(starttls.begin() + 2, starttls.end());
  const struct {
    const char* Mode;
    const char* Port;
    const char* Host;
    bool Flag;  // ImplicitTls
    Lines Commands;
    const char* ServerName;  // none for an address literal
  } cases[] = {
      {"starttls", "0", "localhost", false, starttls, R"("localhost")"},
      {"implicit", "0", "127.0.0.1", true, implicit, "null"},
      {"implicit", "465", "127.0.0.1", false, implicit, "null"},
  };
  const test::TPeerTlsCredentials credentials("localhost");
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.Mode) + " on " + c.Port);
    const test::TTempDir dir;
    const std::string cert = (dir / "cert.pem").string();
    const std::string key = (dir / "key.pem").string();
    ASSERT_TRUE(credentials.WritePem(cert, key));
    TMailPeer server({"--tls", c.Mode, "--cert", cert, "--key", key, "--port", c.Port});
    TxxSmtp smtp;
    Start(smtp, server, c.Host);
    smtp.ImplicitTls = c.Flag;
    ASSERT_TRUE(smtp.Login()) << smtp.ResultString() << " " << smtp.Sock().LastError();
    EXPECT_TRUE(smtp.Sock().SslEnabled());
    EXPECT_TRUE(smtp.AuthDone());
    EXPECT_EQ(smtp.FindCap("STARTTLS"), "");  // no longer offered over TLS
    EXPECT_TRUE(smtp.MailFrom("alarm@example.org", 45));
    EXPECT_TRUE(smtp.RcptTo("ops@example.org"));
    EXPECT_TRUE(smtp.DataString(kMessage));
    smtp.Logout();
    EXPECT_EQ(server.Commands(), c.Commands);
    EXPECT_TRUE(server.Has(std::string(R"({"event": "sni", "name": )") + c.ServerName + "}"));
    EXPECT_TRUE(
        server.Has(R"({"event": "auth", "mechanism": "CRAM-MD5", "ok": true, "tls": true})"));
    EXPECT_TRUE(server.Has(kArrived));
  }
}

}  // namespace
}  // namespace vantrel
