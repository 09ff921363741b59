#pragma once
// The pictures of the display's digits, one per glyph number, in the two
// sizes the meter shows: the large digits of the three readings and the two
// small digits above them.  Loaded once and shared by every panel.

#include "live/glyphtables.h"

#include <QPixmap>

#include <array>

namespace kv {

struct PanelGlyphs {
    std::array<QPixmap, GlyphCount> large;
    std::array<QPixmap, GlyphCount> small;

    // Loads both sets from the program's artwork.  A missing picture stops
    // the loading of its set; the rest of that set stays absent.
    void load();
};

} // namespace kv
