#include "support/peer_netns.h"

#include <fcntl.h>
#include <grp.h>
#include <net/if.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <thread>

namespace vantrel::test {

namespace {

constexpr uid_t kNobody = 65534;
constexpr gid_t kNogroup = 65534;
constexpr const char* kDevice = "vtun0";

void WriteAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t wrote = ::write(fd, text.data() + done, text.size() - done);
    if (wrote < 0 && errno == EINTR)
      continue;
    if (wrote <= 0)
      return;
    done += static_cast<std::size_t>(wrote);
  }
}

// Reads `fd` to its end, giving up at `deadline`; false when it was reached.
bool ReadAll(int fd, std::string& text, std::chrono::steady_clock::time_point deadline) {
  char buffer[4096];
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    if (left <= 0)
      return false;
    pollfd ready{fd, POLLIN, 0};
    const int polled = ::poll(&ready, 1, static_cast<int>(left));
    if (polled < 0 && errno == EINTR)
      continue;
    if (polled <= 0)
      return false;
    const ssize_t got = ::read(fd, buffer, sizeof(buffer));
    if (got < 0 && errno == EINTR)
      continue;
    if (got <= 0)
      return true;
    text.append(buffer, static_cast<std::size_t>(got));
  }
}

// The exit status of `child`, -1 when it did not exit normally.
int Reap(pid_t child) {
  int status = 0;
  while (::waitpid(child, &status, 0) < 0) {
    if (errno != EINTR)
      return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool LoopbackUp() {
  const int control = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (control < 0)
    return false;
  ifreq request{};
  std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
  request.ifr_flags = IFF_UP | IFF_LOOPBACK | IFF_RUNNING;
  const bool ok = ::ioctl(control, SIOCSIFFLAGS, &request) == 0;
  ::close(control);
  return ok;
}

std::string Joined(const std::vector<std::string>& argv) {
  std::string text;
  for (const std::string& part : argv)
    text += (text.empty() ? "" : " ") + part;
  return text;
}

}  // namespace

// ---- TNetNamespace ----

TNetNamespace::TNetNamespace() {
  int ready[2];
  int release[2];
  if (::pipe2(ready, O_CLOEXEC) != 0 || ::pipe2(release, O_CLOEXEC) != 0) {
    Error_ = std::string("pipe: ") + std::strerror(errno);
    return;
  }
  std::fflush(nullptr);
  const pid_t parent = ::getpid();
  Holder_ = ::fork();
  if (Holder_ == 0) {
    // The holder: keeps the namespace alive until released or orphaned.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent)
      _exit(1);
    ::close(ready[0]);
    ::close(release[1]);
    char state = 'k';
    if (::unshare(CLONE_NEWNET) != 0)
      state = 'u';
    else if (!LoopbackUp())
      state = 'l';
    if (::write(ready[1], &state, 1) != 1 || state != 'k')
      _exit(1);
    char ignored = 0;
    while (::read(release[0], &ignored, 1) < 0 && errno == EINTR) {
    }
    _exit(0);
  }
  ::close(ready[1]);
  ::close(release[0]);
  Release_ = release[1];
  if (Holder_ < 0) {
    Error_ = std::string("fork: ") + std::strerror(errno);
    ::close(ready[0]);
    return;
  }
  char state = 0;
  ssize_t got = 0;
  do {
    got = ::read(ready[0], &state, 1);
  } while (got < 0 && errno == EINTR);
  ::close(ready[0]);
  if (got != 1 || state != 'k') {
    Error_ = state == 'u'   ? "unshare(CLONE_NEWNET) refused (root needed)"
             : state == 'l' ? "cannot bring loopback up in the new namespace"
                            : "the namespace holder died";
    return;
  }
  Fd_ = ::open(Path().c_str(), O_RDONLY | O_CLOEXEC);
  if (Fd_ < 0)
    Error_ = Path() + ": " + std::strerror(errno);
}

TNetNamespace::~TNetNamespace() {
  if (Fd_ >= 0)
    ::close(Fd_);
  if (Release_ >= 0)
    ::close(Release_);
  if (Holder_ > 0)
    Reap(Holder_);
}

std::string TNetNamespace::Path() const {
  return "/proc/" + std::to_string(Holder_) + "/ns/net";
}

int TNetNamespace::Run(const std::vector<std::string>& argv, std::string* output) const {
  if (!Ok())
    return -1;
  TTestProcess program(argv, {.NetNamespace = Path()});
  const std::optional<int> status = program.Wait(60000);
  if (output != nullptr)
    *output = program.Output() + program.Errors();
  return status ? ExitCode(*status) : -1;
}

bool TNetNamespace::RunChecked(const std::vector<std::string>& argv) {
  std::string output;
  const int status = Run(argv, &output);
  if (status == 0)
    return true;
  Error_ = "'" + Joined(argv) + "' in the namespace ended with " + std::to_string(status) + ": " +
           output;
  return false;
}

bool TNetNamespace::RunOnThread(const std::function<void()>& body) const {
  bool entered = false;
  std::thread worker([&] {
    entered = Ok() && ::setns(Fd_, CLONE_NEWNET) == 0;
    if (entered)
      body();
  });
  worker.join();
  return entered;
}

std::optional<std::string> TNetNamespace::RunAsNobody(const std::function<std::string()>& body,
                                                      const char* groupRange, int limitMs) {
  if (!Ok())
    return std::nullopt;
  const std::string range = groupRange != nullptr
                                ? groupRange
                                : std::to_string(kNogroup) + " " + std::to_string(kNogroup);
  int out[2];
  if (::pipe2(out, O_CLOEXEC) != 0) {
    Error_ = std::string("pipe: ") + std::strerror(errno);
    return std::nullopt;
  }
  std::fflush(nullptr);
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(out[0]);
    const auto fail = [&](const char* step) {
      WriteAll(out[1], std::string("!") + step + ": " + std::strerror(errno));
      _exit(1);
    };
    if (::setns(Fd_, CLONE_NEWNET) != 0)
      fail("setns");
    // /proc/sys/net shows the namespace of the process that opens it.
    const int sysctl = ::open("/proc/sys/net/ipv4/ping_group_range", O_WRONLY | O_CLOEXEC);
    if (sysctl < 0 || ::write(sysctl, range.data(), range.size()) < 0)
      fail("ping_group_range");
    ::close(sysctl);
    if (::setgroups(0, nullptr) != 0 || ::setgid(kNogroup) != 0 || ::setuid(kNobody) != 0)
      fail("becoming nobody");
    WriteAll(out[1], "=" + body());
    _exit(0);
  }
  ::close(out[1]);
  if (child < 0) {
    ::close(out[0]);
    Error_ = std::string("fork: ") + std::strerror(errno);
    return std::nullopt;
  }
  std::string text;
  const bool ended =
      ReadAll(out[0], text, std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs));
  ::close(out[0]);
  if (!ended)
    ::kill(child, SIGKILL);
  const int status = Reap(child);
  if (!ended) {
    Error_ = "the unprivileged child outlived " + std::to_string(limitMs) + " ms";
    return std::nullopt;
  }
  if (status != 0 || text.empty() || text[0] != '=') {
    Error_ = "the unprivileged child failed (status " + std::to_string(status) +
             "): " + (text.empty() ? "" : text.substr(1));
    return std::nullopt;
  }
  return text.substr(1);
}

