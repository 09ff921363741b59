// The MQTT output against a real mosquitto broker started for the test on a
// free loopback port: retained and complete discovery, state messages equal
// to the readings, availability, a killed publisher's last will, an outage of
// the broker, Home Assistant coming back online, hostile serial-number texts,
// refused credentials and removal from Home Assistant.

#include "service/mqttsink.h"
#include "tests/support/hadiscoverycheck.h"
#include "tests/support/meterreadings.h"
#include "tests/support/mosquittobroker.h"
#include "tests/support/mqttsubscriber.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <memory>

using namespace kv::service;
using kvtest::MosquittoBroker;
using kvtest::MqttSubscriber;

namespace {

constexpr int Timeout = 20000;          // generous: a loaded machine under ASan
constexpr int TestBackoffMinMs = 50;
constexpr int TestBackoffMaxMs = 200;
constexpr int FullOutageMs = 60000;    // a broker away for a minute
constexpr int ShortOutageMs = 1500;    // enough to fill a small queue
constexpr int ReadingPeriodMs = 500;    // of the synthetic readings' time stamps

QStringList capturedLog;
QtMessageHandler previousHandler = nullptr;

void captureMqttLog(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (context.category && qstrcmp(context.category, "kv3917d.mqtt") == 0)
        capturedLog.append(message);
    if (previousHandler)
        previousHandler(type, context, message);
}

// KV_TEST_MQTT_OUTAGE_MS replaces the row's outage (e.g. a short one in the inner loop).
int outageMs(int rowMs)
{
    bool ok = false;
    const int ms = qEnvironmentVariableIntValue("KV_TEST_MQTT_OUTAGE_MS", &ok);
    return ok && ms > 0 ? ms : rowMs;
}

int indexOf(const QByteArray &state)
{
    const QString time = QJsonDocument::fromJson(state).object().value(u"time").toString();
    const qint64 ms = QDateTime::fromString(time, Qt::ISODateWithMs).toMSecsSinceEpoch();
    return int((ms - kvtest::SyntheticReading(0).timeMs) / ReadingPeriodMs);
}

} // namespace

class TestMqttBroker : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void discoveryIsRetainedAndComplete_data();
    void discoveryIsRetainedAndComplete();
    void statesEqualTheReadings_data();
    void statesEqualTheReadings();
    void availabilityFollowsTheMeter();
    void killedPublisherLeavesTheBridgeOffline_data();
    void killedPublisherLeavesTheBridgeOffline();
    void brokerOutageLosesNoReading_data();
    void brokerOutageLosesNoReading();
    void homeAssistantOnlineRepublishesDiscovery();
    void hostileSerialStaysInItsLevel_data();
    void hostileSerialStaysInItsLevel();
    void refusedCredentialsAreReportedOnce_data();
    void refusedCredentialsAreReportedOnce();
    void haRemoveEmptiesTheConfigs_data();
    void haRemoveEmptiesTheConfigs();
    void tlsVerifiesTheBroker_data();
    void tlsVerifiesTheBroker();

private:
    MqttOptions options(const MosquittoBroker &broker, const QStringList &pairs = {});
    QString m_prefix;
    int m_tests = 0;
    MosquittoBroker m_broker;
};

void TestMqttBroker::initTestCase()
{
    if (MosquittoBroker::program().isEmpty())
        QFAIL("mosquitto is not installed (scripts/install-deps --test installs it)");
    QVERIFY2(m_broker.start(), m_broker.log().constData());
    previousHandler = qInstallMessageHandler(captureMqttLog);
}

void TestMqttBroker::init()
{
    // Each test its own topics, so retained messages of one never meet another.
    m_prefix = QStringLiteral("t%1").arg(++m_tests);
    capturedLog.clear();
}

MqttOptions TestMqttBroker::options(const MosquittoBroker &broker, const QStringList &pairs)
{
    MqttOptions options;
    QString error;
    QStringList all{"mqtt", broker.url(), "mqtt-topic-prefix", m_prefix, "mqtt-discovery-prefix", m_prefix + "ha"};
    all += pairs;
    for (int i = 0; i + 1 < all.size(); i += 2)
        if (!options.set(all[i], all[i + 1], &error))
            qFatal("%s", qPrintable(error));
    options.backoffMinMs = TestBackoffMinMs;
    options.backoffMaxMs = TestBackoffMaxMs;
    if (!options.finish(QProcessEnvironment(), &error))
        qFatal("%s", qPrintable(error));
    return options;
}

