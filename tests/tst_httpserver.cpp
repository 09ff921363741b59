// The service's HTTP server: every endpoint, 404 and 405, the JSON document
// and the status page, and the bounds a client cannot push it past
// (oversized and malformed requests, many idle connections, slow and stalled
// clients); the --listen parser and the request gate behind the bounds.

#include "service/httpserver.h"
#include "service/prometheus.h"
#include "service/requestgate.h"
#include "service/statuspage.h"
#include "support/fakestatus.h"
#include "support/httpclient.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTimer>
#include <QtTest>

#include <memory>

using namespace kv::service;
using namespace kvtest;

Q_DECLARE_METATYPE(RequestGate::Verdict)

namespace {

const QString HostileSerial = QStringLiteral("<script>alert(\"x\")</script>&\u00e4");

} // namespace

class TestHttpServer : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void endpoints_data();
    void endpoints();
    void keepAliveServesOneRequestAfterAnother();
    void metersJsonParses();
    void statusPageShowsEveryMeter();
    void oversizedOrMalformedRequests_data();
    void oversizedOrMalformedRequests();
    void manyIdleConnectionsNeverStopOthers();
    void slowClientDoesNotDelayOthers();
    void clientThatNeverReadsIsCut();
    void stalledRequestTimesOut();
    void idleConnectionIsClosed();
    void busyPortIsReported();

    void listenAddress_data();
    void listenAddress();
    void requestGate_data();
    void requestGate();

private:
    std::unique_ptr<RawHttpClient> client();
    void startServer(const HttpLimits &limits = {});

    FakeStatus m_status;
    std::unique_ptr<PrometheusExposition> m_metrics;
    std::unique_ptr<HttpServer> m_server;
};

void TestHttpServer::init()
{
    m_status = FakeStatus();
    MeterReading overT2 = Reading(55.5, 22.5, 0, 17, 12.5);
    OutOfRange(overT2, ChannelId::T2);
    m_status.list = {NumberedMeter(1), Meter("KV0500", "/dev/ttyUSB3", MeterState::Up, overT2),
                     Meter("KV0400", "/dev/rfcomm0", MeterState::Down, Reading(40, 20, 21, 15, 10)),
                     Meter(HostileSerial, "demo:7", MeterState::Connecting)};
    m_metrics = std::make_unique<PrometheusExposition>(m_status);
    startServer();
}

void TestHttpServer::cleanup()
{
    m_server.reset();
    m_metrics.reset();
}

void TestHttpServer::startServer(const HttpLimits &limits)
{
    m_server = std::make_unique<HttpServer>(m_status, *m_metrics);
    m_server->setLimits(limits);
    ListenAddress address;
    address.port = 0;
    QString error;
    QVERIFY2(m_server->listen(address, &error), qPrintable(error));
    QCOMPARE(m_server->serverAddress(), QHostAddress(QHostAddress::LocalHost));
}

std::unique_ptr<RawHttpClient> TestHttpServer::client()
{
    auto client = std::make_unique<RawHttpClient>();
    if (!client->connectTo(m_server->serverPort()))
        qFatal("cannot connect to the server under test");
    return client;
}

