#pragma once
// Tables of text: the rows a table window shows, read from and written to
// TAB- or comma-separated files.  No header line, no quoting, CR LF after
// every line, the system's 8-bit encoding.  UI-free.
//
// Storage is columnar: every column keeps its texts back to back in one
// buffer with an end offset per row, so a table of 100,000 rows is a few
// allocations, not 700,000 strings.

#include "files/textfile.h"

#include <QChar>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <array>
#include <functional>
#include <vector>

class QIODevice;

namespace kv {

// Columns of a table window: 0 the row number ("No"), 1 date, 2 time,
// 3..7 the five channels.
constexpr int TableColumnCount = 8;
constexpr int TableFieldCount = TableColumnCount - 1;
QStringList TableTitles();

// Lines of a text file are read up to this many characters; a longer line
// is cut there and ends the import.
constexpr int TextLineMaxChars = 179;
// A table holds at most this many rows (every column's text stays below
// 4 G characters); an import stops there.
constexpr int TableMaxRows = 20'000'000;

class TextTable {
public:
    int rows() const { return m_rows; }
    bool isEmpty() const { return m_rows == 0; }
    // The text of a field column (1..7) of a 0-based row; column 0 and
    // cells out of range are empty.
    QStringView field(int row, int column) const;
    // The text a cell shows: column 0 is the row number (from 1).
    QString cellText(int row, int column) const;

    // Appends a row; fields[k] goes to column k + 1, missing ones are empty,
    // ones beyond column 7 are dropped.  False when the table is full.
    bool appendRow(const QStringView *fields, int count);
    bool appendRow(std::initializer_list<QStringView> fields);
    // Splits a line at the separator into the next row.
    bool appendLine(QStringView line, QChar separator);
    void reserve(int rows, int charsPerField = 6);
    void clear();
    // Bytes held by the table's buffers.
    qsizetype memoryBytes() const;

private:
    struct Column {
        std::vector<char16_t> text;
        std::vector<quint32> ends;   // end of row r's text; row r starts at ends[r - 1]
    };
    std::array<Column, TableFieldCount> m_columns;
    int m_rows = 0;
};

// The separator of a file read as a table: comma for a name ending in .csv
// (any case), TAB otherwise.
QChar ImportSeparator(const QString &fileName);
// The separator of a table written to a file: comma when the name's last
// three characters are "csv" in any case, TAB otherwise.
QChar TableExportSeparator(const QString &fileName);

struct TextImportResult {
    int rows = 0;
    bool cancelled = false;
    bool lineCut = false;   // a line longer than TextLineMaxChars ended the import
    bool failed = false;    // the device could not be read
    QString error;
};

// Reads lines into `table` (appended) until the end of the data, a line
// without the separator (an empty line included), a line longer than
// TextLineMaxChars (taken cut, then the import ends) or a full table.
// `afterLine(rows)` runs after every row; returning false stops (Cancel).
// Memory stays bounded by the table, whatever the bytes.
TextImportResult ReadTextTable(QIODevice &in, QChar separator, TextTable &table,
                               const std::function<bool(int rows)> &afterLine = {});

// Writes rows from - 1 .. to - 1 (1-based range, clipped to the table):
// fields 1..7, each followed by the separator, then CR LF.  `afterLine`
// runs after every line; returning false stops (Cancel).
TextWriteResult WriteTableText(QIODevice &out, const TextTable &table, int from, int to, QChar separator,
                               const std::function<bool()> &afterLine = {});

} // namespace kv