void TestMqttBroker::discoveryIsRetainedAndComplete_data()
{
    QTest::addColumn<QString>("style");
    QTest::newRow("device-based") << "device";
    QTest::newRow("per entity") << "entity";
}

void TestMqttBroker::discoveryIsRetainedAndComplete()
{
    QFETCH(QString, style);
    MqttSink sink(options(m_broker, {"ha-discovery", style}));
    sink.start();
    const MeterInfo meter = kvtest::SyntheticMeter(QStringLiteral("KV1001"));
    sink.meterUp(meter);
    QTRY_VERIFY_WITH_TIMEOUT(sink.counters().connected, Timeout);
    QTRY_COMPARE_WITH_TIMEOUT(sink.counters().queued, 0u, Timeout);

    // A subscriber that comes later gets everything from the broker's memory.
    MqttSubscriber subscriber;
    QVERIFY(subscriber.connect(m_broker.port()));
    QVERIFY(subscriber.sync());
    const MqttTopics &topics = sink.topics();
    const int expireAfter = HaExpireAfterSeconds(500, 0);
    if (style == u"device") {
        const auto configs = subscriber.messages(topics.deviceConfig(meter.serial));
        QCOMPARE(configs.size(), 1);
        QVERIFY(configs[0].retained);
        QJsonParseError error;
        QJsonObject config = QJsonDocument::fromJson(configs[0].payload, &error).object();
        QCOMPARE(error.error, QJsonParseError::NoError);
        const QJsonObject components = config.take(u"components").toObject();
        QCOMPARE(components.size(), ChannelCount);
        for (const ChannelInfo &channel : MeterChannels) {
            const QJsonObject component = components.value(QLatin1String(channel.key)).toObject();
            QCOMPARE(component.value(u"platform").toString(), QStringLiteral("sensor"));
            kvtest::CheckHaEntity(component, config, meter, channel, topics, 1, expireAfter);
            if (QTest::currentTestFailed())
                return;
        }
        for (const ChannelInfo &channel : MeterChannels)
            QCOMPARE(subscriber.count(topics.entityConfig(meter.serial, channel)), 0);
    } else {
        QCOMPARE(subscriber.count(topics.deviceConfig(meter.serial)), 0);
        for (const ChannelInfo &channel : MeterChannels) {
            const auto configs = subscriber.messages(topics.entityConfig(meter.serial, channel));
            QCOMPARE(configs.size(), 1);
            QVERIFY(configs[0].retained);
            kvtest::CheckHaEntity(QJsonDocument::fromJson(configs[0].payload).object(), {}, meter, channel, topics, 1,
                                  expireAfter);
            if (QTest::currentTestFailed())
                return;
        }
    }
    for (const QString &topic : {topics.availability(meter.serial), topics.bridgeAvailability()}) {
        const auto availability = subscriber.messages(topic);
        QCOMPARE(availability.size(), 1);
        QVERIFY(availability[0].retained);
        QCOMPARE(availability[0].payload, QByteArray("online"));
    }
    sink.stop();
}

void TestMqttBroker::statesEqualTheReadings_data()
{
    QTest::addColumn<QString>("period");
    QTest::addColumn<int>("every"); // each n-th reading is published
    QTest::addColumn<QString>("version");
    QTest::newRow("every reading") << "0" << 1 << "3.1.1";
    QTest::newRow("at most one a second") << "1" << 2 << "3.1.1";
    QTest::newRow("at most one in 1.6 s") << "1.6" << 4 << "3.1.1";
    QTest::newRow("MQTT 5") << "0" << 1 << "5";
}

