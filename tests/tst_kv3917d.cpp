// kv3917d as a process: its options, stopping on SIGTERM, the systemd notify
// protocol on a socket the test binds, and the unit file.

#include "tests/support/cliprocess.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>

#include "tests/support/httpclient.h"
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

constexpr int RunWaitMs = 20000;
// The watchdog time handed to the service: it feeds at half of it.
constexpr int WatchdogUs = 1000000;

// A Unix datagram socket standing in for systemd's notify socket.
class NotifySocket {
public:
    explicit NotifySocket(const QString &path) : m_path(path)
    {
        m_fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        const QByteArray p = QFile::encodeName(path);
        if (m_fd >= 0 && size_t(p.size()) < sizeof(addr.sun_path)) {
            std::memcpy(addr.sun_path, p.constData(), size_t(p.size()));
            m_bound = ::bind(m_fd, reinterpret_cast<sockaddr *>(&addr), sizeof(addr)) == 0;
        }
    }
    ~NotifySocket()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool isBound() const { return m_bound; }
    // Every message received so far, one string per datagram.
    QStringList receive()
    {
        char buffer[4096];
        for (int i = 0; i < 1000; ++i) {
            const ssize_t n = ::recv(m_fd, buffer, sizeof(buffer), 0);
            if (n <= 0)
                break;
            m_messages << QString::fromUtf8(buffer, int(n));
        }
        return m_messages;
    }
    bool has(const QString &line)
    {
        for (const QString &m : receive())
            if (m.split(QLatin1Char('\n')).contains(line))
                return true;
        return false;
    }

private:
    QString m_path;
    int m_fd = -1;
    bool m_bound = false;
    QStringList m_messages;
};

QProcessEnvironment ServiceEnvironment(const QString &lockDir)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("KV3917_LOCK_DIR"), lockDir);
    env.remove(QStringLiteral("NOTIFY_SOCKET"));
    env.remove(QStringLiteral("JOURNAL_STREAM"));
    return env;
}

} // namespace

class TestKv3917d : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void commandLine_data();
    void commandLine();
    void stopsCleanlyOnSignal_data();
    void stopsCleanlyOnSignal();
    void notifiesReadyAndFeedsTheWatchdog();
    void journalPrefixesOnlyOnTheJournalStream();
    void unitFileVerifies();
    void feedsEveryOutput();

private:
    QTemporaryDir m_dir;
    QStringList m_base; // no config file, state in the temporary folder
};

void TestKv3917d::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_base = {QStringLiteral("--config"), QStringLiteral(KV_TEST_EMPTY_CONFIG), QStringLiteral("--state-dir"),
              m_dir.filePath(QStringLiteral("state")), QStringLiteral("--no-usb"),
              QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0")};
}

void TestKv3917d::commandLine_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");
    QTest::newRow("help") << QStringList{"--help"} << 0 << "Usage: kv3917d" << "";
    QTest::newRow("version") << QStringList{"--version"} << 0 << "kv3917d " KV_VERSION << "";
    QTest::newRow("unknown option") << QStringList{"--bogus"} << 64 << "" << "unknown option '--bogus'";
    QTest::newRow("value missing") << QStringList{"--port"} << 64 << "" << "--port needs a value";
    QTest::newRow("bad period") << QStringList{"--period", "0,5"} << 64 << "" << "period needs seconds";
    QTest::newRow("too many demo meters") << QStringList{"--demo", "1000"} << 64 << "" << "demo needs";
    QTest::newRow("flag with a value") << QStringList{"--no-usb=yes"} << 64 << "" << "takes no value";
    QTest::newRow("named config missing") << QStringList{"--config", "/nonexistent/kv3917d.conf"} << 78 << ""
                                          << "no such file";
}

void TestKv3917d::commandLine()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, out);
    QFETCH(QString, err);
    const kvtest::ProcessRun run = kvtest::RunProcess(QStringLiteral(KV_DAEMON_PATH), args, RunWaitMs);
    QVERIFY(run.finished);
    QCOMPARE(run.exitStatus, QProcess::NormalExit);
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY2(QString::fromUtf8(run.out).contains(out), run.out.constData());
    QVERIFY2(QString::fromUtf8(run.err).contains(err), run.err.constData());
}

void TestKv3917d::stopsCleanlyOnSignal_data()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
}

