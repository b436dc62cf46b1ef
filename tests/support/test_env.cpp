#include "support/test_env.h"

#include <clocale>
#include <cstdlib>
#include <ctime>
#include <string>

#include "support/test_process.h"

namespace vantrel::test {

TEnvGuard::TEnvGuard(const char* name, const std::optional<std::string>& value) : Name_(name) {
  if (const char* old = std::getenv(name))
    Saved_ = old;
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

namespace {

// "de_DE.UTF-8" is compiled from the source "de_DE" and the charmap "UTF-8".
bool CompileLocale(const std::string& name) {
  const auto dot = name.find('.');
  if (dot == std::string::npos)
    return false;
  static const std::string folder = [] {
    std::string pattern = "/tmp/vantrel-locales-XXXXXX";
    return mkdtemp(pattern.data()) ? pattern : std::string();
  }();
  if (folder.empty())
    return false;
  TTestProcess localedef(
      {"localedef", "-i", name.substr(0, dot), "-f", name.substr(dot + 1), folder + "/" + name});
  // It warns (exit 1) about harmless things and still writes the locale.
  const int status = ExitCode(localedef.Wait(60000).value_or(-1));
  if (status < 0 || status > 1)
    return false;
  setenv("LOCPATH", folder.c_str(), 1);
  return true;
}

}  // namespace

TLocaleGuard::TLocaleGuard(const char* name) {
  if (const char* old = std::setlocale(LC_ALL, nullptr))
    Saved_ = old;
  Ok_ = std::setlocale(LC_ALL, name) != nullptr;
  if (!Ok_ && CompileLocale(name))
    Ok_ = std::setlocale(LC_ALL, name) != nullptr;
}

TLocaleGuard::~TLocaleGuard() {
  std::setlocale(LC_ALL, Saved_.c_str());
}

}  // namespace vantrel::test
