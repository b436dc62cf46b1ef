#include "text/codings.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>

#include "text/byte_order.h"

namespace vantrel {

namespace {

// ---- Base64 ----

constexpr std::string_view kBase64Alphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// The 6-bit value of each byte, -1 for bytes outside the alphabet.
constexpr std::array<std::int8_t, 256> MakeBase64Values() {
  std::array<std::int8_t, 256> values{};
  values.fill(-1);
  for (std::size_t i = 0; i < kBase64Alphabet.size(); ++i) {
    values[static_cast<unsigned char>(kBase64Alphabet[i])] = static_cast<std::int8_t>(i);
  }
  return values;
}

constexpr std::array<std::int8_t, 256> kBase64Values = MakeBase64Values();

// The value of the character at `at`, -1 when it is outside the alphabet or
// past the end (both count as padding).
int Base64Value(std::string_view text, std::size_t at) {
  return at < text.size() ? kBase64Values[static_cast<unsigned char>(text[at])] : -1;
}

// Padding contributes zero bits where a byte is still written.
int Bits(int value) {
  return value < 0 ? 0 : value;
}

void EncodeGroup(std::string_view data, std::size_t at, std::string& out) {
  const std::size_t n = std::min<std::size_t>(3, data.size() - at);
  std::uint32_t group = 0;
  for (std::size_t i = 0; i < 3; ++i) {
    const std::uint32_t byte = i < n ? static_cast<unsigned char>(data[at + i]) : 0;
    group = (group << 8) | byte;
  }
  for (std::size_t i = 0; i < 4; ++i) {
    // n bytes fill n + 1 characters; the rest of the four are padding.
    out += i <= n ? kBase64Alphabet[(group >> (18 - 6 * i)) & 0x3F] : '=';
  }
}

void DecodeGroup(std::string_view text, std::size_t at, std::string& out) {
  const int c1 = Base64Value(text, at);
  const int c2 = Base64Value(text, at + 1);
  const int c3 = Base64Value(text, at + 2);
  const int c4 = Base64Value(text, at + 3);
  out += static_cast<char>((Bits(c1) << 2) | (Bits(c2) >> 4));
  if (c3 < 0)
    return;
  out += static_cast<char>(((Bits(c2) & 0x0F) << 4) | (c3 >> 2));
  if (c4 < 0)
    return;
  out += static_cast<char>(((c3 & 0x03) << 6) | c4);
}

// ---- MD5 (RFC 1321) ----

constexpr std::array<std::uint32_t, 64> kMD5Sines = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391,
};

// Left rotations of each round; each row of four repeats four times.
constexpr std::array<int, 16> kMD5Shifts = {7, 12, 17, 22, 5, 9,  14, 20,
                                            4, 11, 16, 23, 6, 10, 15, 21};

constexpr std::size_t kMD5BlockSize = 64;

class TMD5Context {
 public:
  void Update(std::string_view data);
  // The digest; the context is used up.
  std::string Final();

 private:
  void Transform(const unsigned char* block);

