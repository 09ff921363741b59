#include "service/httpserver.h"

#include "service/prometheus.h"
#include "service/requestgate.h"
#include "service/statuspage.h"

#include <QElapsedTimer>
#include <QHttpServer>
#include <QHttpServerRequest>
#include <QHttpServerResponse>
#include <QSet>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>

namespace kv::service {

// ---- --listen --------------------------------------------------------------

QString ListenAddress::toString() const
{
    const QString host = address.protocol() == QAbstractSocket::IPv6Protocol
        ? QLatin1Char('[') + address.toString() + QLatin1Char(']')
        : address.toString();
    return host + QLatin1Char(':') + QString::number(port);
}

std::optional<ListenAddress> ParseListenAddress(const QString &text, QString *error)
{
    auto fail = [&](const QString &why) -> std::optional<ListenAddress> {
        if (error)
            *error = QStringLiteral("--listen %1: %2").arg(text, why);
        return std::nullopt;
    };
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return fail(QStringLiteral("an address, ADDR[:PORT], is missing"));

    QString host;
    QString port;
    bool portGiven = false;
    if (trimmed.startsWith(QLatin1Char('['))) {
        const qsizetype close = trimmed.indexOf(QLatin1Char(']'));
        if (close < 0)
            return fail(QStringLiteral("\"]\" is missing after the IPv6 address"));
        host = trimmed.mid(1, close - 1);
        const QString rest = trimmed.mid(close + 1);
        if (!rest.isEmpty()) {
            if (!rest.startsWith(QLatin1Char(':')))
                return fail(QStringLiteral("only \":PORT\" may follow the address"));
            port = rest.mid(1);
            portGiven = true;
        }
        if (QHostAddress(host).protocol() != QAbstractSocket::IPv6Protocol)
            return fail(QStringLiteral("\"%1\" is not an IPv6 address").arg(host));
    } else if (trimmed.count(QLatin1Char(':')) > 1) {
        host = trimmed; // a bare IPv6 address, no port
    } else if (const qsizetype colon = trimmed.indexOf(QLatin1Char(':')); colon >= 0) {
        host = trimmed.left(colon);
        port = trimmed.mid(colon + 1);
        portGiven = true;
    } else {
        host = trimmed;
    }

    ListenAddress result;
    if (!host.isEmpty()) {
        if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0) {
            result.address = QHostAddress(QHostAddress::LocalHost);
        } else {
            QHostAddress address;
            // Only plain numeric forms: no octal/short IPv4 spellings, no names.
            const bool ipv4 = host.count(QLatin1Char('.')) == 3;
            if (!address.setAddress(host) || (address.protocol() == QAbstractSocket::IPv4Protocol && !ipv4))
                return fail(QStringLiteral("\"%1\" is not a numeric IP address").arg(host));
            result.address = address;
        }
    }
    if (portGiven) {
        bool ok = false;
        const uint number = port.toUInt(&ok);
        const bool digits = !port.isEmpty() && port.size() <= 5
            && std::all_of(port.cbegin(), port.cend(), [](QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); });
        if (!ok || !digits || number > 65535)
            return fail(QStringLiteral("\"%1\" is not a port number (0 to 65535)").arg(port));
        result.port = quint16(number);
    }
    return result;
}

// ---- connection limits -----------------------------------------------------

namespace {

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 400: return "Bad Request";
    case 408: return "Request Timeout";
    case 411: return "Length Required";
    case 413: return "Content Too Large";
    case 431: return "Request Header Fields Too Large";
    default: return "Error";
    }
}

} // namespace

// Watches one connection from its first byte: request size through a
// RequestGate, deadlines, unread output.  A child of the socket, so it goes
// with it.
class ConnectionGuard : public QObject {
public:
    ConnectionGuard(QTcpSocket *socket, const HttpLimits &limits, QSet<ConnectionGuard *> &registry)
        : QObject(socket)
        , m_socket(socket)
        , m_limits(limits)
        , m_gate(limits.maxHeadBytes, limits.maxBodyBytes)
        , m_registry(registry)
    {
        m_registry.insert(this);
        m_since.start();
        m_timer.setSingleShot(true);
        connect(&m_timer, &QTimer::timeout, this, &ConnectionGuard::deadlinePassed);
        // Connected before Qt HttpServer takes the socket, so this sees every
        // byte before the server reads it.
        connect(socket, &QTcpSocket::readyRead, this, &ConnectionGuard::received);
        connect(socket, &QTcpSocket::bytesWritten, this, &ConnectionGuard::sent);
        arm();
    }

