// A real Prometheus server (started here on a free loopback port, with a
// scrape configuration and a data folder of its own) scrapes the service's
// /metrics; its query API must then give back every meter's temperatures as
// the fake meters hold them, labels included.  Then the built kv3917d,
// polling simulated meters on pseudo-terminals, is scraped the same way.

#include "service/httpserver.h"
#include "service/prometheus.h"
#include "support/fakestatus.h"
#include "support/ptymeter.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QUrlQuery>
#include <QtTest>

#include <csignal>
#include <memory>

using namespace kv::service;
using namespace kvtest;

namespace {

// Generous: Prometheus starting and scraping on a loaded 2-core machine.
constexpr int StartMs = 90000;
constexpr int ScrapedMs = 120000;
constexpr int RequestMs = 30000;
constexpr int ServiceMs = 60000;

const QString Hostile = QStringLiteral("KV\"odd\\name\nwith ä");

quint16 FreeLoopbackPort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost) ? probe.serverPort() : 0;
}

} // namespace

class TestPrometheusScrape : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void temperaturesOfEveryMeter();
    void meterStatesAndHumidity();
    void scrapesTheServiceProcess();

private:
    // The API's result vector for an instant query; empty on any failure.
    QJsonArray query(const QString &expression);
    QByteArray httpGet(const QUrl &url, int *status = nullptr);

    FakeStatus m_status;
    std::unique_ptr<PrometheusExposition> m_metrics;
    std::unique_ptr<HttpServer> m_server;
    QTemporaryDir m_dir;
    QString m_config;
    QByteArray m_scrapeConfig;
    QProcess m_prometheus;
    quint16 m_prometheusPort = 0;
    QNetworkAccessManager m_network;
};

void TestPrometheusScrape::initTestCase()
{
    const QString program = QStandardPaths::findExecutable(QStringLiteral("prometheus"));
    if (program.isEmpty())
        QSKIP("prometheus is not installed (scripts/install-deps --test installs it)");
    QVERIFY(m_dir.isValid());

    for (int i = 0; i < 4; ++i)
        m_status.list << NumberedMeter(i);
    m_status.list << Meter(Hostile, "demo:8", MeterState::Up, Reading(61.5, -12.25, 250.75, -14, -18.5));
    MeterReading overT2 = Reading(30, 18.5, 0, 10, 1);
    OutOfRange(overT2, ChannelId::T2);
    m_status.list << Meter("KV2000", "/dev/ttyUSB2", MeterState::Up, overT2);
    m_status.list << Meter("KV3000", "/dev/ttyUSB3", MeterState::Down, Reading(40, 99, 99, 99, 99));

    m_metrics = std::make_unique<PrometheusExposition>(m_status);
    m_server = std::make_unique<HttpServer>(m_status, *m_metrics);
    ListenAddress address;
    address.port = 0;
    QString error;
    QVERIFY2(m_server->listen(address, &error), qPrintable(error));

    m_config = m_dir.filePath(QStringLiteral("prometheus.yml"));
    QFile config(m_config);
    QVERIFY(config.open(QIODevice::WriteOnly));
    m_scrapeConfig = "global:\n  scrape_interval: 1s\n  scrape_timeout: 1s\n"
                     "scrape_configs:\n  - job_name: kv3917d\n    static_configs:\n      - targets: ['127.0.0.1:"
                     + QByteArray::number(m_server->serverPort()) + "']\n";
    config.write(m_scrapeConfig);
    config.close();

    // The free port can be taken between probing and Prometheus binding it:
    // a start that ends at once is tried again on another port.
    for (int attempt = 0; attempt < 3; ++attempt) {
        m_prometheusPort = FreeLoopbackPort();
        QVERIFY(m_prometheusPort);
        m_prometheus.setProcessChannelMode(QProcess::MergedChannels);
        m_prometheus.start(program, {QStringLiteral("--config.file=") + config.fileName(),
                                     QStringLiteral("--storage.tsdb.path=") + m_dir.filePath(QStringLiteral("data")),
                                     QStringLiteral("--web.listen-address=127.0.0.1:%1").arg(m_prometheusPort),
                                     QStringLiteral("--log.level=warn")});
        QVERIFY2(m_prometheus.waitForStarted(StartMs), qPrintable(m_prometheus.errorString()));
        int status = 0;
        const bool ready = QTest::qWaitFor(
            [&] {
                if (m_prometheus.state() != QProcess::Running)
                    return true;
                httpGet(QUrl(QStringLiteral("http://127.0.0.1:%1/-/ready").arg(m_prometheusPort)), &status);
                return status == 200;
            },
            StartMs);
        if (ready && status == 200)
            return;
        if (m_prometheus.state() == QProcess::Running)
            QFAIL("Prometheus did not get ready in time");
        m_prometheus.waitForFinished();
        qWarning("Prometheus ended at start: %s", m_prometheus.readAll().constData());
    }
    QFAIL("Prometheus could not be started");
}

