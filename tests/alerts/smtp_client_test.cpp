#include "alerts/smtp_client.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "support/peer_scripted_server.h"
#include "support/test_process.h"
#include "text/codings.h"

namespace vantrel {
namespace {

using test::TPeerConnection;
using test::TScriptedPeer;
using Lines = std::vector<std::string>;

TEST(SmtpClient, ServerNameMayCarryThePortAndMessagesSplitAtEveryLineBreak) {
  const auto split = [](std::string_view host) {
    const TSmtpServer server = SplitSmtpServer(host, "smtp");
    return server.Host + " " + server.Port;
  };
  EXPECT_EQ(split("mail.example"), "mail.example smtp");
  EXPECT_EQ(split("mail.example:2525"), "mail.example 2525");
  EXPECT_EQ(split("[::1]:2525"), "::1 2525");
  EXPECT_EQ(split("[::1]"), "::1 smtp");
  EXPECT_EQ(split("::1"), "::1 smtp");
  EXPECT_EQ(split("mail.example:"), "mail.example: smtp");

  EXPECT_EQ(SplitMessageLines("a\r\nb\nc\rd\r\n"), (Lines{"a", "b", "c", "d"}));
  EXPECT_EQ(SplitMessageLines("a\r\n\r\n.\n"), (Lines{"a", "", "."}));
  EXPECT_EQ(SplitMessageLines(""), Lines{});
}

// A scripted server and what the client sent it.
struct TOddServer {
  const char* Name;
  std::string Greeting;
  std::string Ehlo;  // the reply to EHLO
  std::string StartTls;
  bool IPv6;
  bool LoginOk;
  std::int32_t Code;  // the client's ResultCode after Login
  Lines Commands;     // EHLO and HELO without the client's name
};

// Greets, then answers each command line until QUIT, the client's end or a
// TLS go-ahead; accepts alice/secret by AUTH LOGIN.
TScriptedPeer::TScript Dialogue(const TOddServer& server, Lines& commands) {
  return [&server, &commands](TPeerConnection& connection) {
    connection.Send(server.Greeting + "\r\n");
    for (;;) {
      std::string line = connection.ReceiveUntil("\r\n", 5000);
      if (!line.ends_with("\r\n"))
        return;
      line.resize(line.starts_with("EHLO ") || line.starts_with("HELO ") ? 4 : line.size() - 2);
      commands.push_back(line);
      std::string answer = line == "QUIT" ? "221 bye" : "250 ok";
      if (line == "EHLO")
        answer = server.Ehlo;
      else if (line == "STARTTLS")
        answer = server.StartTls;
      else if (line == "AUTH LOGIN" || line == EncodeBase64("alice"))
        answer = "334 go on";
      else if (line == EncodeBase64("secret"))
        answer = "235 welcome";
      connection.Send(answer + "\r\n");
      if (line == "QUIT" || answer.starts_with("220 "))
        return;
    }
  };
}

TEST(SmtpClient, OddServerRepliesAndCommandsHoldingLineBreaks) {
  const std::string alice = EncodeBase64("alice");
  const std::string secret = EncodeBase64("secret");
  const std::string from = "MAIL FROM:Alarm <alarm@example.org>";
  const std::string rcpt = "RCPT TO:<ops@example.org>";
  const std::string tlsEhlo = "250-mail.example\r\n250-AUTH LOGIN\r\n250 STARTTLS";
  std::string endless = "250-mail.example";
  for (std::size_t i = 0; i < kMaxReplyLines; ++i)
    endless += "\r\n250-more";
  const TOddServer servers[] = {
      {"continuation lines", "220 mail.example ESMTP",
       "250-mail.example greets you\r\n250-AUTH LOGIN PLAIN\r\n250 SIZE 10000000", "", false, true,
       235, Lines{"EHLO", "AUTH LOGIN", alice, secret, from + " SIZE=120", rcpt, "QUIT"}},
      {"the old AUTH= form, in lower case", "220 mail.example",
       "250-mail.example\r\n250-auth=login plain\r\n250 size 10000000", "", false, true, 235,
       Lines{"EHLO", "AUTH LOGIN", alice, secret, from + " SIZE=120", rcpt, "QUIT"}},
      // No SIZE and no AUTH without EHLO.
      {"EHLO refused, over IPv6", "220 old.example", "502 not implemented", "", true, true, 250,
       Lines{"EHLO", "HELO", from, rcpt, "QUIT"}},
      {"refusing greeting", "554 go away", "", "", false, false, 554, Lines{}},
      // A failed upgrade sends no credentials in the clear.
      {"STARTTLS refused", "220 mail.example", tlsEhlo, "454 not now", false, false, 454,
       Lines{"EHLO", "STARTTLS"}},
      {"STARTTLS agreed, then no TLS", "220 mail.example", tlsEhlo,
       "220 go ahead\r\nthis is not TLS", false, false, 220, Lines{"EHLO", "STARTTLS"}},
      // A reply that goes on and on is given up, not kept line by line.
      {"endless reply", "220 mail.example", endless, "", false, false, 0, Lines{"EHLO"}},
  };
  for (const TOddServer& server : servers) {
    SCOPED_TRACE(server.Name);
    Lines commands;
    TScriptedPeer peer(Dialogue(server, commands), {.IPv6 = server.IPv6});
    ASSERT_TRUE(peer.Ok()) << peer.Error();
    {
      TxxSmtp smtp;
      smtp.TargetHost = (server.IPv6 ? "[::1]:" : "127.0.0.1:") + peer.Port();
      smtp.Timeout = 5000;
      smtp.Username = "alice";
      smtp.Password = "secret";
      ASSERT_EQ(smtp.Login(), server.LoginOk);
      EXPECT_EQ(smtp.ResultCode(), server.Code);
      EXPECT_FALSE(smtp.Sock().SslEnabled());
      if (server.LoginOk) {
        EXPECT_EQ(smtp.Sock().UsesIPv6(), server.IPv6);
        EXPECT_FALSE(smtp.RcptTo("ops@example.org>\r\nRCPT TO:<other@example.org"));
        EXPECT_EQ(smtp.Sock().LastError(), kSockInvalidArgument);
        EXPECT_FALSE(smtp.MailFrom("a@example.org\nRSET", 0));
        EXPECT_TRUE(smtp.MailFrom("Alarm <alarm@example.org>", 120));
        EXPECT_TRUE(smtp.RcptTo("ops@example.org"));
        smtp.Logout();
      }
    }
    ASSERT_TRUE(peer.WaitForScripts());
    EXPECT_EQ(commands, server.Commands);
  }
}

TEST(SmtpClient, SilentServerEndsLoginByTheTimeOutOrByAbort) {
  TScriptedPeer peer([](TPeerConnection& connection) { connection.StaySilent(20000); });
  ASSERT_TRUE(peer.Ok()) << peer.Error();
  TxxSmtp smtp;
  smtp.TargetHost = peer.Host();
  smtp.TargetPort = peer.Port();
  smtp.Timeout = 300;
  EXPECT_FALSE(smtp.Login());
  EXPECT_EQ(smtp.ResultCode(), 0);
  EXPECT_EQ(smtp.Sock().LastError(), kSockTimedOut);

  smtp.Timeout = 60000;
  std::thread stopper([&] {
    test::WaitUntil([&] { return peer.Accepted() == 2; }, 10000);  // bounded should it fail
    smtp.Abort();
  });
  EXPECT_FALSE(smtp.Login());
  stopper.join();
  EXPECT_EQ(smtp.ResultCode(), 0);
  EXPECT_EQ(smtp.Sock().LastError(), kSockInterrupted);
}

}  // namespace
}  // namespace vantrel