void TestHttpServer::endpoints_data()
{
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<bool>("progresses");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QByteArray>("bodyPart");

    const QByteArray exposition("text/plain; version=0.0.4; charset=utf-8");
    const QByteArray text("text/plain; charset=utf-8");
    QTest::newRow("metrics") << QByteArray("GET") << QByteArray("/metrics") << true << 200 << exposition
                             << QByteArray("kv3917_temperature_celsius{meter=\"KV1001\",channel=\"t1\"} 20.5\n");
    QTest::newRow("metrics with a query") << QByteArray("GET") << QByteArray("/metrics?x=1") << true << 200 << exposition
                                          << QByteArray("kv3917_up{meter=\"KV0400\"} 0\n");
    QTest::newRow("healthz while polling progresses") << QByteArray("GET") << QByteArray("/healthz") << true << 200 << text
                                                      << QByteArray("ok");
    QTest::newRow("healthz while polling is stalled") << QByteArray("GET") << QByteArray("/healthz") << false << 503
                                                      << text << QByteArray("no progress");
    QTest::newRow("meters as JSON") << QByteArray("GET") << QByteArray("/api/meters") << true << 200
                                    << QByteArray("application/json") << QByteArray("\"meter\":\"KV0500\"");
    QTest::newRow("status page") << QByteArray("GET") << QByteArray("/") << true << 200
                                 << QByteArray("text/html; charset=utf-8") << QByteArray("KV0500");
    QTest::newRow("unknown path") << QByteArray("GET") << QByteArray("/admin") << true << 404 << text << QByteArray("Not Found");
    QTest::newRow("path below an endpoint") << QByteArray("GET") << QByteArray("/metrics/x") << true << 404 << text
                                            << QByteArray("Not Found");
    QTest::newRow("POST to metrics") << QByteArray("POST") << QByteArray("/metrics") << true << 405 << text
                                     << QByteArray("Method Not Allowed");
    QTest::newRow("PUT to meters") << QByteArray("PUT") << QByteArray("/api/meters") << true << 405 << text
                                   << QByteArray("Method Not Allowed");
    QTest::newRow("DELETE the page") << QByteArray("DELETE") << QByteArray("/") << true << 405 << text
                                     << QByteArray("Method Not Allowed");
    QTest::newRow("HEAD of healthz") << QByteArray("HEAD") << QByteArray("/healthz") << true << 405 << text << QByteArray();
    QTest::newRow("POST to an unknown path") << QByteArray("POST") << QByteArray("/x") << true << 404 << text
                                             << QByteArray("Not Found");
}

void TestHttpServer::endpoints()
{
    QFETCH(QByteArray, method);
    QFETCH(QByteArray, path);
    QFETCH(bool, progresses);
    QFETCH(int, status);
    QFETCH(QByteArray, contentType);
    QFETCH(QByteArray, bodyPart);

    m_status.progresses = progresses;
    const auto before = m_status.list;
    auto http = client();
    const QByteArray body = method == "POST" || method == "PUT" ? QByteArray("up=0") : QByteArray();
    http->send(method + ' ' + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: " + QByteArray::number(body.size())
               + "\r\n\r\n" + body);
    const auto response = http->response();
    QVERIFY(response);
    QCOMPARE(response->status, status);
    QCOMPARE(response->headers.value("content-type"), contentType);
    QVERIFY2(response->body.contains(bodyPart), response->body.constData());
    if (status == 405)
        QCOMPARE(response->headers.value("allow"), QByteArray("GET"));
    QCOMPARE(response->headers.value("cache-control"), QByteArray("no-store"));
    QCOMPARE(m_status.list.size(), before.size()); // read-only
}

void TestHttpServer::keepAliveServesOneRequestAfterAnother()
{
    // How Prometheus scrapes: one connection, request after request.
    auto http = client();
    for (int round = 0; round < 3; ++round) {
        m_status.list[0].polls = 1000u + unsigned(round);
        const auto response = http->get("/metrics");
        QVERIFY(response);
        QCOMPARE(response->status, 200);
        QVERIFY(response->body.contains("kv3917_polls_total{meter=\"KV1001\"} " + QByteArray::number(1000 + round) + '\n'));
    }
    const auto missing = http->get("/nope");
    QVERIFY(missing);
    QCOMPARE(missing->status, 404);
    const auto health = http->get("/healthz");
    QVERIFY(health);
    QCOMPARE(health->status, 200);
    QCOMPARE(m_server->connectionCount(), 1);
}

