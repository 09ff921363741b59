// Wet bulb and dew point as shown (one decimal), and the thermocouple range
// classes including the single-precision Fahrenheit limits.
#include "live/psychro.h"

#include <QtTest>

#include <cmath>

class TestPsychro : public QObject {
    Q_OBJECT
private slots:
    void derivedValues_data()
    {
        QTest::addColumn<double>("t");
        QTest::addColumn<double>("rh");
        QTest::addColumn<QString>("wetBulb");
        QTest::addColumn<QString>("dewPoint");
        QTest::newRow("20 C 50 %") << 20.0 << 50.0 << "13.7" << "9.3";
        QTest::newRow("30 C 80 %") << 30.0 << 80.0 << "27.1" << "26.2";
        QTest::newRow("20 C 100 %") << 20.0 << 100.0 << "20.0" << "20.0";
        QTest::newRow("20 C 0 %") << 20.0 << 0.0 << "6.1" << "-33.5";
    }
    void derivedValues()
    {
        QFETCH(double, t);
        QFETCH(double, rh);
        QFETCH(QString, wetBulb);
        QFETCH(QString, dewPoint);
        QCOMPARE(QString::number(kv::WetBulbTemperature(t, rh), 'f', 1), wetBulb);
        QCOMPARE(QString::number(kv::DewPointTemperature(t, rh), 'f', 1), dewPoint);
    }

    void dewPointAtSaturationIsAirTemperature_data()
    {
        QTest::addColumn<double>("t");
        QTest::newRow("20") << 20.0;
        QTest::newRow("-10.3") << -10.3;
        QTest::newRow("41.7") << 41.7;
    }
    void dewPointAtSaturationIsAirTemperature()
    {
        QFETCH(double, t);
        QCOMPARE(kv::DewPointTemperature(t, 100.0), static_cast<float>(t));
    }

    void wetBulbUndefinedBelowRootDomain()
    {
        QVERIFY(std::isnan(kv::WetBulbTemperature(20.0, -10.0)));
    }

    void classify_data()
    {
        QTest::addColumn<int>("unit");
        QTest::addColumn<int>("type");
        QTest::addColumn<float>("value");
        QTest::addColumn<int>("expected");
        const int F = 0, C = 1, K = 2;
        QTest::newRow("K C high limit") << C << 0 << 1372.0f << 0;
        QTest::newRow("K C over") << C << 0 << 1372.1f << 1;
        QTest::newRow("K C low limit") << C << 0 << -200.0f << 0;
        QTest::newRow("K C under") << C << 0 << -200.1f << 2;
        QTest::newRow("K C below floor") << C << 0 << -220.1f << 3;
        QTest::newRow("K C floor itself is under") << C << 0 << -220.0f << 2;
        QTest::newRow("Kelvin unit uses Celsius limits") << K << 0 << 1372.1f << 1;
        QTest::newRow("K F 2501.6 single is over") << F << 0 << 2501.6f << 1;
        QTest::newRow("K F 2501.5") << F << 0 << 2501.5f << 0;
        QTest::newRow("J F 1832.6 single is in range") << F << 1 << 1832.6f << 0;
        QTest::newRow("J F 1832.7") << F << 1 << 1832.7f << 1;
        QTest::newRow("T F 752.4 single is over") << F << 3 << 752.4f << 1;
        QTest::newRow("R F 3215.1 single is over") << F << 5 << 3215.1f << 1;
        QTest::newRow("S F 3215.1 single is over") << F << 6 << 3215.1f << 1;
        QTest::newRow("N F floor") << F << 4 << -346.1f << 3;
        QTest::newRow("N F under") << F << 4 << -340.0f << 2;
        QTest::newRow("S F under") << F << 6 << 20.0f << 2;
        QTest::newRow("S C -5 under") << C << 6 << -5.0f << 2;
        QTest::newRow("R C -5 in range") << C << 5 << -5.0f << 0;
        QTest::newRow("R C below floor") << C << 5 << -10.1f << 3;
        QTest::newRow("type 7 always in range") << C << 7 << 99999.0f << 0;
        QTest::newRow("type 255 always in range") << F << 255 << -99999.0f << 0;

        // Every row of the meter's table, both units, each limit itself and
        // 0.1 either side.  Values are single precision; the Fahrenheit high
        // limits are double-precision constants, every other limit a
        // single-precision one.
        struct Limits {
            const char *name;
            float fFloor, fLow;
            double fHigh;
            float cFloor, cLow, cHigh;
        };
        const Limits table[] = {
            {"K", -340, -328, 2501.6, -220, -200, 1372}, {"J", -340, -328, 1832.6, -220, -200, 1000},
            {"E", -340, -328, 1382.6, -220, -200, 750},  {"T", -340, -328, 752.4, -220, -200, 400},
            {"N", -346, -328, 2372.4, -210, -200, 1300}, {"R", 14, 14, 3215.1, -10, -10, 1768},
            {"S", 14, 32, 3215.1, -10, 0, 1768},
        };
        for (int type = 0; type < 7; ++type) {
            const Limits &row = table[type];
            for (const bool fahrenheit : {true, false}) {
                const float floor = fahrenheit ? row.fFloor : row.cFloor;
                const float low = fahrenheit ? row.fLow : row.cLow;
                const double high = fahrenheit ? row.fHigh : double(row.cHigh);
                const auto expect = [&](float v) {
                    if (v < floor)
                        return 3;
                    if (v < low)
                        return 2;
                    return (fahrenheit ? double(v) > high : v > float(high)) ? 1 : 0;
                };
                const double limits[] = {floor, low, high};
                const char *limitNames[] = {"floor", "low", "high"};
                for (int l = 0; l < 3; ++l) {
                    for (const double offset : {-0.1, 0.0, 0.1}) {
                        const float v = float(limits[l] + offset);
                        QTest::addRow("%s %s %s %+.1f", row.name, fahrenheit ? "F" : "C", limitNames[l], offset)
                            << (fahrenheit ? F : C) << type << v << expect(v);
                    }
                }
            }
        }
    }
    void classify()
    {
        QFETCH(int, unit);
        QFETCH(int, type);
        QFETCH(float, value);
        QFETCH(int, expected);
        QCOMPARE(int(kv::ClassifyThermocoupleValue(static_cast<std::uint8_t>(unit), static_cast<std::uint8_t>(type),
                                                   value)),
                 expected);
    }
};

QTEST_GUILESS_MAIN(TestPsychro)
#include "tst_psychro.moc"