void TestMqttBroker::statesEqualTheReadings()
{
    QFETCH(QString, period);
    QFETCH(int, every);
    QFETCH(QString, version);
    MqttSubscriber subscriber;
    QVERIFY(subscriber.connect(m_broker.port(), m_prefix + "/#"));
    MqttSink sink(options(m_broker, {"mqtt-period", period, "mqtt-version", version}));
    sink.start();
    QTRY_VERIFY_WITH_TIMEOUT(sink.counters().connected, Timeout);
    const MeterInfo meter = kvtest::SyntheticMeter(QStringLiteral("KV1002"));
    sink.meterUp(meter);
    constexpr int Readings = 24;
    QList<QByteArray> expected;
    for (int i = 0; i < Readings; ++i) {
        const MeterReading reading = kvtest::SyntheticReading(i);
        sink.reading(meter, reading);
        if (i % every == 0)
            expected.append(StatePayload(reading));
    }
    const QString topic = sink.topics().state(meter.serial);
    QVERIFY(subscriber.waitWithEvents([&](const MqttSubscriber &s) { return s.count(topic) >= expected.size(); },
                                      Timeout));
    QVERIFY(subscriber.sync());
    const auto states = subscriber.messages(topic);
    QCOMPARE(states.size(), expected.size());
    for (int i = 0; i < states.size(); ++i) {
        QCOMPARE(states[i].payload, expected[i]);
        QVERIFY(!states[i].retained);
        QCOMPARE(indexOf(states[i].payload), i * every);
    }
    QCOMPARE(sink.counters().dropped, 0u);
    sink.stop();
}

void TestMqttBroker::availabilityFollowsTheMeter()
{
    MqttSubscriber subscriber;
    QVERIFY(subscriber.connect(m_broker.port(), m_prefix + "/#"));
    MqttSink sink(options(m_broker));
    sink.start();
    QTRY_VERIFY_WITH_TIMEOUT(sink.counters().connected, Timeout);
    const MeterInfo meter = kvtest::SyntheticMeter(QStringLiteral("KV1003"));
    const QString topic = sink.topics().availability(meter.serial);
    auto lastIs = [&](const char *payload) {
        return subscriber.waitWithEvents(
            [&](const MqttSubscriber &s) {
                const auto messages = s.messages(topic);
                return !messages.isEmpty() && messages.last().payload == payload;
            },
            Timeout);
    };
    auto retainedIs = [&](const char *payload) {
        MqttSubscriber late;
        if (!late.connect(m_broker.port(), m_prefix + "/#") || !late.sync())
            return false;
        const auto messages = late.messages(topic);
        return messages.size() == 1 && messages[0].retained && messages[0].payload == payload;
    };

    sink.meterUp(meter);
    QVERIFY(lastIs("online"));
    sink.meterDown(meter); // unplugged
    QVERIFY(lastIs("offline"));
    QTRY_COMPARE_WITH_TIMEOUT(sink.counters().queued, 0u, Timeout);
    QVERIFY(retainedIs("offline"));
    sink.meterUp(meter); // plugged in again
    QVERIFY(lastIs("online"));
    QTRY_COMPARE_WITH_TIMEOUT(sink.counters().queued, 0u, Timeout);
    QVERIFY(retainedIs("online"));
    sink.stop();
}

void TestMqttBroker::killedPublisherLeavesTheBridgeOffline_data()
{
    QTest::addColumn<int>("signal");
    QTest::addColumn<QByteArray>("meterAfter");
    // Killed: only the broker's last will speaks; the meter's retained
    // availability stays, and availability_mode "all" makes it unavailable.
    QTest::newRow("SIGKILL") << int(SIGKILL) << QByteArray("online");
    // Stopped: the service says offline for the bridge and every meter.
    QTest::newRow("SIGTERM") << int(SIGTERM) << QByteArray("offline");
}

void TestMqttBroker::killedPublisherLeavesTheBridgeOffline()
{
    QFETCH(int, signal);
    QFETCH(QByteArray, meterAfter);
    MqttSubscriber subscriber;
    QVERIFY(subscriber.connect(m_broker.port(), m_prefix + "/#"));
    const MqttTopics topics(m_prefix, m_prefix + "ha");
    const QString serial = QStringLiteral("KV1004");
    QProcess publisher;
    publisher.setProcessChannelMode(QProcess::ForwardedChannels);
    publisher.start(QStringLiteral(KV_MQTT_PUBLISHER_PATH),
                    {"--mqtt", m_broker.url(), "--mqtt-topic-prefix", m_prefix, "--mqtt-discovery-prefix",
                     m_prefix + "ha", "--serial", serial, "--interval-ms", "50"});
    QVERIFY(publisher.waitForStarted(Timeout));
    auto last = [&](const QString &topic) {
        const auto messages = subscriber.messages(topic);
        return messages.isEmpty() ? QByteArray() : messages.last().payload;
    };
    QVERIFY(subscriber.waitWithEvents(
        [&](const MqttSubscriber &s) {
            return s.count(topics.state(serial)) >= 2 && last(topics.bridgeAvailability()) == "online";
        },
        Timeout));
    QCOMPARE(last(topics.availability(serial)), QByteArray("online"));

    QCOMPARE(::kill(pid_t(publisher.processId()), signal), 0);
    QVERIFY(publisher.waitForFinished(Timeout));
    if (signal == SIGTERM) {
        QCOMPARE(publisher.exitStatus(), QProcess::NormalExit);
        QCOMPARE(publisher.exitCode(), 0);
    }
    QVERIFY(subscriber.waitWithEvents(
        [&](const MqttSubscriber &) { return last(topics.bridgeAvailability()) == "offline"; }, Timeout));
    QVERIFY(subscriber.sync());
    QCOMPARE(last(topics.availability(serial)), meterAfter);
}