void TestHttpServer::metersJsonParses()
{
    auto http = client();
    const auto response = http->get("/api/meters");
    QVERIFY(response);
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(response->body, &error);
    QVERIFY2(error.error == QJsonParseError::NoError, qPrintable(error.errorString()));
    QCOMPARE(document.object().value("pollingProgresses").toBool(), true);
    const QJsonArray meters = document.object().value("meters").toArray();
    QCOMPARE(meters.size(), 4);
    QStringList order;
    for (const QJsonValue &meter : meters)
        order << meter.toObject().value("meter").toString();
    QCOMPARE(order, QStringList({HostileSerial, "KV0400", "KV0500", "KV1001"}));

    const QJsonObject hostile = meters.at(0).toObject();
    QCOMPARE(hostile.value("serial").toString(), HostileSerial);
    QCOMPARE(hostile.value("state").toString(), QStringLiteral("connecting"));
    QVERIFY(hostile.value("lastReading").isNull());
    QVERIFY(hostile.value("lastReadingAgeMs").isNull());

    const QJsonObject down = meters.at(1).toObject();
    QCOMPARE(down.value("state").toString(), QStringLiteral("down"));
    QCOMPARE(down.value("port").toString(), QStringLiteral("/dev/rfcomm0"));
    QCOMPARE(down.value("lastReading").toObject().value("values").toObject().value("t1").toDouble(), 20.0);

    const QJsonObject over = meters.at(2).toObject();
    const QJsonObject reading = over.value("lastReading").toObject();
    QCOMPARE(over.value("state").toString(), QStringLiteral("up"));
    QCOMPARE(over.value("lastReadingAgeMs").toDouble(), 400.0);
    QCOMPARE(over.value("polls").toDouble(), 120.0);
    QCOMPARE(over.value("pollFailures").toDouble(), 3.0);
    QCOMPARE(over.value("firmware").toString(), QStringLiteral("1.07"));
    QCOMPARE(reading.value("timeMs").toDouble(), 1733832000123.0);
    QCOMPARE(reading.value("time").toString(), QStringLiteral("2024-12-10T13:00:00.123+01:00"));
    QCOMPARE(reading.value("unit").toString(), QStringLiteral("C"));
    QCOMPARE(reading.value("thermocouple").toString(), QStringLiteral("K"));
    QCOMPARE(reading.value("mode").toString(), QStringLiteral("normal"));
    const QJsonObject values = reading.value("values").toObject();
    QCOMPARE(values.keys(), QStringList({"dew_point", "rh", "t1", "t2", "wet_bulb"}));
    QCOMPARE(values.value("rh").toDouble(), 55.5); // percent, as people read it
    QCOMPARE(values.value("t1").toDouble(), 22.5);
    QVERIFY(values.value("t2").isNull());
    QCOMPARE(reading.value("outOfRange").toArray(), QJsonArray({"t2"}));
}

void TestHttpServer::statusPageShowsEveryMeter()
{
    auto http = client();
    const auto response = http->get("/");
    QVERIFY(response);
    const QString page = QString::fromUtf8(response->body);
    QVERIFY(page.contains(QLatin1String("<meta http-equiv=\"refresh\" content=\"2\">")));
    for (const char *text : {"KV1001", "KV0500", "KV0400", "/dev/ttyUSB3", "/dev/rfcomm0", "demo:7", "connecting",
                                "22.5 °C", "55.5 %", "0.4 s", "OL"})
        QVERIFY2(page.contains(text), qPrintable(text));
    QVERIFY(page.contains(QStringLiteral("&lt;script&gt;alert(&quot;x&quot;)&lt;/script&gt;&amp;\u00e4")));
    // One self-contained document: no scripts, nothing loaded from elsewhere.
    QVERIFY(!page.contains(QLatin1String("<script")));
    QVERIFY(!page.contains(QLatin1String("src=")));
    QVERIFY(!page.contains(QLatin1String("http://")) && !page.contains(QLatin1String("https://")));
    QVERIFY(!page.contains(QLatin1String("<link")));
    QVERIFY(response->headers.value("content-security-policy").startsWith("default-src 'none'"));
}

void TestHttpServer::oversizedOrMalformedRequests_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<int>("status"); // 0: the server only closes the connection

    QTest::newRow("header line of 64 KiB") << "GET /metrics HTTP/1.1\r\nX-Fill: " + QByteArray(64 * 1024, 'a') + "\r\n\r\n" << 431;
    QTest::newRow("request line of 1 MiB, no end") << "GET /" + QByteArray(1024 * 1024, 'm') << 431;
    QTest::newRow("thousands of headers") << "GET / HTTP/1.1\r\n" + QByteArray("A: b\r\n").repeated(5000) + "\r\n" << 431;
    QTest::newRow("body announced too large") << QByteArray("POST /metrics HTTP/1.1\r\nContent-Length: 1000000000\r\n\r\nxx")
                                              << 413;
    QTest::newRow("Content-Length beyond 64 bits") << QByteArray("POST / HTTP/1.1\r\nContent-Length: 99999999999999999999999\r\n\r\n")
                                                   << 413;
    QTest::newRow("chunked body") << QByteArray("POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\nffffff\r\n") << 411;
    QTest::newRow("Content-Length not a number") << QByteArray("GET / HTTP/1.1\r\nContent-Length: -5\r\n\r\n") << 400;
    QTest::newRow("two different lengths") << QByteArray("GET / HTTP/1.1\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\n")
                                           << 400;
    static const char tlsHello[] = "\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03\r\n\r\n";
    QTest::newRow("binary garbage") << QByteArray(tlsHello, sizeof tlsHello - 1) << 0;
    QTest::newRow("not HTTP") << QByteArray("HELLO WORLD\r\n\r\n") << 0;
}

