#include "report/print_service.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>
#include <cerrno>
#include <cstring>

namespace zx840 {
namespace {

constexpr int kConnectTimeoutMs = 2000;
constexpr char kDefaultSocket[] = "/run/cups/cups.sock";
constexpr char kDefaultPort[] = "631";

// The ServerName line of a client configuration file, or empty.
QString ServerNameIn(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return {};
    }
    QTextStream in(&file);
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.startsWith(QLatin1String("ServerName "), Qt::CaseInsensitive)) {
            return line.mid(11).trimmed();
        }
    }
    return {};
}

// Waits for a non-blocking connect on `fd` to finish; true when it succeeded.
bool ConnectWithin(int fd, const sockaddr* address, socklen_t length) {
    if (::connect(fd, address, length) == 0) {
        return true;
    }
    if (errno != EINPROGRESS) {
        return false;
    }
    pollfd entry{fd, POLLOUT, 0};
    if (::poll(&entry, 1, kConnectTimeoutMs) != 1) {
        return false;
    }
    int error = 0;
    socklen_t size = sizeof error;
    return ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0;
}

bool LocalSocketAnswers(const QString& path) {
    const QByteArray encoded = QFile::encodeName(path);
    sockaddr_un address{};
    if (encoded.size() >= static_cast<int>(sizeof address.sun_path)) {
        return false;
    }
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, encoded.constData(), static_cast<size_t>(encoded.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    const bool ok = ConnectWithin(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    ::close(fd);
    return ok;
}

bool NetworkServerAnswers(const QString& hostAndPort) {
    QString host = hostAndPort;
    QString port = QString::fromLatin1(kDefaultPort);
    const int colon = host.lastIndexOf(QLatin1Char(':'));
    if (colon > 0 && !host.endsWith(QLatin1Char(']')) && host.indexOf(QLatin1Char(':')) == colon) {
        port = host.mid(colon + 1);
        host.truncate(colon);
    }
    host.remove(QLatin1Char('[')).remove(QLatin1Char(']'));
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.toUtf8().constData(), port.toUtf8().constData(), &hints, &found) != 0) {
        return false;
    }
    bool ok = false;
    for (const addrinfo* entry = found; entry != nullptr && !ok; entry = entry->ai_next) {
        const int fd =
            ::socket(entry->ai_family, entry->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd >= 0) {
            ok = ConnectWithin(fd, entry->ai_addr, entry->ai_addrlen);
            ::close(fd);
        }
    }
    ::freeaddrinfo(found);
    return ok;
}

}  // namespace

QString PrintServerAddress() {
    QString server = qEnvironmentVariable("CUPS_SERVER").trimmed();
    if (server.isEmpty()) {
        server = ServerNameIn(QDir::homePath() + QStringLiteral("/.cups/client.conf"));
    }
    if (server.isEmpty()) {
        server = ServerNameIn(QStringLiteral("/etc/cups/client.conf"));
    }
    if (server.isEmpty()) {
        server = QFileInfo::exists(QString::fromLatin1(kDefaultSocket))
                     ? QString::fromLatin1(kDefaultSocket)
                     : QStringLiteral("localhost:%1").arg(QLatin1String(kDefaultPort));
    }
    return server;
}

bool PrintServerAnswers(const QString& address) {
    if (address.startsWith(QLatin1Char('/'))) {
        return LocalSocketAnswers(address);
    }
    return NetworkServerAnswers(address);
}

QString PrintFailureReason(const QString& printerName, const PrinterLookup& lookup) {
    if (!lookup.serverAnswers) {
        return QStringLiteral("The print service (CUPS) is not running: nothing answers at %1.")
            .arg(lookup.serverAddress);
    }
    if (printerName.isEmpty()) {
        if (lookup.defaultPrinter.isEmpty()) {
            return QStringLiteral("No default printer is set.");
        }
        return QStringLiteral("The default printer \"%1\" did not accept the job.")
            .arg(lookup.defaultPrinter);
    }
    if (!lookup.printerExists) {
        return QStringLiteral("Printer \"%1\" was not found.").arg(printerName);
    }
    return QStringLiteral("Printer \"%1\" did not accept the job.").arg(printerName);
}

}  // namespace zx840
