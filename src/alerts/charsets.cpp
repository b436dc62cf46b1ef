#include "alerts/charsets.h"

#include <iconv.h>
#include <langinfo.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <optional>

namespace vantrel {

namespace {

struct TCharsetInfo {
  const char* Name;   // as mail names it
  const char* Iconv;  // as glibc's iconv names it
  std::size_t Unit;   // bytes of one code unit: where to resume after a bad one
};

constexpr std::array<TCharsetInfo, kCharsetCount> kCharsets = {{
    {"ISO-8859-1", "ISO-8859-1", 1},
    {"ISO-8859-2", "ISO-8859-2", 1},
    {"ISO-8859-3", "ISO-8859-3", 1},
    {"ISO-8859-4", "ISO-8859-4", 1},
    {"ISO-8859-5", "ISO-8859-5", 1},
    {"ISO-8859-6", "ISO-8859-6", 1},
    {"ISO-8859-7", "ISO-8859-7", 1},
    {"ISO-8859-8", "ISO-8859-8", 1},
    {"ISO-8859-9", "ISO-8859-9", 1},
    {"ISO-8859-10", "ISO-8859-10", 1},
    {"ISO-8859-13", "ISO-8859-13", 1},
    {"ISO-8859-14", "ISO-8859-14", 1},
    {"ISO-8859-15", "ISO-8859-15", 1},
    {"WINDOWS-1250", "WINDOWS-1250", 1},
    {"WINDOWS-1251", "WINDOWS-1251", 1},
    {"WINDOWS-1252", "WINDOWS-1252", 1},
    {"WINDOWS-1253", "WINDOWS-1253", 1},
    {"WINDOWS-1254", "WINDOWS-1254", 1},
    {"WINDOWS-1255", "WINDOWS-1255", 1},
    {"WINDOWS-1256", "WINDOWS-1256", 1},
    {"WINDOWS-1257", "WINDOWS-1257", 1},
    {"WINDOWS-1258", "WINDOWS-1258", 1},
    {"KOI8-R", "KOI8-R", 1},
    // glibc has no table for Kamenicky (CP-895); as ASCII its letters above
    // 127 become "_" rather than some other code page's letters.
    {"CP-895", "ANSI_X3.4-1968", 1},
    {"CP-852", "CP852", 1},
    // RFC 1641: Unicode 1.1 in network byte order and without a byte-order
    // mark, which the explicit big-endian names give.
    {"Unicode-1-1-UCS-2", "UCS-2BE", 2},
    {"Unicode-1-1-UCS-4", "UCS-4BE", 4},
    {"UTF-8", "UTF-8", 1},
    {"UTF-7", "UTF-7", 1},
}};

// Every conversion goes through code points, so that a bad source byte and a
// character the target lacks are told apart and each becomes one "_".
constexpr const char* kCodePoints = "UCS-4BE";
constexpr std::size_t kCodePointUnit = 4;

const TCharsetInfo& Info(TCharset charset) {
  const auto n = static_cast<std::size_t>(charset);
  return kCharsets[n < kCharsets.size() ? n : 0];
}

// "_" as one code unit of a charset (big-endian for the wide ones).
std::string Underscore(std::size_t unit) {
  std::string s(unit, '\0');
  s.back() = '_';
  return s;
}

struct TConverted {
  std::string Text;
  std::size_t Substituted = 0;  // "_" written for what could not be converted
};

class TIconv {
 public:
  TIconv(const char* to, const char* from) : Cd_(iconv_open(to, from)) {}
  ~TIconv() {
    if (Ok())
      iconv_close(Cd_);
  }
  TIconv(const TIconv&) = delete;
  TIconv& operator=(const TIconv&) = delete;

  bool Ok() const { return Cd_ != reinterpret_cast<iconv_t>(-1); }

  // Converts `input`; a unit of `unit` bytes it cannot take is replaced by
  // `underscore` (the input's own "_") and passed over.
  TConverted Run(std::string_view input, std::size_t unit, std::string_view underscore) {
    TConverted out;
    std::string buffer(input.size() * 4 + 16, '\0');
    std::size_t used = 0;
    while (!Feed(input, buffer, used)) {
      std::string_view sub = underscore;
      Feed(sub, buffer, used);
      ++out.Substituted;
      input.remove_prefix(std::min(unit, input.size()));
    }
    // A stateful target (UTF-7) closes its last shift sequence here.
    std::string_view none;
    Feed(none, buffer, used, true);
    buffer.resize(used);
    out.Text = std::move(buffer);
    return out;
  }