  std::array<std::uint32_t, 4> State_ = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
  std::uint64_t Length_ = 0;  // bytes hashed so far
  std::array<unsigned char, kMD5BlockSize> Buffer_{};
};

void TMD5Context::Update(std::string_view data) {
  std::size_t used = Length_ % kMD5BlockSize;
  Length_ += data.size();
  for (const char c : data) {
    Buffer_[used++] = static_cast<unsigned char>(c);
    if (used == kMD5BlockSize) {
      Transform(Buffer_.data());
      used = 0;
    }
  }
}

std::string TMD5Context::Final() {
  const std::uint64_t bitCount = Length_ * 8;
  // 80 and zeros up to 56 bytes into a block, then the bit count.
  const std::size_t used = Length_ % kMD5BlockSize;
  const std::size_t padding = (used < 56 ? 56 : 120) - used;
  std::string tail(padding + 8, '\0');
  tail[0] = static_cast<char>(0x80);
  for (std::size_t i = 0; i < 8; ++i) {
    tail[padding + i] = static_cast<char>((bitCount >> (8 * i)) & 0xFF);
  }
  Update(tail);
  std::string digest(16, '\0');
  for (std::size_t i = 0; i < 16; ++i) {
    digest[i] = static_cast<char>((State_[i / 4] >> (8 * (i % 4))) & 0xFF);
  }
  return digest;
}

void TMD5Context::Transform(const unsigned char* block) {
  std::array<std::uint32_t, 16> words{};
  for (std::size_t i = 0; i < 16; ++i)
    words[i] = LoadLittleEndian32(block + 4 * i);
  std::uint32_t a = State_[0], b = State_[1], c = State_[2], d = State_[3];
  for (std::size_t i = 0; i < 64; ++i) {
    std::uint32_t f = 0;
    std::size_t word = 0;
    switch (i / 16) {
      case 0:
        f = (b & c) | (~b & d);
        word = i;
        break;
      case 1:
        f = (d & b) | (~d & c);
        word = (5 * i + 1) % 16;
        break;
      case 2:
        f = b ^ c ^ d;
        word = (3 * i + 5) % 16;
        break;
      default:
        f = c ^ (b | ~d);
        word = (7 * i) % 16;
        break;
    }
    const std::uint32_t sum = a + f + kMD5Sines[i] + words[word];
    a = d;
    d = c;
    c = b;
    b += std::rotl(sum, kMD5Shifts[(i / 16) * 4 + i % 4]);
  }
  State_[0] += a;
  State_[1] += b;
  State_[2] += c;
  State_[3] += d;
}

// ---- Escape sets ----

// Bytes up to `lastLow`, from `firstHigh` on, and each character of `others`.
TByteSet EscapeSet(unsigned lastLow, unsigned firstHigh, std::string_view others) {
  TByteSet set;
  for (unsigned b = 0; b <= lastLow; ++b)
    set.set(b);
  for (unsigned b = firstHigh; b < 256; ++b)
    set.set(b);
  for (const char c : others)
    set.set(static_cast<unsigned char>(c));
  return set;
}

const TByteSet& UrlEscapeSet() {
  static const TByteSet set = EscapeSet(0x20, 0x7B, "\"%<>[\\]^_`");
  return set;
}

const TByteSet& SafeQuotedEscapeSet() {
  static const TByteSet set = EscapeSet(0x1F, 0x7F, "\"(),./:;<=>?@[\\]_");
  return set;
}

}  // namespace

std::string EncodeBase64(std::string_view data) {
  std::string out;
  out.reserve((data.size() + 2) / 3 * 4);
  for (std::size_t at = 0; at < data.size(); at += 3)
    EncodeGroup(data, at, out);
  return out;
}

std::string DecodeBase64(std::string_view text) {
  std::string out;
  out.reserve(text.size() / 4 * 3 + 2);
  // A group that would start at the last character is dropped: six bits make
  // no byte.
  for (std::size_t at = 0; at + 1 < text.size(); at += 4)
    DecodeGroup(text, at, out);
  return out;
}

std::string MD5(std::string_view data) {
  TMD5Context context;
  context.Update(data);
  return context.Final();
}

std::string MD5Hex(std::string_view data) {
  return StrToHex(MD5(data));
}

std::string HMAC_MD5(std::string_view text, std::string_view key) {
  std::string block = key.size() > kMD5BlockSize ? MD5(key) : std::string(key);
  block.resize(kMD5BlockSize, '\0');
  std::string innerPad = block;
  std::string outerPad = block;
  for (std::size_t i = 0; i < kMD5BlockSize; ++i) {
    innerPad[i] = static_cast<char>(innerPad[i] ^ 0x36);
    outerPad[i] = static_cast<char>(outerPad[i] ^ 0x5C);
  }
  TMD5Context inner;
  inner.Update(innerPad);
  inner.Update(text);
  TMD5Context outer;
  outer.Update(outerPad);
  outer.Update(inner.Final());
  return StrToHex(outer.Final());
}

std::string StrToHex(std::string_view data) {
  static constexpr std::string_view kDigits = "0123456789abcdef";
  std::string out;
  out.reserve(data.size() * 2);
  for (const char c : data) {
    const auto byte = static_cast<unsigned char>(c);
    out += kDigits[byte >> 4];
    out += kDigits[byte & 0x0F];
  }
  return out;
}

std::string EncodeTriplet(std::string_view text, char escape, const TByteSet& set) {
  static constexpr std::string_view kDigits = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (!set.test(byte)) {
      out += c;
      continue;
    }
    out += escape;
    out += kDigits[byte >> 4];
    out += kDigits[byte & 0x0F];
  }
  return out;
}

std::string EncodeURL(std::string_view text) {
  return EncodeTriplet(text, '%', UrlEscapeSet());
}

std::string EncodeSafeQuoted(std::string_view text) {
  return EncodeTriplet(text, '=', SafeQuotedEscapeSet());
}

}  // namespace vantrel
