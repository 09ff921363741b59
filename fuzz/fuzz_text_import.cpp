// Reads fuzzed bytes as a text table.  The first byte picks the separator
// (any character, TAB and comma included); the rest is the file.  Every
// accepted row must have its row number and fields no longer than a line,
// the table may hold no more rows than the data has lines, and writing the
// table and reading it back must give the same rows where every line fits.

#include "files/tabletograph.h"
#include "files/textcodec.h"
#include "files/texttable.h"

#include <QBuffer>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const QChar separator = QLatin1Char(char(data[0]));
    const QByteArray bytes(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    // UTF-8 and a single-byte set: every byte is a character there.
    const QByteArray encoding = (data[0] & 0x80) ? QByteArrayLiteral("ISO-8859-1") : QByteArrayLiteral("UTF-8");
    kv::SetLocalTextEncodingName(encoding);

    QBuffer in;
    in.setData(bytes);
    in.open(QIODevice::ReadOnly);
    kv::TextTable table;
    const kv::TextImportResult result = kv::ReadTextTable(in, separator, table);
    if (result.rows != table.rows() || qsizetype(table.rows()) > bytes.count('\n') + 1)
        abort();
    for (int r = 0; r < table.rows(); ++r) {
        if (table.cellText(r, 0) != QString::number(r + 1))
            abort();
        for (int c = 1; c < kv::TableColumnCount; ++c)
            if (table.field(r, c).size() > kv::TextLineMaxChars || table.field(r, c).contains(separator))
                abort();
    }

    // Written and read again: the same rows (a separator inside a field
    // cannot occur, fields never hold line ends).
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    kv::WriteTableText(out, table, 1, table.rows(), separator);
    out.close();
    // Lines too long to be read whole, or fields holding line ends, do not
    // come back as they were.
    bool comparable = separator != QLatin1Char('\n') && separator != QLatin1Char('\r');
    for (int r = 0; r < table.rows() && comparable; ++r) {
        qsizetype length = kv::TableFieldCount;
        for (int c = 1; c < kv::TableColumnCount; ++c) {
            const QStringView f = table.field(r, c);
            length += f.size();
            if (f.contains(QLatin1Char('\r')) || f.contains(QLatin1Char('\n')))
                comparable = false;
        }
        if (length > kv::TextLineMaxChars)
            comparable = false;
    }
    if (comparable) {
        QBuffer again;
        again.setData(out.data());
        again.open(QIODevice::ReadOnly);
        kv::TextTable reread;
        kv::ReadTextTable(again, separator, reread);
        if (reread.rows() != table.rows())
            abort();
        for (int r = 0; r < table.rows(); ++r)
            for (int c = 1; c < kv::TableColumnCount; ++c)
                if (reread.field(r, c) != table.field(r, c))
                    abort();
    }

    // And the rows as graph points.
    const kv::TableGraphRange range = kv::TableGraphExtent(table);
    if (range.status == kv::TableGraphRange::Ok) {
        const kv::TableGraphPoints points = kv::TableGraphValues(table);
        if (points.x.size() != size_t(table.rows()) * 5)
            abort();
    }
    return 0;
}
