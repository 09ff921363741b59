// The MQTT output without a broker: topic levels from hostile serial-number
// texts, the state payload, Home Assistant discovery messages, the options,
// the reconnect back-off and the counters' exposition.

#include "service/hadiscovery.h"
#include "service/mqttbackoff.h"
#include "service/mqttoptions.h"
#include "service/mqttsink.h"
#include "service/mqtttopics.h"
#include "tests/support/hadiscoverycheck.h"
#include "tests/support/meterreadings.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace kv::service;

namespace {

bool onlyTopicSafe(const QString &level)
{
    static const QRegularExpression safe(QStringLiteral("^[A-Za-z0-9_-]+$"));
    return safe.match(level).hasMatch();
}

MqttOptions optionsWith(const QList<QPair<QString, QString>> &pairs, QString *error)
{
    MqttOptions options;
    for (const auto &[name, value] : pairs)
        if (!options.set(name, value, error))
            return options;
    return options;
}

} // namespace

class TestMqtt : public QObject {
    Q_OBJECT
private slots:
    void meterTopicLevel_data();
    void meterTopicLevel();
    void meterTopicLevelsStayDistinct();
    void longSerialIsShortened();
    void topicsKeepTheirLevels_data();
    void topicsKeepTheirLevels();
    void statePayloadMatchesReading_data();
    void statePayloadMatchesReading();
    void statePayloadExact_data();
    void statePayloadExact();
    void statePayloadIgnoresLocale();
    void discoveryHasEveryKey_data();
    void discoveryHasEveryKey();
    void removalEmptiesBothStyles();
    void expireAfter_data();
    void expireAfter();
    void brokerUrl_data();
    void brokerUrl();
    void optionValues_data();
    void optionValues();
    void optionsTogether_data();
    void optionsTogether();
    void passwordSources();
    void clientIdIsStableAndShort();
    void backoffDoublesWithJitterUpToTheCap();
    void metricsText();
};

void TestMqtt::meterTopicLevel_data()
{
    QTest::addColumn<QString>("serial");
    QTest::addColumn<QString>("level");
    QTest::newRow("plain") << QStringLiteral("KV0001") << QStringLiteral("KV0001");
    QTest::newRow("slash") << QStringLiteral("A/B") << QStringLiteral("A_2FB");
    QTest::newRow("plus") << QStringLiteral("A+B") << QStringLiteral("A_2BB");
    QTest::newRow("hash") << QStringLiteral("#") << QStringLiteral("_23");
    QTest::newRow("space") << QStringLiteral("KV 01") << QStringLiteral("KV_2001");
    QTest::newRow("control bytes") << QStringLiteral("K\x01\x7f\n") << QStringLiteral("K_01_7F_0A");
    QTest::newRow("NUL") << QString(QChar(0)) << QStringLiteral("_00");
    QTest::newRow("underscore") << QStringLiteral("a_b") << QStringLiteral("a_5Fb");
    QTest::newRow("dot") << QStringLiteral("../..") << QStringLiteral("_2E_2E_2F_2E_2E");
    QTest::newRow("UTF-8") << QStringLiteral("\u00e9") << QStringLiteral("_C3_A9");
    QTest::newRow("dash kept") << QStringLiteral("KV-9") << QStringLiteral("KV-9");
    QTest::newRow("empty") << QString() << QStringLiteral("_");
    QTest::newRow("wildcards only") << QStringLiteral("+/#") << QStringLiteral("_2B_2F_23");
}

void TestMqtt::meterTopicLevel()
{
    QFETCH(QString, serial);
    QFETCH(QString, level);
    const QString escaped = MeterTopicLevel(serial);
    QCOMPARE(escaped, level);
    QVERIFY(onlyTopicSafe(escaped));
    bool ok = false;
    QCOMPARE(DecodeMeterTopicLevel(escaped, &ok), serial.toUtf8());
    QVERIFY(ok);
}

