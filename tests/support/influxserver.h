#pragma once
// A private InfluxDB 1.x server for tests and benchmarks: influxd on random
// loopback ports with its meta, data and WAL folders in a folder of its own,
// reporting off; stopped (and started again on the same ports and data) at
// will.  Waits are bounded.

#include <QByteArray>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTimer>
#include <QUrl>
#include <QUrlQuery>
#include <QVariantMap>

namespace kvtest {

constexpr int InfluxStartLimitMs = 60000;
constexpr int InfluxStopLimitMs = 30000;
constexpr int InfluxRequestLimitMs = 30000;
constexpr int InfluxPingPauseMs = 100;

inline QString InfluxdPath() { return QStandardPaths::findExecutable(QStringLiteral("influxd")); }

// A port nobody listens on right now.
inline quint16 FreeLoopbackPort()
{
    QTcpServer server;
    return server.listen(QHostAddress::LocalHost, 0) ? server.serverPort() : 0;
}

struct HttpAnswer {
    int status = 0;        // 0: no answer
    QByteArray body;
};

// One request, waited for on a nested event loop at most limitMs.
inline HttpAnswer HttpRequest(QNetworkAccessManager &network, const QByteArray &verb, const QUrl &url,
                              const QByteArray &body = {}, int limitMs = InfluxRequestLimitMs)
{
    QNetworkRequest request(url);
    request.setTransferTimeout(limitMs);
    if (!body.isEmpty())
        request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("text/plain"));
    QNetworkReply *reply = network.sendCustomRequest(request, verb, body);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(limitMs + 1000, &loop, &QEventLoop::quit);
    if (!reply->isFinished())
        loop.exec();
    HttpAnswer answer;
    if (reply->isFinished()) {
        answer.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        answer.body = reply->readAll();
    } else {
        reply->abort();
    }
    reply->deleteLater();
    return answer;
}

class InfluxServer {
public:
    explicit InfluxServer(const QString &folder) : m_folder(folder) {}
    ~InfluxServer() { stop(); }