// ---- TTunPingTarget ----

TTunPingTarget::TTunPingTarget(const TOptions& options) {
  if (!Namespace_.Ok()) {
    Error_ = Namespace_.Error();
    return;
  }
  std::vector<std::string> argv{VANTREL_TUN_RESPONDER, "--device", kDevice, "--delay",
                                std::to_string(options.DelayMs)};
  if (options.Decoys > 0) {
    argv.insert(argv.end(), {"--decoys", std::to_string(options.Decoys), "--decoy-interval",
                             std::to_string(options.DecoyIntervalMs), "--decoy-kind",
                             options.DecoysDifferInSequence ? "sequence" : "identifier"});
  }
  if (options.Silent)
    argv.push_back("--silent");
  Responder_.emplace(argv, TTestProcess::TOptions{.NetNamespace = Namespace_.Path()});
  if (!Responder_->Started() ||
      !WaitUntil(
          [this] { return Log().find("ready\n") != std::string::npos || !Responder_->Running(); },
          5000) ||
      !Responder_->Running()) {
    Error_ = "the TUN responder did not start: " + Responder_->Error() + " " + Log() +
             Responder_->Errors();
    return;
  }
  TNetNamespace& ns = Namespace_;
  const bool configured =
      ns.RunChecked({"ip", "link", "set", kDevice, "up"}) &&
      ns.RunChecked({"ip", "addr", "add", std::string(kLocalIPv4) + "/24", "dev", kDevice}) &&
      ns.RunChecked(
          {"ip", "-6", "addr", "add", std::string(kLocalIPv6) + "/64", "dev", kDevice, "nodad"});
  if (!configured)
    Error_ = ns.Error();
  Ok_ = configured;
}

std::string TTunPingTarget::Log() const {
  return Responder_ ? Responder_->Output() : std::string();
}

int TTunPingTarget::Count(const std::string& word) const {
  std::istringstream lines(Log());
  int count = 0;
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind(word, 0) == 0)
      ++count;
  }
  return count;
}

}  // namespace vantrel::test
