// The Prometheus exposition: samples of up, out-of-range and down meters,
// label escaping, value text, extra families, promtool's verdict and the
// textfile collector's file.

#include "service/prometheus.h"
#include "service/textfile.h"
#include "support/fakestatus.h"

#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <clocale>
#include <limits>

using namespace kv::service;
using namespace kvtest;

Q_DECLARE_METATYPE(QList<MeterStatus>)

namespace {

QStringList SampleLines(const QByteArray &text)
{
    QStringList samples;
    for (const QString &line : QString::fromUtf8(text).split(QLatin1Char('\n')))
        if (!line.isEmpty() && !line.startsWith(QLatin1Char('#')))
            samples << line;
    return samples;
}

// promtool's exit code and output on the text; -1 when it is not installed.
struct Promtool {
    int exitCode = -1;
    QString output;
};

Promtool CheckMetrics(const QByteArray &text)
{
    Promtool result;
    const QString promtool = QStandardPaths::findExecutable(QStringLiteral("promtool"));
    if (promtool.isEmpty())
        return result;
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(promtool, {QStringLiteral("check"), QStringLiteral("metrics")});
    if (!process.waitForStarted(30000))
        return result;
    process.write(text);
    process.closeWriteChannel();
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        result.exitCode = -2;
        return result;
    }
    result.exitCode = process.exitCode();
    result.output = QString::fromUtf8(process.readAll());
    return result;
}

class CountersSource : public MetricSource {
public:
    QList<MetricFamily> families;
    QList<MetricFamily> metricFamilies() const override { return families; }
};

const QString Hostile = QStringLiteral("a\"b\\c\nkv3917_up{meter=\"evil\"} 1\n\r\tä€");

} // namespace

class TestPrometheus : public QObject {
    Q_OBJECT

private slots:
    void render_data();
    void render();
    void promtoolAcceptsEveryCase_data() { render_data(); }
    void promtoolAcceptsEveryCase();
    void familiesHaveHelpAndType();
    void sampleValueText_data();
    void sampleValueText();
    void valuesIgnoreTheDecimalCommaLocale();
    void sharedSerialsMakeDistinctSeries();
    void extraFamilies();
    void textfileIsReplacedWhole();
    void textfileOfAStoppedServiceHasNoValues();
    void textfileReportsAFolderItCannotWrite();
};

