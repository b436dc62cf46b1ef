#include "text/text_utils.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace vantrel {

namespace {

constexpr auto npos = std::string_view::npos;

bool IsBlankOrControl(char c) {
  return static_cast<unsigned char>(c) <= 0x20;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlankOrControl(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && IsBlankOrControl(text.back()))
    text.remove_suffix(1);
  return text;
}

// Like find, but an empty delimiter is never found.
std::size_t FindDelimiter(std::string_view text, std::string_view delimiter) {
  return delimiter.empty() ? npos : text.find(delimiter);
}

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  return -1;
}

// A non-empty run of digits of `base` (10 or 16) whose value is at most `max`.
bool IsNumberUpTo(std::string_view text, int base, unsigned max) {
  if (text.empty())
    return false;
  unsigned value = 0;
  for (const char c : text) {
    const int digit = HexDigitValue(c);
    if (digit < 0 || digit >= base)
      return false;
    value = value * static_cast<unsigned>(base) + static_cast<unsigned>(digit);
    if (value > max)
      return false;  // also keeps long runs of digits from overflowing
  }
  return true;
}

bool IsDecimalByte(std::string_view text) {
  return IsNumberUpTo(text, 10, 255);
}

bool IsHexWord(std::string_view text) {
  return IsNumberUpTo(text, 16, 0xFFFF);
}

// The last group of an IPv6 literal may carry a "%zone" suffix.
bool IsLastIP6Group(std::string_view group) {
  const std::size_t percent = group.find('%');
  if (percent == npos)
    return IsHexWord(group);
  return IsHexWord(group.substr(percent + 1)) && IsHexWord(group.substr(0, percent));
}

std::string DefaultPort(std::string_view protocol) {
  std::string upper(protocol);
  std::transform(upper.begin(), upper.end(), upper.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  if (upper == "HTTPS")
    return "443";
  if (upper == "FTP")
    return "21";
  return "80";
}

// Takes "user[:password]@" off the front when the "@" lies before the first "/".
std::string_view TakeUserInfo(std::string_view rest, TUrlParts& parts) {
  const std::size_t at = rest.find('@');
  if (at == npos || at > rest.find('/'))
    return rest;
  const std::string_view userInfo = rest.substr(0, at);
  const std::size_t colon = userInfo.find(':');
  parts.User = userInfo.substr(0, colon);
  if (colon != npos)
    parts.Password = userInfo.substr(colon + 1);
  return rest.substr(at + 1);
}

// "host", "host:port", "[v6]" or "[v6]:port".
void SplitHostAndPort(std::string_view hostPart, TUrlParts& parts) {
  std::string_view port;
  if (!hostPart.empty() && hostPart.front() == '[') {
    const std::size_t close = hostPart.find(']');
    parts.Host = hostPart.substr(1, close == npos ? npos : close - 1);
    if (close != npos && hostPart.substr(close + 1).starts_with(':')) {
      port = hostPart.substr(close + 2);
    }
  } else {
    const std::size_t colon = hostPart.find(':');
    parts.Host = hostPart.substr(0, colon);
    if (colon != npos)
      port = hostPart.substr(colon + 1);
  }
  if (!port.empty())
    parts.Port = port;
}

bool EqualIgnoringCase(char a, char b) {
  return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
}

}  // namespace

std::string SeparateLeft(std::string_view text, std::string_view delimiter) {
  return std::string(Trim(text.substr(0, FindDelimiter(text, delimiter))));
}

std::string SeparateRight(std::string_view text, std::string_view delimiter) {
  const std::size_t at = FindDelimiter(text, delimiter);
  return std::string(Trim(at == npos ? text : text.substr(at + delimiter.size())));
}

std::string Fetch(std::string& text, std::string_view delimiter) {
  std::string left = SeparateLeft(text, delimiter);
  std::string rest = SeparateRight(text, delimiter);
  text = rest == text ? std::string() : std::move(rest);
  return left;
}

std::size_t PosCRLF(std::string_view text, std::string& terminator) {
  // Tried in this order; a later end wins only when it starts strictly earlier.
  static constexpr std::array<std::string_view, 4> kEnds = {"\r\n", "\n\r", "\r", "\n"};
  std::size_t best = npos;
  terminator.clear();
  for (const std::string_view end : kEnds) {
    const std::size_t at = text.find(end);
    if (at < best) {
      best = at;
      terminator = end;
    }
  }
  return best == npos ? 0 : best + 1;
}

bool IsIP(std::string_view text) {
  std::string rest(text);
  for (int i = 0; i < 3; ++i) {
    if (!IsDecimalByte(Fetch(rest, ".")))
      return false;
  }
  return IsDecimalByte(rest);
}

