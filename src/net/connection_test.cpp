#include "net/connection_test.h"

#include <string>
#include <string_view>
#include <vector>

namespace vantrel {
namespace {

constexpr char kDelimiter = ';';
constexpr char kQuote = '"';

bool IsBlank(char c) {
  return static_cast<unsigned char>(c) <= 0x20;
}

// The quoted entry that starts at `text[at]` (a quote); `at` moves past its
// closing quote, or to the end when there is none.
std::string TakeQuoted(std::string_view text, std::size_t& at) {
  std::string entry;
  ++at;
  while (at < text.size()) {
    if (text[at] == kQuote) {
      if (at + 1 < text.size() && text[at + 1] == kQuote) {
        entry += kQuote;
        at += 2;
        continue;
      }
      ++at;
      return entry;
    }
    entry += text[at++];
  }
  return entry;
}

}  // namespace

std::vector<std::string> SplitServerList(std::string_view servers) {
  std::vector<std::string> entries;
  std::size_t at = 0;
  const auto skipBlanks = [&] {
    while (at < servers.size() && IsBlank(servers[at]))
      ++at;
  };
  skipBlanks();
  while (at < servers.size()) {
    if (servers[at] == kQuote) {
      entries.push_back(TakeQuoted(servers, at));
    } else {
      const std::size_t start = at;
      while (at < servers.size() && !IsBlank(servers[at]) && servers[at] != kDelimiter)
        ++at;
      entries.emplace_back(servers.substr(start, at - start));
    }
    skipBlanks();
    if (at < servers.size() && servers[at] == kDelimiter) {
      ++at;
      // A delimiter that ends the text still closes an (empty) entry.
      if (at == servers.size())
        entries.emplace_back();
      skipBlanks();
    }
  }
  return entries;
}

TConnectionTestResult RunConnectionTest(bool enabled, std::string_view servers,
                                        TInternetOptions::TTestMethod method,
                                        TConnectionProbe& probe) {
  if (!enabled)
    return TConnectionTestResult::NotRun;
  bool tried = false;
  for (const std::string& server : SplitServerList(servers)) {
    if (server.empty())
      continue;
    tried = true;
    const bool answered =
        method == TInternetOptions::ByDownload ? probe.Download(server) : probe.Ping(server);
    if (answered)
      return TConnectionTestResult::Reachable;
  }
  return tried ? TConnectionTestResult::Unreachable : TConnectionTestResult::NotRun;
}

TConnectionTestResult RunConnectionTest(const TInternetOptions& options, TConnectionProbe& probe) {
  const auto method = options.Method == TInternetOptions::ByDownload ? TInternetOptions::ByDownload
                                                                     : TInternetOptions::ByPing;
  return RunConnectionTest(options.PingStatus, options.Servers, method, probe);
}

}  // namespace vantrel