void TestPrometheus::render_data()
{
    QTest::addColumn<QList<MeterStatus>>("meters");
    QTest::addColumn<QStringList>("present");
    QTest::addColumn<QStringList>("absent"); // regular expressions no sample line may match

    QTest::newRow("up meter") << QList<MeterStatus>{Meter("KV001", "/dev/ttyUSB0", MeterState::Up,
                                                          Reading(45.25, 23.5, 24.1, 16, -11.5))}
                              << QStringList{"kv3917_up{meter=\"KV001\"} 1",
                                             "kv3917_temperature_celsius{meter=\"KV001\",channel=\"t1\"} 23.5",
                                             "kv3917_temperature_celsius{meter=\"KV001\",channel=\"t2\"} 24.1",
                                             "kv3917_temperature_celsius{meter=\"KV001\",channel=\"wet_bulb\"} 16",
                                             "kv3917_temperature_celsius{meter=\"KV001\",channel=\"dew_point\"} -11.5",
                                             "kv3917_relative_humidity_ratio{meter=\"KV001\"} 0.4525",
                                             "kv3917_last_reading_timestamp_seconds{meter=\"KV001\"} 1733832000.123",
                                             "kv3917_meter_info{meter=\"KV001\",port=\"/dev/ttyUSB0\",firmware=\"1.07\","
                                             "thermocouple=\"K\",unit=\"C\"} 1",
                                             "kv3917_polls_total{meter=\"KV001\"} 120",
                                             "kv3917_poll_failures_total{meter=\"KV001\"} 3",
                                             "kv3917_reconnects_total{meter=\"KV001\"} 1"}
                              << QStringList{"^kv3917_out_of_range", "channel=\"rh\"", "^kv3917_temperature_celsius\\S* .*\\d{6}"};

    MeterReading overT2 = Reading(50, 21, 0, 15, 10);
    OutOfRange(overT2, ChannelId::T2);
    OutOfRange(overT2, ChannelId::Rh);
    QTest::newRow("out-of-range channels")
        << QList<MeterStatus>{Meter("KV002", "demo:1", MeterState::Up, overT2)}
        << QStringList{"kv3917_out_of_range{meter=\"KV002\",channel=\"t2\"} 1",
                       "kv3917_out_of_range{meter=\"KV002\",channel=\"rh\"} 1",
                       "kv3917_temperature_celsius{meter=\"KV002\",channel=\"t1\"} 21"}
        << QStringList{"channel=\"t2\"\\} (?!1$)", "^kv3917_relative_humidity_ratio",
                       "^kv3917_out_of_range\\{meter=\"KV002\",channel=\"t1\""};

    QTest::newRow("down meter keeps no values")
        << QList<MeterStatus>{Meter("KV003", "/dev/rfcomm0", MeterState::Down, OutOfRange(overT2, ChannelId::T1))}
        << QStringList{"kv3917_up{meter=\"KV003\"} 0",
                       "kv3917_last_reading_timestamp_seconds{meter=\"KV003\"} 1733832000.123",
                       "kv3917_meter_info{meter=\"KV003\",port=\"/dev/rfcomm0\",firmware=\"1.07\",thermocouple=\"K\","
                       "unit=\"C\"} 1",
                       "kv3917_polls_total{meter=\"KV003\"} 120"}
        << QStringList{"^kv3917_temperature_celsius", "^kv3917_relative_humidity_ratio", "^kv3917_out_of_range"};

    QTest::newRow("meter not identified yet")
        << QList<MeterStatus>{Meter(QString(), "/dev/ttyS4", MeterState::Connecting)}
        << QStringList{"kv3917_up{meter=\"/dev/ttyS4\"} 0",
                       "kv3917_meter_info{meter=\"/dev/ttyS4\",port=\"/dev/ttyS4\",firmware=\"1.07\",thermocouple=\"\","
                       "unit=\"\"} 1"}
        << QStringList{"^kv3917_temperature_celsius", "^kv3917_last_reading_timestamp_seconds"};

    MeterStatus hostile = Meter(Hostile, QStringLiteral("/dev/\"tty\\\n"), MeterState::Up, Reading(40, 20, 21, 15, 10));
    hostile.info.firmware = QStringLiteral("}\"{");
    QTest::newRow("hostile serial and port text")
        << QList<MeterStatus>{hostile}
        << QStringList{"kv3917_up{meter=\"a\\\"b\\\\c\\nkv3917_up{meter=\\\"evil\\\"} 1\\n\r\tä€\"} 1",
                       "kv3917_meter_info{meter=\"a\\\"b\\\\c\\nkv3917_up{meter=\\\"evil\\\"} 1\\n\r\tä€\","
                       "port=\"/dev/\\\"tty\\\\\\n\",firmware=\"}\\\"{\",thermocouple=\"K\",unit=\"C\"} 1"}
        << QStringList{"^kv3917_up\\{meter=\"evil\"\\}", "^ 1$"};

    QList<MeterStatus> several;
    for (int i = 3; i >= 0; --i)
        several << NumberedMeter(i);
    several << Meter("KV0999", "demo:9", MeterState::Down, Reading(1, 2, 3, 4, 5));
    QTest::newRow("several meters")
        << several
        << QStringList{"kv3917_temperature_celsius{meter=\"KV1000\",channel=\"t1\"} 20",
                       "kv3917_temperature_celsius{meter=\"KV1003\",channel=\"t2\"} 103",
                       "kv3917_relative_humidity_ratio{meter=\"KV1002\"} 0.42", "kv3917_up{meter=\"KV0999\"} 0"}
        << QStringList{"meter=\"KV0999\",channel"};
}

void TestPrometheus::render()
{
    QFETCH(QList<MeterStatus>, meters);
    QFETCH(QStringList, present);
    QFETCH(QStringList, absent);

    const QStringList samples = SampleLines(RenderExposition(meters));
    for (const QString &line : present)
        QVERIFY2(samples.contains(line), qPrintable(QStringLiteral("missing: ") + line + QLatin1Char('\n')
                                                    + samples.join(QLatin1Char('\n'))));
    for (const QString &pattern : absent) {
        const QRegularExpression expression(pattern);
        QVERIFY(expression.isValid());
        for (const QString &line : samples)
            QVERIFY2(!expression.match(line).hasMatch(), qPrintable(pattern + QStringLiteral(" matches ") + line));
    }
    // One series per name and label set, and meters in order of their label.
    QSet<QString> series;
    for (const QString &line : samples)
        series.insert(line.left(line.lastIndexOf(QLatin1Char(' '))));
    QCOMPARE(series.size(), samples.size());
}