void TestKv3917d::stopsCleanlyOnSignal()
{
    QFETCH(int, signal);
    QProcess service;
    service.setProcessEnvironment(ServiceEnvironment(m_dir.path()));
    service.start(QStringLiteral(KV_DAEMON_PATH), m_base + QStringList{QStringLiteral("--demo"), QStringLiteral("3")});
    QVERIFY(service.waitForStarted(RunWaitMs));
    QByteArray err;
    QTRY_VERIFY_WITH_TIMEOUT((err += service.readAllStandardError()).count("up on demo:") == 3, RunWaitMs);

    QElapsedTimer clock;
    clock.start();
    ::kill(pid_t(service.processId()), signal);
    QVERIFY(service.waitForFinished(RunWaitMs));
    const qint64 stopMs = clock.elapsed();
    qInfo("stopped %lld ms after the signal", stopMs);
    QCOMPARE(service.exitStatus(), QProcess::NormalExit);
    QCOMPARE(service.exitCode(), 0);
    err += service.readAllStandardError();
    QVERIFY2(err.contains("stopping (signal"), err.constData());
}

void TestKv3917d::notifiesReadyAndFeedsTheWatchdog()
{
    const QString socketPath = m_dir.filePath(QStringLiteral("notify"));
    NotifySocket socket(socketPath);
    QVERIFY(socket.isBound());

    QProcess service;
    QProcessEnvironment env = ServiceEnvironment(m_dir.path());
    env.insert(QStringLiteral("NOTIFY_SOCKET"), socketPath);
    env.insert(QStringLiteral("WATCHDOG_USEC"), QString::number(WatchdogUs));
    service.setProcessEnvironment(env);
    // WATCHDOG_PID must name the service: it is set by a shell that then
    // becomes the service.
    const QStringList shell{QStringLiteral("-c"), QStringLiteral("WATCHDOG_PID=$$ exec \"$0\" \"$@\""),
                            QStringLiteral(KV_DAEMON_PATH)};
    service.start(QStringLiteral("/bin/sh"), shell + m_base + QStringList{QStringLiteral("--demo"), QStringLiteral("2")});
    QVERIFY(service.waitForStarted(RunWaitMs));

    QTRY_VERIFY_WITH_TIMEOUT(socket.has(QStringLiteral("READY=1")), RunWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(socket.has(QStringLiteral("WATCHDOG=1")), RunWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(socket.has(QStringLiteral("STATUS=2 of 2 meters up")), RunWaitMs);
    // Fed again and again, not once.
    QTRY_VERIFY_WITH_TIMEOUT(socket.receive().filter(QStringLiteral("WATCHDOG=1")).size() >= 3, RunWaitMs);

    ::kill(pid_t(service.processId()), SIGTERM);
    QVERIFY(service.waitForFinished(RunWaitMs));
    QCOMPARE(service.exitCode(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(socket.has(QStringLiteral("STOPPING=1")), RunWaitMs);
}

void TestKv3917d::journalPrefixesOnlyOnTheJournalStream()
{
    // JOURNAL_STREAM naming another stream than our stderr: no prefixes.
    QProcess service;
    QProcessEnvironment env = ServiceEnvironment(m_dir.path());
    env.insert(QStringLiteral("JOURNAL_STREAM"), QStringLiteral("1:1"));
    service.setProcessEnvironment(env);
    service.start(QStringLiteral(KV_DAEMON_PATH), m_base + QStringList{QStringLiteral("--demo"), QStringLiteral("1")});
    QVERIFY(service.waitForStarted(RunWaitMs));
    QByteArray err;
    QTRY_VERIFY_WITH_TIMEOUT((err += service.readAllStandardError()).contains("up on demo:1"), RunWaitMs);
    ::kill(pid_t(service.processId()), SIGTERM);
    QVERIFY(service.waitForFinished(RunWaitMs));
    QVERIFY2(err.startsWith("kv3917d: "), err.constData());
    QVERIFY(!err.contains("<6>"));
}

void TestKv3917d::unitFileVerifies()
{
    const QString analyze = QStandardPaths::findExecutable(QStringLiteral("systemd-analyze"));
    if (analyze.isEmpty())
        QSKIP("systemd-analyze is not installed");
    QFile unit(QStringLiteral(KV_UNIT_PATH));
    QVERIFY(unit.open(QIODevice::ReadOnly));
    QByteArray text = unit.readAll();
    // The unit names the installed program; here the built one stands in.
    const int start = text.indexOf("ExecStart=");
    QVERIFY(start >= 0);
    const int end = text.indexOf('\n', start);
    text.replace(start, end - start, QByteArray("ExecStart=").append(KV_DAEMON_PATH));
    for (const char *key : {"Type=notify", "WatchdogSec=", "Restart=on-failure", "DynamicUser=yes",
                            "SupplementaryGroups=dialout", "StateDirectory=", "ProtectSystem=strict", "ProtectHome=",
                            "PrivateTmp=yes", "NoNewPrivileges=yes", "DevicePolicy=", "DeviceAllow=char-hidraw"})
        QVERIFY2(text.contains(key), key);
    const QString copy = m_dir.filePath(QStringLiteral("kv3917d.service"));
    QFile out(copy);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(text);
    out.close();

    QProcess verify;
    verify.setProcessChannelMode(QProcess::MergedChannels);
    verify.start(analyze, {QStringLiteral("verify"), copy});
    QVERIFY(verify.waitForFinished(RunWaitMs));
    const QByteArray output = verify.readAll();
    QCOMPARE(verify.exitCode(), 0);
    // Any warning fails.
    QVERIFY2(output.trimmed().isEmpty(), output.constData());
}

QTEST_GUILESS_MAIN(TestKv3917d)
#include "tst_kv3917d.moc"

// The service as started by a user: the simulated meters' readings at
// /metrics, /api/meters and /, in the line-protocol file, and their logger
// memories imported into the archive.
void TestKv3917d::feedsEveryOutput()
{
    const QString state = m_dir.filePath(QStringLiteral("outputs"));
    const QString lines = m_dir.filePath(QStringLiteral("outputs.lp"));
    QProcess service;
    service.setProcessEnvironment(ServiceEnvironment(m_dir.path()));
    service.start(QStringLiteral(KV_DAEMON_PATH),
                  QStringList{QStringLiteral("--config"), QStringLiteral(KV_TEST_EMPTY_CONFIG), QStringLiteral("--no-usb"),
                              QStringLiteral("--state-dir"), state, QStringLiteral("--listen"),
                              QStringLiteral("127.0.0.1:0"), QStringLiteral("--lines-file"), lines,
                              QStringLiteral("--demo"), QStringLiteral("2")});
    QVERIFY(service.waitForStarted(RunWaitMs));
    QByteArray err;
    QTRY_VERIFY_WITH_TIMEOUT((err += service.readAllStandardError()).count("imported") == 2, RunWaitMs);
    const QRegularExpressionMatch serving =
        QRegularExpression(QStringLiteral("serving http://127\\.0\\.0\\.1:(\\d+)/")).match(QString::fromUtf8(err));
    QVERIFY2(serving.hasMatch(), err.constData());
    const quint16 port = quint16(serving.captured(1).toUInt());

    kvtest::RawHttpClient client;
    QVERIFY(client.connectTo(port));
    std::optional<kvtest::HttpResponse> metrics;
    QTRY_VERIFY_WITH_TIMEOUT((metrics = client.get("/metrics"))
                                 && metrics->body.contains("kv3917_up{meter=\"KV3917-DEMO-0001\"} 1")
                                 && metrics->body.contains("kv3917_up{meter=\"KV3917-DEMO-0002\"} 1")
                                 && metrics->body.contains("kv3917_temperature_celsius{meter=\"KV3917-DEMO-0002\",channel=\"t1\"}"),
                             RunWaitMs);
    QVERIFY(metrics->body.contains("kv3917_polls_total"));
    QVERIFY2(metrics->body.contains("target="), "the line-protocol output's counters join /metrics");
    const std::optional<kvtest::HttpResponse> page = client.get("/");
    QVERIFY(page && page->status == 200);
    QVERIFY(page->body.contains("KV3917-DEMO-0001") && page->body.contains("KV3917-DEMO-0002"));

    QTRY_VERIFY_WITH_TIMEOUT(QFile(lines).size() > 0, RunWaitMs);
    for (const char *meter : {"KV3917-DEMO-0001", "KV3917-DEMO-0002"}) {
        const QDir archive(state + QStringLiteral("/archive/") + QLatin1String(meter));
        QVERIFY2(archive.exists(), meter);
        const QStringList runs = archive.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        QCOMPARE(runs.size(), 1);
        QVERIFY(QFile::exists(archive.filePath(runs.first() + QStringLiteral("/logger.REC"))));
    }

    ::kill(pid_t(service.processId()), SIGTERM);
    QVERIFY(service.waitForFinished(RunWaitMs));
    QCOMPARE(service.exitCode(), 0);
    QFile file(lines);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray written = file.readAll();
    QVERIFY(written.startsWith("kv3917,meter=KV3917-DEMO-000"));
    QVERIFY(written.contains("meter=KV3917-DEMO-0001") && written.contains("meter=KV3917-DEMO-0002"));
}
