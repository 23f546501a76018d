#include "web/web_server.h"

#include <QTcpSocket>
#include <QtHttpServer/QHttpServerRequest>
#include <QtHttpServer/QHttpServerResponder>
#include <QtHttpServer/QHttpServerResponse>

#include "remote/scpi_server.h"
#include "web/web_json.h"

namespace zx840 {

// Takes each connection: from a peer that may connect and while fewer than
// the bound are open, to the server; else closed, politely when full.
class WebListener : public QTcpServer {
  public:
    WebListener(std::vector<QPair<QHostAddress, int>> allow, int maxClients, QObject* parent)
        : QTcpServer(parent), allow_(std::move(allow)), max_(maxClients) {}

  protected:
    void incomingConnection(qintptr handle) override {
        auto* socket = new QTcpSocket(this);
        if (!socket->setSocketDescriptor(handle)) {
            delete socket;
            return;
        }
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        if (!MayConnect(socket->peerAddress(), allow_)) {
            socket->abort();
            return;
        }
        if (open_ >= max_) {
            const QByteArray body = QByteArray::fromStdString(ErrorJson("too many connections"));
            socket->write(
                "HTTP/1.1 503 Service Unavailable\r\nContent-Type: application/json\r\n"
                "Retry-After: 1\r\nConnection: close\r\nContent-Length: " +
                QByteArray::number(body.size()) + "\r\n\r\n" + body);
            socket->disconnectFromHost();
            return;
        }
        ++open_;
        connect(socket, &QObject::destroyed, this, [this] { --open_; });
        addPendingConnection(socket);
    }

  private:
    std::vector<QPair<QHostAddress, int>> allow_;
    int max_;
    int open_ = 0;
};

namespace {

const char* MethodName(QHttpServerRequest::Method method) {
    switch (method) {
        case QHttpServerRequest::Method::Get:
            return "GET";
        case QHttpServerRequest::Method::Head:
            return "HEAD";
        case QHttpServerRequest::Method::Post:
            return "POST";
        default:
            return "OTHER";
    }
}

void Write(QHttpServerResponder&& responder, const WebResponse& response, bool head) {
    QHttpServerResponse out(QByteArray::fromStdString(response.contentType),
                            head ? QByteArray() : QByteArray::fromStdString(response.body),
                            static_cast<QHttpServerResponder::StatusCode>(response.status));
    out.addHeader(
        "Content-Security-Policy",
        "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self' data:; "
        "connect-src 'self'; form-action 'self'; base-uri 'none'; frame-ancestors 'none'");
    out.addHeader("X-Content-Type-Options", "nosniff");
    out.addHeader("Referrer-Policy", "no-referrer");
    bool cacheSet = false;
    for (const auto& [name, value] : response.headers) {
        out.addHeader(QByteArray::fromStdString(name), QByteArray::fromStdString(value));
        cacheSet = cacheSet || name == "Cache-Control";
    }
    if (!cacheSet) {
        out.addHeader("Cache-Control", "no-store");
    }
    out.write(std::move(responder));
}

}  // namespace

WebServer::WebServer(WebSite& site, QObject* parent) : QAbstractHttpServer(parent), site_(site) {}

bool WebServer::Listen(const WebServerOptions& options, bool tokenSet, std::string* error) {
    if (!IsLoopbackAddress(options.address) && (options.allow.empty() || !tokenSet)) {
        *error = "listening on an address other than the loopback needs --allow and --token-file";
        return false;
    }
    listener_ = new WebListener(options.allow, options.maxClients, this);
    if (!listener_->listen(options.address, options.port)) {
        *error = "cannot listen on the port: " + listener_->errorString().toStdString();
        return false;
    }
    bind(listener_);
    return true;
}

void WebServer::Close() {
    if (listener_ != nullptr) {
        listener_->close();
    }
}

QHostAddress WebServer::Address() const {
    return listener_ != nullptr ? listener_->serverAddress() : QHostAddress();
}

quint16 WebServer::Port() const {
    return listener_ != nullptr ? listener_->serverPort() : 0;
}

bool WebServer::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) {
    const auto headers = request.headers();
    qsizetype bytes = 0;
    for (const auto& [name, value] : headers) {
        bytes += name.size() + value.size();
    }
    const bool head = request.method() == QHttpServerRequest::Method::Head;
    if (headers.size() > kMaxHeaders || bytes > kMaxHeaderBytes) {
        Write(makeResponder(request, socket), Refusal(431, "the headers are too large", true),
              head);
        return true;
    }
    WebRequest asked;
    asked.method = MethodName(request.method());
    asked.path = request.url().path(QUrl::FullyEncoded).toStdString();
    asked.query = request.url().query(QUrl::FullyEncoded).toStdString();
    asked.authorization = request.value("Authorization").toStdString();
    asked.cookie = request.value("Cookie").toStdString();
    asked.body = request.body().left(4096).toStdString();
    Write(makeResponder(request, socket), site_.Handle(asked), head);
    return true;
}

void WebServer::missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) {
    Write(makeResponder(request, socket), Refusal(404, "there is nothing here", true), false);
}

}  // namespace zx840
