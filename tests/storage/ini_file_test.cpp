#include "storage/ini_file.h"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

TIniFile Parse(std::string_view text) {
  return TIniFile::Parse("test.ini", text);
}

TEST(IniFile, NamesCompareWithoutCaseAndValuesAreTrimmed) {
  const TIniFile ini = Parse("[Mail]\r\n  server =  smtp.example.org \t\r\n");
  EXPECT_EQ(ini.ReadString("MAIL", "Server", "x"), "smtp.example.org");
  EXPECT_TRUE(ini.ValueExists("mail", "SERVER"));
  EXPECT_FALSE(ini.ValueExists("Mail", "Port"));
}

TEST(IniFile, FirstOfTwoEqualKeysWins) {
  const TIniFile ini = Parse("[A]\nk=1\nk=2\n[a]\nk=3\n");
  EXPECT_EQ(ini.ReadInteger("A", "k", 0), 1);
}

TEST(IniFile, ValueKeepsEverythingAfterTheFirstEqualsSign) {
  const TIniFile ini = Parse("[Message]\nSubject=QUJD==\n");
  EXPECT_EQ(ini.ReadString("Message", "Subject", ""), "QUJD==");
}

TEST(IniFile, KeysBeforeTheFirstSectionOrInCommentsAreNotEntries) {
  const TIniFile ini = Parse("k=stray\n[S]\n;k=commented\n#k=also\n");
  EXPECT_FALSE(ini.ValueExists("", "k"));
  EXPECT_FALSE(ini.ValueExists("S", "k"));
  EXPECT_FALSE(ini.ValueExists("S", ";k"));
}

TEST(IniFile, IntegersThatDoNotParseReadAsTheFallback) {
  const TIniFile ini =
      Parse("[N]\na=12\nb= -7 \nc=+3\nd=12abc\ne=\nf=2147483648\ng=0x10\nh=-2147483648\n");
  EXPECT_EQ(ini.ReadInteger("N", "a", 99), 12);
  EXPECT_EQ(ini.ReadInteger("N", "b", 99), -7);
  EXPECT_EQ(ini.ReadInteger("N", "c", 99), 3);
  EXPECT_EQ(ini.ReadInteger("N", "d", 99), 99);
  EXPECT_EQ(ini.ReadInteger("N", "e", 99), 99);
  EXPECT_EQ(ini.ReadInteger("N", "f", 99), 99);  // beyond 32 bits
  EXPECT_EQ(ini.ReadInteger("N", "g", 99), 99);
  EXPECT_EQ(ini.ReadInteger("N", "h", 99), INT32_MIN);
  EXPECT_TRUE(ini.ReadBool("N", "a", false));
  EXPECT_FALSE(ini.ReadBool("N", "missing", false));
}

TEST(IniFile, WritingReplacesInPlaceAndAppendsNewKeysBeforeTheGap) {
  TIniFile ini = Parse("[A]\r\nx=1\r\ny=2\r\n\r\n[B]\r\nz=3\r\n");
  ini.WriteString("a", "X", "10");
  ini.WriteInteger("A", "w", 4);
  ini.WriteBool("C", "v", true);
  EXPECT_EQ(ini.Text(), "[A]\r\nX=10\r\ny=2\r\nw=4\r\n\r\n[B]\r\nz=3\r\n\r\n[C]\r\nv=1\r\n");
}

TEST(IniFile, LineBreakInAValueCannotInjectAnotherKey) {
  TIniFile ini("test.ini");
  ini.WriteString("Proxy", "Password", "secret\r\n[Proxy]\r\nAddress=evil");
  const TIniFile back = TIniFile::Parse("test.ini", ini.Text());
  EXPECT_FALSE(back.ValueExists("Proxy", "Address"));
  EXPECT_EQ(back.ReadString("Proxy", "Password", ""), "secret  [Proxy]  Address=evil");
}

TEST(IniFile, MissingFileReadsAsEmpty) {
  const TIniFile ini = TIniFile::Load("/nonexistent-folder/vantrel.ini");
  EXPECT_EQ(ini.Text(), "");
  EXPECT_EQ(ini.ReadString("A", "b", "fallback"), "fallback");
}

}  // namespace
}  // namespace vantrel
