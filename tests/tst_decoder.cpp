// Live reply decoding: values and unit conversion, digits, every symbol and
// status bit, and what the decoder must leave alone.
#include "live/decoder.h"
#include "live/psychro.h"

#include <QtTest>

#include <array>
#include <functional>
#include <vector>

namespace {

using Reply = std::array<std::uint8_t, 64>;

Reply MakeReply(int unitCode = kv::UnitCelsius)
{
    Reply r{};
    r[0] = 0x02;
    r[63] = 0x03;
    r[2] = static_cast<std::uint8_t>(unitCode << 4);
    return r;
}

void SetValue(Reply &r, int highByte, int tenths)
{
    const auto raw = static_cast<std::uint16_t>(static_cast<std::int16_t>(tenths));
    r[static_cast<std::size_t>(highByte)] = static_cast<std::uint8_t>(raw >> 8);
    r[static_cast<std::size_t>(highByte + 1)] = static_cast<std::uint8_t>(raw & 0xFF);
}

kv::LiveReading Decode(const Reply &r)
{
    kv::LiveReading reading;
    kv::DecodeLiveReply(r.data(), reading);
    return reading;
}

struct Flag {
    const char *name;
    int byte;
    int bit;
    std::function<bool(const kv::LiveReading &)> get;
};

#define DISPLAY_FLAG(name, byte, bit) Flag{#name, byte, bit, [](const kv::LiveReading &r) { return r.Display.name; }}
#define READING_FLAG(name, byte, bit) Flag{#name, byte, bit, [](const kv::LiveReading &r) { return r.name; }}

const std::vector<Flag> &AllFlags()
{
    static const std::vector<Flag> flags{
        DISPLAY_FLAG(RecallMark, 39, 0),     DISPLAY_FLAG(HoldMark, 40, 1),
        DISPLAY_FLAG(MaxMark, 40, 2),        DISPLAY_FLAG(MinMark, 40, 3),
        DISPLAY_FLAG(AvgMark, 40, 4),        DISPLAY_FLAG(MemMark, 40, 5),
        DISPLAY_FLAG(Battery1, 41, 0),       DISPLAY_FLAG(Battery2, 41, 1),
        DISPLAY_FLAG(Battery3, 41, 2),       DISPLAY_FLAG(Battery0, 41, 3),
        DISPLAY_FLAG(AutoOffMark, 41, 4),    DISPLAY_FLAG(WetBulbMark, 42, 7),
        DISPLAY_FLAG(DewPointMark, 43, 7),   DISPLAY_FLAG(RhMark, 45, 7),
        DISPLAY_FLAG(T1CelsiusMark, 46, 0),  DISPLAY_FLAG(T1FahrenheitMark, 46, 1),
        DISPLAY_FLAG(T1KelvinMark, 46, 2),   DISPLAY_FLAG(PointMark, 47, 0),
        DISPLAY_FLAG(TypeSMark, 51, 0),      DISPLAY_FLAG(TypeRMark, 51, 1),
        DISPLAY_FLAG(TypeNMark, 51, 2),      DISPLAY_FLAG(TypeTMark, 51, 3),
        DISPLAY_FLAG(TypeEMark, 51, 4),      DISPLAY_FLAG(TypeJMark, 51, 5),
        DISPLAY_FLAG(TypeKMark, 51, 6),      DISPLAY_FLAG(T2MinusMark, 52, 0),
        DISPLAY_FLAG(T2Mark, 52, 1),         DISPLAY_FLAG(TypeMark, 52, 2),
        DISPLAY_FLAG(BluetoothMark, 52, 4),  DISPLAY_FLAG(T1MinusMark, 52, 5),
        DISPLAY_FLAG(T1Mark, 52, 6),         DISPLAY_FLAG(AlarmMark, 53, 7),
        DISPLAY_FLAG(LimitMark1, 54, 7),     DISPLAY_FLAG(T2PointMark, 56, 7),
        DISPLAY_FLAG(T2KelvinMark, 57, 1),   DISPLAY_FLAG(T2FahrenheitMark, 57, 2),
        DISPLAY_FLAG(T2CelsiusMark, 57, 3),  DISPLAY_FLAG(FullMark, 57, 4),
        DISPLAY_FLAG(RecMark, 57, 5),        DISPLAY_FLAG(LimitMark2, 57, 7),
        READING_FLAG(MeterLogging, 3, 3),    READING_FLAG(RecBlink, 3, 4),
        READING_FLAG(MmaMode, 3, 6),         READING_FLAG(MmaBlink, 4, 3),
    };
    return flags;
}

} // namespace

