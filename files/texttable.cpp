#include "files/texttable.h"

#include "files/textcodec.h"

#include <QIODevice>

#include <limits>

namespace kv {
namespace {

// Bytes read from the file at a time, and the bytes of one line kept at
// most (179 characters of up to four bytes, and the line end).
constexpr qint64 ReadBlockBytes = 64 * 1024;
constexpr qsizetype LineMaxBytes = TextLineMaxChars * 4 + 2;

} // namespace

QStringList TableTitles()
{
    return {QStringLiteral("No"), QStringLiteral("Date"), QStringLiteral("Time"), QStringLiteral("%RH"),
            QStringLiteral("T1"), QStringLiteral("T2"), QStringLiteral("WET BULB"), QStringLiteral("DEW POINT")};
}

// ---- storage --------------------------------------------------------------------------

QStringView TextTable::field(int row, int column) const
{
    if (row < 0 || row >= m_rows || column < 1 || column > TableFieldCount)
        return {};
    const Column &c = m_columns[size_t(column - 1)];
    const quint32 begin = row == 0 ? 0 : c.ends[size_t(row - 1)];
    const quint32 end = c.ends[size_t(row)];
    return QStringView(c.text.data() + begin, qsizetype(end - begin));
}

QString TextTable::cellText(int row, int column) const
{
    if (column == 0)
        return row >= 0 && row < m_rows ? QString::number(row + 1) : QString();
    return field(row, column).toString();
}

bool TextTable::appendRow(const QStringView *fields, int count)
{
    if (m_rows >= TableMaxRows)
        return false;
    for (int k = 0; k < TableFieldCount; ++k) {
        Column &c = m_columns[size_t(k)];
        if (k < count)
            c.text.insert(c.text.end(), fields[k].utf16(), fields[k].utf16() + fields[k].size());
        c.ends.push_back(quint32(c.text.size()));
    }
    ++m_rows;
    return true;
}

bool TextTable::appendRow(std::initializer_list<QStringView> fields)
{
    return appendRow(fields.begin(), int(fields.size()));
}

bool TextTable::appendLine(QStringView line, QChar separator)
{
    // Column 1 takes the text before the first separator, and so on; the
    // last column takes the rest up to the next separator.  A row ends at an
    // empty rest; fields beyond the last column are dropped.
    std::array<QStringView, TableFieldCount> fields;
    int count = 0;
    QStringView rest = line;
    while (count < TableFieldCount) {
        const qsizetype at = rest.indexOf(separator);
        if (at >= 0) {
            fields[size_t(count++)] = rest.left(at);
            rest = rest.mid(at + 1);
        } else {
            if (!rest.isEmpty())
                fields[size_t(count++)] = rest;
            break;
        }
    }
    return appendRow(fields.data(), count);
}

void TextTable::reserve(int rows, int charsPerField)
{
    for (Column &c : m_columns) {
        c.ends.reserve(size_t(rows));
        c.text.reserve(size_t(rows) * size_t(charsPerField));
    }
}

void TextTable::clear()
{
    for (Column &c : m_columns) {
        c.text = {};
        c.ends = {};
    }
    m_rows = 0;
}

qsizetype TextTable::memoryBytes() const
{
    qsizetype bytes = 0;
    for (const Column &c : m_columns)
        bytes += qsizetype(c.text.capacity() * sizeof(char16_t) + c.ends.capacity() * sizeof(quint32));
    return bytes;
}

// ---- separators -------------------------------------------------------------------------

QChar ImportSeparator(const QString &fileName)
{
    return fileName.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive) ? QLatin1Char(',') : QLatin1Char('\t');
}

QChar TableExportSeparator(const QString &fileName)
{
    return fileName.endsWith(QLatin1String("csv"), Qt::CaseInsensitive) ? QLatin1Char(',') : QLatin1Char('\t');
}

// ---- reading ----------------------------------------------------------------------------

TextImportResult ReadTextTable(QIODevice &in, QChar separator, TextTable &table,
                               const std::function<bool(int rows)> &afterLine)
{
    TextImportResult result;
    QStringDecoder decoder = LocalTextDecoder();
    QByteArray block;
    QByteArray line;            // a line that spans blocks, at most LineMaxBytes
    bool lineTooLong = false;   // bytes of the current line were dropped
    QString text;
    bool atEnd = false;
    qsizetype pos = 0;

    // The next line's bytes without its line end; false at the end of data.
    auto nextLine = [&](QByteArrayView *out) -> bool {
        line.resize(0);
        lineTooLong = false;
        for (;;) {
            if (pos >= block.size()) {
                if (atEnd)
                    break;
                block.resize(ReadBlockBytes);
                const qint64 got = in.read(block.data(), ReadBlockBytes);
                if (got < 0) {
                    result.failed = true;
                    result.error = in.errorString();
                    return false;
                }
                block.resize(qsizetype(got));
                pos = 0;
                if (got == 0) {
                    atEnd = true;
                    break;
                }
            }
            const qsizetype newline = block.indexOf('\n', pos);
            const qsizetype end = newline < 0 ? block.size() : newline;
            const qsizetype take = qMin(end - pos, LineMaxBytes - line.size());
            if (newline >= 0 && line.isEmpty() && end - pos <= LineMaxBytes) {
                // The whole line inside the block: no copy.
                *out = QByteArrayView(block.constData() + pos, end - pos);
                pos = newline + 1;
                return true;
            }
            line.append(block.constData() + pos, take);
            if (take < end - pos)
                lineTooLong = true;
            if (newline >= 0) {
                pos = newline + 1;
                *out = line;
                return true;
            }
            pos = block.size();
            if (lineTooLong) {
                // The rest of the line is never looked at: the import ends
                // after a cut line.
                *out = line;
                return true;
            }
        }
        if (line.isEmpty())
            return false;
        *out = line;   // the last line without a line end
        return true;
    };

    QByteArrayView bytes;
    while (nextLine(&bytes)) {
        if (bytes.endsWith('\r'))
            bytes.chop(1);
        text.resize(decoder.requiredSpace(bytes.size()));
        QChar *end = decoder.appendToBuffer(text.data(), bytes);
        text.resize(end - text.constData());
        bool cut = lineTooLong;
        if (text.size() > TextLineMaxChars) {
            qsizetype keep = TextLineMaxChars;
            if (text.at(keep - 1).isHighSurrogate())
                --keep;
            text.truncate(keep);
            cut = true;
        }
        if (!text.contains(separator))
            break;
        if (!table.appendLine(text, separator))
            break;
        ++result.rows;
        if (cut) {
            result.lineCut = true;
            break;
        }
        if (afterLine && !afterLine(result.rows)) {
            result.cancelled = true;
            break;
        }
    }
    return result;
}

// ---- writing ----------------------------------------------------------------------------

TextWriteResult WriteTableText(QIODevice &out, const TextTable &table, int from, int to, QChar separator,
                               const std::function<bool()> &afterLine)
{
    TextWriteResult result;
    TextBlockWriter writer(out, result);
    const int first = qMax(from, 1) - 1;
    const int last = qMin(to, table.rows()) - 1;
    for (int r = first; r <= last; ++r) {
        QString &block = writer.block();
        for (int c = 1; c <= TableFieldCount; ++c) {
            block += table.field(r, c);
            block += separator;
        }
        if (!writer.endLine())
            return result;
        if (afterLine && !afterLine()) {
            result.cancelled = true;
            break;
        }
    }
    writer.flush();
    return result;
}

} // namespace kv
