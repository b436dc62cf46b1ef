#include "alerts/charsets.h"

#include <gtest/gtest.h>

#include <string>

#include "support/test_env.h"

namespace vantrel {
namespace {

TEST(CharsetsTest, ConvertsAndPutsAnUnderscoreForWhatTheTargetLacks) {
  const struct {
    const char* Text;
    TCharset From;
    TCharset To;
    std::string Expected;
  } cases[] = {
      {"Za\xC5\xBC\xC3\xB3\xC5\x82\xC4\x87", TCharset::Utf8, TCharset::Iso8859_2,
       "Za\xBF\xF3\xB3\xE6"},
      {"Za\xC5\xBC\xC3\xB3\xC5\x82\xC4\x87", TCharset::Utf8, TCharset::Iso8859_1, "Za_\xF3__"},
      {"Za\xBF", TCharset::Iso8859_2, TCharset::Utf8, "Za\xC5\xBC"},
      {"\xD0\xAF", TCharset::Utf8, TCharset::Koi8R, "\xF1"},
      // A byte that is no UTF-8 counts as a character nobody has.
      {"a\xFF"
       "b",
       TCharset::Utf8, TCharset::Iso8859_1, "a_b"},
      {"A\xC5\xBC", TCharset::Utf8, TCharset::Ucs2, std::string("\0A\x01\x7C", 4)},
      {"\xC5\xBC", TCharset::Utf8, TCharset::Utf7, "+AXw-"},
      // No table for Kamenicky: only ASCII passes.
      {"a\xC5\xBC", TCharset::Utf8, TCharset::Cp895, "a_"},
      {"a\xFF", TCharset::Utf8, TCharset::Utf8, "a\xFF"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ConvertCharset(c.Text, c.From, c.To), c.Expected) << c.Text;
}

TEST(CharsetsTest, DetectsTheFirstCandidateThatLosesFewestLetters) {
  const struct {
    const char* Text;
    TCharsetMask Candidates;
    TCharset Expected;
  } cases[] = {
      {"plain text", kIso8859Family, TCharset::Iso8859_1},
      {"caf\xC3\xA9", kIso8859Family, TCharset::Iso8859_1},
      {"Za\xC5\xBC\xC3\xB3\xC5\x82\xC4\x87 g\xC4\x99\xC5\x9Bl\xC4\x85", kIso8859Family,
       TCharset::Iso8859_2},
      {"\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82", kIso8859Family, TCharset::Iso8859_5},
      {"\xCE\x9A\xCE\xB1\xCE\xBB\xCE\xB7\xCE\xBC\xCE\xAD\xCF\x81\xCE\xB1", kIso8859Family,
       TCharset::Iso8859_7},
      // One letter lost either way: the lower number wins.
      {"\xC5\xBC \xD0\xAF", kIso8859Family, TCharset::Iso8859_2},
      {"\xC5\xBC \xD0\xAF", CharsetBit(TCharset::Iso8859_5) | CharsetBit(TCharset::Utf8),
       TCharset::Utf8},
  };
  for (const auto& c : cases)
    EXPECT_EQ(DetectCharset(c.Text, TCharset::Utf8, c.Candidates), c.Expected) << c.Text;
  EXPECT_EQ(DetectCharset("Za\xBF", TCharset::Iso8859_2, kIso8859Family), TCharset::Iso8859_2);
}

TEST(CharsetsTest, SystemCharsetFollowsTheLocalesCodeset) {
  const struct {
    const char* Codeset;
    TCharset Expected;
  } cases[] = {
      {"UTF-8", TCharset::Utf8},           {"utf8", TCharset::Utf8},
      {"ISO-8859-2", TCharset::Iso8859_2}, {"ISO-8859-15", TCharset::Iso8859_15},
      {"CP1251", TCharset::Windows1251},   {"WINDOWS-1257", TCharset::Windows1257},
      {"KOI8-R", TCharset::Koi8R},         {"ANSI_X3.4-1968", TCharset::Windows1252},
      {"CP1259", TCharset::Windows1252},   {"BIG5", TCharset::Windows1252},
      {"CP-895", TCharset::Cp895},         {"UTF-7", TCharset::Utf7},
  };
  for (const auto& c : cases)
    EXPECT_EQ(CharsetOfCodeset(c.Codeset), c.Expected) << c.Codeset;
  {
    const test::TLocaleGuard utf8("C.UTF-8");
    ASSERT_TRUE(utf8.Ok());
    EXPECT_EQ(SystemCharset(), TCharset::Utf8);
  }
  const test::TLocaleGuard plain("C");
  EXPECT_EQ(SystemCharset(), TCharset::Windows1252);
}

}  // namespace
}  // namespace vantrel