void TestHttpServer::oversizedOrMalformedRequests()
{
    QFETCH(QByteArray, request);
    QFETCH(int, status);

    auto bad = client();
    bad->send(request);
    if (status) {
        const auto response = bad->response();
        QVERIFY2(response, bad->pending().left(200).constData());
        QCOMPARE(response->status, status);
        QCOMPARE(response->headers.value("connection"), QByteArray("close"));
    }
    QVERIFY(bad->waitClosed());
    QTRY_COMPARE_WITH_TIMEOUT(m_server->connectionCount(), 0, 30000);

    // Everyone else is still served.
    auto good = client();
    const auto response = good->get("/metrics");
    QVERIFY(response);
    QCOMPARE(response->status, 200);
}

void TestHttpServer::manyIdleConnectionsNeverStopOthers()
{
    HttpLimits limits;
    limits.maxConnections = 8;
    startServer(limits);
    std::vector<std::unique_ptr<RawHttpClient>> idle;
    for (int i = 0; i < 40; ++i) {
        idle.push_back(client());
        if (i % 3 == 0)
            idle.back()->send("GET /metr"); // some half-way through a request
    }
    QTRY_VERIFY_WITH_TIMEOUT(m_server->connectionCount() <= limits.maxConnections, 30000);

    // A new client still gets its answer at once; the oldest idle ones gave way.
    for (int round = 0; round < 3; ++round) {
        auto fresh = client();
        const auto response = fresh->get("/healthz");
        QVERIFY(response);
        QCOMPARE(response->status, 200);
    }
    QTRY_VERIFY_WITH_TIMEOUT(idle.front()->closed(), 30000);
    QVERIFY(m_server->connectionCount() <= limits.maxConnections);
}

void TestHttpServer::slowClientDoesNotDelayOthers()
{
    // The slow client trickles its request in one byte at a time; others are
    // answered in the meantime and the slow one is answered at its end.
    const QByteArray request("GET /api/meters HTTP/1.1\r\nHost: 127.0.0.1\r\nUser-Agent: slow\r\n\r\n");
    auto slow = client();
    int sent = 0;
    QTimer trickle;
    trickle.setInterval(5);
    connect(&trickle, &QTimer::timeout, [&] {
        if (sent < request.size())
            slow->send(request.mid(sent++, 1));
    });
    trickle.start();
    QTRY_VERIFY_WITH_TIMEOUT(sent >= 5, 30000);

    int fastAnswers = 0;
    while (sent < request.size() && fastAnswers < 50) {
        auto fast = client();
        const auto response = fast->get("/metrics");
        QVERIFY(response);
        QCOMPARE(response->status, 200);
        ++fastAnswers;
    }
    QVERIFY(fastAnswers > 0);
    const auto response = slow->response();
    QVERIFY(response);
    QCOMPARE(response->status, 200);
    QVERIFY(QJsonDocument::fromJson(response->body).isObject());
}

void TestHttpServer::clientThatNeverReadsIsCut()
{
    // Asks for /metrics over and over and reads nothing: the answers it
    // leaves unread stay bounded, and then it loses its connection.
    HttpLimits limits;
    limits.maxPendingOutputBytes = 64 * 1024;
    startServer(limits);
    for (int i = 0; i < 32; ++i)
        m_status.list << NumberedMeter(10 + i); // some 20 KB per answer
    QTcpSocket greedy;
    greedy.setReadBufferSize(1); // stops reading from the system at once
    greedy.connectToHost(QHostAddress::LocalHost, m_server->serverPort());
    QVERIFY(greedy.waitForConnected(30000));
    const QByteArray request("GET /metrics HTTP/1.1\r\nHost: x\r\n\r\n");
    int sent = 0;
    QTimer flood;
    connect(&flood, &QTimer::timeout, [&] {
        if (greedy.state() == QAbstractSocket::ConnectedState && greedy.bytesToWrite() < 64 * 1024 && sent < 20000) {
            greedy.write(request.repeated(20));
            sent += 20;
        }
    });
    flood.start(1);
    QTRY_VERIFY_WITH_TIMEOUT(greedy.state() == QAbstractSocket::UnconnectedState, 60000);
    flood.stop();
    QVERIFY2(sent < 20000, "the server kept answering a client that reads nothing");

    QTRY_COMPARE_WITH_TIMEOUT(m_server->connectionCount(), 0, 30000);
    auto other = client();
    const auto response = other->get("/healthz");
    QVERIFY(response);
    QCOMPARE(response->status, 200);
}