void TestMqttBroker::brokerOutageLosesNoReading_data()
{
    QTest::addColumn<int>("queueSize");
    QTest::addColumn<int>("outage");
    QTest::newRow("queue holds a minute's outage") << MqttDefaultQueueSize << FullOutageMs;
    QTest::newRow("queue of 5: the oldest go") << 5 << ShortOutageMs;
}

void TestMqttBroker::brokerOutageLosesNoReading()
{
    QFETCH(int, queueSize);
    QFETCH(int, outage);
    MosquittoBroker broker;
    QVERIFY2(broker.start(), broker.log().constData());
    auto subscriber = std::make_unique<MqttSubscriber>();
    QVERIFY(subscriber->connect(broker.port(), m_prefix + "/#"));
    MqttSink sink(options(broker, {"mqtt-queue", QString::number(queueSize)}));
    sink.start();
    QTRY_VERIFY_WITH_TIMEOUT(sink.counters().connected, Timeout);
    const MeterInfo meter = kvtest::SyntheticMeter(QStringLiteral("KV1005"));
    const QString topic = sink.topics().state(meter.serial);
    sink.meterUp(meter);
    int next = 0;
    auto feed = [&] { sink.reading(meter, kvtest::SyntheticReading(next++)); };

    constexpr int Before = 10;
    for (int i = 0; i < Before; ++i)
        feed();
    QVERIFY(subscriber->waitWithEvents([&](const MqttSubscriber &s) { return s.count(topic) == Before; }, Timeout));
    QTRY_COMPARE_WITH_TIMEOUT(sink.counters().queued, 0u, Timeout);

    broker.stop();
    subscriber.reset();
    QTRY_VERIFY_WITH_TIMEOUT(!sink.counters().connected, Timeout);
    QTimer readings;
    connect(&readings, &QTimer::timeout, this, feed);
    readings.start(20);
    QTest::qWait(outageMs(outage)); // the broker is away while the meter goes on
    readings.stop();
    const int during = next - Before;
    QVERIFY(during > 0);
    QCOMPARE(sink.counters().queued, quint64(std::min(during, queueSize)));

    QVERIFY2(broker.start(), broker.log().constData());
    subscriber = std::make_unique<MqttSubscriber>();
    QVERIFY(subscriber->connect(broker.port(), m_prefix + "/#"));
    QTRY_VERIFY_WITH_TIMEOUT(sink.counters().connected, Timeout);
    constexpr int After = 10;
    for (int i = 0; i < After; ++i)
        feed();
    QTRY_COMPARE_WITH_TIMEOUT(sink.counters().queued, 0u, Timeout);
    QVERIFY(subscriber->sync());

    QList<int> expected;
    for (int i = Before + std::max(0, during - queueSize); i < next; ++i)
        expected.append(i);
    QList<int> received;
    for (const auto &message : subscriber->messages(topic))
        received.append(indexOf(message.payload));
    QCOMPARE(received, expected); // each once, in order
    QCOMPARE(sink.counters().dropped, quint64(std::max(0, during - queueSize)));
    QCOMPARE(sink.counters().connects, 2u);
    // The broker forgot everything retained: published again on reconnecting.
    QCOMPARE(subscriber->count(sink.topics().bridgeAvailability()), 1);
    const int dropLines = int(capturedLog.filter(QStringLiteral("dropping the oldest")).size());
    QCOMPARE(dropLines, queueSize < during ? 1 : 0);
    sink.stop();
}

