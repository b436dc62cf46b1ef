#pragma once

#include <QObject>
#include <QString>
#include <filesystem>
#include <stdexcept>

class QLocalServer;
class QLocalSocket;

namespace vantrel {

class ECloneControl : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One window program per data folder: the first start listens on a local
// socket named after the folder, and a second start asks it to come to the
// front and then goes away. Main thread.
//
// A socket file left behind by a first instance that crashed answers nobody;
// the next start removes it and listens in its place. Who may write the data
// files is settled apart, by the data-folder lock.
class TxxCloneControl : public QObject {
  Q_OBJECT

 public:
  explicit TxxCloneControl(std::filesystem::path dataFolder, QObject* parent = nullptr);
  ~TxxCloneControl() override;

  // True: this is the first instance and listens from now on. False: another
  // instance holds the folder and has been asked to raise its window.
  // Throws ECloneControl when the socket cannot be set up.
  bool Loaded();

  // The socket's name for the folder: the same for every spelling of the
  // folder, different for other folders and other users. Under
  // $XDG_RUNTIME_DIR when the session has one (a folder only this user can
  // write), else a plain name in the system's temporary folder.
  static QString ServerName(const std::filesystem::path& dataFolder);

 signals:
  // A second start asked this instance to come to the front.
  void RaiseRequested();

 private:
  bool AskPriorInstanceToRaise(const QString& name);
  void Accept();

  std::filesystem::path DataFolder_;
  QLocalServer* Server_ = nullptr;
};

}  // namespace vantrel
