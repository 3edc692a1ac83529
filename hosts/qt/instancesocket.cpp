#include "hosts/qt/instancesocket.h"

#include <QCryptographicHash>
#include <QLocalServer>
#include <QLocalSocket>

#include <unistd.h>

namespace {
QString serverName(const std::string &title) {
  QByteArray hash = QCryptographicHash::hash(QByteArray::fromStdString(title), QCryptographicHash::Sha1);
  return QStringLiteral("lumenveil-%1-%2").arg(getuid()).arg(QString::fromLatin1(hash.toHex().left(16)));
}
} // namespace

InstanceSocket::InstanceSocket() = default;
InstanceSocket::~InstanceSocket() = default;

void InstanceSocket::listen(const std::string &title, std::function<void()> onClose,
                            std::function<void()> onRaise) {
  const QString name = serverName(title);
  QLocalServer::removeServer(name);
  server_ = std::make_unique<QLocalServer>();
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  if (!server_->listen(name)) return;
  QLocalServer *server = server_.get();
  QObject::connect(server, &QLocalServer::newConnection, [server, onClose, onRaise] {
    while (QLocalSocket *s = server->nextPendingConnection()) {
      QObject::connect(s, &QLocalSocket::readyRead, [s, onClose, onRaise] {
        const QByteArray line = s->readAll();
        if (line.contains("close"))
          onClose();
        else if (line.contains("raise"))
          onRaise();
      });
      QObject::connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
    }
  });
}

bool InstanceSocket::find(const std::string &title) {
  QLocalSocket socket;
  socket.connectToServer(serverName(title));
  return socket.waitForConnected(300);
}

void InstanceSocket::raise(const std::string &title) { send(title, "raise\n"); }
void InstanceSocket::close(const std::string &title) { send(title, "close\n"); }

void InstanceSocket::send(const std::string &title, const char *what) {
  QLocalSocket socket;
  socket.connectToServer(serverName(title));
  if (!socket.waitForConnected(300)) return;
  socket.write(what);
  socket.waitForBytesWritten(300);
  socket.disconnectFromServer();
}
