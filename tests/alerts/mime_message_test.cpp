#include "alerts/mime_message.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/mail_date.h"
#include "support/test_env.h"

namespace vantrel {
namespace {

using Lines = std::vector<std::string>;

// Texts are held in UTF-8, as on this machine; dates are 5 hours west of UTC.
class MimeMessageTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(Locale.Ok()); }

  test::TLocaleGuard Locale{"C.UTF-8"};
  test::TTimeZoneGuard Zone{"EST5"};
  TxxMessage Message;
};

TEST_F(MimeMessageTest, PlainAlarmIsWrittenLineForLine) {
  TMessHeader& h = Message.Header;
  h.From = "monitor@x.example";
  h.FromName = "Vantrel Monitor";
  h.ToList = {"ops@x.example", "Doe, John <jd@x.example>"};
  h.Subject = "  Shop is down ";
  h.Date = EncodeDateTime(2026, 12, 5, 9, 7, 3);
  Message.SetTextBody({"Shop (http://shop.example/?a=1) is down.", "Response: 408"});
  Message.EncodeMessage();
  EXPECT_EQ(Message.Text(),
            "From: Vantrel Monitor <monitor@x.example>\r\n"
            "Reply-To: ops@x.example, \"=?ISO-8859-1?Q?Doe=2C=20John?=\"<jd@x.example>\r\n"
            "To: ops@x.example, \"=?ISO-8859-1?Q?Doe=2C=20John?=\"<jd@x.example>\r\n"
            "Subject: Shop is down\r\n"
            "Date: Sat, 5 Dec 2026 09:07:03 -0500\r\n"
            "Content-type: text/plain;\r\n"
            "\tcharset=ISO-8859-1\r\n"
            "Content-Transfer-Encoding: 7bit\r\n"
            "\r\n"
            "Shop (http://shop.example/?a=1) is down.\r\n"
            "Response: 408\r\n");
}

TEST_F(MimeMessageTest, OptionalFieldsOnlyWhenSetInTheirOrder) {
  TMessHeader h;
  h.From = "Doe, John <jd@x.example>";
  h.CCList = {"cc@x.example"};
  h.Organization = "Shop, Inc.";
  h.ProducedBy = "Vantrel";
  h.XPriority = "3";
  h.XMailer = "Vantrel 1.0";
  h.CustomHeaders = {"X-One: 1", "", "X-Two: 2"};
  h.Date = EncodeDateTime(2026, 12, 5, 9, 7, 3);
  Lines lines = {"Content-type: text/plain"};
  h.EncodeHeaders(lines);
  EXPECT_EQ(lines,
            (Lines{"From: \"=?ISO-8859-1?Q?Doe=2C=20John?=\"<jd@x.example>",
                   "Date: Sat, 5 Dec 2026 09:07:03 -0500", "CC: cc@x.example",
                   "Organization: =?ISO-8859-1?Q?Shop=2C=20Inc=2E?=",
                   "MIME-Version: 1.0 (Produced by Vantrel)", "X-MimeOLE: Produced by Vantrel",
                   "X-MSMail-Priority: 3", "X-Priority: 3", "X-Mailer: Vantrel 1.0", "X-One: 1",
                   "X-Two: 2", "Content-type: text/plain"}));

  // Nothing set: the date alone, and that of now.
  lines.clear();
  TMessHeader{}.EncodeHeaders(lines);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_TRUE(lines[0].starts_with("Date: ")) << lines[0];
  EXPECT_TRUE(lines[0].ends_with(TimeZone())) << lines[0];
}

