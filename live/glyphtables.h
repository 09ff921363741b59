#pragma once
// Seven-segment patterns of the meter's display and the glyph numbers they
// stand for.  Table A holds the segments a f b g e c d in bits 7..1 (bit 0
// belongs to a symbol); table B holds them in bits 0..6 (bit 7 belongs to a
// symbol).  Glyph 16 is the blank digit.

#include <cstdint>

namespace kv {

constexpr int GlyphCount = 25;

// Segment bits in a neutral order: a=0x01 b=0x02 c=0x04 d=0x08 e=0x10 f=0x20 g=0x40.
enum Segment : std::uint8_t { SegA = 0x01, SegB = 0x02, SegC = 0x04, SegD = 0x08, SegE = 0x10, SegF = 0x20, SegG = 0x40 };

// Neutral segment set of each glyph 0..24 (0 for blank glyphs).  The glyph
// pictures and the simulated meter are drawn from this one table.
std::uint8_t GlyphSegments(int glyph);

// Display byte -> glyph.
std::uint8_t GlyphTableA(std::uint8_t displayByte);
std::uint8_t GlyphTableB(std::uint8_t displayByte);

// Glyph -> display byte (symbol bit clear); blank for glyphs without a pattern.
std::uint8_t EncodeGlyphA(int glyph);
std::uint8_t EncodeGlyphB(int glyph);

} // namespace kv