class TestDecoder : public QObject {
    Q_OBJECT
private slots:
    void values_data()
    {
        QTest::addColumn<int>("unit");
        QTest::addColumn<int>("rh");
        QTest::addColumn<int>("t1");
        QTest::addColumn<int>("t2");
        QTest::addColumn<float>("expRh");
        QTest::addColumn<float>("expT1");
        QTest::addColumn<float>("expT2");
        // Raw tenths: RH in %, T1 in degrees C, T2 in degrees F.
        QTest::newRow("C: 0x021C is 54.0 %, 0xFF38 is -20.0") << 1 << 0x021C << -200 << 800 << 54.0f << -20.0f
                                                               << 26.666666f;
        QTest::newRow("C: 32 F is 0") << 1 << 0 << 0 << 320 << 0.0f << 0.0f << 0.0f;
        QTest::newRow("F: T1 converted, T2 as received") << 0 << 500 << 250 << 801 << 50.0f << 77.0f << 80.1f;
        QTest::newRow("F: negative T1") << 0 << 500 << -400 << -3276 << 50.0f << -40.0f << -327.6f;
        QTest::newRow("K: 0 C and 32 F are 273.2") << 2 << 500 << 0 << 320 << 50.0f << 273.2f << 273.2f;
        QTest::newRow("K: -20 C, -4 F") << 2 << 500 << -200 << -40 << 50.0f << 253.2f << 253.2f;
        QTest::newRow("raw: nothing converted") << 3 << 1000 << 255 << 985 << 100.0f << 25.5f << 98.5f;
        QTest::newRow("extremes") << 3 << 32767 << -32768 << 0 << 3276.7f << -3276.8f << 0.0f;
    }
    void values()
    {
        QFETCH(int, unit);
        QFETCH(int, rh);
        QFETCH(int, t1);
        QFETCH(int, t2);
        QFETCH(float, expRh);
        QFETCH(float, expT1);
        QFETCH(float, expT2);
        Reply r = MakeReply(unit);
        SetValue(r, 9, rh);
        SetValue(r, 11, t1);
        SetValue(r, 13, t2);
        const kv::LiveReading reading = Decode(r);
        QCOMPARE(int(reading.UnitCode), unit);
        QCOMPARE(reading.Rh, expRh);
        QCOMPARE(reading.T1, expT1);
        QCOMPARE(reading.T2, expT2);
    }

    void rawBytes()
    {
        Reply r = MakeReply();
        r[9] = 0x02;
        r[10] = 0x1C;
        r[11] = 0xFF;
        r[12] = 0x38;
        r[13] = 0x03;
        r[14] = 0x20;
        const kv::LiveReading reading = Decode(r);
        QCOMPARE(reading.Rh, 54.0f);
        QCOMPARE(reading.T1, -20.0f);
        QVERIFY(qAbs(reading.T2 - 26.667f) < 0.001f);
    }