void TestMqttBroker::homeAssistantOnlineRepublishesDiscovery()
{
    MqttSink sink(options(m_broker));
    sink.start();
    const MeterInfo meter = kvtest::SyntheticMeter(QStringLiteral("KV1006"));
    sink.meterUp(meter);
    QTRY_VERIFY_WITH_TIMEOUT(sink.counters().connected, Timeout);
    QTRY_COMPARE_WITH_TIMEOUT(sink.counters().queued, 0u, Timeout);
    MqttSubscriber subscriber;
    QVERIFY(subscriber.connect(m_broker.port()));
    QVERIFY(subscriber.sync());
    const QString config = sink.topics().deviceConfig(meter.serial);
    const auto first = subscriber.messages(config);
    QCOMPARE(first.size(), 1);
    subscriber.clear();

    // Home Assistant going away, and noise on its topic, publish nothing;
    // coming back publishes discovery once.  Its messages reach the service
    // in order, so the one answer to "online" follows any wrong answer.
    const QString status = sink.topics().haStatus();
    QVERIFY(subscriber.publish(status, "offline"));
    QVERIFY(subscriber.publish(status, QByteArray("\xff\0online", 8)));
    QVERIFY(subscriber.publish(status, "online"));
    QVERIFY(subscriber.waitWithEvents([&](const MqttSubscriber &s) { return s.count(config) >= 1; }, Timeout));
    QTRY_COMPARE_WITH_TIMEOUT(sink.counters().queued, 0u, Timeout);
    QVERIFY(subscriber.sync());
    const auto again = subscriber.messages(config);
    QCOMPARE(again.size(), 1);
    QCOMPARE(again[0].payload, first[0].payload);
    sink.stop();
}

void TestMqttBroker::hostileSerialStaysInItsLevel_data()
{
    QTest::addColumn<QString>("serial");
    QTest::newRow("slashes") << QStringLiteral("KV/../x/");
    QTest::newRow("wildcards") << QStringLiteral("+#");
    QTest::newRow("spaces") << QStringLiteral("KV 0 1");
    QTest::newRow("control bytes") << QStringLiteral("\x01\x1b[31m\n");
    QTest::newRow("NUL and UTF-8") << QString(QChar(0)) + QStringLiteral("\u00e9/");
}

void TestMqttBroker::hostileSerialStaysInItsLevel()
{
    QFETCH(QString, serial);
    MqttSubscriber subscriber;
    QVERIFY(subscriber.connect(m_broker.port()));
    MqttSink sink(options(m_broker));
    sink.start();
    QTRY_VERIFY_WITH_TIMEOUT(sink.counters().connected, Timeout);
    const MeterInfo meter = kvtest::SyntheticMeter(serial);
    sink.meterUp(meter);
    sink.reading(meter, kvtest::SyntheticReading(0));
    QTRY_COMPARE_WITH_TIMEOUT(sink.counters().queued, 0u, Timeout);
    QVERIFY(subscriber.sync());

    const MqttTopics &topics = sink.topics();
    const QString level = MeterTopicLevel(serial);
    QSet<QString> seen;
    for (const auto &message : subscriber.messages())
        if (message.topic.startsWith(m_prefix + "/") || message.topic.startsWith(m_prefix + "ha/"))
            seen.insert(message.topic);
    const QSet<QString> expected{topics.state(serial), topics.availability(serial), topics.bridgeAvailability(),
                                 topics.deviceConfig(serial)};
    QCOMPARE(seen, expected);
    QCOMPARE(topics.state(serial).split(u'/'), (QStringList{m_prefix, level, "state"}));
    const QJsonObject config =
        QJsonDocument::fromJson(subscriber.messages(topics.deviceConfig(serial)).value(0).payload).object();
    QCOMPARE(config.value(u"device").toObject().value(u"serial_number").toString(), serial);
    QCOMPARE(config.value(u"device").toObject().value(u"identifiers").toArray(), QJsonArray{"kv3917_" + level});
    for (const ChannelInfo &channel : MeterChannels)
        QCOMPARE(config.value(u"components").toObject().value(QLatin1String(channel.key)).toObject().value(u"unique_id"),
                 QJsonValue("kv3917_" + level + "_" + channel.key));
    sink.stop();
}

