#pragma once
// Graph files read into and written from a chart widget.

#include <QString>

namespace kv {

class Chart;

// Writes the chart's state.  An existing file is replaced only once the new
// one is complete: a failed write leaves it as it was.
bool WriteGraphFile(const Chart &chart, const QString &path, QString *error);

// Replaces the chart's state with the file's.  Any failure (file, length or
// block) leaves the chart unchanged.
bool ReadGraphFile(Chart &chart, const QString &path, QString *error);

} // namespace kv