void TestMqtt::meterTopicLevelsStayDistinct()
{
    // Texts a replacing (rather than escaping) scheme would merge.
    const QStringList serials{QStringLiteral("A/B"), QStringLiteral("A_B"), QStringLiteral("A_2FB"),
                              QStringLiteral("A B"), QStringLiteral("A+B"), QStringLiteral("AB"),
                              QStringLiteral("_"),   QString(),             QStringLiteral("A#B")};
    QSet<QString> levels;
    for (const QString &serial : serials)
        levels.insert(MeterTopicLevel(serial));
    QCOMPARE(levels.size(), serials.size());
}

void TestMqtt::longSerialIsShortened()
{
    // Cut positions falling on every offset inside an escape.
    QSet<QString> levels;
    for (int plain = 40; plain < 56; ++plain) {
        const QString serial = QString(plain, u'x') + QStringLiteral("/////////////////////");
        const QString level = MeterTopicLevel(serial);
        QVERIFY2(level.size() <= TopicLevelMaxBytes, qPrintable(level));
        QVERIFY2(onlyTopicSafe(level), qPrintable(level));
        levels.insert(level);
    }
    QCOMPARE(levels.size(), 16);
    QVERIFY(MeterTopicLevel(QString(100, u'a') + u'1') != MeterTopicLevel(QString(100, u'a') + u'2'));
}

void TestMqtt::topicsKeepTheirLevels_data()
{
    QTest::addColumn<QString>("serial");
    QTest::newRow("slash") << QStringLiteral("a/b/c");
    QTest::newRow("wildcards") << QStringLiteral("+#+");
    QTest::newRow("spaces and newline") << QStringLiteral(" x \n");
    QTest::newRow("parent") << QStringLiteral("..");
    QTest::newRow("empty") << QString();
}

void TestMqtt::topicsKeepTheirLevels()
{
    QFETCH(QString, serial);
    const MqttTopics topics(QStringLiteral("site/kv3917"), QStringLiteral("homeassistant"));
    const QString level = MeterTopicLevel(serial);
    QCOMPARE(topics.state(serial).split(u'/'), (QStringList{"site", "kv3917", level, "state"}));
    QCOMPARE(topics.availability(serial).split(u'/'), (QStringList{"site", "kv3917", level, "availability"}));
    QCOMPARE(topics.deviceConfig(serial).split(u'/'),
             (QStringList{"homeassistant", "device", "kv3917_" + level, "config"}));
    for (const ChannelInfo &channel : MeterChannels)
        QCOMPARE(topics.entityConfig(serial, channel).split(u'/'),
                 (QStringList{"homeassistant", "sensor", "kv3917_" + level, channel.key, "config"}));
    QVERIFY(onlyTopicSafe(MqttTopics::deviceId(serial)));
    QVERIFY(onlyTopicSafe(MqttTopics::uniqueId(serial, MeterChannels[0])));
}

void TestMqtt::statePayloadMatchesReading_data()
{
    QTest::addColumn<int>("index");
    QTest::newRow("all channels") << 0;
    QTest::newRow("degrees F shown") << 1;
    QTest::newRow("T2 out of range") << 3;
    QTest::newRow("min mode") << 2;
    QTest::newRow("max mode") << 25;
    QTest::newRow("hold in max mode") << 9;
    QTest::newRow("avg mode, T2 out of range") << 31;
}

