#pragma once

#include <signal.h>

#include <functional>
#include <memory>

class QSocketNotifier;

namespace vantrel {

// Turns SIGINT and SIGTERM into a call on the main thread, inside the Qt event
// loop, so that the monitor stops in its own order instead of dying: the
// handler only writes the signal's number into a pipe (all a handler may
// safely do), and a socket notifier on the pipe makes the call. Signals that
// arrive before the loop runs wait in the pipe. One object at a time; create
// it after the QCoreApplication, on the main thread.
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

  std::function<void(int)> OnStop_;
  std::unique_ptr<QSocketNotifier> Notifier_;
  struct sigaction OldInt_ = {};
  struct sigaction OldTerm_ = {};
};

}  // namespace vantrel
