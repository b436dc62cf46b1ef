#pragma once

#include <QObject>
#include <QSoundEffect>
#include <string>

#include "alerts/desktop.h"

namespace vantrel {

// The desktop of the window program: documents and addresses open in the
// user's default programs, commands start detached from the program, and
// the alarm sound plays through Qt Multimedia. Main thread; needs a
// QGuiApplication.
class TQtDesktop final : public TDesktop {
 public:
  std::string ShowHtml(const std::string& fileName, const std::string& html) override;
  void OpenDocument(const std::string& pathOrUrl) override;
  std::string RunCommand(const std::string& commandLine,
                         const TCommandEnvironment& environment) override;
  void PlayAlarmSound(const std::string& file, bool loop) override;
  void StopAlarmSound() override;

  const QSoundEffect& Sound() const { return Sound_; }

 private:
  QSoundEffect Sound_;
};

// A message handed to the user's mail client (a "mailto:" address) in place
// of sending it ourselves: the error report of the error dialog.
struct TMailDraft {
  std::string To;
  std::string Subject;
  std::string Body;
};
// The "mailto:" address of `draft`, every part percent-encoded.
std::string MailToUrl(const TMailDraft& draft);

}  // namespace vantrel
