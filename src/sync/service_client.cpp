#include "sync/service_client.h"

#include "core/settings.h"
#include "net/http_client.h"
#include "net/internet_options.h"

namespace vantrel {

TServiceAddress MakeServiceAddress(const TPreferences& preferences,
                                   const TInternetOptions& options) {
  TServiceAddress address;
  address.Url = preferences.ServiceUrl;
  if (address.Url.empty() || address.Url.back() != '/')
    address.Url += '/';
  address.PasswordDigest = preferences.ServicePassword;
  address.Proxy = GetProxyForHost(address.Url, options);
  return address;
}

std::string TServiceClient::Query(std::string_view mode, bool versioned) const {
  return "synchronize.php?mode=" + std::string(mode) + (versioned ? "&ver=1.1" : "") +
         "&pswd=" + Address_.PasswordDigest;
}

std::int32_t TServiceClient::Get(std::string_view query, std::string* body) {
  return Send("GET", query, nullptr, body);
}

std::int32_t TServiceClient::Post(std::string_view query, const std::string& form,
                                  std::string* body) {
  return Send("POST", query, &form, body);
}

std::int32_t TServiceClient::Send(std::string_view method, std::string_view query,
                                  const std::string* form, std::string* body) {
  TxxHttp http;
  http.ProxyHost = Address_.Proxy.Host;
  http.ProxyPort = Address_.Proxy.Port;
  http.ProxyUser = Address_.Proxy.User;
  http.ProxyPass = Address_.Proxy.Pass;
  http.UserAgent = "Vantrel";
  http.Headers = {"Pragma: no-cache", "Cache-Control: no-cache"};
  if (form != nullptr) {
    http.MimeType = "application/x-www-form-urlencoded";
    http.Document = *form;
  }
  {
    std::lock_guard lock(Mutex_);
    if (Aborted_)
      return 500;
    Current_ = &http;
  }
  const bool done = http.Request(method, Address_.Url + std::string(query));
  {
    std::lock_guard lock(Mutex_);
    Current_ = nullptr;
  }
  if (body != nullptr)
    *body = done ? std::move(http.Document) : std::string();
  return done ? http.ResultCode() : 500;
}

void TServiceClient::Abort() {
  std::lock_guard lock(Mutex_);
  Aborted_ = true;
  if (Current_ != nullptr)
    Current_->Abort();
}

}  // namespace vantrel
