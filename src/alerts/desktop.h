#pragma once

#include <string>
#include <utility>
#include <vector>

namespace vantrel {

// Variables a command started for an alarm gets besides the program's own
// environment ("NAME", "value"), so that a script knows what happened.
using TCommandEnvironment = std::vector<std::pair<std::string, std::string>>;

// What the alarm actions need of the desktop: documents and web addresses
// opened, programs started, the alarm sound. The window's implementation opens
// and plays; the headless monitor's writes, starts and prints. Main thread.
class TDesktop {
 public:
  virtual ~TDesktop() = default;

  // Writes `html` into the user's private document folder under `fileName`
  // (made safe as one file name) and opens it. Empty, or what went wrong (the
  // alarm goes on either way).
  virtual std::string ShowHtml(const std::string& fileName, const std::string& html) = 0;
  // Opens a document or web address with the desktop's default program.
  virtual void OpenDocument(const std::string& pathOrUrl) = 0;
  // Starts the program of `commandLine` with its arguments, no shell between;
  // a web address is opened instead. Empty, or why it could not start.
  virtual std::string RunCommand(const std::string& commandLine,
                                 const TCommandEnvironment& environment) = 0;
  // Plays `file` once or until StopAlarmSound.
  virtual void PlayAlarmSound(const std::string& file, bool loop) = 0;
  virtual void StopAlarmSound() = 0;
};

}  // namespace vantrel
