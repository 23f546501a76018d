// The station as an instrument on the network: the remote-control language
// over raw TCP, one connection per client, messages ended by a line feed.
// Every byte from a client is hostile: messages are bounded, a client is
// read only while its last message is done, one that never reads its
// answers is dropped, and the number of clients is limited.
#pragma once

#include <QHostAddress>
#include <QObject>
#include <QPair>
#include <QTcpServer>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "scpi/scpi_station.h"

namespace zx840 {

inline constexpr quint16 kScpiPort = 5025;

struct ScpiServerOptions {
    QHostAddress address = QHostAddress::LocalHost;
    quint16 port = kScpiPort;
    // Who may connect besides the loopback; needed to listen elsewhere.
    std::vector<QPair<QHostAddress, int>> allow;
    int maxClients = 32;
    // Answers a client has not read yet; beyond, it is dropped.
    qint64 maxUnread = 4 * 1024 * 1024;
};

// "127.0.0.1:5025", "[::1]:5025", "0.0.0.0:5025" or an address alone.
bool ParseListenAddress(const std::string& text, QHostAddress* address, quint16* port,
                        std::string* error);
// "127.0.0.1:5025", "[::1]:5025": where a server listens, as --listen takes it.
std::string Endpoint(const QHostAddress& address, quint16 port);
// "10.0.0.0/8,192.168.1.7" (an address alone is its one host).
bool ParseAllowList(const std::string& text, std::vector<QPair<QHostAddress, int>>& allow,
                    std::string* error);

// Whether `address` is the loopback, IPv4-mapped (::ffff:127.0.0.1) too.
bool IsLoopbackAddress(const QHostAddress& address);
// Whether `peer` may connect: from the loopback always, from elsewhere
// when it is in a subnet of `allow`.
bool MayConnect(const QHostAddress& peer, const std::vector<QPair<QHostAddress, int>>& allow);

// A server's bound on clients at once, from 1 to 1024.
bool ParseMaxClients(const std::string& text, int* clients, std::string* error);

class ScpiServer : public QObject {
    Q_OBJECT
  public:
    ScpiServer(scpi::Station& station, QObject* parent = nullptr);
    ~ScpiServer() override;

    // Listens; false with the reason. An address other than the loopback
    // needs an allow-list.
    bool Listen(const ScpiServerOptions& options, std::string* error);
    // Stops listening and closes every client; exchanges under way end for
    // the station alone.
    void Close();
    bool Listening() const { return server_->isListening(); }
    QHostAddress Address() const { return server_->serverAddress(); }
    quint16 Port() const { return server_->serverPort(); }
    int Clients() const { return clients_; }
    // Messages of all clients still to run or running.
    bool Busy() const { return busy_ > 0; }

  signals:
    // A client's message was run: the station is under remote control.
    void commandReceived();
    void clientsChanged(int clients);

  private:
    class Client;
    void Accept();
    bool Allowed(const QHostAddress& peer) const;

    scpi::Station& station_;
    QTcpServer* server_;
    ScpiServerOptions options_;
    std::set<Client*> connected_;
    int clients_ = 0;
    int busy_ = 0;
};

}  // namespace zx840