void TestHttpServer::stalledRequestTimesOut()
{
    HttpLimits limits;
    limits.requestTimeoutMs = 200;
    startServer(limits);
    auto stalled = client();
    stalled->send("GET /metrics HTTP/1.1\r\nHost: 1"); // and nothing more
    const auto response = stalled->response();
    QVERIFY(response);
    QCOMPARE(response->status, 408);
    QVERIFY(stalled->waitClosed());
}

void TestHttpServer::idleConnectionIsClosed()
{
    HttpLimits limits;
    limits.idleTimeoutMs = 200;
    startServer(limits);
    auto http = client();
    const auto response = http->get("/healthz");
    QVERIFY(response);
    QCOMPARE(response->status, 200);
    QVERIFY(http->waitClosed());
    QTRY_COMPARE_WITH_TIMEOUT(m_server->connectionCount(), 0, 30000);
}

void TestHttpServer::busyPortIsReported()
{
    QTcpServer holder;
    QVERIFY(holder.listen(QHostAddress::LocalHost));
    HttpServer second(m_status, *m_metrics);
    ListenAddress address;
    address.port = holder.serverPort();
    QString error;
    QVERIFY(!second.listen(address, &error));
    QVERIFY2(error.contains(QStringLiteral("127.0.0.1:%1").arg(address.port)), qPrintable(error));
    QVERIFY(!second.isListening());
}

void TestHttpServer::listenAddress_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("port");

    QTest::newRow("all IPv4 interfaces") << "0.0.0.0" << true << "0.0.0.0" << int(DefaultHttpPort);
    QTest::newRow("address and port") << "192.168.1.5:9000" << true << "192.168.1.5" << 9000;
    QTest::newRow("port only keeps loopback") << ":9000" << true << "127.0.0.1" << 9000;
    QTest::newRow("localhost") << "localhost:80" << true << "127.0.0.1" << 80;
    QTest::newRow("IPv6 in brackets with port") << "[::]:9000" << true << "::" << 9000;
    QTest::newRow("IPv6 in brackets") << "[::1]" << true << "::1" << int(DefaultHttpPort);
    QTest::newRow("bare IPv6") << "fe80::1" << true << "fe80::1" << int(DefaultHttpPort);
    QTest::newRow("spaces around") << "  127.0.0.1:1234 " << true << "127.0.0.1" << 1234;
    QTest::newRow("port 0: any free port") << "127.0.0.1:0" << true << "127.0.0.1" << 0;
    QTest::newRow("empty") << "" << false << "" << 0;
    QTest::newRow("host name") << "example.org:80" << false << "" << 0;
    QTest::newRow("short IPv4 spelling") << "127.1" << false << "" << 0;
    QTest::newRow("port too large") << "127.0.0.1:65536" << false << "" << 0;
    QTest::newRow("port not a number") << "127.0.0.1:http" << false << "" << 0;
    QTest::newRow("signed port") << "127.0.0.1:+80" << false << "" << 0;
    QTest::newRow("empty port") << "127.0.0.1:" << false << "" << 0;
    QTest::newRow("unclosed bracket") << "[::1:80" << false << "" << 0;
    QTest::newRow("IPv4 in brackets") << "[127.0.0.1]:80" << false << "" << 0;
    QTest::newRow("junk after bracket") << "[::1]x80" << false << "" << 0;
}

void TestHttpServer::listenAddress()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(QString, address);
    QFETCH(int, port);

    QString error;
    const auto parsed = ParseListenAddress(text, &error);
    QCOMPARE(parsed.has_value(), valid);
    if (!valid) {
        QVERIFY2(error.startsWith(QLatin1String("--listen ")), qPrintable(error));
        return;
    }
    QCOMPARE(parsed->address, QHostAddress(address));
    QCOMPARE(int(parsed->port), port);
}