    ~ConnectionGuard() override { m_registry.remove(this); }

    bool closing() const { return m_closing; }
    // How long the connection has been waiting for its client: since its
    // request began, or since it last moved any byte.
    qint64 waitingMs() const { return m_since.elapsed(); }

    void cut() { m_socket->abort(); }

private:
    void received()
    {
        if (m_closing)
            return;
        const bool wasInRequest = m_gate.inRequest();
        const QByteArray fresh = m_socket->peek(m_socket->bytesAvailable());
        const RequestGate::Verdict verdict = m_gate.feed(fresh);
        if (verdict != RequestGate::Verdict::Ok) {
            refuse(RequestGate::statusCode(verdict));
            return;
        }
        if (m_socket->bytesToWrite() > m_limits.maxPendingOutputBytes) {
            cut(); // asks and asks without reading the answers
            return;
        }
        if (!wasInRequest || !m_gate.inRequest())
            m_since.restart();
        arm();
    }

    void sent()
    {
        if (m_closing) {
            if (m_socket->bytesToWrite() == 0)
                m_socket->disconnectFromHost();
            return;
        }
        if (!m_gate.inRequest())
            m_since.restart();
        arm();
    }

    void arm()
    {
        const int allowed = m_closing ? m_limits.lingerMs
                                      : (m_gate.inRequest() ? m_limits.requestTimeoutMs : m_limits.idleTimeoutMs);
        m_timer.start(int(std::max<qint64>(0, allowed - m_since.elapsed())));
    }

    void deadlinePassed()
    {
        if (m_closing)
            cut();
        else if (m_gate.inRequest())
            refuse(408);
        else
            close();
    }

    // Answers with an error of our own and closes: Qt HttpServer never sees
    // the rest of this connection.
    void refuse(int status)
    {
        disconnect(m_socket, &QTcpSocket::readyRead, nullptr, nullptr);
        const QByteArray body = reasonPhrase(status) + '\n';
        m_socket->write("HTTP/1.1 " + QByteArray::number(status) + ' ' + reasonPhrase(status)
                        + "\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Length: "
                        + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
        close();
    }

    void close()
    {
        m_closing = true;
        m_since.restart();
        arm();
        if (m_socket->bytesToWrite() == 0)
            m_socket->disconnectFromHost();
        else
            m_socket->flush();
    }

    QTcpSocket *m_socket;
    HttpLimits m_limits;
    RequestGate m_gate;
    QSet<ConnectionGuard *> &m_registry;
    QElapsedTimer m_since;
    QTimer m_timer;
    bool m_closing = false;
};

class GuardedTcpServer : public QTcpServer {
public:
    using QTcpServer::QTcpServer;

    HttpLimits limits;

    int connectionCount() const { return int(m_guards.size()); }

    ~GuardedTcpServer() override
    {
        // The sockets (children) go first; their guards leave the registry.
        const auto sockets = findChildren<QTcpSocket *>(Qt::FindDirectChildrenOnly);
        qDeleteAll(sockets);
    }

protected:
    void incomingConnection(qintptr descriptor) override
    {
        auto *socket = new QTcpSocket(this);
        if (!socket->setSocketDescriptor(descriptor)) {
            delete socket;
            return;
        }
        while (int(m_guards.size()) >= std::max(1, limits.maxConnections))
            evictOne();
        // Backstop under the request gate: the socket never buffers more
        // than one request of the largest size allowed.
        socket->setReadBufferSize(qint64(limits.maxHeadBytes) + limits.maxBodyBytes + 4096);
        new ConnectionGuard(socket, limits, m_guards);
        addPendingConnection(socket);
    }

private:
    // Makes room: a connection already closing goes first, then the one that
    // has waited longest for its client.
    void evictOne()
    {
        ConnectionGuard *victim = nullptr;
        for (ConnectionGuard *guard : std::as_const(m_guards)) {
            if (!victim || (guard->closing() && !victim->closing())
                || (guard->closing() == victim->closing() && guard->waitingMs() > victim->waitingMs()))
                victim = guard;
        }
        if (!victim)
            return;
        m_guards.remove(victim); // even if aborting leaves the socket around until later
        victim->cut();
    }

