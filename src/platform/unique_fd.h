#pragma once

#include <unistd.h>

#include <utility>

namespace vantrel {

// Owns one POSIX file descriptor and closes it when it goes out of scope, so
// that no path out of a function (an early return, an exception) leaks it.
// Close() closes at once and tells whether that worked: a failed close can be
// the first sign of a lost write (NFS, quotas).
class TUniqueFd {
 public:
  TUniqueFd() = default;
  explicit TUniqueFd(int fd) noexcept : Fd_(fd) {}
  ~TUniqueFd() { Reset(); }

  TUniqueFd(TUniqueFd&& other) noexcept : Fd_(other.Release()) {}
  TUniqueFd& operator=(TUniqueFd&& other) noexcept {
    if (this != &other)
      Reset(other.Release());
    return *this;
  }
  TUniqueFd(const TUniqueFd&) = delete;
  TUniqueFd& operator=(const TUniqueFd&) = delete;

  int Get() const noexcept { return Fd_; }
  bool Valid() const noexcept { return Fd_ >= 0; }
  explicit operator bool() const noexcept { return Valid(); }

  // Gives the descriptor up without closing it.
  int Release() noexcept { return std::exchange(Fd_, -1); }
  // Closes the one held (errors ignored) and takes `fd`.
  void Reset(int fd = -1) noexcept {
    const int old = std::exchange(Fd_, fd);
    if (old >= 0)
      ::close(old);
  }
  // Closes now; the result of close(2) (0, or -1 with errno set). The
  // descriptor is released either way: retrying a close is never safe.
  int Close() noexcept {
    const int old = Release();
    return old >= 0 ? ::close(old) : 0;
  }

 private:
  int Fd_ = -1;
};

}  // namespace vantrel