void TestMqtt::statePayloadMatchesReading()
{
    QFETCH(int, index);
    const MeterReading reading = kvtest::SyntheticReading(index);
    QJsonParseError error;
    const QJsonObject state = QJsonDocument::fromJson(StatePayload(reading), &error).object();
    QCOMPARE(error.error, QJsonParseError::NoError);

    QCOMPARE(QDateTime::fromString(state.value(u"time").toString(), Qt::ISODateWithMs).toMSecsSinceEpoch(),
             reading.timeMs);
    QStringList outOfRange;
    for (const ChannelInfo &channel : MeterChannels) {
        const QJsonValue value = state.value(QLatin1String(channel.key));
        const auto &expected = reading.values[std::size_t(channel.id)];
        if (reading.outOfRange[std::size_t(channel.id)]) {
            QVERIFY2(value.isNull(), channel.key);
            outOfRange << QLatin1String(channel.key);
        } else {
            QVERIFY2(value.isDouble(), channel.key);
            QCOMPARE(value.toDouble(), *expected);
        }
    }
    QStringList listed;
    for (const QJsonValue &key : state.value(u"out_of_range").toArray())
        listed << key.toString();
    QCOMPARE(listed, outOfRange);
    QCOMPARE(state.value(u"unit").toString(), reading.displayUnit);
    QCOMPARE(state.value(u"thermocouple").toString(), reading.thermocouple);
    QCOMPARE(state.value(u"hold").toBool(!reading.hold), reading.hold);
    QCOMPARE(state.value(u"mode").toString(), QString::fromLatin1(DisplayModeKey(reading.mode)));
    QCOMPARE(state.size(), ChannelCount + 6);
}

void TestMqtt::statePayloadExact_data()
{
    QTest::addColumn<int>("offsetSeconds");
    QTest::addColumn<QByteArray>("time");
    QTest::newRow("east of UTC") << 3600 << QByteArray("2024-05-02T14:03:11.500+01:00");
    QTest::newRow("west of UTC, half hour") << -(5 * 3600 + 1800) << QByteArray("2024-05-02T07:33:11.500-05:30");
    QTest::newRow("UTC") << 0 << QByteArray("2024-05-02T13:03:11.500+00:00");
}

void TestMqtt::statePayloadExact()
{
    QFETCH(int, offsetSeconds);
    QFETCH(QByteArray, time);
    MeterReading reading;
    reading.timeMs = QDateTime(QDate(2024, 5, 2), QTime(13, 3, 11, 500), QTimeZone::utc()).toMSecsSinceEpoch();
    reading.time = QDateTime::fromMSecsSinceEpoch(reading.timeMs, QTimeZone(offsetSeconds));
    reading.values = {45.2, 23.5, std::nullopt, 16, -0.1};
    reading.outOfRange[std::size_t(ChannelId::T2)] = true;
    reading.displayUnit = QStringLiteral("C");
    reading.hold = true;
    reading.mode = DisplayMode::Max;
    QCOMPARE(StatePayload(reading),
             "{\"time\":\"" + time +
                 "\",\"rh\":45.2,\"t1\":23.5,\"t2\":null,\"wet_bulb\":16,\"dew_point\":-0.1,\"unit\":\"C\","
                 "\"thermocouple\":null,\"hold\":true,\"mode\":\"max\",\"out_of_range\":[\"t2\"]}");
}

void TestMqtt::statePayloadIgnoresLocale()
{
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const QByteArray payload = StatePayload(kvtest::SyntheticReading(12));
    QLocale::setDefault(saved);
    QVERIFY2(payload.contains("\"rh\":41.2,"), payload.constData());
    QVERIFY(!QJsonDocument::fromJson(payload).isNull());
}

void TestMqtt::discoveryHasEveryKey_data()
{
    QTest::addColumn<int>("style");
    QTest::addColumn<QString>("serial");
    QTest::newRow("device-based") << int(HaDiscoveryStyle::Device) << QStringLiteral("KV0001");
    QTest::newRow("per entity") << int(HaDiscoveryStyle::Entity) << QStringLiteral("KV0001");
    QTest::newRow("device-based, hostile serial") << int(HaDiscoveryStyle::Device) << QStringLiteral("a/\"b\"+#\n");
    QTest::newRow("per entity, hostile serial") << int(HaDiscoveryStyle::Entity) << QStringLiteral("a/\"b\"+#\n");
}

