#include "text/text_utils.h"
#include "text/escape.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

namespace vantrel {
namespace {

TEST(Separate, SplitsAtTheFirstDelimiterAndTrims) {
  EXPECT_EQ(SeparateLeft(" host : 8080 : x", ":"), "host");
  EXPECT_EQ(SeparateRight(" host : 8080 : x", ":"), "8080 : x");
  EXPECT_EQ(SeparateRight("a://b://c", "://"), "b://c");
  // A missing or empty delimiter gives the whole trimmed text on both sides.
  EXPECT_EQ(SeparateLeft("\t host \r\n", ":"), "host");
  EXPECT_EQ(SeparateRight("\t host \r\n", ":"), "host");
  EXPECT_EQ(SeparateLeft(" ab ", ""), "ab");
  EXPECT_EQ(SeparateRight(" ab ", ""), "ab");
}

TEST(Fetch, TakesThePartsOneByOneAndTrimsALastPartOnce) {
  std::string text = "a, b ,c";
  EXPECT_EQ(Fetch(text, ","), "a");
  EXPECT_EQ(text, "b ,c");
  EXPECT_EQ(Fetch(text, ","), "b");
  EXPECT_EQ(Fetch(text, ","), "c");
  EXPECT_EQ(text, "");
  text = " c ";
  EXPECT_EQ(Fetch(text, ","), "c");
  EXPECT_EQ(text, "c");  // not empty yet: the rest differed from the untrimmed text
  EXPECT_EQ(Fetch(text, ","), "c");
  EXPECT_EQ(text, "");
}

TEST(PosCRLF, EarliestEndWinsAndTwoByteEndsWinTies) {
  const std::vector<std::tuple<std::string, std::size_t, std::string>> rows = {
      {"ab\ncd\r\n", 3, "\n"}, {"ab\r\ncd", 3, "\r\n"}, {"ab\n\rcd", 3, "\n\r"},
      {"x\n\r\n", 2, "\n\r"},  {"abc\r", 4, "\r"},      {"abc", 0, ""},
  };
  for (const auto& [text, position, terminator] : rows) {
    std::string end = "unset";
    EXPECT_EQ(PosCRLF(text, end), position) << testing::PrintToString(text);
    EXPECT_EQ(end, terminator) << testing::PrintToString(text);
  }
}

TEST(IsIP, FourDecimalBytesWithLeadingZerosOnly) {
  for (const char* text : {"127.0.0.1", "010.1.1.1", "255.255.255.255", "0000000001.2.3.4"})
    EXPECT_TRUE(IsIP(text)) << text;
  for (const char* text : {"1.2.3", "1.2.3.4.5", "", "1..2.3", "1.2.3.", "256.1.1.1",
                           "1.2.3.99999999999999999999", "1.2.3.a", "1.-2.3.4", "host.example.com"})
    EXPECT_FALSE(IsIP(text)) << text;
}

TEST(IsIP6, HexPartsOneGapAtMostEightPartsAndAHexZoneOnTheLast) {
  // Loose on purpose ("beef", "1:"): the socket layer only tells literals from names.
  for (const char* text : {"::1", "::", "fe80::1", "2001:db8:0:0:0:0:2:1", "2001:DB8::FFFF",
                           "1::", "1:2:3:4:5:6:7:8", "fe80::1%4", "fe80::1%ffff", "beef", "1:"})
    EXPECT_TRUE(IsIP6(text)) << text;
  // The leading "::" counts as two groups.
  for (const char* text : {"fe80::1%eth0", "fe80::1%10000", "fe80::1%", "fe80%4::1", "1::2::3",
                           ":::", "1:2:3:4:5:6:7:8:9", "::2:3:4:5:6:7:8", "::ffff:1.2.3.4",
                           "1:10000::", "localhost", "", ":"})
    EXPECT_FALSE(IsIP6(text)) << text;
}

TEST(ParseURL, PartsDefaultsAndLiterals) {
  // Protocol, user, password, host, port, path, parameters, request target.
  const std::vector<std::vector<std::string>> rows = {
      {"https://u:p@[::1]:8443/a/b?x=1#f", "https", "u", "p", "::1", "8443", "/a/b", "x=1#f",
       "/a/b?x=1#f"},
      {"www.example.com", "http", "", "", "www.example.com", "80", "/", "", "/"},
      {"HTTPS://h/", "HTTPS", "", "", "h", "443", "/", "", "/"},
      {"Ftp://anna@h", "Ftp", "anna", "", "h", "21", "/", "", "/"},
      {"http://anna:a:b@h:81/", "http", "anna", "a:b", "h", "81", "/", "", "/"},
      // An "@" after the first slash is no user information; nothing is decoded.
      {"http://h/mail@x?to=a@b%41", "http", "", "", "h", "80", "/mail@x", "to=a@b%41",
       "/mail@x?to=a@b%41"},
      {"http://h/a#top", "http", "", "", "h", "80", "/a#top", "", "/a#top"},
      {"http://:8080/", "http", "", "", "localhost", "8080", "/", "", "/"},
      {"http://[fe80::1%4]/", "http", "", "", "fe80::1%4", "80", "/", "", "/"},
      {"http://h:/", "http", "", "", "h", "80", "/", "", "/"},
  };
  for (const auto& row : rows) {
    const TUrlParts p = ParseURL(row[0]);
    EXPECT_EQ((std::vector<std::string>{row[0], p.Protocol, p.User, p.Password, p.Host, p.Port,
                                        p.Path, p.Parameters, p.RequestTarget}),
              row);
  }
}

TEST(TickDelta, ForwardAcrossTheWrapAndBackWithinAHalf) {
  const std::vector<std::tuple<std::uint32_t, std::uint32_t, std::uint32_t>> rows = {
      {0xFFFFFF00u, 0x100u, 512u},
      {0xFFFFFFFFu, 0u, 1u},
      {1000, 1000, 0u},
      {1000, 2500, 1500u},
      {0x7FFFFFFFu, 0x80000001u, 2u},
      // A later tick in the same half gives the distance back.
      {0x300u, 0x100u, 0x200u},
      {0x90000000u, 0x80000000u, 0x10000000u},
  };
  for (const auto& [earlier, later, delta] : rows)
    EXPECT_EQ(TickDelta(earlier, later), delta) << earlier << " " << later;
}

TEST(StringTools, ReplaceStringScansOnAfterEachReplacement) {
  EXPECT_EQ(ReplaceString("a;b;c", ";", ", "), "a, b, c");
  EXPECT_EQ(ReplaceString("aaa", "a", "aa"), "aaaaaa");
  EXPECT_EQ(ReplaceString("aaaa", "aa", "a"), "aa");
  EXPECT_EQ(ReplaceString("abc", "", "x"), "abc");
}

TEST(EscapeControls, ForgedLinesAndTerminalSequencesBecomeVisibleText) {
  struct TCase {
    std::string Text, Escaped, KeepingLines;
  };
  const std::vector<TCase> cases = {
      {"plain name", "plain name", "plain name"},
      {"a\r\n*** b DOWN", "a\\r\\n*** b DOWN", "a\r\n*** b DOWN"},
      {"\x1b[2J\tx", "\\x1b[2J\\tx", "\\x1b[2J\tx"},
      {std::string("nul\0del\x7f", 8), "nul\\x00del\\x7f", "nul\\x00del\\x7f"},
      {"caf\xc3\xa9 \\x41", "caf\xc3\xa9 \\x41",
       "caf\xc3\xa9 \\x41"},  // UTF-8 and backslashes kept
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(EscapeControls(c.Text), c.Escaped);
    EXPECT_EQ(EscapeControlsKeepingLines(c.Text), c.KeepingLines);
    EXPECT_EQ(HasControls(c.Text), c.Escaped != c.Text);
  }
}
}  // namespace
}  // namespace vantrel
