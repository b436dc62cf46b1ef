#include "ui/qt_desktop.h"

#include <QDesktopServices>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <QUrl>
#include <exception>

#include "alerts/command_line.h"
#include "storage/private_document.h"
#include "text/escape.h"

namespace vantrel {

namespace {

QString ToQt(const std::string& text) {
  return QString::fromStdString(text);
}

}  // namespace

std::string TQtDesktop::ShowHtml(const std::string& fileName, const std::string& html) {
  try {
    const std::filesystem::path path = WritePrivateDocument(fileName, html, "page");
    OpenDocument(path.string());
    return "";
  } catch (const std::exception& e) {
    return "Cannot write the page " + EscapeControls(fileName) + ": " + EscapeControls(e.what());
  }
}

void TQtDesktop::OpenDocument(const std::string& pathOrUrl) {
  // A path is a file, whatever it holds; only an address with a scheme is one.
  const QUrl url =
      IsWebAddress(pathOrUrl) ? QUrl(ToQt(pathOrUrl)) : QUrl::fromLocalFile(ToQt(pathOrUrl));
  QDesktopServices::openUrl(url);
}

std::string TQtDesktop::RunCommand(const std::string& commandLine,
                                   const TCommandEnvironment& environment) {
  const TCommandParts parts = SplitCommandLine(commandLine);
  if (parts.Program.empty())
    return "";
  if (IsWebAddress(parts.Program)) {
    OpenDocument(parts.Program);
    return "";
  }
  QStringList arguments;
  for (const std::string& argument : SplitArguments(parts.Parameters))
    arguments << ToQt(argument);
  QProcessEnvironment variables = QProcessEnvironment::systemEnvironment();
  for (const auto& [name, value] : environment)
    variables.insert(ToQt(name), ToQt(value));
  // Detached: the command outlives nothing of ours and leaves no zombie.
  QProcess process;
  process.setProgram(ToQt(parts.Program));
  process.setArguments(arguments);
  process.setProcessEnvironment(variables);
  if (!process.startDetached())
    return "Cannot start the command " + EscapeControls(commandLine) + ": " +
           process.errorString().toStdString();
  return "";
}

void TQtDesktop::PlayAlarmSound(const std::string& file, bool loop) {
  Sound_.stop();
  Sound_.setSource(QUrl::fromLocalFile(ToQt(file)));
  Sound_.setLoopCount(loop ? QSoundEffect::Infinite : 1);
  Sound_.play();
}

void TQtDesktop::StopAlarmSound() {
  Sound_.stop();
}

std::string MailToUrl(const TMailDraft& draft) {
  QUrl url;
  url.setScheme("mailto");
  url.setPath(ToQt(draft.To));
  const auto encode = [](const std::string& text) {
    return QString::fromLatin1(QUrl::toPercentEncoding(ToQt(text)));
  };
  url.setQuery("subject=" + encode(draft.Subject) + "&body=" + encode(draft.Body),
               QUrl::StrictMode);
  return url.toString(QUrl::FullyEncoded).toStdString();
}

}  // namespace vantrel
