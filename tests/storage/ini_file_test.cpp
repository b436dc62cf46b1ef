#include "storage/ini_file.h"

#include <gtest/gtest.h>

namespace vantrel {
namespace {

TIniFile Parse(std::string_view text) {
  return TIniFile::Parse("test.ini", text);
}

TEST(IniFile, EntriesAreFoundWithoutCaseTrimmedAndFirstWinsOutsideComments) {
  const TIniFile ini = Parse(
      "k=stray\n[Mail]\r\n  server =  smtp.example.org \t\r\n;c=commented\n#h=also\n"
      "Subject=QUJD==\nk=1\nk=2\n[mail]\nk=3\n");
  const struct {
    const char *Section, *Key, *Value;
  } cases[] = {{"MAIL", "Server", "smtp.example.org"},
               {"Mail", "Subject", "QUJD=="},
               {"mail", "K", "1"},
               {"", "k", nullptr},
               {"Mail", "c", nullptr},
               {"Mail", ";c", nullptr},
               {"Mail", "h", nullptr},
               {"Mail", "Port", nullptr}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.Section) + "/" + c.Key);
    EXPECT_EQ(ini.ValueExists(c.Section, c.Key), c.Value != nullptr);
    EXPECT_EQ(ini.ReadString(c.Section, c.Key, "none"), c.Value ? c.Value : "none");
  }
}

TEST(IniFile, IntegersThatDoNotParseReadAsTheFallback) {
  const TIniFile ini =
      Parse("[N]\na=12\nb= -7 \nc=+3\nd=12abc\ne=\nf=2147483648\ng=0x10\nh=-2147483648\n");
  const std::pair<const char*, std::int32_t> cases[] = {
      {"a", 12}, {"b", -7}, {"c", 3},         {"d", 99},      {"e", 99},
      {"f", 99}, {"g", 99}, {"h", INT32_MIN}, {"missing", 99}};
  for (auto [key, value] : cases)
    EXPECT_EQ(ini.ReadInteger("N", key, 99), value) << key;
  EXPECT_TRUE(ini.ReadBool("N", "a", false));
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
  const TIniFile back = Parse(ini.Text());
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
