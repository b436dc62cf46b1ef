#include "text/codings.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace vantrel