bool IsIP6(std::string_view text) {
  constexpr int kMaxGroups = 8;
  std::string rest(text);
  int groups = 0;
  int gaps = 0;
  while (!rest.empty()) {
    const std::string group = Fetch(rest, ":");
    ++groups;
    if (groups > kMaxGroups)
      return false;
    const bool last = rest.empty();
    if (group.empty()) {
      // A leading empty group is the first half of a leading "::".
      const bool gap = groups > 1;
      if (gap && ++gaps > 1)
        return false;
      if (last)
        return gap;  // "1::" ends in a gap, ":" alone does not
      continue;
    }
    if (last)
      return IsLastIP6Group(group);
    if (!IsHexWord(group))
      return false;
  }
  return false;  // empty text
}

TUrlParts ParseURL(std::string_view url) {
  TUrlParts parts;
  parts.Protocol = "http";
  std::string rest(url);
  if (url.find("://") != npos) {
    parts.Protocol = SeparateLeft(url, "://");
    rest = SeparateRight(url, "://");
  }
  parts.Port = DefaultPort(parts.Protocol);
  const std::string_view hostAndPath = TakeUserInfo(rest, parts);
  const std::size_t slash = hostAndPath.find('/');
  const std::string_view pathPart = slash == npos ? "" : hostAndPath.substr(slash + 1);
  SplitHostAndPort(hostAndPath.substr(0, slash), parts);
  const std::size_t question = pathPart.find('?');
  parts.Path = "/" + std::string(pathPart.substr(0, question));
  if (question != npos)
    parts.Parameters = pathPart.substr(question + 1);
  parts.RequestTarget = "/" + std::string(pathPart);
  if (parts.Host.empty())
    parts.Host = "localhost";
  return parts;
}

std::uint32_t TickDelta(std::uint32_t earlier, std::uint32_t later) {
  if (earlier == later)
    return 0;
  if (earlier > later) {
    // Moving both by half the counter brings a wrapped pair back in order.
    earlier += 0x80000000u;
    later += 0x80000000u;
  }
  return earlier <= later ? later - earlier : earlier - later;
}

std::string ReplaceString(std::string_view text, std::string_view search,
                          std::string_view replacement) {
  if (text.empty() || search.empty())
    return std::string(text);
  std::string out;
  std::size_t from = 0;
  for (std::size_t at = text.find(search); at != npos; at = text.find(search, from)) {
    out.append(text.substr(from, at - from));
    out.append(replacement);
    from = at + search.size();
  }
  out.append(text.substr(from));
  return out;
}

std::size_t RPos(std::string_view needle, std::string_view text, std::size_t start) {
  if (needle.empty() || start < needle.size())
    return 0;
  const std::size_t at = text.rfind(needle, start - needle.size());
  return at == npos ? 0 : at + 1;
}

std::string GetEmailAddr(std::string_view text) {
  return SeparateLeft(SeparateRight(text, "<"), ">");
}

std::string GetEmailDesc(std::string_view text) {
  if (text.find('"') != npos)
    return SeparateLeft(SeparateRight(text, "\""), "\"");
  if (text.find('<') != npos)
    return SeparateLeft(text, "<");
  if (text.find('(') != npos)
    return SeparateLeft(SeparateRight(text, "("), ")");
  return std::string();
}

int IndexByBegin(std::string_view text, const std::vector<std::string>& list) {
  for (std::size_t i = 0; i < list.size(); ++i) {
    const std::string& entry = list[i];
    if (entry.size() >= text.size() &&
        std::equal(text.begin(), text.end(), entry.begin(), EqualIgnoringCase)) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

std::string IntToBin(int value, int digits) {
  auto bits = static_cast<std::uint32_t>(value);
  std::string text;
  do {
    text += (bits & 1u) ? '1' : '0';
    bits >>= 1;
  } while (bits != 0);
  if (digits > 0 && text.size() < static_cast<std::size_t>(digits)) {
    text.append(static_cast<std::size_t>(digits) - text.size(), '0');
  }
  std::reverse(text.begin(), text.end());
  return text;
}

int BinToInt(std::string_view text) {
  std::uint32_t value = 0;
  for (const char c : text) {
    if (c != '0' && c != '1')
      break;
    value = (value << 1) | static_cast<std::uint32_t>(c - '0');
  }
  return static_cast<int>(value);
}

std::string UpperCase(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z')
      c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         UpperCase(text.substr(0, prefix.size())) == UpperCase(prefix);
}

int CompareNoCase(std::string_view a, std::string_view b) {
  const auto lower = [](char c) {
    return static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  };
  const std::size_t common = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < common; ++i) {
    if (lower(a[i]) != lower(b[i]))
      return lower(a[i]) < lower(b[i]) ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

std::string_view TrimSpaces(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos)
    return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

}  // namespace vantrel
