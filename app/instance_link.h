// Open requests between starts of the program by the same user: a second
// start that names a file hands it to the running program over a local
// socket only that user can reach, and ends.
#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>
#include <memory>

class QLocalServer;

namespace zx840 {

// Where the socket and the start-up lock live: the user's runtime folder,
// else the temporary folder, named after the user.
QString InstanceSocketPath();

class InstanceLink : public QObject {
    Q_OBJECT
  public:
    explicit InstanceLink(QString socketPath = InstanceSocketPath(), QObject* parent = nullptr);
    ~InstanceLink() override;

    // Holds the start-up lock, so that two starts cannot both become the
    // running program. False when it could not be had in time.
    bool LockStartup(int timeoutMs = 5000);
    void UnlockStartup();

    // Hands `path` (made absolute) to a running program; true when one took it.
    bool HandToRunning(const QString& path, int timeoutMs = 3000) const;

    // Becomes the running program that others hand files to. A socket left
    // by a program that died is taken over; a live one is left alone.
    bool Listen();
    bool Listening() const;

  signals:
    void openRequested(const QString& path);

  private:
    void OnConnection();

    QString socketPath_;
    QLockFile lock_;
    QLocalServer* server_ = nullptr;  // a child of this object
};

}  // namespace zx840