void TestMqtt::discoveryHasEveryKey()
{
    QFETCH(int, style);
    QFETCH(QString, serial);
    const MqttTopics topics(QStringLiteral("kv3917"), QStringLiteral("homeassistant"));
    const MeterInfo meter = kvtest::SyntheticMeter(serial);
    const HaDiscoverySettings settings{1, 2};
    const QList<MqttMessage> messages = HaDiscoveryMessages(HaDiscoveryStyle(style), meter, topics, settings);
    if (HaDiscoveryStyle(style) == HaDiscoveryStyle::Device) {
        QCOMPARE(messages.size(), 1);
        QCOMPARE(messages[0].topic, topics.deviceConfig(serial));
        QVERIFY(messages[0].retain);
        QJsonObject config = QJsonDocument::fromJson(messages[0].payload).object();
        const QJsonObject components = config.take(u"components").toObject();
        QCOMPARE(components.size(), ChannelCount);
        for (const ChannelInfo &channel : MeterChannels) {
            const QJsonObject component = components.value(QLatin1String(channel.key)).toObject();
            QCOMPARE(component.value(u"platform").toString(), QStringLiteral("sensor"));
            kvtest::CheckHaEntity(component, config, meter, channel, topics, 1, 2);
            if (QTest::currentTestFailed())
                return;
        }
    } else {
        QCOMPARE(messages.size(), ChannelCount);
        for (int i = 0; i < ChannelCount; ++i) {
            QCOMPARE(messages[i].topic, topics.entityConfig(serial, MeterChannels[std::size_t(i)]));
            QVERIFY(messages[i].retain);
            kvtest::CheckHaEntity(QJsonDocument::fromJson(messages[i].payload).object(), {}, meter,
                                  MeterChannels[std::size_t(i)], topics, 1, 2);
            if (QTest::currentTestFailed())
                return;
        }
    }
    QVERIFY(HaDiscoveryMessages(HaDiscoveryStyle::Off, meter, topics, settings).isEmpty());
}

void TestMqtt::removalEmptiesBothStyles()
{
    const MqttTopics topics(QStringLiteral("kv3917"), QStringLiteral("homeassistant"));
    const MeterInfo meter = kvtest::SyntheticMeter();
    QSet<QString> published;
    for (HaDiscoveryStyle style : {HaDiscoveryStyle::Device, HaDiscoveryStyle::Entity})
        for (const MqttMessage &message : HaDiscoveryMessages(style, meter, topics, {}))
            published.insert(message.topic);
    QSet<QString> removed;
    for (const MqttMessage &message : HaRemovalMessages(meter, topics)) {
        QVERIFY(message.payload.isEmpty());
        QVERIFY(message.retain);
        removed.insert(message.topic);
    }
    QCOMPARE(removed, published);
}

void TestMqtt::expireAfter_data()
{
    QTest::addColumn<int>("pollMs");
    QTest::addColumn<int>("publishMs");
    QTest::addColumn<int>("seconds");
    QTest::newRow("default poll, every reading") << 500 << 0 << 2;
    QTest::newRow("1 s poll") << 1000 << 0 << 3;
    QTest::newRow("publish period longer") << 500 << 10000 << 30;
    QTest::newRow("fast poll") << 100 << 0 << 1;
}

void TestMqtt::expireAfter()
{
    QFETCH(int, pollMs);
    QFETCH(int, publishMs);
    QFETCH(int, seconds);
    QCOMPARE(HaExpireAfterSeconds(pollMs, publishMs), seconds);
}

