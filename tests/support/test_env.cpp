#include "support/test_env.h"

#include <clocale>
#include <cstdlib>
#include <ctime>

namespace vantrel::test {

TEnvGuard::TEnvGuard(const char* name, const std::optional<std::string>& value) : Name_(name) {
  if (const char* old = std::getenv(name)) Saved_ = old;
  if (value) {
    setenv(name, value->c_str(), 1);
  } else {
    unsetenv(name);
  }
}

TEnvGuard::~TEnvGuard() {
  if (Saved_) {
    setenv(Name_.c_str(), Saved_->c_str(), 1);
  } else {
    unsetenv(Name_.c_str());
  }
}

TTimeZoneGuard::TTimeZoneGuard(const std::string& tz) {
  Env_.emplace("TZ", tz);
  tzset();
}

TTimeZoneGuard::~TTimeZoneGuard() {
  Env_.reset();
  tzset();
}

TLocaleGuard::TLocaleGuard(const char* name) {
  if (const char* old = std::setlocale(LC_ALL, nullptr)) Saved_ = old;
  Ok_ = std::setlocale(LC_ALL, name) != nullptr;
}

TLocaleGuard::~TLocaleGuard() { std::setlocale(LC_ALL, Saved_.c_str()); }

}  // namespace vantrel::test