void TestMqttBroker::refusedCredentialsAreReportedOnce_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("version");
    QTest::newRow("wrong password") << "kv" << "wrong" << false << "3.1.1";
    QTest::newRow("wrong password, MQTT 5") << "kv" << "wrong" << false << "5";
    QTest::newRow("anonymous") << "" << "" << false << "3.1.1";
    QTest::newRow("right password") << "kv" << "right one" << true << "3.1.1";
    QTest::newRow("right password, MQTT 5") << "kv" << "right one" << true << "5";
}

void TestMqttBroker::refusedCredentialsAreReportedOnce()
{
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(bool, accepted);
    QFETCH(QString, version);
    MosquittoBroker broker;
    QVERIFY2(broker.start(QStringLiteral("kv"), QStringLiteral("right one")), broker.log().constData());
    MqttOptions options;
    QString error;
    QVERIFY(options.set("mqtt", broker.url(), &error));
    QVERIFY(options.set("mqtt-topic-prefix", m_prefix, &error));
    QVERIFY(options.set("mqtt-version", version, &error));
    QProcessEnvironment environment;
    if (!user.isEmpty()) {
        QVERIFY(options.set("mqtt-username", user, &error));
        environment.insert(QLatin1String(MqttPasswordVariable), password);
    }
    QVERIFY2(options.finish(environment, &error), qPrintable(error));
    options.backoffMinMs = TestBackoffMinMs;
    options.backoffMaxMs = TestBackoffMaxMs; // the slowest rate, short for the test
    MqttSink sink(options);
    sink.start();
    sink.meterUp(kvtest::SyntheticMeter());
    if (accepted) {
        QTRY_VERIFY_WITH_TIMEOUT(sink.counters().connected, Timeout);
        QVERIFY(capturedLog.filter(QStringLiteral("refused")).isEmpty());
    } else {
        constexpr quint64 Attempts = 4;
        QTRY_VERIFY_WITH_TIMEOUT(sink.counters().connectAttempts >= Attempts, Timeout);
        QVERIFY(!sink.counters().connected);
        QCOMPARE(sink.counters().connects, 0u);
        const QStringList refused = capturedLog.filter(QStringLiteral("refused"));
        QCOMPARE(refused.size(), 1);
        QVERIFY2(refused[0].contains(QStringLiteral("127.0.0.1:%1").arg(broker.port())), qPrintable(refused[0]));
        QVERIFY2(refused[0].contains(user.isEmpty() ? QStringLiteral("anonymous") : "user \"" + user + "\""),
                 qPrintable(refused[0]));
        QVERIFY(!refused[0].contains(password.isEmpty() ? QStringLiteral("\x01") : password));
    }
    sink.stop();
}

void TestMqttBroker::haRemoveEmptiesTheConfigs_data()
{
    QTest::addColumn<QString>("style");
    QTest::newRow("device-based") << "device";
    QTest::newRow("per entity") << "entity";
}

void TestMqttBroker::haRemoveEmptiesTheConfigs()
{
    QFETCH(QString, style);
    const MeterInfo meter = kvtest::SyntheticMeter(QStringLiteral("KV1007"));
    const MqttTopics topics(m_prefix, m_prefix + "ha");
    auto retainedOfMeter = [&] {
        MqttSubscriber late;
        QStringList found;
        if (!late.connect(m_broker.port()) || !late.sync())
            return QStringList{"(no subscriber)"};
        for (const auto &message : late.messages())
            if (message.retained && message.topic.contains(MqttTopics::deviceId(meter.serial)))
                found.append(message.topic);
            else if (message.retained && message.topic == topics.availability(meter.serial))
                found.append(message.topic);
        return found;
    };
    for (bool remove : {false, true}) {
        MqttSink sink(options(m_broker, {"ha-discovery", style, "ha-remove", remove ? "true" : "false"}));
        sink.start();
        sink.meterUp(meter);
        QTRY_VERIFY_WITH_TIMEOUT(sink.counters().connected, Timeout);
        QTRY_COMPARE_WITH_TIMEOUT(sink.counters().queued, 0u, Timeout);
        sink.stop();
        if (!remove)
            QCOMPARE(retainedOfMeter().size(), style == u"device" ? 2 : ChannelCount + 1);
    }
    QCOMPARE(retainedOfMeter(), QStringList());
}

