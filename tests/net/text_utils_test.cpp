#include "net/text_utils.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/test_env.h"

namespace vantrel {
namespace {

// ---- Splitting ----

TEST(Separate, SplitsAtTheFirstDelimiterAndTrims) {
  EXPECT_EQ(SeparateLeft(" host : 8080 : x", ":"), "host");
  EXPECT_EQ(SeparateRight(" host : 8080 : x", ":"), "8080 : x");
  EXPECT_EQ(SeparateLeft("a://b://c", "://"), "a");
  EXPECT_EQ(SeparateRight("a://b://c", "://"), "b://c");
}

TEST(Separate, MissingDelimiterGivesTheWholeTrimmedText) {
  EXPECT_EQ(SeparateLeft("\t host \r\n", ":"), "host");
  EXPECT_EQ(SeparateRight("\t host \r\n", ":"), "host");
}

TEST(Separate, EmptyDelimiterIsNeverFound) {
  EXPECT_EQ(SeparateLeft(" ab ", ""), "ab");
  EXPECT_EQ(SeparateRight(" ab ", ""), "ab");
}

TEST(Fetch, TakesThePartsOneByOne) {
  std::string text = "a, b ,c";
  EXPECT_EQ(Fetch(text, ","), "a");
  EXPECT_EQ(text, "b ,c");
  EXPECT_EQ(Fetch(text, ","), "b");
  EXPECT_EQ(Fetch(text, ","), "c");
  EXPECT_EQ(text, "");
}

TEST(Fetch, LastPartWithBlanksIsKeptTrimmedOnce) {
  std::string text = " c ";
  EXPECT_EQ(Fetch(text, ","), "c");
  EXPECT_EQ(text, "c");  // not empty yet: the rest differed from the untrimmed text
  EXPECT_EQ(Fetch(text, ","), "c");
  EXPECT_EQ(text, "");
}

// ---- Line ends ----

struct TLineEnd {
  std::size_t Position;
  std::string Terminator;
};

TLineEnd FindLineEnd(std::string_view text) {
  TLineEnd end{0, "unset"};
  end.Position = PosCRLF(text, end.Terminator);
  return end;
}

TEST(PosCRLF, EarliestEndWins) {
  const TLineEnd end = FindLineEnd("ab\ncd\r\n");
  EXPECT_EQ(end.Position, 3u);
  EXPECT_EQ(end.Terminator, "\n");
}

TEST(PosCRLF, TwoByteEndsWinTiesOverSingleBytes) {
  TLineEnd end = FindLineEnd("ab\r\ncd");
  EXPECT_EQ(end.Position, 3u);
  EXPECT_EQ(end.Terminator, "\r\n");
  end = FindLineEnd("ab\n\rcd");
  EXPECT_EQ(end.Position, 3u);
  EXPECT_EQ(end.Terminator, "\n\r");
}

TEST(PosCRLF, LfCrStartingBeforeACrLfWins) {
  const TLineEnd end = FindLineEnd("x\n\r\n");
  EXPECT_EQ(end.Position, 2u);
  EXPECT_EQ(end.Terminator, "\n\r");
}

TEST(PosCRLF, LoneCrAtTheEndIsALineEnd) {
  const TLineEnd end = FindLineEnd("abc\r");
  EXPECT_EQ(end.Position, 4u);
  EXPECT_EQ(end.Terminator, "\r");
}

TEST(PosCRLF, NoLineEndClearsTheTerminator) {
  const TLineEnd end = FindLineEnd("abc");
  EXPECT_EQ(end.Position, 0u);
  EXPECT_EQ(end.Terminator, "");
}

// ---- Address literals ----

TEST(IsIP, AcceptsFourDecimalBytesWithLeadingZeros) {
  EXPECT_TRUE(IsIP("127.0.0.1"));
  EXPECT_TRUE(IsIP("010.1.1.1"));
  EXPECT_TRUE(IsIP("255.255.255.255"));
  EXPECT_TRUE(IsIP("0000000001.2.3.4"));
}

TEST(IsIP, RejectsWrongPartCounts) {
  EXPECT_FALSE(IsIP("1.2.3"));
  EXPECT_FALSE(IsIP("1.2.3.4.5"));
  EXPECT_FALSE(IsIP(""));
  EXPECT_FALSE(IsIP("1..2.3"));
  EXPECT_FALSE(IsIP("1.2.3."));
}

TEST(IsIP, RejectsValuesAndCharactersOutsideADecimalByte) {
  EXPECT_FALSE(IsIP("256.1.1.1"));
  EXPECT_FALSE(IsIP("1.2.3.99999999999999999999"));
  EXPECT_FALSE(IsIP("1.2.3.a"));
  EXPECT_FALSE(IsIP("1.-2.3.4"));
  EXPECT_FALSE(IsIP("host.example.com"));
}

TEST(IsIP6, AcceptsCommonForms) {
  EXPECT_TRUE(IsIP6("::1"));
  EXPECT_TRUE(IsIP6("::"));
  EXPECT_TRUE(IsIP6("fe80::1"));
  EXPECT_TRUE(IsIP6("2001:db8:0:0:0:0:2:1"));
  EXPECT_TRUE(IsIP6("2001:DB8::FFFF"));
  EXPECT_TRUE(IsIP6("1::"));
}

TEST(IsIP6, ZoneIndexOnlyAsHexOnTheLastPart) {
  EXPECT_TRUE(IsIP6("fe80::1%4"));
  EXPECT_TRUE(IsIP6("fe80::1%ffff"));
  EXPECT_FALSE(IsIP6("fe80::1%eth0"));
  EXPECT_FALSE(IsIP6("fe80::1%10000"));
  EXPECT_FALSE(IsIP6("fe80::1%"));
  EXPECT_FALSE(IsIP6("fe80%4::1"));
}

TEST(IsIP6, SecondGapRejects) {
  EXPECT_FALSE(IsIP6("1::2::3"));
  EXPECT_FALSE(IsIP6(":::"));
}

TEST(IsIP6, MoreThanEightPartsReject) {
  EXPECT_TRUE(IsIP6("1:2:3:4:5:6:7:8"));
  EXPECT_FALSE(IsIP6("1:2:3:4:5:6:7:8:9"));
  // The leading "::" counts as two parts.
  EXPECT_FALSE(IsIP6("::2:3:4:5:6:7:8"));
}

TEST(IsIP6, RejectsNonHexPartsAndDottedTails) {
  EXPECT_FALSE(IsIP6("::ffff:1.2.3.4"));
  EXPECT_FALSE(IsIP6("1:10000::"));
  EXPECT_FALSE(IsIP6("localhost"));
  EXPECT_FALSE(IsIP6(""));
  EXPECT_FALSE(IsIP6(":"));
}

TEST(IsIP6, SingleHexWordPasses) {
  // Loose on purpose: the socket layer only tells literals from names.
  EXPECT_TRUE(IsIP6("beef"));
  EXPECT_TRUE(IsIP6("1:"));
}

// ---- URLs ----

void ExpectUrl(const TUrlParts& p, const std::vector<std::string>& expected) {
  const std::vector<std::string> actual = {p.Protocol, p.User, p.Password,   p.Host,
                                           p.Port,     p.Path, p.Parameters, p.RequestTarget};
  EXPECT_EQ(actual, expected);
}

TEST(ParseURL, IPv6LiteralWithUserPortQueryAndFragment) {
  ExpectUrl(ParseURL("https://u:p@[::1]:8443/a/b?x=1#f"),
            {"https", "u", "p", "::1", "8443", "/a/b", "x=1#f", "/a/b?x=1#f"});
}

TEST(ParseURL, BareHostGetsDefaults) {
  ExpectUrl(ParseURL("www.example.com"), {"http", "", "", "www.example.com", "80", "/", "", "/"});
}

TEST(ParseURL, PortDefaultsByProtocolInAnyCase) {
  EXPECT_EQ(ParseURL("HTTPS://h/").Port, "443");
  EXPECT_EQ(ParseURL("Ftp://h").Port, "21");
  EXPECT_EQ(ParseURL("gopher://h").Port, "80");
  EXPECT_EQ(ParseURL("https://h:8443").Port, "8443");
}

TEST(ParseURL, AtAfterTheFirstSlashIsNotUserInfo) {
  ExpectUrl(ParseURL("http://h/mail@x?to=a@b"),
            {"http", "", "", "h", "80", "/mail@x", "to=a@b", "/mail@x?to=a@b"});
}

TEST(ParseURL, UserWithoutPasswordAndPasswordWithColon) {
  const TUrlParts user = ParseURL("ftp://anna@h");
  EXPECT_EQ(user.User, "anna");
  EXPECT_EQ(user.Password, "");
  const TUrlParts both = ParseURL("http://anna:a:b@h:81/");
  EXPECT_EQ(both.User, "anna");
  EXPECT_EQ(both.Password, "a:b");
  EXPECT_EQ(both.Host, "h");
  EXPECT_EQ(both.Port, "81");
}

TEST(ParseURL, FragmentWithoutQueryStaysInThePath) {
  const TUrlParts p = ParseURL("http://h/a#top");
  EXPECT_EQ(p.Path, "/a#top");
  EXPECT_EQ(p.RequestTarget, "/a#top");
  EXPECT_EQ(p.Parameters, "");
}

TEST(ParseURL, NothingIsDecoded) {
  const TUrlParts p = ParseURL("http://h/a%20b?q=%41+1");
  EXPECT_EQ(p.Path, "/a%20b");
  EXPECT_EQ(p.Parameters, "q=%41+1");
}

TEST(ParseURL, EmptyHostBecomesLocalhost) {
  EXPECT_EQ(ParseURL("http:///x").Host, "localhost");
  EXPECT_EQ(ParseURL("").Host, "localhost");
  EXPECT_EQ(ParseURL("http://:8080/").Host, "localhost");
}

TEST(ParseURL, BracketsWithoutPortKeepTheDefault) {
  const TUrlParts p = ParseURL("http://[fe80::1%4]/");
  EXPECT_EQ(p.Host, "fe80::1%4");
  EXPECT_EQ(p.Port, "80");
  EXPECT_EQ(ParseURL("http://h:/").Port, "80");
}

// ---- Mail date ----

TEST(Rfc822DateTime, FiveHoursWestWithoutLeadingZeroDay) {
  test::TTimeZoneGuard zone("EST5");
  EXPECT_EQ(Rfc822DateTime(EncodeDateTime(2026, 12, 5, 9, 7, 3)), "Sat, 5 Dec 2026 09:07:03 -0500");
}

TEST(Rfc822DateTime, EnglishNamesAndTwoDigitTimeFields) {
  test::TTimeZoneGuard zone("UTC0");
  EXPECT_EQ(Rfc822DateTime(EncodeDateTime(2024, 2, 29, 23, 59, 59)),
            "Thu, 29 Feb 2024 23:59:59 +0000");
  EXPECT_EQ(Rfc822DateTime(EncodeDateTime(2027, 1, 10, 0, 0, 0)),
            "Sun, 10 Jan 2027 00:00:00 +0000");
}

TEST(TimeZone, SignAndHalfHourOffsets) {
  {
    test::TTimeZoneGuard zone("UTC0");
    EXPECT_EQ(TimeZone(), "+0000");
  }
  {
    test::TTimeZoneGuard zone("IST-5:30");
    EXPECT_EQ(TimeZone(), "+0530");
  }
  {
    test::TTimeZoneGuard zone("NST3:30");
    EXPECT_EQ(TimeZone(), "-0330");
  }
}

// ---- Ticks ----

TEST(TickDelta, AcrossTheCounterWrap) {
  EXPECT_EQ(TickDelta(0xFFFFFF00u, 0x100u), 512u);
  EXPECT_EQ(TickDelta(0xFFFFFFFFu, 0u), 1u);
}

TEST(TickDelta, ForwardAndEqual) {
  EXPECT_EQ(TickDelta(1000, 1000), 0u);
  EXPECT_EQ(TickDelta(1000, 2500), 1500u);
  EXPECT_EQ(TickDelta(0x7FFFFFFFu, 0x80000001u), 2u);
}

TEST(TickDelta, LaterTickInTheSameHalfGivesTheDistanceBack) {
  EXPECT_EQ(TickDelta(0x300u, 0x100u), 0x200u);
  EXPECT_EQ(TickDelta(0x90000000u, 0x80000000u), 0x10000000u);
}

// ---- Small string tools ----

TEST(ReplaceString, ContinuesAfterEachReplacement) {
  EXPECT_EQ(ReplaceString("a;b;c", ";", ", "), "a, b, c");
  EXPECT_EQ(ReplaceString("aaa", "a", "aa"), "aaaaaa");
  EXPECT_EQ(ReplaceString("aaaa", "aa", "a"), "aa");
  EXPECT_EQ(ReplaceString("xyz", "xyz", ""), "");
}

TEST(ReplaceString, EmptyTextOrSearchIsReturnedUnchanged) {
  EXPECT_EQ(ReplaceString("abc", "", "x"), "abc");
  EXPECT_EQ(ReplaceString("", "a", "x"), "");
}

TEST(RPos, LastOccurrenceEndingByStart) {
  EXPECT_EQ(RPos("ab", "abcab", 5), 4u);
  EXPECT_EQ(RPos("ab", "abcab", 4), 1u);
  EXPECT_EQ(RPos("ab", "abcab", 100), 4u);
  EXPECT_EQ(RPos("=", "a=b=c", 4), 4u);
  EXPECT_EQ(RPos("=", "a=b=c", 3), 2u);
}

TEST(RPos, NotFoundIsZero) {
  EXPECT_EQ(RPos("ab", "abcab", 1), 0u);
  EXPECT_EQ(RPos("ab", "abcab", 0), 0u);
  EXPECT_EQ(RPos("x", "abc", 3), 0u);
  EXPECT_EQ(RPos("", "abc", 3), 0u);
  EXPECT_EQ(RPos("abcd", "abc", 10), 0u);
}

TEST(GetEmailAddr, BetweenAnglesOrTheOpenEnds) {
  EXPECT_EQ(GetEmailAddr("\"Anna\" <anna@example.com>"), "anna@example.com");
  EXPECT_EQ(GetEmailAddr(" anna@example.com "), "anna@example.com");
  EXPECT_EQ(GetEmailAddr("Anna < anna@example.com"), "anna@example.com");
  EXPECT_EQ(GetEmailAddr("anna@example.com> x"), "anna@example.com");
}

TEST(GetEmailDesc, QuotesThenAngleThenParentheses) {
  EXPECT_EQ(GetEmailDesc("\" Anna B \" <a@x> (c)"), "Anna B");
  EXPECT_EQ(GetEmailDesc("Anna B <a@x> (c)"), "Anna B");
  EXPECT_EQ(GetEmailDesc("a@x ( Anna B )"), "Anna B");
  EXPECT_EQ(GetEmailDesc("a@x"), "");
  EXPECT_EQ(GetEmailDesc("\"Anna <a@x>"), "Anna <a@x>");
}

TEST(IndexByBegin, FirstEntryBeginningWithTheTextIgnoringCase) {
  const std::vector<std::string> headers = {"Subject: x", "Content-Type: text/plain",
                                            "content-type: text/html"};
  EXPECT_EQ(IndexByBegin("CONTENT-TYPE", headers), 1);
  EXPECT_EQ(IndexByBegin("CONTENT-ID", headers), -1);
  EXPECT_EQ(IndexByBegin("Subject: x and more", headers), -1);
  EXPECT_EQ(IndexByBegin("", headers), 0);
  EXPECT_EQ(IndexByBegin("x", {}), -1);
}

TEST(IntToBin, PadsToDigitsButNeverCuts) {
  EXPECT_EQ(IntToBin(5, 8), "00000101");
  EXPECT_EQ(IntToBin(0, 0), "0");
  EXPECT_EQ(IntToBin(0, 3), "000");
  EXPECT_EQ(IntToBin(255, 4), "11111111");
}

TEST(IntToBin, NegativeIsThirtyTwoBitTwosComplement) {
  EXPECT_EQ(IntToBin(-1, 0), std::string(32, '1'));
  EXPECT_EQ(IntToBin(-2, 40), std::string(8, '0') + std::string(31, '1') + "0");
  EXPECT_EQ(BinToInt(IntToBin(-123456, 0)), -123456);
}

TEST(BinToInt, ReadsLeadingBinaryDigitsOnly) {
  EXPECT_EQ(BinToInt(""), 0);
  EXPECT_EQ(BinToInt("101"), 5);
  EXPECT_EQ(BinToInt("00000101"), 5);
  EXPECT_EQ(BinToInt("1012"), 5);
  EXPECT_EQ(BinToInt(" 101"), 0);
}

}  // namespace
}  // namespace vantrel