void TestMqtt::brokerUrl_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");
    QTest::addColumn<bool>("tls");
    QTest::newRow("plain, default port") << "mqtt://broker.local" << true << "broker.local" << 1883 << false;
    QTest::newRow("TLS, default port") << "mqtts://broker.local" << true << "broker.local" << 8883 << true;
    QTest::newRow("port") << "mqtt://127.0.0.1:1884" << true << "127.0.0.1" << 1884 << false;
    QTest::newRow("IPv6") << "mqtt://[::1]:1885" << true << "::1" << 1885 << false;
    QTest::newRow("trailing slash") << "mqtt://h/" << true << "h" << 1883 << false;
    QTest::newRow("other scheme") << "http://h" << false << "" << 0 << false;
    QTest::newRow("no scheme") << "broker.local" << false << "" << 0 << false;
    QTest::newRow("password in URL") << "mqtt://user:secret@h" << false << "" << 0 << false;
    QTest::newRow("path") << "mqtt://h/x" << false << "" << 0 << false;
    QTest::newRow("no host") << "mqtt://" << false << "" << 0 << false;
    QTest::newRow("port out of range") << "mqtt://h:70000" << false << "" << 0 << false;
}

void TestMqtt::brokerUrl()
{
    QFETCH(QString, url);
    QFETCH(bool, ok);
    MqttOptions options;
    QString error;
    QCOMPARE(options.set(QStringLiteral("mqtt"), url, &error), ok);
    if (!ok) {
        QVERIFY(error.startsWith(u"--mqtt "));
        QVERIFY(!options.enabled);
        // A password given in the URL never shows up in the message's advice.
        return;
    }
    QFETCH(QString, host);
    QFETCH(int, port);
    QFETCH(bool, tls);
    QVERIFY(options.enabled);
    QCOMPARE(options.host, host);
    QCOMPARE(options.port, port);
    QCOMPARE(options.tls, tls);
}

void TestMqtt::optionValues_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("ok");
    QTest::newRow("qos 0") << "mqtt-qos" << "0" << true;
    QTest::newRow("qos 2") << "mqtt-qos" << "2" << true;
    QTest::newRow("qos 3") << "mqtt-qos" << "3" << false;
    QTest::newRow("qos word") << "mqtt-qos" << "one" << false;
    QTest::newRow("period 0") << "mqtt-period" << "0" << true;
    QTest::newRow("period 2.5") << "mqtt-period" << "2.5" << true;
    QTest::newRow("period decimal comma") << "mqtt-period" << "2,5" << false;
    QTest::newRow("period negative") << "mqtt-period" << "-1" << false;
    QTest::newRow("queue 10") << "mqtt-queue" << "10" << true;
    QTest::newRow("queue 0") << "mqtt-queue" << "0" << false;
    QTest::newRow("prefix levels") << "mqtt-topic-prefix" << "site/lab" << true;
    QTest::newRow("prefix wildcard") << "mqtt-topic-prefix" << "site/+" << false;
    QTest::newRow("prefix hash") << "mqtt-discovery-prefix" << "ha#" << false;
    QTest::newRow("prefix leading slash") << "mqtt-topic-prefix" << "/kv" << false;
    QTest::newRow("prefix empty level") << "mqtt-topic-prefix" << "a//b" << false;
    QTest::newRow("prefix empty") << "mqtt-topic-prefix" << "" << false;
    QTest::newRow("version 5") << "mqtt-version" << "5" << true;
    QTest::newRow("version 3.1.1") << "mqtt-version" << "3.1.1" << true;
    QTest::newRow("version 3") << "mqtt-version" << "3" << false;
    QTest::newRow("discovery per entity") << "ha-discovery" << "entity" << true;
    QTest::newRow("discovery off") << "ha-discovery" << "off" << true;
    QTest::newRow("discovery other") << "ha-discovery" << "legacy" << false;
    QTest::newRow("client id 23") << "mqtt-client-id" << QString(23, u'c') << true;
    QTest::newRow("client id 24") << "mqtt-client-id" << QString(24, u'c') << false;
    QTest::newRow("client id space") << "mqtt-client-id" << "a b" << false;
    QTest::newRow("flag given") << "ha-remove" << "" << true;
    QTest::newRow("flag in config file") << "ha-remove" << "yes" << true;
    QTest::newRow("flag nonsense") << "ha-remove" << "maybe" << false;
    QTest::newRow("password as option") << "mqtt-password" << "secret" << false;
    QTest::newRow("not an MQTT key") << "port" << "/dev/ttyUSB0" << false;
}

