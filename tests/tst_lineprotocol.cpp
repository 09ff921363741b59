// Line protocol of the service's readings and of logger samples: escaping,
// channels out of range left out, millisecond times, numbers whatever the
// locale.

#include "logger/loggerimage.h"
#include "service/lineprotocol.h"
#include "tests/support/loggerimages.h"

#include <QtTest>

using namespace kv::service;

namespace {

MeterReading Reading(std::int64_t timeMs)
{
    MeterReading r;
    r.timeMs = timeMs;
    r.values = {45.2, 23.5, 24.125, 16.0, 11.0};
    r.displayUnit = QStringLiteral("C");
    r.thermocouple = QStringLiteral("K");
    return r;
}

MeterInfo Meter(const QString &serial)
{
    MeterInfo m;
    m.serial = serial;
    return m;
}

} // namespace

class TestLineProtocol : public QObject {
    Q_OBJECT

private slots:
    void reading();
    void escaping_data();
    void escaping();
    void outOfRange_data();
    void outOfRange();
    void numbers_data();
    void numbers();
    void decimalCommaLocale();
    void loggerSamples();
};

void TestLineProtocol::reading()
{
    QCOMPARE(LineOf(PointOf(Meter(QStringLiteral("KV3917-2210-0417")), Reading(1733829000123))),
             QByteArray("kv3917,meter=KV3917-2210-0417,thermocouple=K,unit=C "
                        "rh=45.2,t1=23.5,t2=24.125,wet_bulb=16,dew_point=11 1733829000123"));
    // Two readings within one second keep their own times.
    const QByteArray a = LineOf(PointOf(Meter(QStringLiteral("A")), Reading(1000)));
    const QByteArray b = LineOf(PointOf(Meter(QStringLiteral("A")), Reading(1500)));
    QVERIFY(a.endsWith(" 1000"));
    QVERIFY(b.endsWith(" 1500"));
}

void TestLineProtocol::escaping_data()
{
    QTest::addColumn<QString>("serial");
    QTest::addColumn<QByteArray>("tag");
    QTest::newRow("plain") << "KV-1" << QByteArray("meter=KV-1");
    QTest::newRow("space") << "lab 2" << QByteArray("meter=lab\\ 2");
    QTest::newRow("comma") << "a,b" << QByteArray("meter=a\\,b");
    QTest::newRow("equals") << "a=b" << QByteArray("meter=a\\=b");
    QTest::newRow("backslash") << "a\\b\\" << QByteArray("meter=a/b/");
    QTest::newRow("quote stays") << "a\"b" << QByteArray("meter=a\"b");
    QTest::newRow("line break") << "a\nb" << QByteArray("meter=a\\ b");
    QTest::newRow("utf-8") << QString::fromUtf8("Kühlraum") << QString::fromUtf8("meter=Kühlraum").toUtf8();
}

void TestLineProtocol::escaping()
{
    QFETCH(QString, serial);
    QFETCH(QByteArray, tag);
    const QByteArray line = LineOf(PointOf(Meter(serial), Reading(5)));
    QVERIFY2(line.startsWith("kv3917," + tag + ",thermocouple=K,unit=C "), line.constData());
    QVERIFY(!line.contains('\n'));
    QCOMPARE(EscapeMeasurement(QStringLiteral("a b,c=d")), QByteArray("a\\ b\\,c=d"));
}

void TestLineProtocol::outOfRange_data()
{
    QTest::addColumn<QList<int>>("outOfRange");
    QTest::addColumn<QByteArray>("fields");
    QTest::newRow("none") << QList<int>{} << QByteArray(" rh=45.2,t1=23.5,t2=24.125,wet_bulb=16,dew_point=11 ");
    QTest::newRow("rh") << QList<int>{0} << QByteArray(" t1=23.5,t2=24.125,wet_bulb=16,dew_point=11 ");
    QTest::newRow("t2") << QList<int>{2} << QByteArray(" rh=45.2,t1=23.5,wet_bulb=16,dew_point=11 ");
    QTest::newRow("all but dew point") << QList<int>{0, 1, 2, 3} << QByteArray(" dew_point=11 ");
}