    QUrl url() const { return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(m_httpPort)); }
    quint16 port() const { return m_httpPort; }
    QString log() const { return m_log; }

    bool start(QString *error)
    {
        if (InfluxdPath().isEmpty()) {
            *error = QStringLiteral("influxd is not installed");
            return false;
        }
        if (!m_httpPort) {
            m_httpPort = FreeLoopbackPort();
            m_rpcPort = FreeLoopbackPort();
            while (m_rpcPort == m_httpPort)
                m_rpcPort = FreeLoopbackPort();
            if (!writeConfig(error))
                return false;
        }
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.setWorkingDirectory(m_folder);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), m_folder);
        m_process.setProcessEnvironment(env);
        m_process.start(InfluxdPath(), {QStringLiteral("run"), QStringLiteral("-config"), configPath()});
        if (!m_process.waitForStarted(InfluxStartLimitMs)) {
            *error = QStringLiteral("influxd did not start: %1").arg(m_process.errorString());
            return false;
        }
        const QDeadlineTimer deadline(InfluxStartLimitMs);
        QUrl ping = url();
        ping.setPath(QStringLiteral("/ping"));
        while (!deadline.hasExpired()) {
            if (m_process.state() != QProcess::Running) {
                m_log += QString::fromUtf8(m_process.readAll());
                *error = QStringLiteral("influxd ended: %1").arg(m_log.right(2000));
                return false;
            }
            if (HttpRequest(m_network, "GET", ping, {}, 2000).status == 204)
                return true;
            QEventLoop pause;
            QTimer::singleShot(InfluxPingPauseMs, &pause, &QEventLoop::quit);
            pause.exec();
        }
        *error = QStringLiteral("influxd did not answer within %1 ms").arg(InfluxStartLimitMs);
        return false;
    }

    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(InfluxStopLimitMs)) {
            m_process.kill();
            m_process.waitForFinished(InfluxStopLimitMs);
        }
        m_log += QString::fromUtf8(m_process.readAll());
    }

    bool isRunning() const { return m_process.state() == QProcess::Running; }

    // An InfluxQL statement; the JSON answer, or an empty object.
    QJsonObject query(const QString &statement, const QString &database = {})
    {
        QUrl u = url();
        u.setPath(QStringLiteral("/query"));
        QUrlQuery q;
        if (!database.isEmpty())
            q.addQueryItem(QStringLiteral("db"), database);
        q.addQueryItem(QStringLiteral("epoch"), QStringLiteral("ms"));
        q.addQueryItem(QStringLiteral("q"), statement);
        u.setQuery(q);
        const HttpAnswer answer = HttpRequest(m_network, "POST", u);
        if (answer.status != 200)
            return {};
        return QJsonDocument::fromJson(answer.body).object();
    }

    bool createDatabase(const QString &name)
    {
        const QJsonObject answer = query(QStringLiteral("CREATE DATABASE \"%1\"").arg(name));
        return answer.contains(QStringLiteral("results"));
    }

    // Every row of the statement's first result as column -> value.
    QList<QVariantMap> rows(const QString &statement, const QString &database)
    {
        QList<QVariantMap> list;
        const QJsonArray results = query(statement, database).value(QStringLiteral("results")).toArray();
        if (results.isEmpty())
            return list;
        for (const QJsonValue &series : results.at(0).toObject().value(QStringLiteral("series")).toArray()) {
            const QJsonObject s = series.toObject();
            const QJsonArray columns = s.value(QStringLiteral("columns")).toArray();
            const QJsonObject tags = s.value(QStringLiteral("tags")).toObject();
            for (const QJsonValue &v : s.value(QStringLiteral("values")).toArray()) {
                const QJsonArray values = v.toArray();
                QVariantMap row = tags.toVariantMap();
                for (int c = 0; c < columns.size() && c < values.size(); ++c)
                    row.insert(columns.at(c).toString(), values.at(c).toVariant());
                list << row;
            }
        }
        return list;
    }

private:
    QString configPath() const { return QDir(m_folder).filePath(QStringLiteral("influxdb.conf")); }

    bool writeConfig(QString *error)
    {
        const QDir dir(m_folder);
        const QString text = QStringLiteral(
                                 "reporting-disabled = true\n"
                                 "bind-address = \"127.0.0.1:%1\"\n"
                                 "[meta]\n  dir = \"%3\"\n  logging-enabled = false\n"
                                 "[data]\n  dir = \"%4\"\n  wal-dir = \"%5\"\n  query-log-enabled = false\n"
                                 "[retention]\n  enabled = false\n"
                                 "[shard-precreation]\n  enabled = false\n"
                                 "[monitor]\n  store-enabled = false\n"
                                 "[http]\n  enabled = true\n  bind-address = \"127.0.0.1:%2\"\n"
                                 "  log-enabled = false\n  pprof-enabled = false\n  unix-socket-enabled = false\n"
                                 "[subscriber]\n  enabled = false\n"
                                 "[continuous_queries]\n  enabled = false\n"
                                 "[logging]\n  level = \"warn\"\n")
                                 .arg(m_rpcPort)
                                 .arg(m_httpPort)
                                 .arg(dir.filePath(QStringLiteral("meta")), dir.filePath(QStringLiteral("data")),
                                      dir.filePath(QStringLiteral("wal")));
        QFile file(configPath());
        if (!file.open(QIODevice::WriteOnly) || file.write(text.toUtf8()) < 0) {
            *error = QStringLiteral("cannot write %1").arg(configPath());
            return false;
        }
        return true;
    }

    QString m_folder;
    quint16 m_httpPort = 0;
    quint16 m_rpcPort = 0;
    QProcess m_process;
    QNetworkAccessManager m_network;
    QString m_log;
};

} // namespace kvtest
