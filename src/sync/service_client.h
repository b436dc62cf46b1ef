#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "net/proxy.h"

namespace vantrel {

struct TInternetOptions;
struct TPreferences;

// Where the web service is and how to reach it, taken from the settings in
// one step at the start of a run.
struct TServiceAddress {
  std::string Url;             // the service folder, ending in "/"
  std::string PasswordDigest;  // MD5 of the password as 32 lower-case hex digits
  TProxyChoice Proxy;
};
TServiceAddress MakeServiceAddress(const TPreferences& preferences,
                                   const TInternetOptions& options);

// The requests of the synchronization: each a new HTTP client with the
// service's proxy, user agent "Vantrel" and no caching. Network code: reports
// the HTTP status (500 when the request did not complete), never throws. Any
// thread; Abort from another one ends the request under way and fails later
// ones.
class TServiceClient {
 public:
  explicit TServiceClient(TServiceAddress address) : Address_(std::move(address)) {}

  // GET "synchronize.php?mode=MODE&..." ; the answer's body in `body`.
  std::int32_t Get(std::string_view query, std::string* body = nullptr);
  // POST with a form body.
  std::int32_t Post(std::string_view query, const std::string& form, std::string* body = nullptr);
  // "synchronize.php?mode=MODE[&ver=1.1]&pswd=DIGEST"
  std::string Query(std::string_view mode, bool versioned) const;
  void Abort();

 private:
  std::int32_t Send(std::string_view method, std::string_view query, const std::string* form,
                    std::string* body);

  TServiceAddress Address_;
  std::mutex Mutex_;
  bool Aborted_ = false;
  class TxxHttp* Current_ = nullptr;  // the request under way, for Abort
};

}  // namespace vantrel
