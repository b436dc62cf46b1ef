#include "net/codings.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace vantrel {
namespace {

using namespace std::string_literals;

std::string AllBytes() {
  std::string bytes;
  for (int b = 0; b < 256; ++b)
    bytes += static_cast<char>(b);
  return bytes;
}

// ---- Base64 ----

TEST(EncodeBase64, Rfc4648Vectors) {
  EXPECT_EQ(EncodeBase64(""), "");
  EXPECT_EQ(EncodeBase64("f"), "Zg==");
  EXPECT_EQ(EncodeBase64("fo"), "Zm8=");
  EXPECT_EQ(EncodeBase64("foo"), "Zm9v");
  EXPECT_EQ(EncodeBase64("foob"), "Zm9vYg==");
  EXPECT_EQ(EncodeBase64("fooba"), "Zm9vYmE=");
  EXPECT_EQ(EncodeBase64("foobar"), "Zm9vYmFy");
}

TEST(EncodeBase64, HighBytesAreNotSignExtended) {
  EXPECT_EQ(EncodeBase64("\xFB\xFF"), "+/8=");
  EXPECT_EQ(EncodeBase64("\xFF\xFF\xFF"), "////");
}

TEST(EncodeBase64, LongInputHasNoLineBreaks) {
  const std::string encoded = EncodeBase64(std::string(300, 'x'));
  EXPECT_EQ(encoded.size(), 400u);
  EXPECT_EQ(encoded.find_first_of("\r\n"), std::string::npos);
}

TEST(DecodeBase64, RoundTripsEveryLengthAndByte) {
  const std::string bytes = AllBytes();
  for (std::size_t n = 0; n <= bytes.size(); ++n) {
    const std::string data = bytes.substr(bytes.size() - n);
    ASSERT_EQ(DecodeBase64(EncodeBase64(data)), data) << "length " << n;
  }
}

TEST(DecodeBase64, BlankInsideShiftsTheGroups) {
  EXPECT_EQ(DecodeBase64("QUJD"), "ABC");
  // "QU J" keeps only its first byte; the "D" left alone at the end is dropped.
  EXPECT_EQ(DecodeBase64("QU JD"), "A");
}

TEST(DecodeBase64, LineBreakInsideShiftsTheGroups) {
  // The second group is "\r\nQU": zero bits for the line break, then Q and U.
  EXPECT_EQ(DecodeBase64("QUJD\r\nQUJD"), "ABC\x00\x04\x14$"s);
  EXPECT_NE(DecodeBase64("QUJD\r\nQUJD"), DecodeBase64("QUJDQUJD"));
}

TEST(DecodeBase64, InvalidThirdCharacterDropsTheValidFourth) {
  EXPECT_EQ(DecodeBase64("QU=D"), "A");
  EXPECT_EQ(DecodeBase64("QU.D"), "A");
}

TEST(DecodeBase64, InvalidFourthCharacterKeepsTwoBytes) {
  EXPECT_EQ(DecodeBase64("QUI="), "AB");
  EXPECT_EQ(DecodeBase64("QUI*"), "AB");
}

TEST(DecodeBase64, InvalidLeadingCharactersCountAsZeroBits) {
  EXPECT_EQ(DecodeBase64("=QUJ"), "\x01\x05\x09"s);
  EXPECT_EQ(DecodeBase64("===="), "\x00"s);
  EXPECT_EQ(DecodeBase64("\xC3\xA9\xFF\x80"), "\x00"s);
}

TEST(DecodeBase64, TrailingOneCharacterGroupIsIgnored) {
  EXPECT_EQ(DecodeBase64(""), "");
  EXPECT_EQ(DecodeBase64("Q"), "");
  EXPECT_EQ(DecodeBase64("QUJDR"), "ABC");
}

TEST(DecodeBase64, ShortTrailingGroupsNeedNoPadding) {
  EXPECT_EQ(DecodeBase64("QUJDRA"), "ABCD");
  EXPECT_EQ(DecodeBase64("QUJDREU"), "ABCDE");
}

// ---- MD5 ----

TEST(MD5, Rfc1321Vectors) {
  EXPECT_EQ(MD5Hex(""), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(MD5Hex("a"), "0cc175b9c0f1b6a831c399e269772661");
  EXPECT_EQ(MD5Hex("abc"), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(MD5Hex("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
  EXPECT_EQ(MD5Hex("abcdefghijklmnopqrstuvwxyz"), "c3fcd3d76192e4007dfb496cca67e13b");
  EXPECT_EQ(MD5Hex("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
            "d174ab98d277d9f5a5611c2c9f419d9f");
  EXPECT_EQ(MD5Hex("1234567890123456789012345678901234567890"
                   "1234567890123456789012345678901234567890"),
            "57edf4a22be3c955ac49da2e2107b67a");
}

TEST(MD5, PaddingAroundTheBlockBoundaries) {
  // 55 bytes still fit the bit count in the same block; 56 to 63 need another.
  EXPECT_EQ(MD5Hex(std::string(55, 'a')), "ef1772b6dff9a122358552954ad0df65");
  EXPECT_EQ(MD5Hex(std::string(56, 'a')), "3b0c8ac703f828b04c6c197006d17218");
  EXPECT_EQ(MD5Hex(std::string(63, 'a')), "b06521f39153d618550606be297466d5");
  EXPECT_EQ(MD5Hex(std::string(64, 'a')), "014842d480b571495a4a0363793f7367");
  EXPECT_EQ(MD5Hex(std::string(65, 'a')), "c743a45e0d2e6a95cb859adae0248435");
  EXPECT_EQ(MD5Hex(std::string(119, 'a')), "8a7bd0732ed6a28ce75f6dabc90e1613");
  EXPECT_EQ(MD5Hex(std::string(120, 'a')), "5f61c0ccad4cac44c75ff505e1f1e537");
}

TEST(MD5, HighBytesAndLongInput) {
  EXPECT_EQ(MD5Hex(AllBytes()), "e2c865db4162bed963bfaa9ef6ac18f0");
  EXPECT_EQ(MD5Hex(std::string(1000000, 'a')), "7707d6ae4e027c70eea2a935c2296f21");
}

TEST(MD5, DigestIsSixteenRawBytesOfTheHexForm) {
  const std::string digest = MD5("abc");
  ASSERT_EQ(digest.size(), 16u);
  EXPECT_EQ(static_cast<unsigned char>(digest[0]), 0x90);
  EXPECT_EQ(static_cast<unsigned char>(digest[15]), 0x72);
  EXPECT_EQ(StrToHex(digest), MD5Hex("abc"));
}

// ---- HMAC-MD5: RFC 2104 cases, then RFC 2202 ----

TEST(HMAC_MD5, Rfc2104Vectors) {
  EXPECT_EQ(HMAC_MD5("Hi There", std::string(16, '\x0b')), "9294727a3638bb1c13f48ef8158bfc9d");
  EXPECT_EQ(HMAC_MD5("what do ya want for nothing?", "Jefe"), "750c783e6ab0b503eaa86e310a5db738");
  EXPECT_EQ(HMAC_MD5(std::string(50, '\xdd'), std::string(16, '\xaa')),
            "56be34521d144c88dbb8c733f0e8b3f6");
}

TEST(HMAC_MD5, Rfc2202Vectors) {
  std::string key;
  for (int b = 1; b <= 25; ++b)
    key += static_cast<char>(b);
  EXPECT_EQ(HMAC_MD5(std::string(50, '\xcd'), key), "697eaf0aca3a3aea3a75164746ffaa79");
  EXPECT_EQ(HMAC_MD5("Test With Truncation", std::string(16, '\x0c')),
            "56461ef2342edc00f9bab995690efd4c");
}

TEST(HMAC_MD5, KeyLongerThanABlockIsHashedFirst) {
  const std::string key(80, '\xaa');
  EXPECT_EQ(HMAC_MD5("Test Using Larger Than Block-Size Key - Hash Key First", key),
            "6b1ab7fe4bd7bf8f0b62e6ce61b9d0cd");
  EXPECT_EQ(
      HMAC_MD5("Test Using Larger Than Block-Size Key and Larger Than One Block-Size Data", key),
      "6f630fad67cda0ee1fb1f562db3aa53e");
}

TEST(HMAC_MD5, KeyOfExactlyOneBlockIsUsedAsIs) {
  EXPECT_EQ(HMAC_MD5("Hi", std::string(64, '\xaa')), "74488c951fe9e2a567a4d4126a986397");
  EXPECT_EQ(HMAC_MD5("Hi", std::string(65, '\xaa')), "a536693d97bd3d150578216e822ecdcc");
  EXPECT_EQ(HMAC_MD5("", ""), "74e6f7298a9c2d168935f58c001bad88");
}

// ---- Hexadecimal and escape triplets ----

TEST(StrToHex, LowercaseTwoDigitsPerByte) {
  EXPECT_EQ(StrToHex(""), "");
  EXPECT_EQ(StrToHex("\x00\x0f\xab\xff"s), "000fabff");
}

// Written out as the characters each encoder keeps, the other way round from
// the escape sets in the code.
constexpr std::string_view kUrlKept =
    "!#$&'()*+,-./0123456789:;=?@ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
constexpr std::string_view kSafeQuotedKept =
    " !#$%&'*+-0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ^`abcdefghijklmnopqrstuvwxyz{|}~";

std::string Triplet(char escape, int byte) {
  char text[4];
  std::snprintf(text, sizeof text, "%c%02X", escape, byte);
  return text;
}

void ExpectEveryByte(std::string (*encode)(std::string_view), char escape, std::string_view kept) {
  for (int b = 0; b < 256; ++b) {
    const char c = static_cast<char>(b);
    const bool keep = kept.find(c) != std::string_view::npos;
    EXPECT_EQ(encode(std::string(1, c)), keep ? std::string(1, c) : Triplet(escape, b))
        << "byte " << b;
  }
}

TEST(EncodeURL, EscapesExactlyItsSetOverAllBytes) {
  ExpectEveryByte(EncodeURL, '%', kUrlKept);
}

TEST(EncodeURL, BlankAndUnderscoreEscapedAmpersandKept) {
  EXPECT_EQ(EncodeURL("a b_c&d=e/f?g"), "a%20b%5Fc&d=e/f?g");
}

TEST(EncodeSafeQuoted, EscapesExactlyItsSetOverAllBytes) {
  ExpectEveryByte(EncodeSafeQuoted, '=', kSafeQuotedKept);
}

TEST(EncodeSafeQuoted, BlankKeptEqualsAndUnderscoreEscaped) {
  EXPECT_EQ(EncodeSafeQuoted("K\xF6ln a=b_c"), "K=F6ln a=3Db=5Fc");
}

TEST(EncodeTriplet, CallerSetAndUppercaseDigits) {
  TByteSet set;
  set.set(0xAB);
  set.set('=');
  EXPECT_EQ(EncodeTriplet("x\xAB=y\xAC", '=', set), "x=AB=3Dy\xAC");
  EXPECT_EQ(EncodeTriplet("", '%', set), "");
}

}  // namespace
}  // namespace vantrel
