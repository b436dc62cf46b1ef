#pragma once

// Network namespaces made by the tests, so that ping targets with delays and
// decoys live apart from the machine's own network. A namespace here has no
// name in /run/netns: it is held by a small child process and vanishes with
// it (and with every process inside), also when the test process dies; so
// make it on a thread that outlives it. Everything needs root.

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "support/test_process.h"

namespace vantrel::test {

class TNetNamespace {
 public:
  // A new namespace with its loopback interface up.
  TNetNamespace();
  ~TNetNamespace();
  TNetNamespace(const TNetNamespace&) = delete;
  TNetNamespace& operator=(const TNetNamespace&) = delete;

  bool Ok() const { return Fd_ >= 0; }
  const std::string& Error() const { return Error_; }
  // "/proc/<pid>/ns/net" of the holder: for setns(2) and programs that enter it.
  std::string Path() const;

  // Runs `argv` inside (a name without "/" is looked up on PATH, then in
  // /usr/sbin and /sbin) and waits for it. Returns its exit status, -1 when
  // it could not run; `output` receives what it wrote to stdout and stderr.
  int Run(const std::vector<std::string>& argv, std::string* output = nullptr) const;
  // Run, and on a non-zero status a description for Error().
  bool RunChecked(const std::vector<std::string>& argv);

  // Runs `body` on a thread of this process that has entered the namespace
  // (sockets it opens belong there). False when it could not enter.
  bool RunOnThread(const std::function<void()>& body) const;

  // Runs `body` in a forked child that entered the namespace, let group
  // "nogroup" open ICMP datagram sockets there (net.ipv4.ping_group_range,
  // `groupRange` overrides) and became the user "nobody". Returns the text
  // `body` returned, or nothing when the child could not get there, crashed
  // or outlived `limitMs` (then Error() says why).
  std::optional<std::string> RunAsNobody(const std::function<std::string()>& body,
                                         const char* groupRange = nullptr, int limitMs = 60000);

 private:
  pid_t Holder_ = -1;
  int Release_ = -1;  // closing it lets the holder end
  int Fd_ = -1;
  std::string Error_;
};

// A ping target in a namespace of its own: the TUN responder answers echo
// requests to kTargetIPv4 and kTargetIPv6, routed to it from the local
// kLocalIPv4 / kLocalIPv6 of the same namespace. Test pings run inside
// (TNetNamespace::RunOnThread or RunAsNobody).
class TTunPingTarget {
 public:
  struct TOptions {
    int DelayMs = 0;
    int Decoys = 0;  // unrelated replies sent first
    int DecoyIntervalMs = 0;
    bool DecoysDifferInSequence = false;  // else in the identifier
    bool Silent = false;                  // no real reply at all
  };

  static constexpr const char* kLocalIPv4 = "198.18.0.1";
  static constexpr const char* kTargetIPv4 = "198.18.0.2";
  static constexpr const char* kLocalIPv6 = "2001:db8:7661::1";
  static constexpr const char* kTargetIPv6 = "2001:db8:7661::2";

  explicit TTunPingTarget(const TOptions& options);
  TTunPingTarget(const TTunPingTarget&) = delete;
  TTunPingTarget& operator=(const TTunPingTarget&) = delete;

  bool Ok() const { return Ok_; }
  const std::string& Error() const { return Error_; }
  TNetNamespace& Namespace() { return Namespace_; }
  // What the responder logged: "request N", "decoy N", "reply N", "dropped: ...".
  std::string Log() const;
  // How many lines of the log begin with `word`.
  int Count(const std::string& word) const;

 private:
  TNetNamespace Namespace_;
  std::optional<TTestProcess> Responder_;  // stopped before the namespace goes
  bool Ok_ = false;
  std::string Error_;
};

}  // namespace vantrel::test
