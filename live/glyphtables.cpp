#include "live/glyphtables.h"
#include "live/livereading.h"

#include <array>

namespace kv {
namespace {

constexpr std::uint8_t None = 0xFF; // glyph without a pattern in that table

// Display byte of each glyph 0..24 (symbol bit clear).
constexpr std::array<std::uint8_t, GlyphCount> PatternsA{
    0xEE, 0x24, 0xBA, 0xB6, 0x74, 0xD6, 0xDE, 0xE4, 0xFE, 0xF6, // 0..9
    0xFC, 0x5E, 0xCA, 0x3E, 0xDA, 0xD8, None, 0x10, 0x4A, 0x1E, // 10..19
    0x18, 0x5A, 0x6E, None, None};                              // 20..24
constexpr std::array<std::uint8_t, GlyphCount> PatternsB{
    0x77, 0x24, 0x5D, 0x6D, 0x2E, 0x6B, 0x7B, 0x27, 0x7F, 0x6F, // 0..9
    0x3F, 0x7A, 0x53, 0x7C, 0x5B, 0x1B, None, 0x08, 0x52, 0x78, // 10..19
    0x18, 0x5A, 0x38, 0x3E, 0x20};                              // 20..24

// Bit positions of the segments a f b g e c d in each table.
constexpr std::array<int, 7> BitsA{7, 6, 5, 4, 3, 2, 1};
constexpr std::array<int, 7> BitsB{0, 1, 2, 3, 4, 5, 6};
constexpr std::array<std::uint8_t, 7> SegOrder{SegA, SegF, SegB, SegG, SegE, SegC, SegD};

constexpr std::array<std::uint8_t, 256> BuildLookup(const std::array<std::uint8_t, GlyphCount> &patterns,
                                                    std::uint8_t ignoredBit)
{
    std::array<std::uint8_t, 256> table{};
    for (int b = 0; b < 256; ++b) {
        table[static_cast<std::size_t>(b)] = BlankGlyph;
        const std::uint8_t masked = static_cast<std::uint8_t>(b & ~ignoredBit);
        for (int g = 0; g < GlyphCount; ++g)
            if (patterns[static_cast<std::size_t>(g)] != None && patterns[static_cast<std::size_t>(g)] == masked)
                table[static_cast<std::size_t>(b)] = static_cast<std::uint8_t>(g);
    }
    return table;
}

constexpr auto LookupA = BuildLookup(PatternsA, 0x01);
constexpr auto LookupB = BuildLookup(PatternsB, 0x80);

std::uint8_t ToNeutral(std::uint8_t displayByte, const std::array<int, 7> &bits)
{
    std::uint8_t segments = 0;
    for (std::size_t i = 0; i < 7; ++i)
        if (displayByte & (1u << bits[i]))
            segments |= SegOrder[i];
    return segments;
}

} // namespace

std::uint8_t GlyphTableA(std::uint8_t displayByte) { return LookupA[displayByte]; }
std::uint8_t GlyphTableB(std::uint8_t displayByte) { return LookupB[displayByte]; }

std::uint8_t EncodeGlyphA(int glyph)
{
    if (glyph < 0 || glyph >= GlyphCount || PatternsA[static_cast<std::size_t>(glyph)] == None)
        return 0;
    return PatternsA[static_cast<std::size_t>(glyph)];
}

std::uint8_t EncodeGlyphB(int glyph)
{
    if (glyph < 0 || glyph >= GlyphCount || PatternsB[static_cast<std::size_t>(glyph)] == None)
        return 0;
    return PatternsB[static_cast<std::size_t>(glyph)];
}

std::uint8_t GlyphSegments(int glyph)
{
    if (glyph < 0 || glyph >= GlyphCount)
        return 0;
    if (PatternsA[static_cast<std::size_t>(glyph)] != None)
        return ToNeutral(PatternsA[static_cast<std::size_t>(glyph)], BitsA);
    if (PatternsB[static_cast<std::size_t>(glyph)] != None)
        return ToNeutral(PatternsB[static_cast<std::size_t>(glyph)], BitsB);
    return 0;
}

} // namespace kv
