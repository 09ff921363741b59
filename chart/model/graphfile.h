#pragma once
// Graph file (.GHF): a 4-byte little-endian length N followed by the N bytes
// of a chart's state block (Chart::storeState).  The graph template uses the
// same format.

#include <QByteArray>
#include <QString>

namespace kv {

struct ChartState;

// Size of the length field in front of the block.
constexpr int GraphFileLengthSize = 4;

// The bytes of a graph file holding `block`.
QByteArray GraphFileBytes(const QByteArray &block);

// Splits a graph file's bytes into its block.  Fails when the bytes are fewer
// than 4 or fewer than the length field promises; bytes after the block are
// ignored.
bool ParseGraphFile(const QByteArray &fileBytes, QByteArray *block, QString *error);

// Writes a state block.  An existing file is replaced only once the new one
// is complete: a failed write leaves it as it was.
bool WriteGraphFileBlock(const QString &path, const QByteArray &block, QString *error);

// Reads a file's state block without a chart; never allocates more than the
// file's size.
bool ReadGraphFileBlock(const QString &path, QByteArray *block, QString *error);

// Reads and checks a graph file into *state.  Any failure (file, length or
// block) leaves *state unchanged.
bool ReadGraphFileState(const QString &path, ChartState *state, QString *error);

} // namespace kv
