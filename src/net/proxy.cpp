#include "net/proxy.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "text/text_utils.h"

namespace vantrel {
namespace {

constexpr std::size_t npos = std::string_view::npos;

bool IsBlank(char c) {
  return static_cast<unsigned char>(c) <= 0x20;
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back()))
    text.remove_suffix(1);
  return text;
}

char AsciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string AsciiLower(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) { return AsciiLower(c); });
  return lower;
}

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         std::equal(prefix.begin(), prefix.end(), text.begin(),
                    [](char a, char b) { return AsciiLower(a) == AsciiLower(b); });
}

int HexValue(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  c = AsciiLower(c);
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  return -1;
}

// "%40" and the like back to bytes; a "%" not followed by two hex digits stays.
std::string PercentDecode(std::string_view text) {
  std::string decoded;
  decoded.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
        HexValue(text[i + 2]) >= 0) {
      decoded += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      i += 2;
    } else {
      decoded += text[i];
    }
  }
  return decoded;
}

// "host", "host:port", "[v6]" or "[v6]:port"; a bare IPv6 address (two or more
// colons) has no port.
void SplitHostPort(std::string_view text, std::string& host, std::string& port) {
  host.clear();
  port.clear();
  if (!text.empty() && text.front() == '[') {
    const std::size_t close = text.find(']');
    if (close == npos) {
      host = text.substr(1);
      return;
    }
    host = text.substr(1, close - 1);
    if (text.substr(close + 1).starts_with(':'))
      port = text.substr(close + 2);
    return;
  }
  const std::size_t colon = text.find(':');
  if (colon != npos && text.find(':', colon + 1) == npos) {
    host = text.substr(0, colon);
    port = text.substr(colon + 1);
  } else {
    host = text;
  }
}

// A proxy variable's value: "[http://][user[:password]@]host[:port][/...]".
TxxProxySettings ParseProxyValue(std::string_view value) {
  TxxProxySettings proxy;
  std::string_view rest = TrimBlanks(value);
  const std::size_t scheme = rest.find("://");
  if (scheme != npos) {
    if (AsciiLower(rest.substr(0, scheme)) != "http")
      return proxy;
    rest.remove_prefix(scheme + 3);
  }
  rest = rest.substr(0, rest.find('/'));
  const std::size_t at = rest.rfind('@');
  if (at != npos) {
    const std::string_view userInfo = rest.substr(0, at);
    const std::size_t colon = userInfo.find(':');
    proxy.User = PercentDecode(userInfo.substr(0, colon));
    if (colon != npos)
      proxy.Password = PercentDecode(userInfo.substr(colon + 1));
    rest.remove_prefix(at + 1);
  }
  SplitHostPort(rest, proxy.Host, proxy.Port);
  if (proxy.Host.empty())
    return {};
  if (proxy.Port.empty())
    proxy.Port = "80";
  return proxy;
}

// An IPv4 or IPv6 literal in network order; family 0 when `text` is neither.
struct TIpAddress {
  int Family = 0;
  std::array<std::uint8_t, 16> Bytes{};
  std::size_t Size() const { return Family == AF_INET ? 4 : 16; }
};

TIpAddress ParseIp(const std::string& text) {
  TIpAddress ip;
  if (inet_pton(AF_INET, text.c_str(), ip.Bytes.data()) == 1)
    ip.Family = AF_INET;
  else if (inet_pton(AF_INET6, text.c_str(), ip.Bytes.data()) == 1)
    ip.Family = AF_INET6;
  return ip;
}

bool SameAddress(const TIpAddress& a, const TIpAddress& b) {
  return a.Family != 0 && a.Family == b.Family &&
         std::equal(a.Bytes.begin(), a.Bytes.begin() + a.Size(), b.Bytes.begin());
}

