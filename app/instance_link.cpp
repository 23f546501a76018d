#include "app/instance_link.h"

#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLoggingCategory>
#include <QStandardPaths>

namespace zx840 {
namespace {

Q_LOGGING_CATEGORY(lcInstance, "zx840.instance", QtWarningMsg)

constexpr char kReply[] = "OK\n";
constexpr qint64 kMaxRequest = 64 * 1024;  // a path, not a file

}  // namespace

QString InstanceSocketPath() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty()) {
        folder = QDir::tempPath();
    }
    return folder + QStringLiteral("/zx840-%1.socket").arg(getuid());
}

InstanceLink::InstanceLink(QString socketPath, QObject* parent)
    : QObject(parent),
      socketPath_(std::move(socketPath)),
      lock_(socketPath_ + QStringLiteral(".lock")) {}

InstanceLink::~InstanceLink() = default;

bool InstanceLink::LockStartup(int timeoutMs) {
    // A lock left by a process that died is recognised and taken over.
    lock_.setStaleLockTime(0);
    return lock_.tryLock(timeoutMs);
}

void InstanceLink::UnlockStartup() {
    lock_.unlock();
}

bool InstanceLink::HandToRunning(const QString& path, int timeoutMs) const {
    QLocalSocket socket;
    socket.connectToServer(socketPath_);
    if (!socket.waitForConnected(timeoutMs)) {
        return false;
    }
    socket.write(QFileInfo(path).absoluteFilePath().toUtf8() + '\n');
    if (!socket.waitForBytesWritten(timeoutMs)) {
        return false;
    }
    while (socket.bytesAvailable() < static_cast<qint64>(sizeof kReply - 1)) {
        if (!socket.waitForReadyRead(timeoutMs)) {
            return false;
        }
    }
    return socket.readAll().startsWith(kReply);
}

bool InstanceLink::Listen() {
    if (server_ != nullptr && server_->isListening()) {
        return true;
    }
    // Someone answering on the socket is alive: leave it alone.
    {
        QLocalSocket probe;
        probe.connectToServer(socketPath_);
        if (probe.waitForConnected(500)) {
            return false;
        }
    }
    QLocalServer::removeServer(socketPath_);  // a stale socket of a crashed run
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(socketPath_)) {
        return false;
    }
    connect(server_, &QLocalServer::newConnection, this, &InstanceLink::OnConnection);
    qCInfo(lcInstance) << "listening on" << socketPath_;
    return true;
}

bool InstanceLink::Listening() const {
    return server_ != nullptr && server_->isListening();
}

void InstanceLink::OnConnection() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (socket->bytesAvailable() > kMaxRequest) {
                socket->abort();
                return;
            }
            if (!socket->canReadLine()) {
                return;
            }
            const QString path = QString::fromUtf8(socket->readLine()).trimmed();
            socket->write(kReply);
            socket->flush();
            if (!path.isEmpty()) {
                emit openRequested(path);
            }
        });
    }
}

}  // namespace zx840
