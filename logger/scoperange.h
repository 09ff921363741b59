#pragma once
// The range of rows or points the user chose in the range dialog.

#include <QString>

namespace kv {

struct RowRange {
    bool valid = false;   // false: a text was not a whole number
    int from = 0;         // 1-based, inclusive; from > to selects nothing
    int to = 0;
};

// For a source of `count` rows: all of them, or the absolute values of the
// two texts, swapped when reversed, the end clamped to `count` and a start
// of 0 taken as 1.
RowRange RangeRequest(bool all, const QString &fromText, const QString &toText, int count);

} // namespace kv
