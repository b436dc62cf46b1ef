#pragma once

#include <signal.h>

#include <array>
#include <cstddef>
#include <functional>
#include <memory>

class QSocketNotifier;

namespace vantrel {

// The signals that stop the monitor: Ctrl+C, a polite kill, and the hang-up
// of a closed terminal or SSH session (which must not lose the results since
// the last save any more than a kill does).
inline constexpr std::array kStopSignals = {SIGINT, SIGTERM, SIGHUP};

// Turns the stop signals into a call on the main thread, inside the Qt event
// loop, so that the monitor stops in its own order instead of dying: the
// handler only writes the signal's number into a pipe (all a handler may
// safely do), and a socket notifier on the pipe makes the call. Signals that
// arrive before the loop runs wait in the pipe. A hang-up that was ignored
// when the program started (nohup) stays ignored. One object at a time;
// create it after the QCoreApplication, on the main thread.
class TStopSignals {
 public:
  // `onStop` gets the signal's number, for each signal that arrives.
  explicit TStopSignals(std::function<void(int signal)> onStop);
  // Puts the previous handlers back.
  ~TStopSignals();
  TStopSignals(const TStopSignals&) = delete;
  TStopSignals& operator=(const TStopSignals&) = delete;

 private:
  void Drain();
  // Puts back the previous handlers of the first `count` stop signals.
  void Restore(std::size_t count);

  std::function<void(int)> OnStop_;
  std::unique_ptr<QSocketNotifier> Notifier_;
  std::array<struct sigaction, kStopSignals.size()> Old_ = {};
  std::array<bool, kStopSignals.size()> Handled_ = {};
};

}  // namespace vantrel
