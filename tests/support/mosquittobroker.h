#pragma once
// A private mosquitto broker for a test: a generated configuration in a
// temporary folder, a free loopback port, anonymous or with a password file
// (made with mosquitto_passwd).  stop() and start() again keep the port, so a
// test can take the broker away and bring it back.

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>

#include <pwd.h>
#include <unistd.h>

namespace kvtest {

constexpr int BrokerStartTimeoutMs = 15000;

class MosquittoBroker {
public:
    ~MosquittoBroker() { stop(); }

    static QString program()
    {
        QString path = QStandardPaths::findExecutable(QStringLiteral("mosquitto"));
        if (path.isEmpty())
            path = QStandardPaths::findExecutable(QStringLiteral("mosquitto"), {QStringLiteral("/usr/sbin"),
                                                                                QStringLiteral("/usr/local/sbin")});
        return path;
    }

    // Makes the listener TLS-only with this certificate and key (before start()).
    void setTls(const QString &certFile, const QString &keyFile)
    {
        m_certFile = certFile;
        m_keyFile = keyFile;
    }

    // With a user, the broker refuses anonymous clients and wrong passwords.
    bool start(const QString &user = QString(), const QString &password = QString())
    {
        if (!m_dir.isValid() || program().isEmpty())
            return false;
        if (m_port == 0)
            m_port = freePort();
        QString config = QStringLiteral("listener %1 127.0.0.1\npersistence false\nlog_dest stderr\n"
                                        "log_type error\nlog_type warning\nlog_type notice\nlog_type information\n"
                                        "max_queued_messages 0\n"
                                        // Started as root, it would read its files as user mosquitto.
                                        "user %2\n")
                             .arg(m_port)
                             .arg(QString::fromLocal8Bit(getpwuid(getuid()) ? getpwuid(getuid())->pw_name : "root"));
        if (!m_certFile.isEmpty())
            config += QStringLiteral("certfile %1\nkeyfile %2\n").arg(m_certFile, m_keyFile);
        if (!user.isEmpty()) {
            const QString passwords = m_dir.filePath(QStringLiteral("passwords"));
            if (QProcess::execute(QStringLiteral("mosquitto_passwd"),
                                  {QStringLiteral("-c"), QStringLiteral("-b"), passwords, user, password}) != 0)
                return false;
            config += QStringLiteral("allow_anonymous false\npassword_file %1\n").arg(passwords);
        } else {
            config += QStringLiteral("allow_anonymous true\n");
        }
        const QString configPath = m_dir.filePath(QStringLiteral("mosquitto.conf"));
        QFile file(configPath);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(config.toUtf8()) < 0)
            return false;
        file.close();
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start(program(), {QStringLiteral("-c"), configPath});
        if (!m_process.waitForStarted(BrokerStartTimeoutMs))
            return false;
        // Ready once it says it runs (after binding its listener).
        QByteArray output;
        const QDeadlineTimer deadline(BrokerStartTimeoutMs);
        while (!output.contains(" running") && !deadline.hasExpired()) {
            if (m_process.state() != QProcess::Running)
                break;
            if (m_process.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime()))))
                output += m_process.readAll();
        }
        m_log += output;
        return output.contains(" running");
    }

    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(BrokerStartTimeoutMs)) {
            m_process.kill();
            m_process.waitForFinished(BrokerStartTimeoutMs);
        }
        m_log += m_process.readAll();
    }

    int port() const { return m_port; }
    QString url() const
    {
        return QStringLiteral("%1://127.0.0.1:%2").arg(m_certFile.isEmpty() ? "mqtt" : "mqtts").arg(m_port);
    }
    QByteArray log() { return m_log + m_process.readAll(); }
    QString folder() const { return m_dir.path(); }

private:
    static int freePort()
    {
        QTcpServer server;
        if (!server.listen(QHostAddress::LocalHost, 0))
            return 0;
        return server.serverPort();
    }

    QTemporaryDir m_dir;
    QProcess m_process;
    int m_port = 0;
    QByteArray m_log;
    QString m_certFile;
    QString m_keyFile;
};

} // namespace kvtest
