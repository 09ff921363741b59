// The meter display read out as text for screen readers.
#include "live/displaytext.h"

#include <QtTest>

using kv::DisplayState;

Q_DECLARE_METATYPE(kv::DisplayState)

namespace {

// RH 41.8 %, T1 23.9 °C, T2 23.1 °C: the usual display.
DisplayState Usual()
{
    DisplayState d;
    d.RhDigits = {kv::BlankGlyph, 4, 1, 8};
    d.T1Digits = {kv::BlankGlyph, 2, 3, 9};
    d.T2Digits = {kv::BlankGlyph, 2, 3, 1};
    d.PointMark = true;
    d.T2PointMark = true;
    d.RhMark = true;
    d.T1CelsiusMark = true;
    d.T2CelsiusMark = true;
    return d;
}

} // namespace

class TestDisplayText : public QObject {
    Q_OBJECT
private slots:
    void displayText_data()
    {
        QTest::addColumn<DisplayState>("display");
        QTest::addColumn<QString>("text");

        QTest::newRow("blank") << DisplayState{} << QString();
        QTest::newRow("usual") << Usual() << QStringLiteral("RH 41.8 %, T1 23.9 °C, T2 23.1 °C");

        DisplayState hold = Usual();
        hold.HoldMark = true;
        hold.MaxMark = true;
        QTest::newRow("hold and max") << hold << QStringLiteral("RH 41.8 %, T1 23.9 °C, T2 23.1 °C, HOLD, MAX");

        // An open thermocouple: T2 shows the overload pattern "0L", read without a unit.
        DisplayState overload = Usual();
        overload.T2Digits = {kv::BlankGlyph, kv::BlankGlyph, 0, 18};
        QTest::newRow("overload") << overload << QStringLiteral("RH 41.8 %, T1 23.9 °C, T2 OL");

        DisplayState fahrenheit = Usual();
        fahrenheit.T1CelsiusMark = fahrenheit.T2CelsiusMark = false;
        fahrenheit.T1FahrenheitMark = fahrenheit.T2FahrenheitMark = true;
        fahrenheit.T1Digits = {kv::BlankGlyph, 7, 5, 0};
        QTest::newRow("unit change") << fahrenheit << QStringLiteral("RH 41.8 %, T1 75.0 °F, T2 23.1 °F");

        DisplayState kelvinBelowZero = Usual();
        kelvinBelowZero.T1CelsiusMark = false;
        kelvinBelowZero.T1KelvinMark = true;
        kelvinBelowZero.T2Digits = {kv::BlankGlyph, kv::BlankGlyph, 0, 5};
        kelvinBelowZero.T2MinusMark = true;
        QTest::newRow("kelvin, minus below one degree")
            << kelvinBelowZero << QStringLiteral("RH 41.8 %, T1 23.9 K, T2 -0.5 °C");

        DisplayState dewPoint = Usual();
        dewPoint.RhMark = false;
        dewPoint.DewPointMark = true;
        dewPoint.RhDigits = {kv::BlankGlyph, 1, 0, 2};
        dewPoint.T2Digits = {kv::BlankGlyph, kv::BlankGlyph, kv::BlankGlyph, kv::BlankGlyph};
        dewPoint.RecMark = true;
        QTest::newRow("dew point in the T1 unit, T2 blank")
            << dewPoint << QStringLiteral("DEW POINT 10.2 °C, T1 23.9 °C, REC");
    }
    void displayText()
    {
        QFETCH(DisplayState, display);
        QFETCH(QString, text);
        QCOMPARE(kv::DisplayText(display), text);
    }

    void everyGlyphReads()
    {
        // Every glyph with segments reads as a character, never as unknown.
        for (int g = 0; g < 24; ++g)
            QVERIFY2(kv::GlyphCharacter(static_cast<std::uint8_t>(g)) != QLatin1Char('?'), qPrintable(QString::number(g)));
        QCOMPARE(kv::GlyphCharacter(kv::BlankGlyph), QLatin1Char(' '));
    }
};

QTEST_APPLESS_MAIN(TestDisplayText)
#include "tst_displaytext.moc"
