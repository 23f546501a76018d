#include "remote/scpi_server.h"

#include "record/text_pieces.h"

#include <cstdlib>

#include <QPointer>
#include <QTcpSocket>
#include <deque>
#include <memory>
#include <set>

#include "scpi/scpi_interpreter.h"

namespace zx840 {

namespace {

// Bytes taken from a client's socket at a time; the kernel holds the rest,
// so a client that sends faster than it is served is slowed, not buffered.
constexpr qint64 kReadChunk = 16 * 1024;

}  // namespace

// One connection: its socket, its interpreter and the messages read from it
// that have not run yet (one runs at a time).
class ScpiServer::Client : public QObject {
  public:
    Client(ScpiServer& server, QTcpSocket* socket)
        : QObject(&server), server_(server), socket_(socket), interpreter_(server.station_) {
        socket_->setParent(this);
        socket_->setReadBufferSize(kReadChunk);
        connect(socket_, &QTcpSocket::readyRead, this, &Client::Read);
        connect(socket_, &QTcpSocket::disconnected, this, &Client::Gone);
    }

    void Read() {
        // Nothing more is read while a message runs; a client whose answers
        // pile up unread is dropped once they pass the bound.
        while (!running_ && pending_.empty() && !gone_ && socket_->bytesAvailable() > 0) {
            const QByteArray bytes = socket_->read(kReadChunk);
            std::vector<scpi::MessageReader::Item> items;
            reader_.Feed(
                std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())), items);
            for (auto& item : items) {
                pending_.push_back(std::move(item));
            }
            RunNext();
        }
    }

    void Gone() {
        if (gone_) {
            return;
        }
        gone_ = true;
        server_.connected_.erase(this);
        if (running_) {
            --server_.busy_;
        }
        --server_.clients_;
        emit server_.clientsChanged(server_.clients_);
        deleteLater();  // the interpreter goes with it; its exchange ends for the station
    }

    void Drop() {
        socket_->abort();
        Gone();
    }

  private:
    void RunNext() {
        while (!running_ && !pending_.empty() && !gone_) {
            scpi::MessageReader::Item item = std::move(pending_.front());
            pending_.pop_front();
            if (item.tooLong) {
                interpreter_.TooLong();
                continue;
            }
            if (item.text.find_first_not_of(" \t") == std::string::npos) {
                continue;  // an empty line asks nothing
            }
            running_ = true;
            ++server_.busy_;
            emit server_.commandReceived();
            QPointer<Client> self(this);
            interpreter_.Execute(item.text, [self](std::optional<std::string> response) {
                if (self) {
                    self->Finished(std::move(response));
                }
            });
        }
    }

    void Finished(std::optional<std::string> response) {
        if (gone_) {
            return;
        }
        running_ = false;
        --server_.busy_;
        if (response) {
            socket_->write(response->data(), static_cast<qint64>(response->size()));
        }
        if (socket_->bytesToWrite() > server_.options_.maxUnread) {
            Drop();  // it does not read what it asks for
            return;
        }
        if (socket_->state() != QAbstractSocket::ConnectedState) {
            Gone();
            return;
        }
        // Go on from the caller's stack, not within it.
        QMetaObject::invokeMethod(
            this,
            [this] {
                RunNext();
                Read();
            },
            Qt::QueuedConnection);
    }

    ScpiServer& server_;
    QTcpSocket* socket_;
    scpi::Interpreter interpreter_;
    scpi::MessageReader reader_;
    std::deque<scpi::MessageReader::Item> pending_;
    bool running_ = false;
    bool gone_ = false;
};

bool ParseListenAddress(const std::string& text, QHostAddress* address, quint16* port,
                        std::string* error) {
    QString host = QString::fromStdString(text);
    *port = kScpiPort;
    const int colon = host.lastIndexOf(QLatin1Char(':'));
    const bool bracketed = host.startsWith(QLatin1Char('['));
    if (colon > 0 &&
        (bracketed ? host.at(colon - 1) == QLatin1Char(']') : host.count(QLatin1Char(':')) == 1)) {
        bool ok = false;
        const uint number = host.mid(colon + 1).toUInt(&ok);
        if (!ok || number > 65535) {
            *error = "the port is a number from 0 (any free port) to 65535";
            return false;
        }
        *port = static_cast<quint16>(number);
        host = host.left(colon);
    }
    if (bracketed && host.endsWith(QLatin1Char(']'))) {
        host = host.mid(1, host.size() - 2);
    }
    if (!address->setAddress(host)) {
        *error = TextOf("\"", text, "\" is no address: ADDRESS:PORT, such as 127.0.0.1:5025");
        return false;
    }
    return true;
}