void TestMqtt::optionValues()
{
    QFETCH(QString, name);
    QFETCH(QString, value);
    QFETCH(bool, ok);
    MqttOptions options;
    QString error;
    QCOMPARE(options.set(name, value, &error), ok);
    QCOMPARE(error.isEmpty(), ok);
    if (!ok)
        QVERIFY2(error.startsWith("--" + name + ": "), qPrintable(error));
    if (name == u"mqtt-password") {
        QVERIFY(!error.contains(value));
        QVERIFY(error.contains(u"--mqtt-password-file"));
        QVERIFY(options.password.isEmpty());
    }
    if (name == u"mqtt-period" && ok)
        QCOMPARE(options.publishPeriodMs, int(value.toDouble() * 1000));
}

void TestMqtt::optionsTogether_data()
{
    QTest::addColumn<QStringList>("pairs");
    QTest::addColumn<QString>("error"); // empty: accepted
    QTest::newRow("no broker: nothing to do") << QStringList{} << "";
    QTest::newRow("plain broker") << QStringList{"mqtt", "mqtt://h"} << "";
    QTest::newRow("CA file without TLS") << QStringList{"mqtt", "mqtt://h", "mqtt-ca-file", "/etc/hostname"}
                                         << "mqtts://";
    QTest::newRow("certificate without key")
        << QStringList{"mqtt", "mqtts://h", "mqtt-cert-file", "/etc/hostname"} << "go together";
    QTest::newRow("unreadable CA file") << QStringList{"mqtt", "mqtts://h", "mqtt-ca-file", "/nonexistent/ca.pem"}
                                        << "cannot read";
    QTest::newRow("removal without broker") << QStringList{"ha-remove", ""} << "needs a broker";
}

void TestMqtt::optionsTogether()
{
    QFETCH(QStringList, pairs);
    QFETCH(QString, error);
    MqttOptions options;
    QString message;
    for (int i = 0; i + 1 < pairs.size(); i += 2)
        QVERIFY2(options.set(pairs[i], pairs[i + 1], &message), qPrintable(message));
    const bool ok = options.finish(QProcessEnvironment(), &message);
    QCOMPARE(ok, error.isEmpty());
    if (!ok)
        QVERIFY2(message.contains(error), qPrintable(message));
}

void TestMqtt::passwordSources()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("password"));
    QFile out(file);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write("s3cret with spaces\r\nsecond line\n");
    out.close();
    QProcessEnvironment environment;
    environment.insert(QLatin1String(MqttPasswordVariable), QStringLiteral("from-env"));
    QString error;

    // The file wins over the environment; only its first line counts.
    MqttOptions fromFile = optionsWith({{"mqtt", "mqtt://h"}, {"mqtt-username", "u"}, {"mqtt-password-file", file}},
                                       &error);
    QVERIFY2(fromFile.finish(environment, &error), qPrintable(error));
    QVERIFY(fromFile.hasPassword);
    QCOMPARE(fromFile.password, QStringLiteral("s3cret with spaces"));

    MqttOptions fromEnv = optionsWith({{"mqtt", "mqtt://h"}, {"mqtt-username", "u"}}, &error);
    QVERIFY(fromEnv.finish(environment, &error));
    QCOMPARE(fromEnv.password, QStringLiteral("from-env"));

    MqttOptions none = optionsWith({{"mqtt", "mqtt://h"}, {"mqtt-username", "u"}}, &error);
    QVERIFY(none.finish(QProcessEnvironment(), &error));
    QVERIFY(!none.hasPassword);

    MqttOptions missing = optionsWith({{"mqtt", "mqtt://h"}, {"mqtt-username", "u"},
                                       {"mqtt-password-file", dir.filePath("absent")}}, &error);
    QVERIFY(!missing.finish(environment, &error));
    QVERIFY(error.contains(u"password file"));

    MqttOptions noUser = optionsWith({{"mqtt", "mqtt://h"}}, &error);
    QVERIFY(!noUser.finish(environment, &error));
    QVERIFY(error.contains(u"--mqtt-username"));
}