void TestPrometheus::promtoolAcceptsEveryCase()
{
    QFETCH(QList<MeterStatus>, meters);
    CountersSource mqtt;
    mqtt.families = {{"kv3917_mqtt_published_total", "Messages handed to the broker.", MetricFamily::Type::Counter,
                      {{{{"meter", Hostile}}, 12}, {{{"meter", "KV1"}}, 0}}},
                     {"kv3917_spool_bytes", "Bytes waiting in the spool.", MetricFamily::Type::Gauge, {{{}, 4096}}}};
    const Promtool check = CheckMetrics(RenderExposition(meters, mqtt.metricFamilies()));
    if (check.exitCode == -1)
        QSKIP("promtool is not installed (scripts/install-deps --test installs it)");
    QVERIFY2(check.exitCode == 0 && check.output.trimmed().isEmpty(), qPrintable(check.output));
}

void TestPrometheus::familiesHaveHelpAndType()
{
    // Even with no meter at all every family is announced once, so a
    // dashboard sees the names before the first meter comes up.
    const QString text = QString::fromUtf8(RenderExposition({}));
    const QStringList families{"kv3917_up", "kv3917_temperature_celsius", "kv3917_relative_humidity_ratio",
                               "kv3917_out_of_range", "kv3917_last_reading_timestamp_seconds", "kv3917_meter_info",
                               "kv3917_polls_total", "kv3917_poll_failures_total", "kv3917_reconnects_total"};
    for (const QString &family : families) {
        const QString type = family.endsWith(QLatin1String("_total")) ? QStringLiteral("counter") : QStringLiteral("gauge");
        QCOMPARE(text.count(QStringLiteral("# HELP ") + family + QLatin1Char(' ')), 1);
        QCOMPARE(text.count(QStringLiteral("# TYPE ") + family + QLatin1Char(' ') + type + QLatin1Char('\n')), 1);
    }
    QVERIFY(SampleLines(text.toUtf8()).isEmpty());
    QVERIFY(text.endsWith(QLatin1Char('\n')));
}

void TestPrometheus::sampleValueText_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("tenth") << 0.1 << QByteArray("0.1");
    QTest::newRow("negative") << -40.0 << QByteArray("-40");
    QTest::newRow("fahrenheit converted") << (77.3 - 32.0) * 5.0 / 9.0 << QByteArray("25.166666666666668");
    QTest::newRow("epoch seconds with ms") << 1733832000.123 << QByteArray("1733832000.123");
    QTest::newRow("large counter") << 9007199254740992.0 << QByteArray("9007199254740992");
    QTest::newRow("tiny") << 1e-7 << QByteArray("1e-07");
    QTest::newRow("NaN") << std::numeric_limits<double>::quiet_NaN() << QByteArray("NaN");
    QTest::newRow("+Inf") << std::numeric_limits<double>::infinity() << QByteArray("+Inf");
    QTest::newRow("-Inf") << -std::numeric_limits<double>::infinity() << QByteArray("-Inf");
}

void TestPrometheus::sampleValueText()
{
    QFETCH(double, value);
    QFETCH(QByteArray, text);
    QCOMPARE(FormatSampleValue(value), text);
    if (std::isfinite(value))
        QCOMPARE(text.toDouble(), value); // reads back as the same double
}

void TestPrometheus::valuesIgnoreTheDecimalCommaLocale()
{
    const QLocale before;
    const std::string cBefore = std::setlocale(LC_ALL, nullptr);
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    std::setlocale(LC_ALL, "de_DE.UTF-8"); // may be missing; QLocale alone still counts
    const QStringList samples = SampleLines(RenderExposition({Meter("KV9", "demo:9", MeterState::Up,
                                                                    Reading(45.25, 23.5, 1234.5, 16, 11))}));
    std::setlocale(LC_ALL, cBefore.c_str());
    QLocale::setDefault(before);
    QVERIFY(samples.contains("kv3917_temperature_celsius{meter=\"KV9\",channel=\"t2\"} 1234.5"));
    QVERIFY(samples.contains("kv3917_relative_humidity_ratio{meter=\"KV9\"} 0.4525"));
}

void TestPrometheus::sharedSerialsMakeDistinctSeries()
{
    // The same serial on two ports (or a USB meter also given as --port):
    // the first by port keeps the plain label, the other names its port.
    const QList<MeterStatus> meters{Meter("KV7", "/dev/ttyUSB1", MeterState::Up, Reading(40, 20, 21, 15, 10)),
                                    Meter("KV7", "/dev/ttyUSB0", MeterState::Up, Reading(41, 22, 23, 16, 11)),
                                    Meter("KV7@/dev/ttyUSB1", "demo:1", MeterState::Down)};
    QCOMPARE(MeterLabels(meters), QStringList({"KV7@/dev/ttyUSB1+", "KV7", "KV7@/dev/ttyUSB1"}));
    const QStringList samples = SampleLines(RenderExposition(meters));
    QVERIFY(samples.contains("kv3917_temperature_celsius{meter=\"KV7\",channel=\"t1\"} 22"));
    QVERIFY(samples.contains("kv3917_temperature_celsius{meter=\"KV7@/dev/ttyUSB1+\",channel=\"t1\"} 20"));
    QVERIFY(samples.contains("kv3917_up{meter=\"KV7@/dev/ttyUSB1\"} 0"));
}

