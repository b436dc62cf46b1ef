#pragma once

// The charsets a mail part may be written in, their names in the Content-Type
// "charset" parameter, and conversion between them through glibc's iconv.
// Conversion never fails: a character the target lacks, or a byte the source
// does not define, becomes "_", so counting "_" tells how well a charset fits.

#include <cstdint>
#include <string>
#include <string_view>

namespace vantrel {

// Numbered as stored with a part; 29 values.
enum class TCharset : std::uint8_t {
  Iso8859_1 = 0,
  Iso8859_2,
  Iso8859_3,
  Iso8859_4,
  Iso8859_5,
  Iso8859_6,
  Iso8859_7,
  Iso8859_8,
  Iso8859_9,
  Iso8859_10,
  Iso8859_13,
  Iso8859_14,
  Iso8859_15,
  Windows1250,
  Windows1251,
  Windows1252,
  Windows1253,
  Windows1254,
  Windows1255,
  Windows1256,
  Windows1257,
  Windows1258,
  Koi8R,
  Cp895,
  Cp852,
  Ucs2,  // "Unicode-1-1-UCS-2"
  Ucs4,  // "Unicode-1-1-UCS-4"
  Utf8,
  Utf7,
};

inline constexpr int kCharsetCount = 29;

// A set of charsets, bit n standing for the charset numbered n.
using TCharsetMask = std::uint32_t;

constexpr TCharsetMask CharsetBit(TCharset charset) {
  return TCharsetMask{1} << static_cast<int>(charset);
}

// ISO-8859-1 to ISO-8859-10: the candidates for texts in mail.
inline constexpr TCharsetMask kIso8859Family = 0x3FF;

// The name in the "charset" parameter; a value outside the enumeration is
// named "ISO-8859-1".
std::string CharsetName(TCharset charset);

// `text` from one charset to another; "_" for each character without an
// equivalent. The same charset on both sides gives the text unchanged.
std::string ConvertCharset(std::string_view text, TCharset from, TCharset to);

// The candidate that holds the text's bytes above 127 (read in `source`) with
// the fewest "_", the lowest number first among equals and a perfect fit ending
// the search; ISO-8859-1 for a text without such bytes.
TCharset DetectCharset(std::string_view text, TCharset source, TCharsetMask candidates);

// The charset of a C library codeset name ("UTF-8", "ISO-8859-2", "CP1251",
// case, "-" and "_" ignored); WINDOWS-1252 for one the enumeration lacks.
TCharset CharsetOfCodeset(std::string_view codeset);

// The charset texts are held in: that of the current C library locale.
TCharset SystemCharset();

}  // namespace vantrel
