#include "platform/service_manager.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include <cerrno>
#include <charconv>
#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "platform/unique_fd.h"

namespace vantrel {

TServiceNotifier TServiceNotifier::FromEnvironment() {
  const char* socket = std::getenv("NOTIFY_SOCKET");
  TServiceNotifier notifier(socket != nullptr ? socket : "");
  ::unsetenv("NOTIFY_SOCKET");
  return notifier;
}

bool TServiceNotifier::Notify(std::string_view state, std::string* error) const {
  if (!Active())
    return true;
  const auto fail = [error](const std::string& why) {
    if (error != nullptr)
      *error = why;
    return false;
  };
  sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  if ((Socket_[0] != '/' && Socket_[0] != '@') || Socket_.size() >= sizeof(address.sun_path))
    return fail("unusable NOTIFY_SOCKET '" + Socket_ + "'");
  std::memcpy(address.sun_path, Socket_.data(), Socket_.size());
  socklen_t length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + Socket_.size());
  if (Socket_[0] == '@')
    address.sun_path[0] = '\0';  // an abstract name has no terminating NUL
  else
    ++length;

  const TUniqueFd fd(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  if (!fd)
    return fail(std::string("socket: ") + std::strerror(errno));
  const ssize_t sent = ::sendto(fd.Get(), state.data(), state.size(), MSG_NOSIGNAL,
                                reinterpret_cast<const sockaddr*>(&address), length);
  if (sent < 0)
    return fail(Socket_ + ": " + std::strerror(errno));
  if (static_cast<std::size_t>(sent) != state.size())
    return fail(Socket_ + ": message cut short");
  return true;
}

bool IsJournalStream(int fd) {
  const char* value = std::getenv("JOURNAL_STREAM");
  if (value == nullptr)
    return false;
  const std::string_view text(value);
  const std::size_t colon = text.find(':');
  if (colon == std::string_view::npos)
    return false;
  unsigned long long device = 0;
  unsigned long long inode = 0;
  const auto number = [](std::string_view digits, unsigned long long& out) {
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), out);
    return error == std::errc() && end == digits.data() + digits.size() && !digits.empty();
  };
  if (!number(text.substr(0, colon), device) || !number(text.substr(colon + 1), inode))
    return false;
  struct stat status = {};
  if (::fstat(fd, &status) != 0)
    return false;
  return status.st_dev == device && status.st_ino == inode;
}

}  // namespace vantrel
