#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

#include "alerts/desktop.h"

namespace vantrel {

// The desktop of a monitor without a window: alarm pages are written into the
// private document folder and their paths printed, commands are started,
// addresses to open and sounds are printed lines.
class THeadlessDesktop final : public TDesktop {
 public:
  using TLine = std::function<void(const std::string& line)>;

  // `print` shows a line to the user.
  explicit THeadlessDesktop(TLine print);
  // Reaps the commands that have ended; those still running are left to run.
  ~THeadlessDesktop() override;

  std::string ShowHtml(const std::string& fileName, const std::string& html) override;
  void OpenDocument(const std::string& pathOrUrl) override;
  std::string RunCommand(const std::string& commandLine,
                         const TCommandEnvironment& environment) override;
  void PlayAlarmSound(const std::string& file, bool loop) override;
  void StopAlarmSound() override;

 private:
  // Collects the exit of started commands that have ended, so none stays a
  // zombie for the life of the monitor.
  void Reap();

  TLine Print_;
  std::vector<pid_t> Children_;
  bool SoundPlaying_ = false;
};

// Starts `program` with `arguments` (its own name first is added) and the
// process's environment plus `environment`, without a shell; found on PATH
// when it has no slash. The child's pid, or -1 with errno set.
pid_t SpawnCommand(const std::string& program, const std::vector<std::string>& arguments,
                   const TCommandEnvironment& environment);

}  // namespace vantrel
