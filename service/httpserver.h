#pragma once
// The service's read-only HTTP server: GET /metrics (Prometheus), /healthz,
// /api/meters (JSON) and / (the status page).  Other methods on those paths
// get 405, other paths 404; nothing a client sends changes anything.
//
// Served by Qt HttpServer on a TCP server of our own that bounds what a
// client can hold: connections (when full, the one waiting longest gives
// way), request size (431/413 before anything buffers it), the time a
// request may take to arrive (408) and idle keep-alive time, and unread
// output.  A client breaking any bound loses only its own connection.

#include "service/channels.h"

#include <QHostAddress>
#include <QObject>
#include <QString>

#include <memory>
#include <optional>

QT_BEGIN_NAMESPACE
class QHttpServer;
QT_END_NAMESPACE

namespace kv::service {

class PrometheusExposition;

// Outside Prometheus' registry of exporter ports (9100-9999, all taken) and
// below the kernel's ephemeral ports; 3917 for the meter.
constexpr quint16 DefaultHttpPort = 13917;

struct ListenAddress {
    QHostAddress address = QHostAddress(QHostAddress::LocalHost);
    quint16 port = DefaultHttpPort; // 0: a free port the system picks
    QString toString() const;       // "127.0.0.1:13917", "[::1]:13917"
};

// --listen ADDR[:PORT]: "0.0.0.0", "192.168.1.5:9000", "[::]:9000", "::1",
// ":9000" (the default address), "localhost" (127.0.0.1).  Addresses are
// numeric (no name look-up).  Nothing on error, with the reason in *error.
std::optional<ListenAddress> ParseListenAddress(const QString &text, QString *error = nullptr);

struct HttpLimits {
    int maxConnections = 32;
    int maxHeadBytes = 8 * 1024;       // request line and headers
    int maxBodyBytes = 8 * 1024;       // requests carry no body here; a small one is read and ignored
    int requestTimeoutMs = 10000;      // from a request's first byte to its last
    int idleTimeoutMs = 30000;         // a kept-alive connection without a request
    int lingerMs = 2000;               // a closing connection whose client does not read is cut
    qint64 maxPendingOutputBytes = 4 * 1024 * 1024; // answers the client has not read yet
};

class GuardedTcpServer;

class HttpServer : public QObject {
    Q_OBJECT
public:
    HttpServer(const StatusSource &status, const PrometheusExposition &metrics, QObject *parent = nullptr);
    ~HttpServer() override;

    // Applies to connections accepted afterwards.
    void setLimits(const HttpLimits &limits);
    HttpLimits limits() const;

    bool listen(const ListenAddress &address, QString *error = nullptr);
    bool isListening() const;
    quint16 serverPort() const;
    QHostAddress serverAddress() const;

    int connectionCount() const;

private:
    void addRoutes();

    const StatusSource &m_status;
    const PrometheusExposition &m_metrics;
    std::unique_ptr<QHttpServer> m_http;
    GuardedTcpServer *m_tcp = nullptr; // owned by m_http once bound
    HttpLimits m_pendingLimits;
};

} // namespace kv::service
