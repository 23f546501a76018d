// Open requests between starts of the program by the same user: a second
// start that names a file hands it to the running program over a local
// socket only that user can reach, and ends.
#pragma once

#include <sys/types.h>

#include <QLockFile>
#include <QObject>
#include <QString>
#include <chrono>
#include <optional>

class QLocalServer;
class QLocalSocket;

namespace zx840 {

// The folder of the socket and the start-up lock: $XDG_RUNTIME_DIR, which
// the login session makes for the user alone, when it is such a folder;
// else `tempFolder`/zx840-UID, made with mode 0700. Either is used only
// when it is a real folder of this user that nobody else can enter; empty
// when there is none: then the program runs without hand-over.
QString InstanceFolder(const QString& tempFolder);
// The socket in InstanceFolder() of the system's temporary folder; empty
// when there is none.
QString InstanceSocketPath();

// The user id of the process at the other end of a connected local socket.
std::optional<uid_t> PeerUserId(int socketDescriptor);

class InstanceLink : public QObject {
    Q_OBJECT
  public:
    // An empty `socketPath` makes a link that does nothing: no lock, no
    // hand-over, no listening.
    explicit InstanceLink(QString socketPath = InstanceSocketPath(), QObject* parent = nullptr);
    ~InstanceLink() override;

    bool Usable() const { return !socketPath_.isEmpty(); }

    // Holds the start-up lock, so that two starts cannot both become the
    // running program. False when it could not be had in time.
    bool LockStartup(int timeoutMs = 5000);
    void UnlockStartup();

    // Hands `path` (made absolute) to a running program of this user; true
    // when one took it. A listener of another user is never told anything.
    bool HandToRunning(const QString& path, int timeoutMs = 3000) const;

    // Becomes the running program that others hand files to. A socket left
    // by a program that died is taken over; a live one is left alone.
    bool Listen();
    bool Listening() const;

    // A client that has not sent its request this long after connecting is
    // dropped.
    static constexpr std::chrono::milliseconds kClientTimeout{5000};
    void SetClientTimeout(std::chrono::milliseconds timeout) { clientTimeout_ = timeout; }

  signals:
    // Emitted from the event loop, never from inside a socket's handler:
    // a receiver may run a nested event loop (a message box) safely.
    void openRequested(const QString& path);

  private:
    void OnConnection();
    void OnReadable(QLocalSocket* socket);
    void Drop(QLocalSocket* socket);

    QString socketPath_;
    QLockFile lock_;
    QLocalServer* server_ = nullptr;  // a child of this object
    std::chrono::milliseconds clientTimeout_ = kClientTimeout;
};

}  // namespace zx840
