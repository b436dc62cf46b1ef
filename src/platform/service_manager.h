#pragma once

#include <string>
#include <string_view>

namespace vantrel {

// Tells the service manager that started this process how it is doing
// ("READY=1", "STOPPING=1", "STATUS=..."), as a datagram to the socket it
// names in NOTIFY_SOCKET: a path, or an abstract name written with "@". A
// process that no manager waits for has no socket, and nothing is sent.
class TServiceNotifier {
 public:
  // The socket of NOTIFY_SOCKET, which is then taken out of the environment:
  // the programs the monitor starts (alarm commands) must not speak for it.
  static TServiceNotifier FromEnvironment();

  TServiceNotifier() = default;
  explicit TServiceNotifier(std::string socketName) : Socket_(std::move(socketName)) {}

  bool Active() const { return !Socket_.empty(); }
  // Sends `state`; true when it went out or nobody listens (not Active()).
  // On failure, `error` (when given) says why.
  bool Notify(std::string_view state, std::string* error = nullptr) const;

 private:
  std::string Socket_;
};

// Whether `fd` writes into the journal: JOURNAL_STREAM holds "DEVICE:INODE"
// of the stream a service manager connected, and it still counts only while
// `fd` is that stream (a redirect by the user makes it a file again).
bool IsJournalStream(int fd);

}  // namespace vantrel