 private:
  // Converts as much of `input` as it can into `buffer` after `used`, growing
  // it; false when it stopped at something it cannot convert.
  bool Feed(std::string_view& input, std::string& buffer, std::size_t& used, bool flush = false) {
    for (;;) {
      char* in = const_cast<char*>(input.data());
      std::size_t inLeft = input.size();
      char* out = buffer.data() + used;
      std::size_t outLeft = buffer.size() - used;
      const std::size_t r = flush ? iconv(Cd_, nullptr, nullptr, &out, &outLeft)
                                  : iconv(Cd_, &in, &inLeft, &out, &outLeft);
      const int error = errno;
      used = buffer.size() - outLeft;
      input.remove_prefix(input.size() - inLeft);
      if (r != static_cast<std::size_t>(-1))
        return true;
      if (error != E2BIG)
        return false;  // EILSEQ, or EINVAL for a sequence cut off at the end
      buffer.resize(buffer.size() * 2);
    }
  }

  iconv_t Cd_;
};

// Without iconv's tables for a charset only ASCII can be trusted: it is kept
// and every other byte becomes "_". Composition goes on, a little poorer.
TConverted AsciiOnly(std::string_view text) {
  TConverted out;
  out.Text.reserve(text.size());
  for (const char c : text) {
    const bool ascii = static_cast<unsigned char>(c) < 128;
    out.Text += ascii ? c : '_';
    out.Substituted += ascii ? 0 : 1;
  }
  return out;
}

TConverted Convert(std::string_view text, TCharset from, TCharset to) {
  if (from == to || text.empty())
    return {std::string(text), 0};
  const TCharsetInfo& source = Info(from);
  const TCharsetInfo& target = Info(to);
  TIconv decode(kCodePoints, source.Iconv);
  TIconv encode(target.Iconv, kCodePoints);
  if (!decode.Ok() || !encode.Ok())
    return AsciiOnly(text);
  TConverted points = decode.Run(text, source.Unit, Underscore(source.Unit));
  TConverted out = encode.Run(points.Text, kCodePointUnit, Underscore(kCodePointUnit));
  out.Substituted += points.Substituted;
  return out;
}

// Upper case without "-" and "_", so "utf8", "UTF-8" and "ISO_8859-2" meet.
std::string Normalized(std::string_view name) {
  std::string out;
  for (const char c : name) {
    if (c != '-' && c != '_')
      out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return out;
}

}  // namespace

std::string CharsetName(TCharset charset) {
  return Info(charset).Name;
}

std::string ConvertCharset(std::string_view text, TCharset from, TCharset to) {
  return Convert(text, from, to).Text;
}

TCharset DetectCharset(std::string_view text, TCharset source, TCharsetMask candidates) {
  std::string high;
  for (const char c : text) {
    if (static_cast<unsigned char>(c) > 127)
      high += c;
  }
  if (high.empty())
    return TCharset::Iso8859_1;
  std::optional<std::size_t> fewest;
  TCharset best = TCharset::Iso8859_1;
  for (int n = 0; n < kCharsetCount; ++n) {
    const auto candidate = static_cast<TCharset>(n);
    if ((candidates & CharsetBit(candidate)) == 0)
      continue;
    const std::size_t missing = Convert(high, source, candidate).Substituted;
    if (!fewest || missing < *fewest) {
      fewest = missing;
      best = candidate;
    }
    if (missing == 0)
      break;
  }
  return best;
}

TCharset CharsetOfCodeset(std::string_view codeset) {
  const std::string wanted = Normalized(codeset);
  for (int n = 0; n < kCharsetCount; ++n) {
    const auto charset = static_cast<TCharset>(n);
    if (Normalized(CharsetName(charset)) == wanted)
      return charset;
  }
  // The C library names the Windows code pages "CP125x".
  if (wanted.size() == 6 && wanted.starts_with("CP125") && wanted[5] >= '0' && wanted[5] <= '8')
    return static_cast<TCharset>(static_cast<int>(TCharset::Windows1250) + (wanted[5] - '0'));
  return TCharset::Windows1252;
}

TCharset SystemCharset() {
  return CharsetOfCodeset(nl_langinfo(CODESET));
}

}  // namespace vantrel
