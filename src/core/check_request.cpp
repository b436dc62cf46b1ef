#include "core/check_request.h"

#include "core/watch_item.h"
#include "text/text_utils.h"

namespace vantrel {

namespace {

constexpr std::string_view kSchemeEnd = "://";

std::string_view WithoutScheme(std::string_view url) {
  const std::size_t at = url.find(kSchemeEnd);
  return at == std::string_view::npos ? url : url.substr(at + kSchemeEnd.size());
}

}  // namespace

std::string CheckHost(TCheckType checkType, std::string_view url) {
  switch (checkType) {
    case TCheckType::Ping:
      return std::string(WithoutScheme(url));
    case TCheckType::Smtp:
    case TCheckType::Pop3:
    case TCheckType::Ftp: {
      std::string_view host = WithoutScheme(url);
      if (StartsWithNoCase(host, "www."))
        host.remove_prefix(4);
      return std::string(host);
    }
    case TCheckType::Download:
      break;
  }
  return std::string(url);
}

std::string TrimBlanks(std::string_view text) {
  const auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
  while (!text.empty() && blank(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && blank(text.back()))
    text.remove_suffix(1);
  return std::string(text);
}

TCheckRequest MakeCheckRequest(const TWatchItem& item, const TProxyChoice& proxy,
                               const TInternetOptions& options) {
  TCheckRequest request;
  request.Proxy = proxy;
  request.TestEnabled = options.PingStatus;
  request.TestServers = TrimBlanks(options.Servers);
  request.TestByDownload = options.Method == TInternetOptions::ByDownload;
  request.Active = item.Active();
  request.CheckType = item.CheckType;
  request.Host = CheckHost(item.CheckType, item.Url);
  switch (item.CheckType) {
    case TCheckType::Ping:
      request.Timeout = item.PingTimeout;
      break;
    case TCheckType::Download:
      request.Timeout = item.DownloadTimeout;
      request.SearchText = item.SearchText;
      request.CaseSensitive = item.CaseSensitive;
      break;
    case TCheckType::Smtp:
    case TCheckType::Pop3:
    case TCheckType::Ftp:
      request.Timeout = item.ServiceTimeout;
      break;
  }
  request.CheckConnection = item.CheckConnection;
  return request;
}

}  // namespace vantrel