TEST_F(MimeMessageTest, HeaderWordsAreEncodedOnlyWhenTheyMustBe) {
  EXPECT_FALSE(NeedsEncoding("John Doe-Smith"));
  for (const char* text : {"Doe, John", "a.b", "x_y", "tab\t", "\"q\"", "\xC5\x81ucja"})
    EXPECT_TRUE(NeedsEncoding(text)) << text;
  EXPECT_EQ(EncodeHeaderText("John Doe", TCharset::Utf8), "John Doe");
  EXPECT_EQ(EncodeHeaderText("Nowak, \xC5\x81ucja", TCharset::Utf8),
            "=?ISO-8859-2?Q?Nowak=2C=20=A3ucja?=");
  EXPECT_EQ(EncodeAddress("\"Doe, John\" <jd@x.example>", TCharset::Utf8),
            "\"=?ISO-8859-1?Q?Doe=2C=20John?=\"<jd@x.example>");
  EXPECT_EQ(EncodeAddress("John <jd@x.example>", TCharset::Utf8), "\"John\"<jd@x.example>");
  EXPECT_EQ(EncodeAddress(" jd@x.example ", TCharset::Utf8), "jd@x.example");
}

TEST_F(MimeMessageTest, LongHeadersFoldAtSemicolonCommaOrBlank) {
  const std::string x90(90, 'x');
  const struct {
    std::string Header;
    Lines Expected;
  } cases[] = {
      {"To: alpha.recipient@example.com, bravo.recipient@example.com, charlie@example.com",
       {"To: alpha.recipient@example.com, bravo.recipient@example.com,", " charlie@example.com"}},
      // A blank at the 78th character still counts.
      {"Subject: Shop (http://shop.example/) is down since the early morning and does not "
       "answer at all",
       {"Subject: Shop (http://shop.example/) is down since the early morning and does",
        " not answer at all"}},
      {"Content-type: multipart/mixed; boundary=\"" + x90 + "\"",
       {"Content-type: multipart/mixed;", " boundary=\"" + x90 + "\""}},
      {"Subject: " + x90, {"Subject:", " " + x90}},
      {"X-" + x90 + " tail", {"X-" + x90 + " ", "tail"}},
      {"Short: one line", {"Short: one line"}},
  };
  for (const auto& c : cases) {
    TxxMimePart part;
    part.Headers = {c.Header};
    part.EncodePart();
    Lines expected = c.Expected;
    expected.insert(expected.end(), {"", ""});
    EXPECT_EQ(part.Lines, expected) << c.Header;
  }
}

TEST_F(MimeMessageTest, QuotedPrintableLinesAreCutBeforeAnEscapeOrBlank) {
  const std::string x(100, 'x');
  const struct {
    std::string Line;
    Lines Expected;
  } cases[] = {
      {"<a href=\"x\">caf\xC3\xA9</a>\tend", {"<a href=3D\"x\">caf=C3=A9</a>=09end"}},
      {std::string(76, 'x') + "\xC3\xA9", {std::string(76, 'x') + "=", "=C3=A9"}},
      {std::string(70, 'x') + " and more text", {std::string(70, 'x') + " and=", " more text"}},
      // Nothing to cut before: 78 characters go.
      {x, {x.substr(0, 78) + "=", x.substr(78)}},
      {" " + x, {" " + x.substr(0, 77) + "=", x.substr(77)}},
      {"", {""}},
  };
  for (const auto& c : cases) {
    TxxMimePart part;
    part.Primary = "text";
    part.EncodingCode = TMimeEncoding::QuotedPrintable;
    part.CharsetCode = TCharset::Utf8;
    part.Body = c.Line + "\r\n";
    part.EncodeBody();
    EXPECT_EQ(part.EncodedBody, c.Expected) << c.Line;
  }
}

TEST_F(MimeMessageTest, MultipartHoldsItsPartsBetweenBoundaries) {
  TxxMimePart& root = Message.RootPart;
  root.Primary = "multipart";
  root.Secondary = "alternative";
  root.Boundary = "=_b";
  Message.SetTextBody({"text"}, &root);
  Message.SetHtmlBody({"<p>html</p>"}, &root);
  root.EncodePartHeaders();
  Message.EncodeMessage();
  const Lines& lines = Message.Lines;
  ASSERT_GE(lines.size(), 6u);
  EXPECT_EQ(lines[1], "Content-type: multipart/alternative;\r\n\tboundary=\"=_b\"");
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "--=_b"), 2);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "<p>html</p>"), 1);
  EXPECT_EQ(Lines(lines.end() - 5, lines.end()), (Lines{"<p>html</p>", "", "", "--=_b--", ""}));
}

}  // namespace
}  // namespace vantrel
