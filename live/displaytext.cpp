#include "live/displaytext.h"

#include "live/glyphtables.h"

#include <QStringList>

#include <array>

namespace kv {
namespace {

// Seven-segment patterns read as letters and digits; the glyph pictures are
// drawn from the same segment sets (GlyphSegments).
struct SegmentCharacter {
    std::uint8_t segments;
    char character;
};
constexpr std::array<SegmentCharacter, 25> SegmentCharacters{{
    {SegA | SegB | SegC | SegD | SegE | SegF, '0'},
    {SegB | SegC, '1'},
    {SegA | SegB | SegG | SegE | SegD, '2'},
    {SegA | SegB | SegG | SegC | SegD, '3'},
    {SegF | SegB | SegG | SegC, '4'},
    {SegA | SegF | SegG | SegC | SegD, '5'},
    {SegA | SegF | SegG | SegE | SegC | SegD, '6'},
    {SegA | SegB | SegC, '7'},
    {SegA | SegF | SegB | SegC, '7'},
    {SegA | SegB | SegC | SegD | SegE | SegF | SegG, '8'},
    {SegA | SegF | SegB | SegG | SegC | SegD, '9'},
    {SegA | SegF | SegB | SegG | SegE | SegC, 'A'},
    {SegF | SegG | SegE | SegC | SegD, 'b'},
    {SegA | SegF | SegE | SegD, 'C'},
    {SegB | SegG | SegE | SegC | SegD, 'd'},
    {SegA | SegF | SegG | SegE | SegD, 'E'},
    {SegA | SegF | SegG | SegE, 'F'},
    {SegG, '-'},
    {SegF | SegE | SegD, 'L'},
    {SegG | SegE | SegC | SegD, 'o'},
    {SegG | SegE, 'r'},
    {SegF | SegG | SegE | SegD, 't'},
    {SegF | SegB | SegE | SegC | SegD, 'U'},
    {SegG | SegE | SegC, 'n'},
    {SegF | SegB | SegG | SegE | SegC, 'H'},
}};

// A reading row: its label, digits, decimal point and the unit symbols.
struct UnitSymbol {
    bool DisplayState::*flag;
    const char16_t *text;
};

QString RowDigits(const std::array<std::uint8_t, 4> &digits, bool point)
{
    QString text;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (point && i == digits.size() - 1)
            text += QLatin1Char('.');
        text += GlyphCharacter(digits[i]);
    }
    text = text.trimmed();
    // The overload pattern "0L" (digit zero and L) is read as OL.
    if (text.endsWith(QLatin1String("0L")) || text.endsWith(QLatin1String("0.L")))
        return QStringLiteral("OL");
    if (text.startsWith(QLatin1Char('.')))
        text.prepend(QLatin1Char('0'));
    return text;
}

bool AllBlank(const std::array<std::uint8_t, 4> &digits)
{
    for (std::uint8_t d : digits)
        if (d != BlankGlyph)
            return false;
    return true;
}

QString UnitOf(const DisplayState &display, const std::array<UnitSymbol, 3> &units)
{
    for (const UnitSymbol &unit : units)
        if (display.*unit.flag)
            return QString::fromUtf16(unit.text);
    return {};
}

struct ModeSymbol {
    bool DisplayState::*flag;
    const char *text;
};
constexpr std::array<ModeSymbol, 10> ModeSymbols{{
    {&DisplayState::HoldMark, "HOLD"},
    {&DisplayState::MaxMark, "MAX"},
    {&DisplayState::MinMark, "MIN"},
    {&DisplayState::AvgMark, "AVG"},
    {&DisplayState::RecMark, "REC"},
    {&DisplayState::FullMark, "FULL"},
    {&DisplayState::MemMark, "MEM"},
    {&DisplayState::RecallMark, "READ"},
    {&DisplayState::AlarmMark, "ALARM"},
    {&DisplayState::Battery0, "LOW BATTERY"},
}};

} // namespace

QChar GlyphCharacter(std::uint8_t glyph)
{
    const std::uint8_t segments = GlyphSegments(glyph);
    if (segments == 0)
        return QLatin1Char(' ');
    for (const SegmentCharacter &entry : SegmentCharacters)
        if (entry.segments == segments)
            return QLatin1Char(entry.character);
    return QLatin1Char('?');
}

QString DisplayText(const DisplayState &d)
{
    QStringList parts;
    auto addRow = [&](const char *label, const std::array<std::uint8_t, 4> &digits, bool point, bool minus,
                      const QString &unit) {
        if (AllBlank(digits))
            return;
        QString value = RowDigits(digits, point);
        if (minus && value != QLatin1String("OL"))
            value.prepend(QLatin1Char('-'));
        QString row = QLatin1String(label) + QLatin1Char(' ') + value;
        if (!unit.isEmpty() && value != QLatin1String("OL"))
            row += QLatin1Char(' ') + unit;
        parts << row;
    };

    const QString rhLabel = d.WetBulbMark ? QStringLiteral("WET BULB")
                            : d.DewPointMark ? QStringLiteral("DEW POINT")
                                             : QStringLiteral("RH");
    const QString t1Unit = UnitOf(d, {{{&DisplayState::T1CelsiusMark, u"°C"},
                                       {&DisplayState::T1FahrenheitMark, u"°F"},
                                       {&DisplayState::T1KelvinMark, u"K"}}});
    const QString t2Unit = UnitOf(d, {{{&DisplayState::T2CelsiusMark, u"°C"},
                                       {&DisplayState::T2FahrenheitMark, u"°F"},
                                       {&DisplayState::T2KelvinMark, u"K"}}});
    // The first row shows RH in percent, or a wet bulb / dew point
    // temperature in the unit of T1.
    addRow(rhLabel.toLatin1().constData(), d.RhDigits, d.PointMark, false,
           d.RhMark ? QStringLiteral("%") : t1Unit);
    addRow("T1", d.T1Digits, d.PointMark, d.T1MinusMark, t1Unit);
    addRow("T2", d.T2Digits, d.T2PointMark, d.T2MinusMark, t2Unit);

    for (const ModeSymbol &symbol : ModeSymbols)
        if (d.*symbol.flag)
            parts << QLatin1String(symbol.text);
    return parts.join(QLatin1String(", "));
}

QString ConnectionStateText(const QString &statusText)
{
    return statusText.isEmpty() ? QStringLiteral("Connection state unknown")
                                : QStringLiteral("Connection: ") + statusText;
}

} // namespace kv
