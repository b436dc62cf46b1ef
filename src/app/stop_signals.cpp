#include "app/stop_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <atomic>
#include <cerrno>
#include <stdexcept>
#include <system_error>
#include <utility>
#include <vector>

namespace vantrel {

namespace {

// The pipe lives as long as the process: a handler still running on another
// thread while a TStopSignals goes never writes into a closed (or reused)
// descriptor. -1 until the first TStopSignals.
std::atomic<int> StopPipeWrite{-1};
int StopPipeRead = -1;
bool StopSignalsExist = false;
static_assert(std::atomic<int>::is_always_lock_free, "read in a signal handler");

extern "C" void NoteStopSignal(int signal) {
  const int saved = errno;
  const int fd = StopPipeWrite.load();
  if (fd >= 0) {
    const unsigned char number = static_cast<unsigned char>(signal);
    // A full pipe already holds a stop request: losing this byte is harmless.
    [[maybe_unused]] const ssize_t written = ::write(fd, &number, 1);
  }
  errno = saved;
}

[[noreturn]] void ThrowSystemError(int error, const char* what) {
  throw std::system_error(error, std::generic_category(), what);
}

void OpenStopPipe() {
  if (StopPipeRead >= 0)
    return;
  int fds[2];
  // Non-blocking both ways: the handler must never wait, nor the drain.
  if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
    ThrowSystemError(errno, "cannot create the stop-signal pipe");
  StopPipeRead = fds[0];
  StopPipeWrite.store(fds[1]);
}

// Reads the signal numbers waiting in the pipe.
std::vector<int> TakeStopSignals() {
  std::vector<int> received;
  unsigned char numbers[16];
  for (;;) {
    const ssize_t count = ::read(StopPipeRead, numbers, sizeof numbers);
    if (count < 0 && errno == EINTR)
      continue;
    if (count <= 0)
      return received;  // empty: EAGAIN, as the write end never closes
    received.insert(received.end(), numbers, numbers + count);
  }
}

}  // namespace

TStopSignals::TStopSignals(std::function<void(int signal)> onStop) : OnStop_(std::move(onStop)) {
  if (StopSignalsExist)
    throw std::logic_error("TStopSignals: only one may exist at a time");
  OpenStopPipe();
  // What an earlier object left unread is not a request to this one.
  TakeStopSignals();
  Notifier_ = std::make_unique<QSocketNotifier>(StopPipeRead, QSocketNotifier::Read);
  QObject::connect(Notifier_.get(), &QSocketNotifier::activated, [this] { Drain(); });

  struct sigaction action = {};
  action.sa_handler = NoteStopSignal;
  sigemptyset(&action.sa_mask);
  // Restarted: the rest of the program need not expect EINTR from a stop.
  action.sa_flags = SA_RESTART;
  for (std::size_t i = 0; i < kStopSignals.size(); ++i) {
    const int signal = kStopSignals[i];
    int error = ::sigaction(signal, nullptr, &Old_[i]) != 0 ? errno : 0;
    // Started with the hang-up ignored (nohup): the monitor is meant to
    // outlive its terminal, so it stays ignored.
    if (error == 0 && signal == SIGHUP && Old_[i].sa_handler == SIG_IGN)
      continue;
    if (error == 0 && ::sigaction(signal, &action, nullptr) != 0)
      error = errno;
    if (error != 0) {
      Restore(i);
      ThrowSystemError(error, "cannot handle a stop signal");
    }
    Handled_[i] = true;
  }
  StopSignalsExist = true;
}

TStopSignals::~TStopSignals() {
  Restore(kStopSignals.size());
  Notifier_.reset();
  StopSignalsExist = false;
}

void TStopSignals::Restore(std::size_t count) {
  for (std::size_t i = count; i-- > 0;) {
    if (Handled_[i])
      ::sigaction(kStopSignals[i], &Old_[i], nullptr);
    Handled_[i] = false;
  }
}

void TStopSignals::Drain() {
  for (const int signal : TakeStopSignals())
    OnStop_(signal);
}

}  // namespace vantrel
