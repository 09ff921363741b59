#pragma once
// What the meter's display shows, as one line of text for screen readers,
// e.g. "RH 41.8 %, T1 23.9 °C, T2 23.1 °C, HOLD".

#include "live/livereading.h"

#include <QString>

namespace kv {

// The character a display glyph stands for (a space for the blank glyph).
QChar GlyphCharacter(std::uint8_t glyph);

// The display read out: each lit reading row with its digits, decimal point
// and unit ("OL" when the row shows the overload pattern), then the lit mode
// symbols.  Rows whose digits are all blank are left out.
QString DisplayText(const DisplayState &display);

// The connection state shown in the status bar, as spoken text.
QString ConnectionStateText(const QString &statusText);

} // namespace kv