// "network/bits" against an address of the same family.
bool InRange(const TIpAddress& address, std::string_view range) {
  const std::size_t slash = range.find('/');
  const TIpAddress network = ParseIp(std::string(range.substr(0, slash)));
  if (network.Family == 0 || network.Family != address.Family)
    return false;
  const std::string_view bitsText = range.substr(slash + 1);
  if (bitsText.empty() || bitsText.size() > 3 ||
      !std::all_of(bitsText.begin(), bitsText.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return false;
  const std::size_t bits = static_cast<std::size_t>(std::atoi(std::string(bitsText).c_str()));
  if (bits > network.Size() * 8)
    return false;
  for (std::size_t i = 0; i < bits / 8; ++i) {
    if (network.Bytes[i] != address.Bytes[i])
      return false;
  }
  if (bits % 8 == 0)
    return true;
  const auto mask = static_cast<std::uint8_t>(0xFF << (8 - bits % 8));
  return (network.Bytes[bits / 8] & mask) == (address.Bytes[bits / 8] & mask);
}

std::string WithoutTrailingDot(std::string text) {
  if (!text.empty() && text.back() == '.')
    text.pop_back();
  return text;
}

bool EntryMatches(std::string_view rawEntry, const std::string& host, const TIpAddress& hostIp,
                  std::string_view port) {
  const std::string entry = AsciiLower(rawEntry);
  if (entry == "*")
    return true;
  if (entry.find('/') != npos) {
    std::string_view range = entry;
    if (range.starts_with('[')) {  // "[fd00::]/8"
      const std::size_t close = range.find(']');
      if (close == npos)
        return false;
      return hostIp.Family != 0 && InRange(hostIp, std::string(range.substr(1, close - 1)) +
                                                       std::string(range.substr(close + 1)));
    }
    return hostIp.Family != 0 && InRange(hostIp, range);
  }
  std::string name;
  std::string entryPort;
  SplitHostPort(entry, name, entryPort);
  if (!entryPort.empty() && entryPort != port)
    return false;
  const TIpAddress entryIp = ParseIp(name);
  if (hostIp.Family != 0 || entryIp.Family != 0)
    return SameAddress(hostIp, entryIp);
  std::string_view domain = name;
  if (domain.starts_with("*."))
    domain.remove_prefix(2);
  else if (domain.starts_with('.'))
    domain.remove_prefix(1);
  const std::string suffix = WithoutTrailingDot(std::string(domain));
  if (suffix.empty())
    return false;
  return host == suffix || (host.size() > suffix.size() && host.ends_with(suffix) &&
                            host[host.size() - suffix.size() - 1] == '.');
}

std::optional<std::string> GetEnvironment(const std::string& name) {
  const char* value = std::getenv(name.c_str());
  if (value == nullptr)
    return std::nullopt;
  return std::string(value);
}

}  // namespace

TProxyEnvironment ReadProxyEnvironment(const TEnvironmentReader& read) {
  const auto either = [&](const std::string& lower, const std::string& upper) {
    if (std::optional<std::string> value = read(lower))
      return *value;
    return read(upper).value_or(std::string());
  };
  TProxyEnvironment environment;
  environment.HttpProxy = either("http_proxy", "HTTP_PROXY");
  environment.HttpsProxy = either("https_proxy", "HTTPS_PROXY");
  environment.NoProxy = either("no_proxy", "NO_PROXY");
  return environment;
}

TProxyEnvironment ProcessProxyEnvironment() {
  return ReadProxyEnvironment(GetEnvironment);
}

TxxProxySettings GetSystemProxy(std::string_view protocol, const TProxyEnvironment& environment) {
  const std::string name = protocol.empty() ? std::string("http") : AsciiLower(protocol);
  TxxProxySettings proxy;
  if (name == "http")
    proxy = ParseProxyValue(environment.HttpProxy);
  else if (name == "https")
    proxy = ParseProxyValue(environment.HttpsProxy);
  if (proxy.Host.empty())
    return {};
  proxy.Bypass = ReplaceString(environment.NoProxy, " ", ",");
  return proxy;
}

TxxProxySettings GetSystemProxy(std::string_view protocol) {
  return GetSystemProxy(protocol, ProcessProxyEnvironment());
}

bool ListedInExceptions(std::string_view host, std::string_view exceptions) {
  while (!exceptions.empty()) {
    const std::size_t semicolon = exceptions.find(';');
    const std::string_view entry = TrimBlanks(exceptions.substr(0, semicolon));
    if (!entry.empty() && StartsWithIgnoringCase(host, entry))
      return true;
    if (semicolon == npos)
      break;
    exceptions.remove_prefix(semicolon + 1);
  }
  return false;
}

bool BypassesSystemProxy(std::string_view host, std::string_view port, std::string_view bypass) {
  std::string name = AsciiLower(TrimBlanks(host));
  if (name.size() >= 2 && name.front() == '[' && name.back() == ']')
    name = name.substr(1, name.size() - 2);
  name = WithoutTrailingDot(std::move(name));
  if (name.empty())
    return false;
  const TIpAddress hostIp = ParseIp(name);
  std::size_t start = 0;
  while (start <= bypass.size()) {
    std::size_t end = start;
    while (end < bypass.size() && bypass[end] != ',' && !IsBlank(bypass[end]))
      ++end;
    const std::string_view entry = bypass.substr(start, end - start);
    if (!entry.empty() && EntryMatches(entry, name, hostIp, port))
      return true;
    start = end + 1;
  }
  return false;
}

TProxyChoice GetProxyForHost(std::string_view address, const TInternetOptions& options,
                             const TProxyEnvironment& environment) {
  const TUrlParts url = ParseURL(TrimBlanks(address));
  if (options.ActiveStatus) {
    if (options.Address.empty() || ListedInExceptions(url.Host, options.Exceptions))
      return {};
    return {options.Address, std::to_string(options.Port), options.Username, options.Password};
  }
  const TxxProxySettings system = GetSystemProxy(url.Protocol, environment);
  if (system.Host.empty() || BypassesSystemProxy(url.Host, url.Port, system.Bypass))
    return {};
  return {system.Host, system.Port, system.User, system.Password};
}

TProxyChoice GetProxyForHost(std::string_view address, const TInternetOptions& options) {
  return GetProxyForHost(address, options, ProcessProxyEnvironment());
}

}  // namespace vantrel