void TestPrometheusScrape::cleanupTestCase()
{
    if (m_prometheus.state() != QProcess::NotRunning) {
        m_prometheus.terminate();
        if (!m_prometheus.waitForFinished(30000)) {
            m_prometheus.kill();
            m_prometheus.waitForFinished();
        }
    }
    m_server.reset();
}

QByteArray TestPrometheusScrape::httpGet(const QUrl &url, int *status)
{
    QNetworkRequest request(url);
    request.setTransferTimeout(RequestMs);
    std::unique_ptr<QNetworkReply> reply(m_network.get(request));
    if (!QTest::qWaitFor([&] { return reply->isFinished(); }, RequestMs + 5000))
        return {};
    if (status)
        *status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    return reply->readAll();
}

QJsonArray TestPrometheusScrape::query(const QString &expression)
{
    QUrl url(QStringLiteral("http://127.0.0.1:%1/api/v1/query").arg(m_prometheusPort));
    QUrlQuery parameters;
    parameters.addQueryItem(QStringLiteral("query"), expression);
    url.setQuery(parameters);
    const QJsonObject answer = QJsonDocument::fromJson(httpGet(url)).object();
    if (answer.value("status").toString() != QLatin1String("success"))
        return {};
    return answer.value("data").toObject().value("result").toArray();
}

void TestPrometheusScrape::temperaturesOfEveryMeter()
{
    // Every (meter, channel) with a value in the fake meters, as Prometheus
    // must report it.
    QMap<QPair<QString, QString>, double> expected;
    for (const MeterStatus &meter : std::as_const(m_status.list)) {
        if (meter.state != MeterState::Up)
            continue;
        for (const ChannelInfo &channel : MeterChannels) {
            const auto &value = meter.last->values[std::size_t(channel.id)];
            if (channel.promChannel && value)
                expected.insert({meter.info.serial, QString::fromLatin1(channel.promChannel)}, *value);
        }
    }
    QCOMPARE(expected.size(), 5 * 4 + 3);

    QMap<QPair<QString, QString>, double> scraped;
    const bool complete = QTest::qWaitFor(
        [&] {
            scraped.clear();
            for (const QJsonValue &sample : query(QStringLiteral("kv3917_temperature_celsius"))) {
                const QJsonObject metric = sample.toObject().value("metric").toObject();
                scraped.insert({metric.value("meter").toString(), metric.value("channel").toString()},
                               sample.toObject().value("value").toArray().at(1).toString().toDouble());
            }
            return scraped.size() >= expected.size();
        },
        ScrapedMs);
    QVERIFY2(complete, qPrintable(QStringLiteral("%1 of %2 series scraped; target health: %3")
                                      .arg(scraped.size())
                                      .arg(expected.size())
                                      .arg(QString::fromUtf8(QJsonDocument(query(QStringLiteral("up"))).toJson()))));
    QCOMPARE(scraped.keys(), expected.keys());
    for (auto it = expected.cbegin(); it != expected.cend(); ++it)
        QVERIFY2(scraped.value(it.key()) == it.value(),
                 qPrintable(QStringLiteral("%1 %2: %3 instead of %4")
                                .arg(it.key().first, it.key().second)
                                .arg(scraped.value(it.key()))
                                .arg(it.value())));
}

