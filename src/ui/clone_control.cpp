#include "ui/clone_control.h"

#include <unistd.h>

#include <QByteArray>
#include <QCryptographicHash>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <cstdlib>
#include <cstring>
#include <system_error>
#include <utility>

namespace vantrel {

namespace {

constexpr char kRaise[] = "raise\n";
// A prior instance answers at once, even while its window is busy: the
// system completes the connection without it.
constexpr int kWaitMs = 2000;
// Longest runtime folder we put a socket in; a socket path holds 107 bytes.
constexpr int kMaxRuntimeFolder = 64;

}  // namespace

TxxCloneControl::TxxCloneControl(std::filesystem::path dataFolder, QObject* parent)
    : QObject(parent), DataFolder_(std::move(dataFolder)) {}

TxxCloneControl::~TxxCloneControl() = default;

QString TxxCloneControl::ServerName(const std::filesystem::path& dataFolder) {
  std::error_code error;
  std::filesystem::path folder = std::filesystem::weakly_canonical(dataFolder, error);
  if (error)
    folder = std::filesystem::absolute(dataFolder, error).lexically_normal();
  const QByteArray digest = QCryptographicHash::hash(QByteArray::fromStdString(folder.string()),
                                                     QCryptographicHash::Sha256)
                                .toHex()
                                .left(24);
  const QString name = "vantrel-" + QString::fromLatin1(digest);
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && runtime[0] == '/' && std::strlen(runtime) <= kMaxRuntimeFolder &&
      QFileInfo(QString::fromLocal8Bit(runtime)).isDir())
    return QString::fromLocal8Bit(runtime) + "/" + name;
  // The temporary folder is shared by all users: keep theirs apart.
  return name + "-" + QString::number(::getuid());
}

bool TxxCloneControl::Loaded() {
  if (Server_ != nullptr)
    return true;
  const QString name = ServerName(DataFolder_);
  // Two starts at once may both find nobody; the one that loses the race to
  // listen finds the winner on its second look.
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (AskPriorInstanceToRaise(name))
      return false;
    auto* server = new QLocalServer(this);
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (server->listen(name)) {
      Server_ = server;
      connect(Server_, &QLocalServer::newConnection, this, &TxxCloneControl::Accept);
      return true;
    }
    const QString message = server->errorString();
    const bool taken = server->serverError() == QAbstractSocket::AddressInUseError;
    delete server;
    if (!taken || attempt == 1)
      throw ECloneControl("Unable to create Mutex! An Exception was raised with the message: " +
                          message.toStdString());
  }
  return false;
}

bool TxxCloneControl::AskPriorInstanceToRaise(const QString& name) {
  QLocalSocket socket;
  socket.connectToServer(name);
  if (socket.waitForConnected(kWaitMs)) {
    socket.write(kRaise);
    socket.waitForBytesWritten(kWaitMs);
    socket.disconnectFromServer();
    return true;
  }
  // A socket file nobody listens on was left by an instance that died.
  if (socket.error() == QLocalSocket::ConnectionRefusedError)
    QLocalServer::removeServer(name);
  return false;
}

void TxxCloneControl::Accept() {
  while (QLocalSocket* socket = Server_->nextPendingConnection()) {
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    const auto read = [this, socket] {
      while (socket->canReadLine()) {
        if (socket->readLine() == kRaise)
          emit RaiseRequested();
      }
      // Nothing we expect is this long.
      if (socket->bytesAvailable() > 64)
        socket->abort();
    };
    connect(socket, &QLocalSocket::readyRead, this, read);
    read();
  }
}

}  // namespace vantrel