void TestPrometheus::extraFamilies()
{
    FakeStatus status;
    status.list = {NumberedMeter(1)};
    PrometheusExposition exposition(status);
    CountersSource mqtt;
    mqtt.families = {{"kv3917_mqtt_published_total", "Messages handed\nto the broker \\ queued.", MetricFamily::Type::Counter,
                      {{{{"meter", "KV1001"}, {"bad-label", "x"}, {"__reserved", "y"}}, 7}}},
                     {"kv3917_up", "A second family of an own name.", MetricFamily::Type::Gauge, {{{}, 5}}},
                     {"0starts_with_digit", "Invalid name.", MetricFamily::Type::Gauge, {{{}, 5}}}};
    exposition.addSource(&mqtt);
    exposition.addSource(&mqtt); // once only
    const QByteArray text = exposition.render();
    const QStringList samples = SampleLines(text);
    QVERIFY(text.contains("# HELP kv3917_mqtt_published_total Messages handed\\nto the broker \\\\ queued.\n"
                          "# TYPE kv3917_mqtt_published_total counter\n"
                          "kv3917_mqtt_published_total{meter=\"KV1001\"} 7\n"));
    QCOMPARE(samples.count("kv3917_mqtt_published_total{meter=\"KV1001\"} 7"), 1);
    QVERIFY(!samples.contains("kv3917_up 5"));
    QVERIFY(!text.contains("0starts_with_digit"));
    QCOMPARE(text.count("# TYPE kv3917_up "), 1);

    exposition.removeSource(&mqtt);
    QVERIFY(!exposition.render().contains("kv3917_mqtt_published_total"));
}

void TestPrometheus::textfileIsReplacedWhole()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    FakeStatus status;
    status.list = {NumberedMeter(0)};
    PrometheusExposition exposition(status);
    const QString path = dir.filePath(QStringLiteral("kv3917.prom"));
    TextfileWriter writer(exposition, path);
    writer.setPeriodMs(100);
    QSignalSpy written(&writer, &TextfileWriter::written);
    writer.start();
    QCOMPARE(written.count(), 1); // at once, not only after the first period

    auto contents = [&] {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    QCOMPARE(contents(), exposition.render());
    // The timer writes the readings as they change, and only the final name
    // stays in the folder: the collector reads *.prom, never a half file.
    status.list = {NumberedMeter(0), NumberedMeter(5)};
    QTRY_COMPARE_WITH_TIMEOUT(contents(), exposition.render(), 20000);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"kv3917.prom"});
    writer.stop();
}

void TestPrometheus::textfileOfAStoppedServiceHasNoValues()
{
    QTemporaryDir dir;
    FakeStatus status;
    status.list = {NumberedMeter(0), NumberedMeter(1)};
    PrometheusExposition exposition(status);
    TextfileWriter writer(exposition, dir.filePath(QStringLiteral("kv3917.prom")));
    QVERIFY(writer.writeNow());
    QVERIFY(writer.writeStopped());
    QFile file(writer.path());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QStringList samples = SampleLines(file.readAll());
    QVERIFY(samples.contains("kv3917_up{meter=\"KV1000\"} 0"));
    QVERIFY(samples.contains("kv3917_up{meter=\"KV1001\"} 0"));
    for (const QString &line : samples)
        QVERIFY2(!line.startsWith(QLatin1String("kv3917_temperature")) && !line.startsWith(QLatin1String("kv3917_relative")),
                 qPrintable(line));
}

void TestPrometheus::textfileReportsAFolderItCannotWrite()
{
    QTemporaryDir dir;
    FakeStatus status;
    PrometheusExposition exposition(status);
    TextfileWriter writer(exposition, dir.filePath(QStringLiteral("missing/kv3917.prom")));
    QSignalSpy failed(&writer, &TextfileWriter::writeFailed);
    QString error;
    QVERIFY(!writer.writeNow(&error));
    QVERIFY2(error.contains(QLatin1String("missing/kv3917.prom")), qPrintable(error));
    QVERIFY(!writer.writeNow());
    QCOMPARE(failed.count(), 1); // reported once per change, not every period
    QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("missing"))));
    QVERIFY(writer.writeNow());
    QVERIFY(QDir(dir.filePath(QStringLiteral("missing"))).removeRecursively());
    QVERIFY(!writer.writeNow());
    QCOMPARE(failed.count(), 2);
}

QTEST_GUILESS_MAIN(TestPrometheus)
#include "tst_prometheus.moc"
