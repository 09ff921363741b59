#pragma once
// Where every element of the meter panel lies, in pixels of its 312 x 713
// client area.  The panel window places its widgets from these tables and the
// artwork generator (tools/artgen.cpp) draws the background and the symbol
// pictures to the same tables, so the two cannot drift apart.

#include <array>
#include <cstring>

namespace kv::panellayout {

struct Place {
    const char *name;
    int left, top, width, height;
};

constexpr int ClientWidth = 312;
constexpr int ClientHeight = 713;
// The background picture is a little larger than the client area.
constexpr int PictureWidth = 314;
constexpr int PictureHeight = 716;

// The liquid-crystal window inside the display frame.  Everything shown on
// the display lies at least LcdMargin inside it, clear of its inner shadow.
constexpr Place LcdWindow{"lcd", 36, 56, 246, 332};
constexpr int LcdMargin = 6;

constexpr int LargeDigitWidth = 30;
constexpr int LargeDigitHeight = 52;
constexpr int SmallDigitWidth = 16;
constexpr int SmallDigitHeight = 26;

// The twelve large digits in the order RH 1..4, T1 1..4, T2 1..4.
constexpr std::array<Place, 12> LargeDigits{{
    {"RHD1", 109, 131, 30, 52}, {"RHD2", 145, 131, 30, 52}, {"RHD3", 179, 131, 30, 52}, {"RHD4", 215, 131, 30, 52},
    {"T1D1", 115, 214, 30, 52}, {"T1D2", 149, 214, 30, 52}, {"T1D3", 184, 214, 30, 52}, {"T1D4", 218, 214, 30, 52},
    {"T2D1", 115, 296, 30, 52}, {"T2D2", 149, 296, 30, 52}, {"T2D3", 183, 296, 30, 52}, {"T2D4", 218, 296, 30, 52},
}};

constexpr std::array<Place, 2> SmallDigits{{
    {"Image17", 234, 100, 16, 26},
    {"Image18", 253, 100, 16, 26},
}};

// Symbols drawn as pictures (one picture each, shown or hidden).
constexpr std::array<Place, 27> Pictures{{
    {"RH_P", 207, 174, 5, 7},
    {"T1_P", 213, 259, 5, 7},
    {"T2_P", 212, 337, 5, 7},
    {"T1_minus", 93, 237, 16, 11},
    {"T2_minus", 93, 319, 16, 11},
    {"imgT1C", 251, 215, 26, 16},
    {"imgT1F", 251, 232, 26, 16},
    {"imgT2C", 251, 297, 26, 16},
    {"imgT2F", 251, 314, 26, 16},
    {"imgType", 100, 273, 32, 13},
    {"imgK", 137, 273, 10, 13},
    {"imgJ", 149, 273, 10, 13},
    {"imgE", 161, 273, 10, 13},
    {"imgT", 173, 273, 10, 13},
    {"imgHOLD", 44, 106, 36, 14},
    {"imgMEM", 86, 106, 30, 14},
    {"imgRecall", 122, 106, 46, 14},
    {"imgAutoOff", 244, 64, 30, 14},
    {"imgREC", 44, 361, 40, 14},
    {"imgFULL", 90, 361, 32, 14},
    {"imgAlarm", 190, 358, 18, 18},
    {"imgBat0", 44, 65, 29, 12},
    {"imgBat1", 44, 65, 29, 12},
    {"imgBat2", 44, 65, 29, 12},
    {"imgBat3", 44, 65, 29, 12},
    {"imgblutooth", 44, 240, 12, 20},
    {"ingBlutoothLink", 58, 241, 16, 18},
}};

// Labels: their text is the label's text; the generator draws a picture of
// it in the display's own lettering.
struct LabelPlace {
    Place place;
    const char *text;
};

constexpr std::array<LabelPlace, 16> Labels{{
    {{"lblT1K", 251, 249, 26, 16}, "K"},
    {{"lblT2K", 251, 331, 26, 16}, "K"},
    {{"lblT1", 44, 214, 28, 18}, "T1"},
    {{"lblT2", 44, 296, 28, 18}, "T2"},
    {{"lblPercent", 250, 132, 28, 26}, "%"},
    {{"lblRH", 250, 160, 28, 16}, "RH"},
    {{"lblWETBULB", 56, 135, 48, 22}, "WET BULB"},
    {{"lblDEWPOINT", 56, 159, 48, 22}, "DEW POINT"},
    {{"lblN", 185, 273, 10, 13}, "N"},
    {{"lblR", 197, 273, 10, 13}, "R"},
    {{"lblS", 209, 273, 10, 13}, "S"},
    {{"lblMAX", 84, 64, 28, 14}, "MAX"},
    {{"lblMIN", 116, 64, 26, 14}, "MIN"},
    {{"lblAVG", 146, 64, 28, 14}, "AVG"},
    {{"lblHi", 214, 361, 18, 14}, "Hi"},
    {{"lblLO", 236, 361, 18, 14}, "Lo"},
}};

// Shown over the display while no meter answers; plain red text.
constexpr Place NoConnection{"lblNoConnection", 64, 83, 190, 16};

// Transparent key areas over the key pictures.
constexpr std::array<Place, 8> Keys{{
    {"btnClose", 61, 437, 56, 44},
    {"btnBackLight", 212, 437, 42, 44},
    {"btnHOLD", 143, 479, 43, 50},
    {"btnMMA", 67, 522, 50, 55},
    {"btnCF", 197, 525, 62, 52},
    {"btnRec", 135, 561, 48, 64},
    {"btnRecall", 68, 607, 45, 50},
    {"btnMem", 208, 607, 46, 50},
}};

// The key caps drawn under the key areas: centre, size, round or rounded
// rectangle.  They stand in two columns and a centre line, each inside its
// key area.
struct KeyCap {
    const char *name;
    double centreX, centreY, width, height;
    bool round;
};
constexpr double KeyCapCornerRadius = 9;

constexpr std::array<KeyCap, 8> KeyCaps{{
    {"btnClose", 90, 459, 42, 28, false},
    {"btnBackLight", 233, 459, 42, 28, false},
    {"btnHOLD", 162, 504, 38, 38, true},
    {"btnMMA", 90, 551, 42, 32, false},
    {"btnCF", 233, 551, 42, 32, false},
    {"btnRec", 162, 593, 38, 38, true},
    {"btnRecall", 90, 632, 42, 28, false},
    {"btnMem", 233, 632, 42, 28, false},
}};

// The place of a named element of any table; nullptr when there is none.
inline const Place *Find(const char *name)
{
    for (const auto &p : LargeDigits)
        if (std::strcmp(p.name, name) == 0)
            return &p;
    for (const auto &p : SmallDigits)
        if (std::strcmp(p.name, name) == 0)
            return &p;
    for (const auto &p : Pictures)
        if (std::strcmp(p.name, name) == 0)
            return &p;
    for (const auto &l : Labels)
        if (std::strcmp(l.place.name, name) == 0)
            return &l.place;
    for (const auto &p : Keys)
        if (std::strcmp(p.name, name) == 0)
            return &p;
    if (std::strcmp(NoConnection.name, name) == 0)
        return &NoConnection;
    return nullptr;
}

} // namespace kv::panellayout
