// The dashboard on HTTP (Qt HttpServer): requests become WebRequests for
// the site, its answers go back with the site's security headers. Who may
// connect (the loopback, else the allow-list) and how many at once is
// decided as a connection arrives; one more than the bound is answered 503
// and closed.
//
// The store is asked on the server's own thread, synchronously. Each
// question is answered from the site's cache for its lifetime, so however
// many clients watch, the store is asked at most once per question and
// lifetime; every question is bounded (keyset pages, grouped counts in
// the engine, a Scan of at most 10,000 rows), and a store that stalls is
// bounded by its own timeouts (SQLite's busy timeout, libpq's connect
// timeout). What counts every result of the store (the metrics, the
// first stats of each type) is counted on a thread and a connection of
// its own (web_background.h) and handed to the site.
#pragma once

#include <QHostAddress>
#include <QPair>
#include <QTcpServer>
#include <QtHttpServer/QAbstractHttpServer>
#include <optional>
#include <string>
#include <vector>

#include "web/web_site.h"

namespace zx840 {

inline constexpr quint16 kWebPort = 8840;

struct WebServerOptions {
    QHostAddress address = QHostAddress::LocalHost;
    quint16 port = kWebPort;
    // Who may connect besides the loopback; needed to listen elsewhere,
    // as is a token.
    std::vector<QPair<QHostAddress, int>> allow;
    int maxClients = 128;
};

// Bounds of a request's headers; beyond, it is answered 431.
inline constexpr int kMaxHeaders = 64;
inline constexpr qsizetype kMaxHeaderBytes = 16 * 1024;

// The site's own files (web.css, web.js, from the program's resources) and
// Chart.js from the system's copy (chart.js); nothing for any other name
// or when the system has no Chart.js: the pages then show tables alone.
std::optional<std::string> WebAsset(const std::string& name);

class WebListener;

class WebServer : public QAbstractHttpServer {
    Q_OBJECT
  public:
    WebServer(WebSite& site, QObject* parent = nullptr);

    // Listens; false with the reason. An address other than the loopback
    // needs an allow-list and a token.
    bool Listen(const WebServerOptions& options, bool tokenSet, std::string* error);
    void Close();
    QHostAddress Address() const;
    quint16 Port() const;

  protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

  private:
    WebSite& site_;
    WebListener* listener_ = nullptr;
};

}  // namespace zx840