    QSet<ConnectionGuard *> m_guards;
};

// ---- the server ------------------------------------------------------------

namespace {

using Method = QHttpServerRequest::Method;
using Status = QHttpServerResponder::StatusCode;

QHttpServerResponse plain(const QByteArray &text, Status status)
{
    QHttpServerResponse response(QByteArrayLiteral("text/plain; charset=utf-8"), text, status);
    response.addHeader(QByteArrayLiteral("Cache-Control"), QByteArrayLiteral("no-store"));
    return response;
}

QHttpServerResponse methodNotAllowed(const QHttpServerRequest &request)
{
    QHttpServerResponse response = plain(request.method() == Method::Head ? QByteArray() : QByteArrayLiteral("Method Not Allowed\n"),
                                         Status::MethodNotAllowed);
    response.addHeader(QByteArrayLiteral("Allow"), QByteArrayLiteral("GET"));
    return response;
}

QHttpServerResponse document(const QByteArray &type, QByteArray &&body)
{
    QHttpServerResponse response(type, std::move(body));
    response.addHeader(QByteArrayLiteral("Cache-Control"), QByteArrayLiteral("no-store"));
    response.addHeader(QByteArrayLiteral("X-Content-Type-Options"), QByteArrayLiteral("nosniff"));
    return response;
}

} // namespace

HttpServer::HttpServer(const StatusSource &status, const PrometheusExposition &metrics, QObject *parent)
    : QObject(parent)
    , m_status(status)
    , m_metrics(metrics)
    , m_http(std::make_unique<QHttpServer>())
{
    addRoutes();
}

HttpServer::~HttpServer() = default;

void HttpServer::setLimits(const HttpLimits &limits)
{
    if (m_tcp)
        m_tcp->limits = limits;
    else
        m_pendingLimits = limits;
}

HttpLimits HttpServer::limits() const
{
    return m_tcp ? m_tcp->limits : m_pendingLimits;
}

bool HttpServer::listen(const ListenAddress &address, QString *error)
{
    auto tcp = std::make_unique<GuardedTcpServer>();
    tcp->limits = limits();
    if (!tcp->listen(address.address, address.port)) {
        if (error)
            *error = QStringLiteral("cannot listen on %1: %2").arg(address.toString(), tcp->errorString());
        return false;
    }
    m_tcp = tcp.release();
    m_http->bind(m_tcp); // takes it as a child
    return true;
}

bool HttpServer::isListening() const
{
    return m_tcp && m_tcp->isListening();
}

quint16 HttpServer::serverPort() const
{
    return m_tcp ? m_tcp->serverPort() : 0;
}

QHostAddress HttpServer::serverAddress() const
{
    return m_tcp ? m_tcp->serverAddress() : QHostAddress();
}

int HttpServer::connectionCount() const
{
    return m_tcp ? m_tcp->connectionCount() : 0;
}

void HttpServer::addRoutes()
{
    // Every route answers GET only; the check is in the handler so that
    // other methods get 405 rather than the 404 of an unknown path.
    m_http->route(QStringLiteral("/metrics"), [this](const QHttpServerRequest &request) {
        if (request.method() != Method::Get)
            return methodNotAllowed(request);
        return document(PrometheusExposition::contentType(), m_metrics.render());
    });
    m_http->route(QStringLiteral("/healthz"), [this](const QHttpServerRequest &request) {
        if (request.method() != Method::Get)
            return methodNotAllowed(request);
        return m_status.pollingProgresses() ? plain(QByteArrayLiteral("ok\n"), Status::Ok)
                                            : plain(QByteArrayLiteral("polling makes no progress\n"), Status::ServiceUnavailable);
    });
    m_http->route(QStringLiteral("/api/meters"), [this](const QHttpServerRequest &request) {
        if (request.method() != Method::Get)
            return methodNotAllowed(request);
        return document(QByteArrayLiteral("application/json"),
                        RenderMetersJson(m_status.meters(), m_status.pollingProgresses()));
    });
    m_http->route(QStringLiteral("/"), [this](const QHttpServerRequest &request) {
        if (request.method() != Method::Get)
            return methodNotAllowed(request);
        QHttpServerResponse response = document(QByteArrayLiteral("text/html; charset=utf-8"),
                                                RenderStatusPage(m_status.meters(), m_status.pollingProgresses()));
        // Self-contained: no scripts, no outside resources.
        response.addHeader(QByteArrayLiteral("Content-Security-Policy"),
                           QByteArrayLiteral("default-src 'none'; style-src 'unsafe-inline'"));
        return response;
    });
    m_http->setMissingHandler([](const QHttpServerRequest &request, QHttpServerResponder &&responder) {
        plain(request.method() == Method::Head ? QByteArray() : QByteArrayLiteral("Not Found\n"), Status::NotFound)
            .write(std::move(responder));
    });
}

} // namespace kv::service