void TestLineProtocol::outOfRange()
{
    QFETCH(QList<int>, outOfRange);
    QFETCH(QByteArray, fields);
    MeterReading r = Reading(77);
    for (int c : outOfRange) {
        r.outOfRange[size_t(c)] = true;
        r.values[size_t(c)].reset();
    }
    const QByteArray line = LineOf(PointOf(Meter(QStringLiteral("M")), r));
    QVERIFY2(line.contains(fields), line.constData());
    QVERIFY(line.endsWith(" 77"));
}

void TestLineProtocol::numbers_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("integer") << 16.0 << QByteArray("16");
    QTest::newRow("tenth") << 45.2 << QByteArray("45.2");
    QTest::newRow("negative") << -12.25 << QByteArray("-12.25");
    QTest::newRow("rounded to a thousandth") << 23.45678 << QByteArray("23.457");
    QTest::newRow("negative zero") << -0.0001 << QByteArray("0");
    QTest::newRow("large") << 1372.0 << QByteArray("1372");
}

void TestLineProtocol::numbers()
{
    QFETCH(double, value);
    QFETCH(QByteArray, text);
    QCOMPARE(FieldNumber(value), text);
}

void TestLineProtocol::decimalCommaLocale()
{
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const QByteArray line = LineOf(PointOf(Meter(QStringLiteral("M")), Reading(1)));
    QLocale::setDefault(before);
    QVERIFY2(line.contains("rh=45.2,t1=23.5,t2=24.125"), line.constData());
}

void TestLineProtocol::loggerSamples()
{
    // One Fahrenheit data set with an RH out of range, one in Celsius.
    kvtest::RawSet fahrenheit = kvtest::SetOf(2, {500, 200, 752});
    fahrenheit.unit = 0;
    fahrenheit.samples[1].rh10 = 1200;   // beyond the meter's range
    kvtest::RawSet celsius = kvtest::SetOf(1, {455, 235, 752});
    celsius.start = {0x24, 0x05, 0x02, 0x09, 0x15, 0x00};
    const QByteArray image = kvtest::LoggerImageBuilder().add(fahrenheit).add(celsius).image();
    const kv::LoggerParse parse = kv::ParseLoggerImage(image, 0);
    QCOMPARE(int(parse.dataSets.size()), 2);

    const std::vector<TimedLine> f = LoggerSetLines(parse, 0, QStringLiteral("M"));
    QCOMPARE(int(f.size()), 2);
    // Temperatures in °C whatever the set's unit; the unit tag tells it.
    QVERIFY2(f[0].line.startsWith("kv3917,meter=M,thermocouple=K,unit=F rh=50,t1=20,t2=24,"), f[0].line.constData());
    QVERIFY2(f[1].line.startsWith("kv3917,meter=M,thermocouple=K,unit=F t1=20,t2=24 "), f[1].line.constData());
    // 2025-03-31 23:59:58 local time and two seconds later.
    const std::int64_t start = QDateTime(QDate(2025, 3, 31), QTime(23, 59, 58)).toMSecsSinceEpoch();
    QCOMPARE(f[0].timeMs, start);
    QCOMPARE(f[1].timeMs, start + 2000);
    QVERIFY(f[1].line.endsWith(" " + QByteArray::number(qlonglong(start + 2000))));

    const std::vector<TimedLine> c = LoggerSetLines(parse, 1, QStringLiteral("M"));
    QCOMPARE(int(c.size()), 1);
    QVERIFY2(c[0].line.startsWith("kv3917,meter=M,thermocouple=K,unit=C rh=45.5,t1=23.5,t2=24,"), c[0].line.constData());
    QCOMPARE(c[0].timeMs, QDateTime(QDate(2024, 5, 2), QTime(9, 15)).toMSecsSinceEpoch());
    QVERIFY(LoggerSetLines(parse, 2, QStringLiteral("M")).empty());
}

QTEST_GUILESS_MAIN(TestLineProtocol)
#include "tst_lineprotocol.moc"
