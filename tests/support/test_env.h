#pragma once

#include <optional>
#include <string>

namespace vantrel::test {

// Sets an environment variable for the life of the guard, then restores it.
class TEnvGuard {
 public:
  TEnvGuard(const char* name, const std::optional<std::string>& value);
  ~TEnvGuard();
  TEnvGuard(const TEnvGuard&) = delete;
  TEnvGuard& operator=(const TEnvGuard&) = delete;

 private:
  std::string Name_;
  std::optional<std::string> Saved_;
};

// Pins the process's time zone (TZ, e.g. "EST5" or "UTC0") for the guard's life.
class TTimeZoneGuard {
 public:
  explicit TTimeZoneGuard(const std::string& tz);
  ~TTimeZoneGuard();

 private:
  std::optional<TEnvGuard> Env_;
};

// Pins the C library locale (LC_ALL) for the guard's life; the "C" locale is on
// every machine. A locale such as "de_DE.UTF-8" that the machine has not
// generated is compiled once into a private folder (LOCPATH) from the locale
// sources of the "locales" package; Ok() says whether the switch worked.
class TLocaleGuard {
 public:
  explicit TLocaleGuard(const char* name = "C");
  ~TLocaleGuard();
  bool Ok() const { return Ok_; }

 private:
  std::string Saved_;
  bool Ok_ = false;
};

}  // namespace vantrel::test
