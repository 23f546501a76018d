#include "app/instance_link.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLoggingCategory>
#include <QTimer>

#include "app/open_request.h"

namespace zx840 {
namespace {

Q_LOGGING_CATEGORY(lcInstance, "zx840.instance", QtWarningMsg)

// No more than this many clients are served at once: with the time a client
// has for its request, a stuck or flooding client cannot hold the running
// program's resources.
constexpr int kMaxClients = 16;
constexpr char kClientProperty[] = "zx840Client";

bool IsOwnPeer(QLocalSocket& socket) {
    const std::optional<uid_t> peer = PeerUserId(static_cast<int>(socket.socketDescriptor()));
    return peer.has_value() && *peer == geteuid();
}

// Whoever made it, only a real folder (not a link) of this user that nobody
// else can enter is safe: another user could otherwise bind the socket
// first or swap the folder.
bool IsPrivateFolder(const QString& folder) {
    struct stat info {};
    return ::lstat(QFile::encodeName(folder).constData(), &info) == 0 && S_ISDIR(info.st_mode) &&
           info.st_uid == geteuid() && (info.st_mode & 077) == 0;
}

}  // namespace

QString InstanceFolder(const QString& tempFolder) {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir::isAbsolutePath(runtime)) {
        if (IsPrivateFolder(runtime)) {
            return runtime;
        }
        qCWarning(lcInstance) << "not using" << runtime
                              << "for open requests: not a private folder of this user";
    }
    const QString folder = tempFolder + QStringLiteral("/zx840-%1").arg(geteuid());
    const QByteArray name = QFile::encodeName(folder);
    if (::mkdir(name.constData(), 0700) == 0) {
        ::chmod(name.constData(), 0700);  // whatever the umask took away
    }
    if (!IsPrivateFolder(folder)) {
        qCWarning(lcInstance) << "not using" << folder
                              << "for open requests: not a private folder of this user";
        return {};
    }
    return folder;
}

QString InstanceSocketPath() {
    const QString folder = InstanceFolder(QDir::tempPath());
    if (folder.isEmpty()) {
        return {};
    }
    return folder + QStringLiteral("/zx840-%1.socket").arg(geteuid());
}

std::optional<uid_t> PeerUserId(int socketDescriptor) {
    ucred credentials{};
    socklen_t size = sizeof credentials;
    if (socketDescriptor < 0 ||
        ::getsockopt(socketDescriptor, SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0 ||
        size != sizeof credentials) {
        return std::nullopt;
    }
    return credentials.uid;
}

InstanceLink::InstanceLink(QString socketPath, QObject* parent)
    : QObject(parent),
      socketPath_(std::move(socketPath)),
      lock_(socketPath_.isEmpty() ? QString() : socketPath_ + QStringLiteral(".lock")) {}

InstanceLink::~InstanceLink() = default;

bool InstanceLink::LockStartup(int timeoutMs) {
    if (!Usable()) {
        return false;
    }
    // A lock left by a process that died is recognised and taken over.
    lock_.setStaleLockTime(0);
    return lock_.tryLock(timeoutMs);
}

void InstanceLink::UnlockStartup() {
    if (lock_.isLocked()) {
        lock_.unlock();
    }
}

bool InstanceLink::HandToRunning(const QString& path, int timeoutMs) const {
    if (!Usable()) {
        return false;
    }
    const std::string message =
        EncodeOpenRequest(QFile::encodeName(QFileInfo(path).absoluteFilePath()).toStdString());
    if (message.empty()) {
        return false;
    }
    QLocalSocket socket;
    socket.connectToServer(socketPath_);
    if (!socket.waitForConnected(timeoutMs)) {
        return false;
    }
    if (!IsOwnPeer(socket)) {
        qCWarning(lcInstance) << "the program answering on" << socketPath_
                              << "belongs to another user: it is not told anything";
        socket.abort();
        return false;
    }
    socket.write(message.data(), static_cast<qint64>(message.size()));
    if (!socket.waitForBytesWritten(timeoutMs)) {
        return false;
    }
    const auto replySize = static_cast<qint64>(kOpenRequestReply.size());
    while (socket.bytesAvailable() < replySize) {
        if (!socket.waitForReadyRead(timeoutMs)) {
            return false;
        }
    }
    return socket.read(replySize).toStdString() == kOpenRequestReply;
}

bool InstanceLink::Listen() {
    if (!Usable()) {
        return false;
    }
    if (server_ != nullptr && server_->isListening()) {
        return true;
    }
    // Someone answering on the socket is alive: leave it alone. A listener
    // of another user is left alone too, but nothing is handed to it.
    {
        QLocalSocket probe;
        probe.connectToServer(socketPath_);
        if (probe.waitForConnected(500)) {
            if (!IsOwnPeer(probe)) {
                qCWarning(lcInstance) << "another user listens on" << socketPath_;
            }
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

void InstanceLink::Drop(QLocalSocket* socket) {
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
}

void InstanceLink::OnConnection() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        int clients = 0;
        for (const QObject* child : server_->children()) {
            clients += child->property(kClientProperty).toBool() ? 1 : 0;
        }
        if (clients >= kMaxClients) {
            qCWarning(lcInstance) << "too many open-request clients at once; one dropped";
            Drop(socket);
            continue;
        }
        if (!IsOwnPeer(*socket)) {
            qCWarning(lcInstance) << "dropped an open request from another user";
            Drop(socket);
            continue;
        }
        socket->setProperty(kClientProperty, true);
        // Sockets are only ever deleted from the event loop, never inside
        // one of their own handlers.
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { OnReadable(socket); });
        QTimer::singleShot(clientTimeout_, socket, [this, socket] { Drop(socket); });
        if (socket->bytesAvailable() > 0) {
            OnReadable(socket);
        }
    }
}

void InstanceLink::OnReadable(QLocalSocket* socket) {
    const QByteArray received = socket->peek(static_cast<qint64>(kMaxOpenRequestPath) + 2);
    const OpenRequest request =
        ReadOpenRequest(std::string_view(received.constData(), received.size()));
    if (request.status == OpenRequest::Status::Incomplete) {
        return;
    }
    if (request.status == OpenRequest::Status::Refused) {
        qCWarning(lcInstance) << "dropped a malformed open request";
        Drop(socket);
        return;
    }
    socket->read(received.size());
    // One request per connection: answer, then let the client go.
    socket->disconnect(this);
    socket->write(kOpenRequestReply.data(), static_cast<qint64>(kOpenRequestReply.size()));
    socket->disconnectFromServer();
    // Carried out once this handler and the socket's own code have returned.
    const QString path = QFile::decodeName(QByteArray::fromStdString(request.path));
    QMetaObject::invokeMethod(
        this, [this, path] { emit openRequested(path); }, Qt::QueuedConnection);
}

}  // namespace zx840