std::string Endpoint(const QHostAddress& address, quint16 port) {
    const bool six = address.protocol() == QAbstractSocket::IPv6Protocol;
    return TextOf(six ? "[" : "", address.toString().toStdString(), six ? "]:" : ":",
                  std::to_string(port));
}

bool IsLoopbackAddress(const QHostAddress& address) {
    return address.isLoopback() ||
           (address.protocol() == QAbstractSocket::IPv6Protocol && address.toIPv4Address() != 0 &&
            QHostAddress(address.toIPv4Address()).isLoopback());
}

bool MayConnect(const QHostAddress& peer, const std::vector<QPair<QHostAddress, int>>& allow) {
    if (IsLoopbackAddress(peer)) {
        return true;
    }
    for (const auto& subnet : allow) {
        if (peer.isInSubnet(subnet)) {
            return true;
        }
    }
    return false;
}

bool ParseMaxClients(const std::string& text, int* clients, std::string* error) {
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || value < 1 || value > 1024) {
        *error = "--max-clients takes a number from 1 to 1024, not \"" + text + "\"";
        return false;
    }
    *clients = static_cast<int>(value);
    return true;
}

bool ParseAllowList(const std::string& text, std::vector<QPair<QHostAddress, int>>& allow,
                    std::string* error) {
    for (const QString& part : QString::fromStdString(text).split(QLatin1Char(','))) {
        const QString entry = part.trimmed();
        QPair<QHostAddress, int> subnet = QHostAddress::parseSubnet(entry);
        if (subnet.first.isNull() && !entry.contains(QLatin1Char('/'))) {
            const QHostAddress host(entry);
            subnet = {host, host.protocol() == QAbstractSocket::IPv6Protocol ? 128 : 32};
        }
        if (subnet.first.isNull()) {
            *error =
                TextOf("\"", entry.toStdString(), "\" is no address or subnet such as 10.0.0.0/8");
            return false;
        }
        allow.push_back(subnet);
    }
    return true;
}

ScpiServer::ScpiServer(scpi::Station& station, QObject* parent)
    : QObject(parent), station_(station), server_(new QTcpServer(this)) {
    connect(server_, &QTcpServer::newConnection, this, &ScpiServer::Accept);
}

ScpiServer::~ScpiServer() {
    Close();
}

bool ScpiServer::Listen(const ScpiServerOptions& options, std::string* error) {
    Close();
    if (!IsLoopbackAddress(options.address) && options.allow.empty()) {
        *error = TextOf("listening on ", options.address.toString().toStdString(),
                        " needs --allow with the addresses that may connect");
        return false;
    }
    options_ = options;
    server_->setMaxPendingConnections(options.maxClients);
    if (!server_->listen(options.address, options.port)) {
        *error = TextOf("cannot listen on ", options.address.toString().toStdString(), " port ",
                        std::to_string(options.port), ": ", server_->errorString().toStdString());
        return false;
    }
    return true;
}

void ScpiServer::Close() {
    server_->close();
    const std::set<Client*> clients = connected_;
    for (Client* client : clients) {
        client->Drop();
    }
}

bool ScpiServer::Allowed(const QHostAddress& peer) const {
    return MayConnect(peer, options_.allow);
}

void ScpiServer::Accept() {
    while (QTcpSocket* socket = server_->nextPendingConnection()) {
        if (!Allowed(socket->peerAddress()) || clients_ >= options_.maxClients) {
            // Refused: closed at once, without a word of the language.
            socket->disconnectFromHost();
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            if (socket->state() == QAbstractSocket::UnconnectedState) {
                socket->deleteLater();
            }
            continue;
        }
        ++clients_;
        connected_.insert(new Client(*this, socket));
        emit clientsChanged(clients_);
    }
}

}  // namespace zx840
