#include "report/print_service.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cups/cups.h>

#include <QFile>
#include <cerrno>
#include <cstring>

namespace zx840 {
namespace {

constexpr int kConnectTimeoutMs = 2000;
constexpr char kDefaultPort[] = "631";

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

// HOST, HOST:PORT, [IPV6] or [IPV6]:PORT, with 631 as the default port.
bool NetworkServerAnswers(const QString& hostAndPort) {
    QString host = hostAndPort;
    QString port = QString::fromLatin1(kDefaultPort);
    const qsizetype close = host.startsWith(QLatin1Char('[')) ? host.indexOf(QLatin1Char(']')) : -1;
    const qsizetype colon = host.lastIndexOf(QLatin1Char(':'));
    if (close > 0) {
        if (colon == close + 1) {
            port = host.mid(colon + 1);
        }
        host = host.mid(1, close - 1);
    } else if (colon > 0 && host.indexOf(QLatin1Char(':')) == colon) {
        port = host.mid(colon + 1);
        host.truncate(colon);
    }
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
    // libcups keeps the server a thread asked for; forgetting it first makes
    // the answer follow $CUPS_SERVER and client.conf as they are now.
    cupsSetServer(nullptr);
    const QString server = QString::fromUtf8(cupsServer());
    if (server.startsWith(QLatin1Char('/'))) {
        return server;
    }
    // A bare IPv6 address gets brackets, so that the port can follow it.
    const bool bare = server.contains(QLatin1Char(':')) && !server.startsWith(QLatin1Char('['));
    return (bare ? QLatin1Char('[') + server + QLatin1Char(']') : server) + QLatin1Char(':') +
           QString::number(ippPort());
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