    // Wet bulb and dew point come from T1 in degrees C and follow T1 into the
    // display unit.
    void derivedValuesFromCelsius_data()
    {
        QTest::addColumn<int>("unit");
        QTest::newRow("F") << 0;
        QTest::newRow("C") << 1;
        QTest::newRow("K") << 2;
        QTest::newRow("raw") << 3;
    }
    void derivedValuesFromCelsius()
    {
        QFETCH(int, unit);
        Reply r = MakeReply(unit);
        SetValue(r, 9, 500);
        SetValue(r, 11, 200);
        const kv::LiveReading reading = Decode(r);
        const float wet = kv::WetBulbTemperature(20.0f, 50.0f);
        const float dew = kv::DewPointTemperature(20.0f, 50.0f);
        QCOMPARE(QString::number(wet, 'f', 1), QString("13.7"));
        QCOMPARE(QString::number(dew, 'f', 1), QString("9.3"));
        switch (unit) {
        case 0:
            QCOMPARE(reading.WetBulb, static_cast<float>(wet * 1.8 + 32));
            QCOMPARE(reading.DewPoint, static_cast<float>(dew * 1.8 + 32));
            break;
        case 2:
            QCOMPARE(reading.WetBulb, static_cast<float>(wet + 273.2));
            QCOMPARE(reading.DewPoint, static_cast<float>(dew + 273.2));
            break;
        default:
            QCOMPARE(reading.WetBulb, wet);
            QCOMPARE(reading.DewPoint, dew);
        }
    }

    void digits()
    {
        Reply r = MakeReply();
        // RH line (table B): 0 with its symbol bit, 8, blank, 1.
        r[42] = 0xF7;
        r[43] = 0x7F;
        r[44] = 0x00;
        r[45] = 0x24;
        // T1 line (table A), leftmost digit in byte 50: minus, L, 0 with the
        // point bit, blank.
        r[50] = 0x10;
        r[49] = 0x4A;
        r[48] = 0xEF;
        r[47] = 0x00;
        // T2 line (table B): 2, 3, 4, 5 with their symbol bits.
        r[53] = 0x5D | 0x80;
        r[54] = 0x6D | 0x80;
        r[55] = 0x2E;
        r[56] = 0x6B | 0x80;
        // Small digits: first in byte 39 (with RECALL), second in byte 38.
        r[39] = 0xB6 | 0x01;
        r[38] = 0x24;
        const kv::DisplayState d = Decode(r).Display;
        QCOMPARE(d.RhDigits, (std::array<std::uint8_t, 4>{0, 8, 16, 1}));
        QCOMPARE(d.T1Digits, (std::array<std::uint8_t, 4>{17, 18, 0, 16}));
        QCOMPARE(d.T2Digits, (std::array<std::uint8_t, 4>{2, 3, 4, 5}));
        QCOMPARE(d.SmallDigits, (std::array<std::uint8_t, 2>{3, 1}));
        // The symbol bits sharing the digit bytes are still read.
        QVERIFY(d.WetBulbMark && d.RecallMark && d.AlarmMark && d.LimitMark1 && d.T2PointMark);
        QVERIFY(!d.DewPointMark && !d.PointMark);
    }

    // Each bit lights exactly its own flag, and a later reply clears flags an
    // earlier one set.
    void symbolFlags_data()
    {
        QTest::addColumn<int>("index");
        for (std::size_t i = 0; i < AllFlags().size(); ++i) {
            const Flag &f = AllFlags()[i];
            QTest::addRow("%s byte %d bit %d", f.name, f.byte, f.bit) << int(i);
        }
    }
    void symbolFlags()
    {
        QFETCH(int, index);
        const Flag &flag = AllFlags()[static_cast<std::size_t>(index)];
        Reply full;
        full.fill(0xFF);
        Reply r = MakeReply();
        r[static_cast<std::size_t>(flag.byte)] |= static_cast<std::uint8_t>(1u << flag.bit);

        kv::LiveReading reading;
        kv::DecodeLiveReply(full.data(), reading);
        kv::DecodeLiveReply(r.data(), reading);
        for (const Flag &other : AllFlags())
            QVERIFY2(other.get(reading) == (&other == &flag), other.name);
    }

    void statusByteUntouched()
    {
        Reply r = MakeReply();
        r[6] = 0x77;
        kv::LiveReading reading;
        reading.StatusByte = 0x5A;
        kv::DecodeLiveReply(r.data(), reading);
        QCOMPARE(int(reading.StatusByte), 0x5A);
    }

    void unitCodeIgnoresOtherBitsOfByte2()
    {
        Reply r = MakeReply();
        r[2] = 0xCF | (2 << 4);
        QCOMPARE(int(Decode(r).UnitCode), 2);
    }
};

QTEST_GUILESS_MAIN(TestDecoder)
#include "tst_decoder.moc"
