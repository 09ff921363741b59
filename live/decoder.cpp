#include "live/decoder.h"

#include "live/glyphtables.h"
#include "live/psychro.h"

#include <array>
#include <cstddef>

namespace kv {
namespace {

// Reply bytes the decoder reads.
constexpr int UnitByte = 2;
constexpr int ModeByte = 3;
constexpr int BlinkByte = 4;
constexpr int RhHighByte = 9;
constexpr int T1HighByte = 11;
constexpr int T2HighByte = 13;
constexpr std::array<int, 4> RhDigitBytes{42, 43, 44, 45};
constexpr std::array<int, 4> T1DigitBytes{50, 49, 48, 47};
constexpr std::array<int, 4> T2DigitBytes{53, 54, 55, 56};
constexpr std::array<int, 2> SmallDigitBytes{39, 38};

constexpr int UnitShift = 4;
constexpr std::uint8_t UnitMask = 0x03;
constexpr std::uint8_t MeterLoggingBit = 0x08; // byte 3
constexpr std::uint8_t RecBlinkBit = 0x10;     // byte 3
constexpr std::uint8_t MmaModeBit = 0x40;      // byte 3
constexpr std::uint8_t MmaBlinkBit = 0x08;     // byte 4

constexpr double ValueScale = 0.1;
constexpr double FahrenheitFactor = 1.8;
constexpr double FahrenheitOffset = 32.0;
constexpr double KelvinOffset = 273.2;

// Where each symbol flag of the display memory lives.
struct SymbolBit {
    bool DisplayState::*flag;
    std::uint8_t byte;
    std::uint8_t bit;
};

constexpr std::array<SymbolBit, 40> SymbolTable{{
    {&DisplayState::RecallMark, 39, 0},
    {&DisplayState::HoldMark, 40, 1},
    {&DisplayState::MaxMark, 40, 2},
    {&DisplayState::MinMark, 40, 3},
    {&DisplayState::AvgMark, 40, 4},
    {&DisplayState::MemMark, 40, 5},
    {&DisplayState::Battery1, 41, 0},
    {&DisplayState::Battery2, 41, 1},
    {&DisplayState::Battery3, 41, 2},
    {&DisplayState::Battery0, 41, 3},
    {&DisplayState::AutoOffMark, 41, 4},
    {&DisplayState::WetBulbMark, 42, 7},
    {&DisplayState::DewPointMark, 43, 7},
    {&DisplayState::RhMark, 45, 7},
    {&DisplayState::T1CelsiusMark, 46, 0},
    {&DisplayState::T1FahrenheitMark, 46, 1},
    {&DisplayState::T1KelvinMark, 46, 2},
    {&DisplayState::PointMark, 47, 0},
    {&DisplayState::TypeSMark, 51, 0},
    {&DisplayState::TypeRMark, 51, 1},
    {&DisplayState::TypeNMark, 51, 2},
    {&DisplayState::TypeTMark, 51, 3},
    {&DisplayState::TypeEMark, 51, 4},
    {&DisplayState::TypeJMark, 51, 5},
    {&DisplayState::TypeKMark, 51, 6},
    {&DisplayState::T2MinusMark, 52, 0},
    {&DisplayState::T2Mark, 52, 1},
    {&DisplayState::TypeMark, 52, 2},
    {&DisplayState::BluetoothMark, 52, 4},
    {&DisplayState::T1MinusMark, 52, 5},
    {&DisplayState::T1Mark, 52, 6},
    {&DisplayState::AlarmMark, 53, 7},
    {&DisplayState::LimitMark1, 54, 7},
    {&DisplayState::T2PointMark, 56, 7},
    {&DisplayState::T2KelvinMark, 57, 1},
    {&DisplayState::T2FahrenheitMark, 57, 2},
    {&DisplayState::T2CelsiusMark, 57, 3},
    {&DisplayState::FullMark, 57, 4},
    {&DisplayState::RecMark, 57, 5},
    {&DisplayState::LimitMark2, 57, 7},
}};

inline bool Bit(const std::uint8_t *reply, int byte, int bit)
{
    return (reply[byte] >> bit) & 1u;
}

// Signed 16-bit value, high byte first, in tenths.
inline float Tenths(const std::uint8_t *reply, int highByte)
{
    const auto raw = static_cast<std::int16_t>(static_cast<std::uint16_t>(reply[highByte] << 8 | reply[highByte + 1]));
    return static_cast<float>(raw * ValueScale);
}

inline float ToFahrenheit(float celsius)
{
    return static_cast<float>(celsius * FahrenheitFactor + FahrenheitOffset);
}

inline float FahrenheitToCelsius(float fahrenheit)
{
    return static_cast<float>((fahrenheit - FahrenheitOffset) * 5.0 * (1.0 / 9.0));
}

inline float ToKelvin(float celsius) { return static_cast<float>(celsius + KelvinOffset); }

template <std::size_t N>
void DecodeDigits(const std::uint8_t *reply, const std::array<int, N> &bytes, std::array<std::uint8_t, N> &digits,
                  std::uint8_t (*table)(std::uint8_t))
{
    for (std::size_t i = 0; i < N; ++i)
        digits[i] = table(reply[bytes[i]]);
}

} // namespace

void DecodeLiveReply(const std::uint8_t *reply, LiveReading &reading)
{
    DisplayState &display = reading.Display;
    for (const SymbolBit &symbol : SymbolTable)
        display.*symbol.flag = Bit(reply, symbol.byte, symbol.bit);

    DecodeDigits(reply, RhDigitBytes, display.RhDigits, GlyphTableB);
    DecodeDigits(reply, T1DigitBytes, display.T1Digits, GlyphTableA);
    DecodeDigits(reply, T2DigitBytes, display.T2Digits, GlyphTableB);
    DecodeDigits(reply, SmallDigitBytes, display.SmallDigits, GlyphTableA);

    // Rh and T1 arrive in degrees Celsius, T2 in degrees Fahrenheit.
    reading.Rh = Tenths(reply, RhHighByte);
    reading.T1 = Tenths(reply, T1HighByte);
    reading.T2 = Tenths(reply, T2HighByte);

    // The derived values always come from the Celsius T1.
    reading.WetBulb = WetBulbTemperature(reading.T1, reading.Rh);
    reading.DewPoint = DewPointTemperature(reading.T1, reading.Rh);

    reading.UnitCode = static_cast<std::uint8_t>((reply[UnitByte] >> UnitShift) & UnitMask);
    switch (reading.UnitCode) {
    case UnitFahrenheit:
        reading.T1 = ToFahrenheit(reading.T1);
        reading.WetBulb = ToFahrenheit(reading.WetBulb);
        reading.DewPoint = ToFahrenheit(reading.DewPoint);
        break;
    case UnitCelsius:
        reading.T2 = FahrenheitToCelsius(reading.T2);
        break;
    case UnitKelvin:
        reading.T1 = ToKelvin(reading.T1);
        reading.WetBulb = ToKelvin(reading.WetBulb);
        reading.DewPoint = ToKelvin(reading.DewPoint);
        reading.T2 = ToKelvin(FahrenheitToCelsius(reading.T2));
        break;
    default: // values stay as they arrive
        break;
    }

    reading.MeterLogging = reply[ModeByte] & MeterLoggingBit;
    reading.RecBlink = reply[ModeByte] & RecBlinkBit;
    reading.MmaMode = reply[ModeByte] & MmaModeBit;
    reading.MmaBlink = reply[BlinkByte] & MmaBlinkBit;
}

} // namespace kv
