#pragma once
// The decoded live reading: values in the display unit, status flags and the
// meter's display state (digit glyphs and lit symbols).

#include <array>
#include <cstdint>

namespace kv {

constexpr std::uint8_t BlankGlyph = 16;

struct DisplayState {
    std::array<std::uint8_t, 4> RhDigits{BlankGlyph, BlankGlyph, BlankGlyph, BlankGlyph};
    std::array<std::uint8_t, 4> T1Digits{BlankGlyph, BlankGlyph, BlankGlyph, BlankGlyph};
    std::array<std::uint8_t, 4> T2Digits{BlankGlyph, BlankGlyph, BlankGlyph, BlankGlyph};
    std::array<std::uint8_t, 2> SmallDigits{BlankGlyph, BlankGlyph};

    bool RecallMark = false;
    bool HoldMark = false;
    bool MaxMark = false;
    bool MinMark = false;
    bool AvgMark = false;
    bool MemMark = false;
    bool Battery1 = false;
    bool Battery2 = false;
    bool Battery3 = false;
    bool Battery0 = false;
    bool AutoOffMark = false;
    bool WetBulbMark = false;
    bool DewPointMark = false;
    bool RhMark = false;
    bool T1CelsiusMark = false;
    bool T1FahrenheitMark = false;
    bool T1KelvinMark = false;
    bool PointMark = false;
    bool TypeSMark = false;
    bool TypeRMark = false;
    bool TypeNMark = false;
    bool TypeTMark = false;
    bool TypeEMark = false;
    bool TypeJMark = false;
    bool TypeKMark = false;
    bool T2MinusMark = false;
    bool T2Mark = false;
    bool TypeMark = false;
    bool BluetoothMark = false;
    bool T1MinusMark = false;
    bool T1Mark = false;
    bool AlarmMark = false;
    bool LimitMark1 = false;
    bool T2PointMark = false;
    bool T2KelvinMark = false;
    bool T2FahrenheitMark = false;
    bool T2CelsiusMark = false;
    bool FullMark = false;
    bool RecMark = false;
    bool LimitMark2 = false;
};

// Unit codes of the live reply (byte 2, bits 4..5).
enum UnitCode : std::uint8_t { UnitFahrenheit = 0, UnitCelsius = 1, UnitKelvin = 2, UnitRaw = 3 };

// Range flags of the status byte (reply byte 6).
constexpr std::uint8_t StatusRhFlags = 0x11;
constexpr std::uint8_t StatusT1Flags = 0x22;
constexpr std::uint8_t StatusT2Flags = 0x44;

struct LiveReading {
    float Rh = 0;
    float T1 = 0;
    float T2 = 0;
    float WetBulb = 0;
    float DewPoint = 0;
    std::uint8_t UnitCode = UnitCelsius;
    std::uint8_t StatusByte = 0;
    bool MeterLogging = false;
    bool RecBlink = false;
    bool MmaMode = false;
    bool MmaBlink = false;
    DisplayState Display;

    bool rhFlagged() const { return StatusByte & StatusRhFlags; }
    bool t1Flagged() const { return StatusByte & StatusT1Flags; }
    bool t2Flagged() const { return StatusByte & StatusT2Flags; }
};

} // namespace kv