void TestHttpServer::requestGate_data()
{
    QTest::addColumn<QList<QByteArray>>("pieces");
    QTest::addColumn<RequestGate::Verdict>("verdict");
    QTest::addColumn<int>("completed");
    QTest::addColumn<bool>("inRequest");

    using V = RequestGate::Verdict;
    const QByteArray get("GET /metrics HTTP/1.1\r\nHost: x\r\n\r\n");
    QTest::newRow("one request") << QList<QByteArray>{get} << V::Ok << 1 << false;
    QTest::newRow("byte by byte") << [&] {
        QList<QByteArray> bytes;
        for (char c : get)
            bytes << QByteArray(1, c);
        return bytes;
    }() << V::Ok << 1 << false;
    QTest::newRow("end split across pieces") << QList<QByteArray>{"GET / HTTP/1.1\r\n\r", "\n"} << V::Ok << 1 << false;
    QTest::newRow("pipelined with a body between")
        << QList<QByteArray>{get + "POST / HTTP/1.1\r\nContent-Length: 5\r\n\r\nab", "cde" + get} << V::Ok << 3 << false;
    QTest::newRow("body still to come") << QList<QByteArray>{"POST / HTTP/1.1\r\ncontent-length:  10 \r\n\r\n12345"} << V::Ok
                                        << 0 << true;
    QTest::newRow("head still to come") << QList<QByteArray>{"GET / HTTP/1.1\r\nHost"} << V::Ok << 0 << true;
    QTest::newRow("empty lines between requests") << QList<QByteArray>{"\r\n\r\n" + get + "\r\n"} << V::Ok << 1 << false;
    QTest::newRow("bare LF line ends") << QList<QByteArray>{"GET / HTTP/1.1\nHost: x\n\n"} << V::Ok << 1 << false;
    QTest::newRow("head at the limit") << QList<QByteArray>{"GET /" + QByteArray(100 - 18, 'a') + " HTTP/1.1\r\n\r\n"} << V::Ok
                                       << 1 << false;
    QTest::newRow("head one byte over") << QList<QByteArray>{"GET /" + QByteArray(100 - 17, 'a') + " HTTP/1.1\r\n\r\n"}
                                        << V::HeadTooLarge << 0 << true;
    QTest::newRow("limit over several requests is per request")
        << QList<QByteArray>{get.repeated(20)} << V::Ok << 20 << false;
    QTest::newRow("body at the limit") << QList<QByteArray>{"POST / HTTP/1.1\r\nContent-Length: 50\r\n\r\n" + QByteArray(50, 'b')}
                                       << V::Ok << 1 << false;
    QTest::newRow("body over the limit") << QList<QByteArray>{"POST / HTTP/1.1\r\nContent-Length: 51\r\n\r\n"}
                                         << V::BodyTooLarge << 0 << true;
    QTest::newRow("chunked") << QList<QByteArray>{"POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n"} << V::LengthRequired
                             << 0 << true;
    QTest::newRow("hex length") << QList<QByteArray>{"POST / HTTP/1.1\r\nContent-Length: 0x10\r\n\r\n"} << V::BadRequest << 0
                                << true;
    QTest::newRow("empty length") << QList<QByteArray>{"POST / HTTP/1.1\r\nContent-Length:\r\n\r\n"} << V::BadRequest << 0 << true;
    QTest::newRow("same length twice") << QList<QByteArray>{"POST / HTTP/1.1\r\nContent-Length: 2\r\nContent-Length: 2\r\n\r\nab"}
                                       << V::Ok << 1 << false;
    QTest::newRow("refusal sticks") << QList<QByteArray>{"POST / HTTP/1.1\r\nContent-Length: 999\r\n\r\n", get} << V::BodyTooLarge
                                    << 0 << true;
}

void TestHttpServer::requestGate()
{
    QFETCH(QList<QByteArray>, pieces);
    QFETCH(RequestGate::Verdict, verdict);
    QFETCH(int, completed);
    QFETCH(bool, inRequest);

    RequestGate gate(100, 50);
    for (const QByteArray &piece : pieces)
        gate.feed(piece);
    QCOMPARE(gate.verdict(), verdict);
    QCOMPARE(int(gate.completedRequests()), completed);
    QCOMPARE(gate.inRequest(), inRequest);
}

QTEST_GUILESS_MAIN(TestHttpServer)
#include "tst_httpserver.moc"
