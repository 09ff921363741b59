#pragma once
// A raw HTTP/1.1 client for the service's server in the same thread: sends
// bytes as given (also broken or oversized requests) and waits for answers
// while the event loop runs, within a bounded time.

#include <QByteArray>
#include <QHostAddress>
#include <QMap>
#include <QTcpSocket>
#include <QTest>

#include <optional>

namespace kvtest {

struct HttpResponse {
    int status = 0;
    QMap<QByteArray, QByteArray> headers; // names in lower case
    QByteArray body;
};

class RawHttpClient {
public:
    static constexpr int WaitMs = 30000; // generous for a loaded machine under ASan

    RawHttpClient()
    {
        QObject::connect(&m_socket, &QTcpSocket::readyRead, [this] { m_received += m_socket.readAll(); });
    }

    bool connectTo(quint16 port)
    {
        m_socket.connectToHost(QHostAddress::LocalHost, port);
        return QTest::qWaitFor([this] { return m_socket.state() == QAbstractSocket::ConnectedState; }, WaitMs);
    }

    void send(const QByteArray &bytes)
    {
        m_socket.write(bytes);
        m_socket.flush();
    }

    // The next complete response (head and Content-Length body), if one
    // arrives in time.
    std::optional<HttpResponse> response(int timeoutMs = WaitMs)
    {
        std::optional<HttpResponse> parsed;
        if (!QTest::qWaitFor([&] { return (parsed = take()).has_value() || closed(); }, timeoutMs))
            return std::nullopt;
        return parsed ? parsed : take();
    }

    std::optional<HttpResponse> get(const QByteArray &path)
    {
        send("GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
        return response();
    }

    bool closed() const { return m_socket.state() == QAbstractSocket::UnconnectedState; }
    bool waitClosed(int timeoutMs = WaitMs)
    {
        return QTest::qWaitFor([this] { return closed(); }, timeoutMs);
    }
    QByteArray pending() const { return m_received; }
    QTcpSocket &socket() { return m_socket; }

private:
    std::optional<HttpResponse> take()
    {
        const qsizetype end = m_received.indexOf("\r\n\r\n");
        if (end < 0)
            return std::nullopt;
        HttpResponse response;
        const QList<QByteArray> lines = m_received.left(end).split('\n');
        const QList<QByteArray> statusLine = lines.value(0).trimmed().split(' ');
        response.status = statusLine.value(1).toInt();
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const qsizetype colon = lines.at(i).indexOf(':');
            if (colon > 0)
                response.headers.insert(lines.at(i).left(colon).trimmed().toLower(), lines.at(i).mid(colon + 1).trimmed());
        }
        const qsizetype length = response.headers.value("content-length", "0").toLongLong();
        if (m_received.size() < end + 4 + length)
            return std::nullopt;
        response.body = m_received.mid(end + 4, length);
        m_received.remove(0, end + 4 + length);
        return response;
    }

    QTcpSocket m_socket;
    QByteArray m_received;
};

} // namespace kvtest
