#include "alerts/smtp_client.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/peer_scripted_server.h"
#include "text/codings.h"

namespace vantrel {
namespace {

using test::TPeerConnection;
using test::TScriptedPeer;
using Lines = std::vector<std::string>;

// The command lines a scripted server received, read after its script ended.
struct TReceived {
  std::mutex Mutex;
  Lines Commands;
  void Add(std::string line) {
    std::lock_guard lock(Mutex);
    Commands.push_back(std::move(line));
  }
  Lines Get() {
    std::lock_guard lock(Mutex);
    return Commands;
  }
};

// Greets, then answers each command line with `answer` (CR LF appended)
// until QUIT or the client's end.
TScriptedPeer::TScript Dialogue(std::string greeting,
                                std::function<std::string(const std::string&)> answer,
                                std::shared_ptr<TReceived> received) {
  return [=](TPeerConnection& connection) {
    connection.Send(greeting + "\r\n");
    for (;;) {
      std::string line = connection.ReceiveUntil("\r\n", 5000);
      if (line.size() < 2 || !line.ends_with("\r\n"))
        return;
      line.resize(line.size() - 2);
      received->Add(line);
      connection.Send(answer(line) + "\r\n");
      if (line == "QUIT")
        return;
    }
  };
}

// A server that offers `ehlo` and accepts alice/secret by AUTH LOGIN.
std::string LoginServer(const std::string& line, const std::string& ehlo) {
  if (line.starts_with("EHLO"))
    return ehlo;
  if (line.starts_with("HELO"))
    return "250 hello";
  if (line == "AUTH LOGIN" || line == EncodeBase64("alice"))
    return "334 go on";
  if (line == EncodeBase64("secret"))
    return "235 welcome";
  if (line == "QUIT")
    return "221 bye";
  return "250 ok";
}

void Start(TxxSmtp& smtp, const TScriptedPeer& peer) {
  ASSERT_TRUE(peer.Ok()) << peer.Error();
  smtp.TargetHost = peer.Host();
  smtp.TargetPort = peer.Port();
  smtp.Timeout = 5000;
}

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

TEST(SmtpClient, ContinuationLinesBecomeCapabilitiesAndTheOldAuthFormIsKnown) {
  for (const std::string authLine : {"250-AUTH LOGIN PLAIN", "250-AUTH=LOGIN PLAIN"}) {
    auto received = std::make_shared<TReceived>();
    const std::string ehlo = "250-mail.example greets you\r\n" + authLine + "\r\n250 SIZE 10000000";
    TScriptedPeer peer(Dialogue(
        "220 mail.example ESMTP",
        [ehlo](const std::string& line) { return LoginServer(line, ehlo); }, received));
    {
      TxxSmtp smtp;
      Start(smtp, peer);
      smtp.Username = "alice";
      smtp.Password = "secret";
      ASSERT_TRUE(smtp.Login()) << authLine;
      EXPECT_TRUE(smtp.ESMTP());
      EXPECT_EQ(smtp.ESMTPcap(), (Lines{authLine.substr(4), "SIZE 10000000"}));
      EXPECT_EQ(smtp.FindCap("size"), "SIZE 10000000");
      EXPECT_TRUE(smtp.AuthDone());
      EXPECT_TRUE(smtp.ESMTPSize());
      EXPECT_EQ(smtp.MaxSize(), 10000000);
      EXPECT_EQ(smtp.ResultCode(), 235);
      EXPECT_TRUE(smtp.MailFrom("Alarm <alarm@example.org>", 120));
      EXPECT_TRUE(smtp.RcptTo("ops@example.org"));
      smtp.Logout();
    }
    ASSERT_TRUE(peer.WaitForScripts());
    const Lines commands = received->Get();
    ASSERT_EQ(commands.size(), 7U);
    EXPECT_EQ(commands[1], "AUTH LOGIN");
    EXPECT_EQ(commands[4], "MAIL FROM:Alarm <alarm@example.org> SIZE=120");
    EXPECT_EQ(commands[5], "RCPT TO:<ops@example.org>");
  }
}

TEST(SmtpClient, RefusedEhloFallsBackToHeloAndABadGreetingSendsNothing) {
  auto received = std::make_shared<TReceived>();
  TScriptedPeer helo(Dialogue(
      "220 old.example",
      [](const std::string& line) {
        return line.starts_with("EHLO") ? "502 not implemented" : LoginServer(line, "");
      },
      received));
  {
    TxxSmtp smtp;
    Start(smtp, helo);
    smtp.Username = "alice";
    ASSERT_TRUE(smtp.Login());
    EXPECT_FALSE(smtp.ESMTP());
    EXPECT_TRUE(smtp.ESMTPcap().empty());
    EXPECT_FALSE(smtp.AuthDone());
    EXPECT_TRUE(smtp.MailFrom("alarm@example.org", 120));
    smtp.Logout();
  }
  ASSERT_TRUE(helo.WaitForScripts());
  const Lines commands = received->Get();
  ASSERT_EQ(commands.size(), 4U);
  EXPECT_TRUE(commands[0].starts_with("EHLO "));
  EXPECT_TRUE(commands[1].starts_with("HELO "));
  EXPECT_EQ(commands[2], "MAIL FROM:<alarm@example.org>");  // no SIZE without EHLO

  auto none = std::make_shared<TReceived>();
  TScriptedPeer refusing(Dialogue(
      "554 go away", [](const std::string&) { return "250 ok"; }, none));
  {
    TxxSmtp smtp;
    Start(smtp, refusing);
    EXPECT_FALSE(smtp.Login());
    EXPECT_EQ(smtp.ResultCode(), 554);
  }
  ASSERT_TRUE(refusing.WaitForScripts());
  EXPECT_TRUE(none->Get().empty());
}

TEST(SmtpClient, FailedStartTlsFailsLoginWithoutSendingCredentials) {
  // The server refuses the upgrade, or agrees and then speaks no TLS.
  for (const bool agrees : {false, true}) {
    auto received = std::make_shared<TReceived>();
    TScriptedPeer peer([received, agrees](TPeerConnection& connection) {
      connection.Send("220 mail.example\r\n");
      received->Add(connection.ReceiveUntil("\r\n"));
      connection.Send("250-mail.example\r\n250-AUTH LOGIN\r\n250 STARTTLS\r\n");
      received->Add(connection.ReceiveUntil("\r\n"));
      connection.Send(agrees ? "220 go ahead\r\nthis is not TLS\r\n" : "454 not now\r\n");
      connection.ShutdownSend();
      received->Add(connection.ReceiveUntilClosed(5000));
    });
    {
      TxxSmtp smtp;
      Start(smtp, peer);
      smtp.Username = "alice";
      smtp.Password = "secret";
      EXPECT_FALSE(smtp.Login()) << agrees;
      EXPECT_FALSE(smtp.AuthDone());
      EXPECT_FALSE(smtp.Sock().SslEnabled());
    }
    ASSERT_TRUE(peer.WaitForScripts());
    const Lines got = received->Get();
    ASSERT_EQ(got.size(), 3U);
    EXPECT_EQ(got[1], "STARTTLS\r\n");
    EXPECT_EQ(got[2].find("AUTH"), std::string::npos) << got[2];
  }
}

TEST(SmtpClient, PortInTheServerNameAndLineBreaksInCommandsAreNotSent) {
  auto received = std::make_shared<TReceived>();
  TScriptedPeer peer(
      Dialogue(
          "220 six.example",
          [](const std::string& line) { return LoginServer(line, "250 six.example"); }, received),
      {.IPv6 = true});
  ASSERT_TRUE(peer.Ok()) << peer.Error();
  {
    TxxSmtp smtp;
    smtp.TargetHost = "[::1]:" + peer.Port();
    smtp.Timeout = 5000;
    ASSERT_TRUE(smtp.Login());
    EXPECT_TRUE(smtp.Sock().UsesIPv6());
    EXPECT_FALSE(smtp.RcptTo("ops@example.org>\r\nRCPT TO:<other@example.org"));
    EXPECT_EQ(smtp.Sock().LastError(), kSockInvalidArgument);
    EXPECT_FALSE(smtp.MailFrom("a@example.org\nRSET", 0));
    smtp.Logout();
  }
  ASSERT_TRUE(peer.WaitForScripts());
  const Lines commands = received->Get();
  ASSERT_EQ(commands.size(), 2U);
  EXPECT_EQ(commands[1], "QUIT");
}

TEST(SmtpClient, SilentServerEndsLoginByTheTimeOutOrByAbort) {
  std::promise<void> accepted;
  std::shared_future<void> acceptedFuture = accepted.get_future().share();
  TScriptedPeer peer([&accepted](TPeerConnection& connection) {
    accepted.set_value();
    connection.StaySilent(20000);
  });
  {
    TxxSmtp smtp;
    Start(smtp, peer);
    smtp.Timeout = 300;
    EXPECT_FALSE(smtp.Login());
    EXPECT_EQ(smtp.ResultCode(), 0);
    EXPECT_EQ(smtp.Sock().LastError(), kSockTimedOut);
  }
  peer.Stop();

  std::promise<void> acceptedAgain;
  TScriptedPeer silent([&acceptedAgain](TPeerConnection& connection) {
    acceptedAgain.set_value();
    connection.StaySilent(20000);
  });
  TxxSmtp smtp;
  Start(smtp, silent);
  smtp.Timeout = 60000;
  std::thread stopper([&smtp, wait = acceptedAgain.get_future()] {
    wait.wait_for(std::chrono::seconds(10));  // bounded should the connection fail
    smtp.Abort();
  });
  EXPECT_FALSE(smtp.Login());
  stopper.join();
  EXPECT_EQ(smtp.ResultCode(), 0);
  EXPECT_EQ(smtp.Sock().LastError(), kSockInterrupted);
}

}  // namespace
}  // namespace vantrel
