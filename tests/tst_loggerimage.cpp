// Splitting logger memory images into data sets: counts, start times,
// intervals, value rules and conversions, entry positions, list texts, and
// images whose counts point beyond their end.
#include "live/psychro.h"
#include "logger/loggerimage.h"
#include "realtime/datetime.h"
#include "sim/simmeter.h"
#include "tests/support/loggerimages.h"

#include <QtTest>

#include <cmath>

using kvtest::LoggerImageBuilder;
using kvtest::RawSample;
using kvtest::RawSet;
using kvtest::SetOf;

namespace {

const double Now = kv::ToDateTime(QDateTime(QDate(2026, 7, 14), QTime(10, 20, 30)));

double At(int y, int mo, int d, int h, int mi, int s) { return kv::ToDateTime(QDateTime(QDate(y, mo, d), QTime(h, mi, s))); }

using Bcd = std::array<std::uint8_t, 6>;

} // namespace

Q_DECLARE_METATYPE(Bcd)

class TestLoggerImage : public QObject {
    Q_OBJECT
private slots:
    void count_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("code");
        QTest::newRow("none") << 0 << int(kv::LoggerParseNoDataSet);
        QTest::newRow("4000") << 4000 << int(kv::LoggerParseOk);
        QTest::newRow("4001") << 4001 << int(kv::LoggerParseCountOutOfRange);
        QTest::newRow("65535") << 65535 << int(kv::LoggerParseCountOutOfRange);
    }
    void count()
    {
        QFETCH(int, count);
        QFETCH(int, code);
        LoggerImageBuilder builder;
        for (int i = 0; i < qMin(count, 4001); ++i)
            builder.add(SetOf(0));
        const kv::LoggerParse parse = kv::ParseLoggerImage(builder.image(count), Now);
        QCOMPARE(parse.code, code);
        QCOMPARE(int(parse.dataSets.size()), code == kv::LoggerParseOk ? count : 0);
        if (code == kv::LoggerParseOk) {
            // Empty data sets occupy 20 bytes each and add no entries.
            QCOMPARE(parse.dataSets.back().headerOffset, kv::LoggerFirstSetOffset + 20 * (count - 1));
            QVERIFY(parse.series.values.empty());
        }
    }

    void start_data()
    {
        QTest::addColumn<Bcd>("bcd");
        QTest::addColumn<double>("start");
        QTest::newRow("valid") << Bcd{0x25, 0x03, 0x31, 0x23, 0x59, 0x58} << At(2025, 3, 31, 23, 59, 58);
        QTest::newRow("month 13") << Bcd{0x25, 0x13, 0x01, 0x10, 0x00, 0x00} << Now;
        QTest::newRow("31 February") << Bcd{0x25, 0x02, 0x31, 0x10, 0x00, 0x00} << Now;
        QTest::newRow("hour 24") << Bcd{0x25, 0x02, 0x01, 0x24, 0x00, 0x00} << Now;
        QTest::newRow("second 60") << Bcd{0x25, 0x02, 0x01, 0x10, 0x00, 0x60} << Now;
        QTest::newRow("year not BCD") << Bcd{0x2A, 0x03, 0x31, 0x23, 0x59, 0x58} << At(2026, 3, 31, 23, 59, 58);
        QTest::newRow("day not BCD") << Bcd{0x25, 0x03, 0xF1, 0x23, 0x59, 0x58} << At(2025, 3, 14, 23, 59, 58);
        QTest::newRow("hour not BCD") << Bcd{0x25, 0x03, 0x31, 0x0C, 0x59, 0x58} << At(2025, 3, 31, 10, 59, 58);
        QTest::newRow("minute, second not BCD")
            << Bcd{0x25, 0x03, 0x31, 0x23, 0xFF, 0xAA} << At(2025, 3, 31, 23, 20, 30);
        QTest::newRow("month not BCD") << Bcd{0x25, 0x1F, 0x31, 0x23, 0x00, 0x00}
                                                << At(2025, 7, 31, 23, 0, 0);
    }
    void start()
    {
        QFETCH(Bcd, bcd);
        QFETCH(double, start);
        RawSet set = SetOf(3);
        set.start = bcd;
        set.intervalSeconds = 10;
        const kv::LoggerParse parse = kv::ParseLoggerImage(LoggerImageBuilder().add(set).image(), Now);
        QCOMPARE(parse.code, int(kv::LoggerParseOk));
        QCOMPARE(parse.dataSets.at(0).start, start);
        // Every entry of a sample carries its time: start + k * interval.
        QCOMPARE(parse.series.times.at(0), start);
        QCOMPARE(parse.series.times.at(4), start);
        QCOMPARE(kv::DateTimeText(parse.series.times.at(10)), kv::DateTimeText(start + 20 * kv::OneSecond));
    }

    void interval_data()
    {
        QTest::addColumn<int>("minutes");
        QTest::addColumn<int>("seconds");
        QTest::addColumn<int>("interval");
        QTest::newRow("0 0") << 0 << 0 << 2;
        QTest::newRow("0 1") << 0 << 1 << 1;
        QTest::newRow("61 10") << 61 << 10 << 10;
        QTest::newRow("2 61") << 2 << 61 << 122;
        QTest::newRow("61 61") << 61 << 61 << 2;
        QTest::newRow("60 60") << 60 << 60 << 3660;
    }
    void interval()
    {
        QFETCH(int, minutes);
        QFETCH(int, seconds);
        QFETCH(int, interval);
        QCOMPARE(kv::LoggerInterval(std::uint8_t(minutes), std::uint8_t(seconds)), interval);
        RawSet set = SetOf(1);
        set.intervalMinutes = std::uint8_t(minutes);
        set.intervalSeconds = std::uint8_t(seconds);
        QCOMPARE(kv::ParseLoggerImage(LoggerImageBuilder().add(set).image(), Now).dataSets.at(0).interval, interval);
    }

    void values_data()
    {
        QTest::addColumn<int>("unit");
        QTest::addColumn<int>("couple");
        QTest::addColumn<int>("rh10");
        QTest::addColumn<int>("t1");
        QTest::addColumn<int>("t2F");
        // Expected entries; `psychro`: wet bulb and dew point have values.
        QTest::addColumn<double>("rh");
        QTest::addColumn<double>("t1Entry");
        QTest::addColumn<double>("t2Entry");
        QTest::addColumn<bool>("psychro");
        QTest::newRow("RH 100.0 valid") << 1 << 0 << 1000 << 200 << 700 << 100.0 << 20.0 << 21.111111 << true;
        QTest::newRow("RH 100.1 over") << 1 << 0 << 1001 << 200 << 700 << 9000.0 << 20.0 << 21.111111 << false;
        QTest::newRow("RH -0.1 over") << 1 << 0 << -1 << 200 << 700 << 9000.0 << 20.0 << 21.111111 << false;
        QTest::newRow("T1 -25.0 valid") << 1 << 0 << 500 << -250 << 700 << 50.0 << -25.0 << 21.111111 << true;
        QTest::newRow("T1 -25.1 over") << 1 << 0 << 500 << -251 << 700 << 50.0 << 9000.0 << 21.111111 << false;
        QTest::newRow("T1 65.1 over") << 1 << 0 << 500 << 651 << 700 << 50.0 << 9000.0 << 21.111111 << false;
        QTest::newRow("F") << 0 << 0 << 500 << 200 << 700 << 50.0 << 68.0 << 70.0 << true;
        QTest::newRow("K") << 2 << 0 << 500 << 200 << 2120 << 50.0 << 293.15 << 373.15 << true;
        // The stored T2 is Fahrenheit: J's Fahrenheit limit (1832.6 F) decides,
        // so 1400 F (760 C) is a value in a Celsius data set, not over range.
        QTest::newRow("C set, J, 1400 F") << 1 << 1 << 500 << 200 << 14000 << 50.0 << 20.0 << 760.0 << true;
        QTest::newRow("C set, J, 1832.7 F over") << 1 << 1 << 500 << 200 << 18327 << 50.0 << 20.0 << 9000.0 << true;
        QTest::newRow("K type, -330 F under") << 1 << 0 << 500 << 200 << -3300 << 50.0 << 20.0 << -9000.0 << true;
        QTest::newRow("K type, -341 F below floor") << 0 << 0 << 500 << 200 << -3410 << 50.0 << 68.0 << -9000.0 << true;
        QTest::newRow("type 9 always in range") << 1 << 9 << 500 << 200 << 32000 << 50.0 << 20.0 << 1760.0 << true;
        QTest::newRow("unit 5: Celsius") << 5 << 0 << 500 << 200 << 2120 << 50.0 << 20.0 << 100.0 << true;
    }
    void values()
    {
        QFETCH(int, unit);
        QFETCH(int, couple);
        QFETCH(int, rh10);
        QFETCH(int, t1);
        QFETCH(int, t2F);
        QFETCH(double, rh);
        QFETCH(double, t1Entry);
        QFETCH(double, t2Entry);
        QFETCH(bool, psychro);
        RawSet set = SetOf(1, RawSample{rh10, t1, t2F});
        set.unit = std::uint8_t(unit);
        set.couple = std::uint8_t(couple);
        const kv::LoggerParse parse = kv::ParseLoggerImage(LoggerImageBuilder().add(set).image(), Now);
        QCOMPARE(parse.code, int(kv::LoggerParseOk));
        const std::vector<float> &v = parse.series.values;
        QCOMPARE(v.size(), size_t(5));
        QCOMPARE(v[0], float(rh));
        QCOMPARE(v[1], float(t1Entry));
        QCOMPARE(v[2], float(t2Entry));
        if (!psychro) {
            QCOMPARE(v[3], 9999.0f);
            QCOMPARE(v[4], 9999.0f);
            return;
        }
        const double t1C = t1 / 10.0;
        const auto inUnit = [unit](float c) {
            return unit == 0 ? float(c * 1.8 + 32.0) : unit == 2 ? float(c + 273.15) : c;
        };
        QCOMPARE(v[3], inUnit(kv::WetBulbTemperature(t1C, rh10 / 10.0)));
        QCOMPARE(v[4], inUnit(kv::DewPointTemperature(t1C, rh10 / 10.0)));
    }

    // Data sets of 10, 20 and 30 samples: data set 2 is entries 150..299.
    void entriesOfThirdSet()
    {
        LoggerImageBuilder builder;
        builder.add(SetOf(10, {100, 100, 700})).add(SetOf(20, {200, 200, 700}));
        RawSet third = SetOf(30, {300, 300, 700});
        third.start = {0x26, 0x01, 0x02, 0x03, 0x04, 0x05};
        builder.add(third);
        const kv::LoggerParse parse = kv::ParseLoggerImage(builder.image(), Now);
        QCOMPARE(parse.dataSets.size(), size_t(3));
        const kv::LoggerDataSet &set = parse.dataSets[2];
        QCOMPARE(set.firstEntry, qsizetype(150));
        QCOMPARE(parse.series.values.size(), size_t(300));
        QCOMPARE(parse.series.values[145], 20.0f);   // RH of the last sample before
        QCOMPARE(parse.series.values[150], 30.0f);
        QCOMPARE(parse.series.times[150], At(2026, 1, 2, 3, 4, 5));
        QCOMPARE(set.endOffset, set.headerOffset + 19 + 8 * 30);
    }

    // The image ends inside a data set: the complete ones before it are
    // listed, and no value comes from beyond the image.
    void damaged_data()
    {
        QTest::addColumn<QByteArray>("image");
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("sets");
        QTest::addColumn<int>("declared");
        const QByteArray two = LoggerImageBuilder().add(SetOf(4)).add(SetOf(5)).image(2, false);
        QTest::newRow("count beyond the sets") << LoggerImageBuilder().add(SetOf(4)).image(3) << 0 << 1 << 3;
        QTest::newRow("samples cut") << two.left(two.size() - 3) << 0 << 1 << 2;
        QTest::newRow("end markers cut") << two.left(two.size() - 2) << 0 << 2 << 2;
        QTest::newRow("header cut") << two.left(kv::LoggerFirstSetOffset + 52 + 10) << 0 << 1 << 2;
        RawSet huge = SetOf(2);
        huge.countOverride = 0xFFFF;
        QTest::newRow("sample count beyond") << LoggerImageBuilder().add(huge).image() << 7 << 0 << 1;
        QTest::newRow("no data set area") << LoggerImageBuilder().image(1).left(1000) << 7 << 0 << 1;
        QTest::newRow("9 bytes") << QByteArray(9, char(0x01)) << 7 << 0 << 0;
        QTest::newRow("empty") << QByteArray() << 7 << 0 << 0;
    }
    void damaged()
    {
        QFETCH(QByteArray, image);
        QFETCH(int, code);
        QFETCH(int, sets);
        QFETCH(int, declared);
        const kv::LoggerParse parse = kv::ParseLoggerImage(image, Now);
        QCOMPARE(parse.code, code);
        QCOMPARE(int(parse.dataSets.size()), sets);
        QCOMPARE(parse.declaredCount, declared);
        QCOMPARE(parse.truncated(), code == 0 && sets < declared);
        for (const kv::LoggerDataSet &set : parse.dataSets)
            QVERIFY(set.headerOffset + 18 + 8 * set.count <= image.size());
    }

    void rowTexts_data()
    {
        QTest::addColumn<QString>("localeName");
        QTest::addColumn<int>("unit");
        QTest::addColumn<int>("couple");
        QTest::addColumn<int>("minutes");
        QTest::addColumn<int>("seconds");
        QTest::addColumn<QStringList>("tail"); // columns 3..9
        QTest::newRow("C") << "C" << 1 << 1 << 0 << 2 << QStringList{"00:02", "7", "C", "J", "1.2", "-0.1", "5.6"};
        QTest::newRow("F") << "C" << 0 << 6 << 1 << 5 << QStringList{"01:05", "7", "F", "S", "1.2", "-0.1", "10.0"};
        QTest::newRow("unknown unit and type")
            << "C" << 7 << 9 << 60 << 60 << QStringList{"61:00", "7", "", "K", "1.2", "-0.1", "5.6"};
        QTest::newRow("decimal comma")
            << "de_DE" << 2 << 3 << 0 << 2 << QStringList{"00:02", "7", "K", "T", "1,2", "-0,1", "5,6"};
    }
    void rowTexts()
    {
        QFETCH(QString, localeName);
        QFETCH(int, unit);
        QFETCH(int, couple);
        QFETCH(int, minutes);
        QFETCH(int, seconds);
        QFETCH(QStringList, tail);
        RawSet set = SetOf(7);
        set.unit = std::uint8_t(unit);
        set.couple = std::uint8_t(couple);
        set.intervalMinutes = std::uint8_t(minutes);
        set.intervalSeconds = std::uint8_t(seconds);
        set.rhOffset = 12;
        set.t1Offset = -1;
        set.t2Offset = 100;
        const kv::LoggerParse parse = kv::ParseLoggerImage(LoggerImageBuilder().add(set).image(), Now);
        const QLocale locale(localeName);
        const QStringList row = kv::DataSetRowTexts(parse.dataSets.at(0), 4, locale);
        QCOMPARE(row.size(), 10);
        QCOMPARE(row[0], QStringLiteral("5"));
        QCOMPARE(row[1], locale.toString(QDate(2025, 3, 31), kv::ShortDateFormat(locale)));
        QCOMPARE(row[2], QStringLiteral("23:59:58"));
        QCOMPARE(row.mid(3), tail);
    }

    // Images the simulated meter writes parse into the data sets it was given.
    void simulatedMeterImage()
    {
        kv::SimOptions options;
        options.drift = false;
        options.prefillLogger = false;
        kv::SimMeter meter(nullptr, options);
        kv::SimDataSet set;
        set.start = QDateTime(QDate(2026, 2, 3), QTime(4, 5, 6));
        set.intervalSeconds = 75;
        set.unit = 0;
        set.type = 1;
        set.t2Offset = -3;
        set.samples = {{455, 231, 752}, {1200, 231, 752}};
        QVERIFY(meter.addDataSet(set));
        const QByteArray image = meter.memory().left(meter.memoryPointer() + 1);
        const kv::LoggerParse parse = kv::ParseLoggerImage(image, Now);
        QCOMPARE(parse.code, int(kv::LoggerParseOk));
        QCOMPARE(parse.dataSets.size(), size_t(1));
        const kv::LoggerDataSet &s = parse.dataSets[0];
        QCOMPARE(s.start, At(2026, 2, 3, 4, 5, 6));
        QCOMPARE(s.interval, 75);
        QCOMPARE(int(s.unit), 0);
        QCOMPARE(s.couple, 1);
        QCOMPARE(s.t2Offset, -3);
        QCOMPARE(s.endOffset, meter.memoryPointer());
        QCOMPARE(parse.series.values[0], 45.5f);
        QCOMPARE(parse.series.values[2], 75.2f);
        QCOMPARE(parse.series.values[5], 9000.0f);
    }
};

QTEST_GUILESS_MAIN(TestLoggerImage)
#include "tst_loggerimage.moc"