void TestMqtt::clientIdIsStableAndShort()
{
    MqttOptions a;
    QString error;
    QVERIFY(a.set(QStringLiteral("mqtt"), QStringLiteral("mqtt://broker.local"), &error));
    MqttOptions b = a;
    QVERIFY(b.set(QStringLiteral("mqtt-topic-prefix"), QStringLiteral("lab2"), &error));
    const QString id = DeriveMqttClientId(QStringLiteral("host1"), a);
    static const QRegularExpression alnum(QStringLiteral("^[A-Za-z0-9]{1,23}$"));
    QVERIFY2(alnum.match(id).hasMatch(), qPrintable(id));
    QCOMPARE(DeriveMqttClientId(QStringLiteral("host1"), a), id);
    QVERIFY(DeriveMqttClientId(QStringLiteral("host2"), a) != id);
    QVERIFY(DeriveMqttClientId(QStringLiteral("host1"), b) != id);
    QVERIFY(a.finish(QProcessEnvironment(), &error));
    QVERIFY(alnum.match(a.clientId).hasMatch());
}

void TestMqtt::backoffDoublesWithJitterUpToTheCap()
{
    constexpr int MinMs = 1000;
    constexpr int MaxMs = 60000;
    QSet<int> fifthDelays;
    for (std::uint32_t seed = 1; seed <= 10; ++seed) {
        MqttBackoff backoff(MinMs, MaxMs, seed);
        for (int round = 0; round < 2; ++round) {
            for (int n = 0; n < 12; ++n) {
                const int ceiling = std::min(MaxMs, MinMs << n);
                const int delay = backoff.nextDelayMs();
                QVERIFY2(delay >= std::max(MinMs, ceiling / 2) && delay <= ceiling,
                         qPrintable(QStringLiteral("attempt %1: %2 ms").arg(n).arg(delay)));
                if (n == 5 && round == 0)
                    fifthDelays.insert(delay);
            }
            backoff.reset(); // a connection was accepted: from the start again
        }
        QCOMPARE(backoff.slowestDelayMs(), MaxMs);
    }
    QVERIFY2(fifthDelays.size() > 1, "the delays carry jitter");
}

void TestMqtt::metricsText()
{
    MqttCounters counters;
    counters.sent = 12;
    counters.dropped = 3;
    counters.queued = 7;
    counters.connected = true;
    counters.connects = 2;
    const QByteArray text = MqttMetricsText(counters);
    for (const char *line : {"kv3917_mqtt_messages_sent_total 12\n", "kv3917_mqtt_messages_dropped_total 3\n",
                             "kv3917_mqtt_messages_queued 7\n", "kv3917_mqtt_connected 1\n",
                             "kv3917_mqtt_connects_total 2\n"})
        QVERIFY2(text.contains(line), line);
    const QString promtool = QStandardPaths::findExecutable(QStringLiteral("promtool"));
    if (promtool.isEmpty())
        QSKIP("promtool is not installed (scripts/install-deps --test installs it)");
    QProcess check;
    check.start(promtool, {QStringLiteral("check"), QStringLiteral("metrics")});
    QVERIFY(check.waitForStarted());
    check.write(text);
    check.closeWriteChannel();
    QVERIFY(check.waitForFinished(30000));
    QVERIFY2(check.exitCode() == 0, check.readAllStandardError().constData());
}

QTEST_GUILESS_MAIN(TestMqtt)
#include "tst_mqtt.moc"
