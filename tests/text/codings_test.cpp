#include "text/codings.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace vantrel {
namespace {

using namespace std::string_literals;
using TPairs = std::vector<std::pair<std::string, std::string>>;

std::string AllBytes() {
  std::string bytes;
  for (int b = 0; b < 256; ++b)
    bytes += static_cast<char>(b);
  return bytes;
}

TEST(Base64, EncodesRfc4648VectorsAndHighBytesWithoutLineBreaks) {
  const TPairs rows = {{"", ""},
                       {"f", "Zg=="},
                       {"fo", "Zm8="},
                       {"foo", "Zm9v"},
                       {"foobar", "Zm9vYmFy"},
                       {"\xFB\xFF", "+/8="},
                       {"\xFF\xFF\xFF", "////"}};
  for (const auto& [data, encoded] : rows)
    EXPECT_EQ(EncodeBase64(data), encoded);
  const std::string encoded = EncodeBase64(std::string(300, 'x'));
  EXPECT_EQ(encoded.size(), 400u);
  EXPECT_EQ(encoded.find_first_of("\r\n"), std::string::npos);
}

TEST(Base64, DecodingRoundTripsEveryLengthAndByte) {
  const std::string bytes = AllBytes();
  for (std::size_t n = 0; n <= bytes.size(); ++n) {
    const std::string data = bytes.substr(bytes.size() - n);
    ASSERT_EQ(DecodeBase64(EncodeBase64(data)), data) << "length " << n;
  }
}

TEST(Base64, DecodingQuirks) {
  const TPairs rows = {
      // A blank or a line break inside shifts the groups.
      {"QU JD", "A"},
      {"QUJD\r\nQUJD", "ABC\x00\x04\x14$"s},
      // An invalid third character drops a valid fourth; an invalid fourth keeps two bytes.
      {"QU=D", "A"},
      {"QU.D", "A"},
      {"QUI=", "AB"},
      {"QUI*", "AB"},
      // Invalid leading characters count as zero bits.
      {"=QUJ", "\x01\x05\x09"s},
      {"====", "\x00"s},
      {"\xC3\xA9\xFF\x80", "\x00"s},
      // A trailing one-character group is ignored; shorter ones need no padding.
      {"Q", ""},
      {"QUJDR", "ABC"},
      {"QUJDRA", "ABCD"},
      {"QUJDREU", "ABCDE"},
  };
  for (const auto& [text, decoded] : rows)
    EXPECT_EQ(DecodeBase64(text), decoded) << text;
}

TEST(MD5, Rfc1321VectorsBlockBoundariesAndHighBytes) {
  const TPairs rows = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
      // 55 bytes still fit the bit count in the same block; 56 to 63 need another.
      {std::string(55, 'a'), "ef1772b6dff9a122358552954ad0df65"},
      {std::string(56, 'a'), "3b0c8ac703f828b04c6c197006d17218"},
      {std::string(64, 'a'), "014842d480b571495a4a0363793f7367"},
      {std::string(119, 'a'), "8a7bd0732ed6a28ce75f6dabc90e1613"},
      {std::string(120, 'a'), "5f61c0ccad4cac44c75ff505e1f1e537"},
      {AllBytes(), "e2c865db4162bed963bfaa9ef6ac18f0"},
  };
  for (const auto& [data, hex] : rows)
    EXPECT_EQ(MD5Hex(data), hex) << data.size() << " bytes";
  EXPECT_EQ(StrToHex(MD5("abc")), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(StrToHex("\x00\x0f\xab\xff"s), "000fabff");
}

TEST(HMAC_MD5, Rfc2104AndRfc2202Vectors) {
  std::string counting;
  for (int b = 1; b <= 25; ++b)
    counting += static_cast<char>(b);
  const std::vector<std::vector<std::string>> rows = {
      {"Hi There", std::string(16, '\x0b'), "9294727a3638bb1c13f48ef8158bfc9d"},
      {"what do ya want for nothing?", "Jefe", "750c783e6ab0b503eaa86e310a5db738"},
      {std::string(50, '\xdd'), std::string(16, '\xaa'), "56be34521d144c88dbb8c733f0e8b3f6"},
      {std::string(50, '\xcd'), counting, "697eaf0aca3a3aea3a75164746ffaa79"},
      // A key longer than a block is hashed first; one of exactly a block is used as is.
      {"Test Using Larger Than Block-Size Key - Hash Key First", std::string(80, '\xaa'),
       "6b1ab7fe4bd7bf8f0b62e6ce61b9d0cd"},
      {"Hi", std::string(64, '\xaa'), "74488c951fe9e2a567a4d4126a986397"},
      {"Hi", std::string(65, '\xaa'), "a536693d97bd3d150578216e822ecdcc"},
      {"", "", "74e6f7298a9c2d168935f58c001bad88"},
  };
  for (const auto& row : rows)
    EXPECT_EQ(HMAC_MD5(row[0], row[1]), row[2]) << row[0];
}

// The characters each encoder keeps; every other byte becomes a triplet.
void ExpectEveryByte(std::string (*encode)(std::string_view), char escape, std::string_view kept) {
  for (int b = 0; b < 256; ++b) {
    const char c = static_cast<char>(b);
    char triplet[4];
    std::snprintf(triplet, sizeof triplet, "%c%02X", escape, b);
    const bool keep = kept.find(c) != std::string_view::npos;
    EXPECT_EQ(encode(std::string(1, c)), keep ? std::string(1, c) : triplet) << "byte " << b;
  }
}

TEST(EncodeURL, EscapesExactlyItsSetOverAllBytes) {
  ExpectEveryByte(
      EncodeURL, '%',
      "!#$&'()*+,-./0123456789:;=?@ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  EXPECT_EQ(EncodeURL("a b_c&d=e/f?g"), "a%20b%5Fc&d=e/f?g");
}

TEST(EncodeSafeQuoted, EscapesExactlyItsSetOverAllBytes) {
  ExpectEveryByte(EncodeSafeQuoted, '=',
                  " !#$%&'*+-0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ^`abcdefghijklmnopqrstuvwxyz{|}~");
  EXPECT_EQ(EncodeSafeQuoted("K\xF6ln a=b_c"), "K=F6ln a=3Db=5Fc");
}

}  // namespace
}  // namespace vantrel