namespace {

// A certificate authority and a broker certificate for 127.0.0.1 (and no
// name), made with openssl in `dir`.
bool makeCertificates(const QString &dir)
{
    auto run = [&](const QStringList &args) {
        QProcess openssl;
        openssl.setWorkingDirectory(dir);
        openssl.setProcessChannelMode(QProcess::MergedChannels);
        openssl.start(QStringLiteral("openssl"), args);
        if (!openssl.waitForFinished(Timeout) || openssl.exitCode() != 0) {
            qWarning("openssl %s: %s", qPrintable(args.join(u' ')), openssl.readAll().constData());
            return false;
        }
        return true;
    };
    QFile extensions(dir + QStringLiteral("/server.ext"));
    if (!extensions.open(QIODevice::WriteOnly) || extensions.write("subjectAltName=IP:127.0.0.1\n") < 0)
        return false;
    extensions.close();
    const QStringList ec{"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"};
    return run(QStringList{"req", "-x509"} + ec + QStringList{"-keyout", "ca.key", "-out", "ca.pem", "-days", "2",
                                                               "-subj", "/CN=kvtest CA"}) &&
           run(QStringList{"req"} + ec + QStringList{"-keyout", "server.key", "-out", "server.csr", "-subj",
                                                     "/CN=kvtest broker"}) &&
           run({"x509", "-req", "-in", "server.csr", "-CA", "ca.pem", "-CAkey", "ca.key", "-CAcreateserial", "-out",
                "server.pem", "-days", "2", "-extfile", "server.ext"});
}

} // namespace

void TestMqttBroker::tlsVerifiesTheBroker_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<bool>("trustCa");
    QTest::addColumn<bool>("insecure");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("trusted CA, address in the certificate") << "127.0.0.1" << true << false << true;
    QTest::newRow("CA unknown to the system") << "127.0.0.1" << false << false << false;
    QTest::newRow("name not in the certificate") << "localhost" << true << false << false;
    QTest::newRow("verification turned off") << "localhost" << false << true << true;
}

void TestMqttBroker::tlsVerifiesTheBroker()
{
    QFETCH(QString, host);
    QFETCH(bool, trustCa);
    QFETCH(bool, insecure);
    QFETCH(bool, accepted);
    QTemporaryDir certificates;
    QVERIFY(makeCertificates(certificates.path()));
    MosquittoBroker broker;
    broker.setTls(certificates.filePath("server.pem"), certificates.filePath("server.key"));
    QVERIFY2(broker.start(), broker.log().constData());
    QStringList pairs{"mqtt", QStringLiteral("mqtts://%1:%2").arg(host).arg(broker.port()), "mqtt-topic-prefix",
                      m_prefix};
    if (trustCa)
        pairs += QStringList{"mqtt-ca-file", certificates.filePath("ca.pem")};
    if (insecure)
        pairs += QStringList{"mqtt-tls-insecure", ""};
    MqttOptions options;
    QString error;
    for (int i = 0; i + 1 < pairs.size(); i += 2)
        QVERIFY2(options.set(pairs[i], pairs[i + 1], &error), qPrintable(error));
    QVERIFY2(options.finish(QProcessEnvironment(), &error), qPrintable(error));
    options.backoffMinMs = TestBackoffMinMs;
    options.backoffMaxMs = TestBackoffMaxMs;
    MqttSink sink(options);
    sink.start();
    const MeterInfo meter = kvtest::SyntheticMeter();
    sink.meterUp(meter);
    sink.reading(meter, kvtest::SyntheticReading(0));
    if (accepted) {
        QTRY_VERIFY_WITH_TIMEOUT(sink.counters().connected, Timeout);
        QTRY_COMPARE_WITH_TIMEOUT(sink.counters().queued, 0u, Timeout);
    } else {
        QTRY_VERIFY_WITH_TIMEOUT(sink.counters().connectAttempts >= 3u, Timeout);
        QCOMPARE(sink.counters().connects, 0u);
        QCOMPARE(sink.counters().queued, 1u); // the reading waits; nothing went to an unverified broker
        const QStringList failures = capturedLog.filter(QStringLiteral("cannot connect"));
        QCOMPARE(failures.size(), 1);
        QVERIFY2(!failures[0].contains(u"set-up"), qPrintable(failures[0])); // refused by the check, not unset
    }
    sink.stop();
}

QTEST_GUILESS_MAIN(TestMqttBroker)
#include "tst_mqttbroker.moc"