void TestPrometheusScrape::meterStatesAndHumidity()
{
    QMap<QString, double> up;
    QVERIFY(QTest::qWaitFor(
        [&] {
            up.clear();
            for (const QJsonValue &sample : query(QStringLiteral("kv3917_up")))
                up.insert(sample.toObject().value("metric").toObject().value("meter").toString(),
                          sample.toObject().value("value").toArray().at(1).toString().toDouble());
            return up.size() == m_status.list.size();
        },
        ScrapedMs));
    QCOMPARE(up.value(QStringLiteral("KV3000"), -1), 0.0);
    QCOMPARE(up.value(Hostile, -1), 1.0);
    QCOMPARE(up.value(QStringLiteral("KV1002"), -1), 1.0);

    const QJsonArray humidity = query(QStringLiteral("kv3917_relative_humidity_ratio{meter=\"KV1003\"}"));
    QCOMPARE(humidity.size(), 1);
    QCOMPARE(humidity.at(0).toObject().value("value").toArray().at(1).toString().toDouble(), 0.43);

    const QJsonArray outOfRange = query(QStringLiteral("kv3917_out_of_range"));
    QCOMPARE(outOfRange.size(), 1);
    QCOMPARE(outOfRange.at(0).toObject().value("metric").toObject().value("meter").toString(), QStringLiteral("KV2000"));
    QCOMPARE(outOfRange.at(0).toObject().value("metric").toObject().value("channel").toString(), QStringLiteral("t2"));

    // The scrape itself had nothing to complain about.
    const QJsonArray scrape = query(QStringLiteral("up{job=\"kv3917d\"}"));
    QCOMPARE(scrape.size(), 1);
    QCOMPARE(scrape.at(0).toObject().value("value").toArray().at(1).toString(), QStringLiteral("1"));
}

void TestPrometheusScrape::scrapesTheServiceProcess()
{
    // Steady simulated meters; one shows °F, the service must still give °C.
    struct Expected {
        double t1, t2;
        std::uint8_t displayUnit; // 0 F, 1 C
    };
    const Expected set[] = {{22.5, 25.0, 1}, {18.0, 30.0, 0}, {-4.5, 182.5, 1}};
    std::vector<std::unique_ptr<PtyMeter>> meters;
    QStringList args = {QStringLiteral("--config"), QStringLiteral(KV_TEST_EMPTY_CONFIG), QStringLiteral("--no-usb"),
                        QStringLiteral("--state-dir"), m_dir.filePath(QStringLiteral("service-state")),
                        QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0")};
    QMap<QString, QPair<double, double>> expected; // by port
    for (const Expected &e : set) {
        auto pty = std::make_unique<PtyMeter>();
        pty->meter.setReading(50.0, e.t1, e.t2);
        pty->meter.setDisplayUnit(e.displayUnit);
        pty->start();
        QVERIFY(!pty->path().isEmpty());
        args << QStringLiteral("--port") << pty->path();
        expected.insert(pty->path(), {e.t1, e.t2});
        meters.push_back(std::move(pty));
    }

    const QString lockDir = m_dir.filePath(QStringLiteral("locks"));
    QVERIFY(QDir().mkpath(lockDir));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("KV3917_LOCK_DIR"), lockDir);
    env.remove(QStringLiteral("NOTIFY_SOCKET"));
    env.remove(QStringLiteral("JOURNAL_STREAM"));
    QProcess service;
    service.setProcessEnvironment(env);
    service.start(QStringLiteral(KV_DAEMON_PATH), args);
    QVERIFY2(service.waitForStarted(ServiceMs), qPrintable(service.errorString()));
    auto stopService = qScopeGuard([&] {
        if (service.state() == QProcess::NotRunning)
            return;
        ::kill(pid_t(service.processId()), SIGTERM);
        if (!service.waitForFinished(ServiceMs)) {
            service.kill();
            service.waitForFinished();
        }
    });

    QByteArray err;
    const QRegularExpression servingLine(QStringLiteral("serving http://127\\.0\\.0\\.1:(\\d+)/"));
    QRegularExpressionMatch serving;
    QTRY_VERIFY2_WITH_TIMEOUT((serving = servingLine.match(QString::fromUtf8(err += service.readAllStandardError())))
                                      .hasMatch()
                                  || service.state() != QProcess::Running,
                              err.constData(), ServiceMs);
    QVERIFY2(serving.hasMatch(), err.constData());
    const QByteArray port = serving.captured(1).toLatin1();

    // A second job for the service; Prometheus reads its configuration
    // again on SIGHUP.
    QFile config(m_config);
    QVERIFY(config.open(QIODevice::WriteOnly | QIODevice::Truncate));
    config.write(m_scrapeConfig + "  - job_name: kv3917d-process\n    static_configs:\n      - targets: ['127.0.0.1:"
                 + port + "']\n");
    config.close();
    ::kill(pid_t(m_prometheus.processId()), SIGHUP);

    // The meter label of each port, from the meters' info series.
    QMap<QString, QString> meterOfPort;
    QMap<QPair<QString, QString>, double> scraped;
    const auto complete = [&] {
        meterOfPort.clear();
        for (const QJsonValue &sample : query(QStringLiteral("kv3917_meter_info{job=\"kv3917d-process\"}"))) {
            const QJsonObject metric = sample.toObject().value("metric").toObject();
            meterOfPort.insert(metric.value("port").toString(), metric.value("meter").toString());
        }
        scraped.clear();
        for (const QJsonValue &sample : query(QStringLiteral("kv3917_temperature_celsius{job=\"kv3917d-process\",channel=~\"t1|t2\"}"))) {
            const QJsonObject metric = sample.toObject().value("metric").toObject();
            scraped.insert({metric.value("meter").toString(), metric.value("channel").toString()},
                           sample.toObject().value("value").toArray().at(1).toString().toDouble());
        }
        return meterOfPort.size() == expected.size() && scraped.size() == 2 * expected.size();
    };
    QVERIFY2(QTest::qWaitFor(complete, ScrapedMs),
             qPrintable(QStringLiteral("%1 meters, %2 temperatures scraped; target health: %3; service: %4")
                            .arg(meterOfPort.size())
                            .arg(scraped.size())
                            .arg(QString::fromUtf8(QJsonDocument(query(QStringLiteral("up"))).toJson()),
                                 QString::fromUtf8(err + service.readAllStandardError()))));

    // The meter resolves 0.1 in its display unit, so °F shown costs a little.
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        QVERIFY2(meterOfPort.contains(it.key()), qPrintable(it.key()));
        const QString meter = meterOfPort.value(it.key());
        for (const auto &[channel, value] : {std::pair{QStringLiteral("t1"), it.value().first},
                                             std::pair{QStringLiteral("t2"), it.value().second}}) {
            QVERIFY2(scraped.contains({meter, channel}), qPrintable(meter + QLatin1Char(' ') + channel));
            const double got = scraped.value({meter, channel});
            QVERIFY2(qAbs(got - value) < 0.06,
                     qPrintable(QStringLiteral("%1 %2: %3 °C instead of %4 °C").arg(meter, channel).arg(got).arg(value)));
        }
    }

    stopService.dismiss();
    ::kill(pid_t(service.processId()), SIGTERM);
    QVERIFY(service.waitForFinished(ServiceMs));
    QCOMPARE(service.exitStatus(), QProcess::NormalExit);
    QCOMPARE(service.exitCode(), 0);
}

QTEST_GUILESS_MAIN(TestPrometheusScrape)
#include "tst_prometheusscrape.moc"
