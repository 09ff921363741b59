// Text tables: reading lines into a table, writing a table, the file dialog
// texts, the printout's lines and pages, and a table's points as a graph.
#include "files/filefilters.h"
#include "files/tableprint.h"
#include "files/tabletograph.h"
#include "files/textcodec.h"
#include "files/textfile.h"
#include "files/texttable.h"
#include "realtime/datetime.h"
#include "realtime/statistics.h"
#include "tests/testsupport.h"

#include <QBuffer>
#include <QtTest>

using namespace kv;

namespace {

QStringList Row(const TextTable &table, int row)
{
    QStringList cells;
    for (int c = 0; c < TableColumnCount; ++c)
        cells << table.cellText(row, c);
    return cells;
}

TextImportResult Import(const QByteArray &bytes, QChar separator, TextTable &table,
                        const std::function<bool(int)> &afterLine = {})
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return ReadTextTable(buffer, separator, table, afterLine);
}

QByteArray Export(const TextTable &table, int from, int to, QChar separator)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    WriteTableText(buffer, table, from, to, separator);
    return buffer.data();
}

class LocaleScope {
public:
    explicit LocaleScope(const QLocale &locale) { QLocale::setDefault(locale); }
    ~LocaleScope() { QLocale::setDefault(QLocale::c()); }
};

} // namespace

class TestTextTable : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        kvtest::UseIsolatedPaths();
        QLocale::setDefault(QLocale::c());
        SetLocalTextEncodingName("UTF-8");
    }

    // ---- reading --------------------------------------------------------------------

    void importSplitsLines_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QChar>("separator");
        QTest::addColumn<QList<QStringList>>("rows");
        QTest::addColumn<bool>("cut");
        const QChar tab('\t');
        QTest::newRow("a TAB TAB b") << QByteArray("a\t\tb\r\n") << tab
                                     << QList<QStringList>{{"1", "a", "", "b", "", "", "", ""}} << false;
        QTest::newRow("trailing separator") << QByteArray("d\tt\t1.0\t\r\n") << tab
                                            << QList<QStringList>{{"1", "d", "t", "1.0", "", "", "", ""}} << false;
        QTest::newRow("fields beyond the last column dropped")
            << QByteArray("1,2,3,4,5,6,7,8,9\n") << QChar(',')
            << QList<QStringList>{{"1", "1", "2", "3", "4", "5", "6", "7"}} << false;
        QTest::newRow("empty line ends the import")
            << QByteArray("a\tb\r\nc\td\r\n\r\ne\tf\r\n") << tab
            << QList<QStringList>{{"1", "a", "b", "", "", "", "", ""}, {"2", "c", "d", "", "", "", "", ""}} << false;
        QTest::newRow("line without the separator ends the import")
            << QByteArray("a,b\nno comma here\nc,d\n") << QChar(',')
            << QList<QStringList>{{"1", "a", "b", "", "", "", "", ""}} << false;
        QTest::newRow("TAB file read as comma-separated") << QByteArray("a\tb\r\n") << QChar(',')
                                                          << QList<QStringList>{} << false;
        QTest::newRow("last line without a line end") << QByteArray("a\tb\r\nc\td") << tab
                                                      << QList<QStringList>{{"1", "a", "b", "", "", "", "", ""},
                                                                            {"2", "c", "d", "", "", "", "", ""}}
                                                      << false;
        // 179 characters are taken and the import ends after the line.
        const QByteArray longLine = "x\t" + QByteArray(200, 'y') + "\r\n";
        QTest::newRow("line of 200 characters")
            << (longLine + "a\tb\r\n") << tab
            << QList<QStringList>{{"1", "x", QString(177, 'y'), "", "", "", "", ""}} << true;
        const QByteArray exact = "x\t" + QByteArray(177, 'y') + "\r\n";
        QTest::newRow("line of exactly 179 characters")
            << (exact + "a\tb\r\n") << tab
            << QList<QStringList>{{"1", "x", QString(177, 'y'), "", "", "", "", ""},
                                  {"2", "a", "b", "", "", "", "", ""}}
            << false;
        QTest::newRow("cut before its only separator")
            << (QByteArray(190, 'z') + "\tb\r\n") << tab << QList<QStringList>{} << false;
        QTest::newRow("UTF-8 text") << QByteArray("3 Mär 2024\t10:00\r\n") << tab
                                    << QList<QStringList>{{"1", QString::fromUtf8("3 Mär 2024"), "10:00", "", "", "", "", ""}}
                                    << false;
    }
    void importSplitsLines()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QChar, separator);
        QFETCH(QList<QStringList>, rows);
        QFETCH(bool, cut);
        TextTable table;
        const TextImportResult result = Import(bytes, separator, table);
        QCOMPARE(result.rows, int(rows.size()));
        QCOMPARE(result.lineCut, cut);
        QCOMPARE(table.rows(), int(rows.size()));
        for (int r = 0; r < rows.size(); ++r)
            QCOMPARE(Row(table, r), rows.at(r));
    }

    // Lines that span the reader's blocks, and Cancel after a given row.
    void importLongFilesAndCancel()
    {
        QByteArray bytes;
        for (int i = 0; i < 20000; ++i)
            bytes += "03/05/2024\t10:00:" + QByteArray::number(i % 60) + "\t" + QByteArray::number(i) + "\r\n";
        TextTable table;
        QCOMPARE(Import(bytes, '\t', table).rows, 20000);
        QCOMPARE(table.field(12345, 3), QStringLiteral("12345"));
        QCOMPARE(table.cellText(19999, 0), QStringLiteral("20000"));

        TextTable cancelled;
        const TextImportResult r = Import(bytes, '\t', cancelled, [](int rows) { return rows < 7; });
        QVERIFY(r.cancelled);
        QCOMPARE(cancelled.rows(), 7);
    }

    // A locale whose character set is 8-bit reads and writes that set.
    void eightBitEncoding()
    {
        SetLocalTextEncodingName("ISO-8859-1");
        TextTable table;
        Import(QByteArray("3 M\xe4r 2024\t10:00\r\n"), '\t', table);
        QCOMPARE(table.field(0, 1), QString::fromUtf8("3 Mär 2024"));
        QCOMPARE(Export(table, 1, 1, '\t'), QByteArray("3 M\xe4r 2024\t10:00\t\t\t\t\t\t\r\n"));
        SetLocalTextEncodingName("UTF-8");
    }

    // ---- writing --------------------------------------------------------------------

    void exportLines_data()
    {
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("all") << 1 << 3
                             << QByteArray("d1\tt1\t1.0\t OL\t -OL\t\t\t\r\nd2\tt2\t2.0\t\t\t\t\t\r\n"
                                           "d3\tt3\t3.0\t\t\t\t\t\r\n");
        QTest::newRow("middle row") << 2 << 2 << QByteArray("d2\tt2\t2.0\t\t\t\t\t\r\n");
        QTest::newRow("beyond the last row") << 4 << 9 << QByteArray();
        QTest::newRow("end clipped") << 3 << 30 << QByteArray("d3\tt3\t3.0\t\t\t\t\t\r\n");
    }
    void exportLines()
    {
        QFETCH(int, from);
        QFETCH(int, to);
        QFETCH(QByteArray, expected);
        TextTable table;
        table.appendRow({u"d1", u"t1", u"1.0", u" OL", u" -OL"});
        table.appendRow({u"d2", u"t2", u"2.0"});
        table.appendRow({u"d3", u"t3", u"3.0"});
        QCOMPARE(Export(table, from, to, '\t'), expected);
    }

    void separatorsByName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QChar>("import");
        QTest::addColumn<QChar>("exportSeparator");
        QTest::newRow(".Csv") << "/tmp/run.Csv" << QChar(',') << QChar(',');
        QTest::newRow(".CSV") << "/tmp/run.CSV" << QChar(',') << QChar(',');
        QTest::newRow(".txt") << "/tmp/run.txt" << QChar('\t') << QChar('\t');
        QTest::newRow("ends in csv without a dot") << "/tmp/runcsv" << QChar('\t') << QChar(',');
    }
    void separatorsByName()
    {
        QFETCH(QString, name);
        QFETCH(QChar, import);
        QFETCH(QChar, exportSeparator);
        QCOMPARE(ImportSeparator(name), import);
        QCOMPARE(TableExportSeparator(name), exportSeparator);
    }

    // An exported graph and an exported table read back into the same
    // fields, in the user's formats, a decimal-comma locale included.
    void roundTrips_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QChar>("separator");
        QTest::newRow("C, TAB") << QLocale::c() << QChar('\t');
        QTest::newRow("US, comma") << QLocale(QLocale::English, QLocale::UnitedStates) << QChar(',');
        QTest::newRow("German, TAB") << QLocale(QLocale::German, QLocale::Germany) << QChar('\t');
    }
    void roundTrips()
    {
        QFETCH(QLocale, locale);
        QFETCH(QChar, separator);
        const LocaleScope scope(locale);
        const double start = ToDateTime(QDateTime(QDate(2024, 12, 31), QTime(23, 59, 58)));
        const int points = 4;
        std::vector<double> x(points);
        std::array<std::vector<double>, GraphChannelCount> y;
        GraphTextColumns columns;
        columns.points = points;
        for (int p = 0; p < points; ++p)
            x[size_t(p)] = start + p * OneSecond;
        columns.x = x.data();
        const float values[GraphChannelCount] = {45.2f, 21.7f, 9000, -9000, -12.34f};
        for (int s = 0; s < GraphChannelCount; ++s) {
            y[size_t(s)].assign(points, values[s]);
            columns.y[size_t(s)] = y[size_t(s)].data();
        }
        QBuffer graphText;
        graphText.open(QIODevice::WriteOnly);
        WriteGraphText(graphText, columns, 1, points, TextFileFormat::fromLocale(separator, locale));

        TextTable table;
        QCOMPARE(Import(graphText.data(), separator, table).rows, points);
        GraphLineBuilder builder(TextFileFormat::fromLocale(separator, locale));
        for (int p = 0; p < points; ++p) {
            const QStringList fields =
                builder.line(x[size_t(p)], {values[0], values[1], values[2], values[3], values[4]}).split(separator);
            QCOMPARE(Row(table, p), QStringList{QString::number(p + 1)} + fields);
        }

        // The table written and read again is the same table.
        const QByteArray tableText = Export(table, 1, points, separator);
        QVERIFY(tableText.endsWith(QByteArray(1, char(separator.unicode())) + "\r\n"));
        TextTable again;
        Import(tableText, separator, again);
        QCOMPARE(again.rows(), points);
        for (int p = 0; p < points; ++p)
            QCOMPARE(Row(again, p), Row(table, p));
        QCOMPARE(Export(again, 1, points, separator), tableText);

        // The rows are drawn at their own times, the midnight step included.
        const TableGraphRange range = TableGraphExtent(table, locale);
        QCOMPARE(range.status, TableGraphRange::Ok);
        QCOMPARE(range.first, start);
        QVERIFY(qAbs(range.last - (start + 3 * OneSecond)) < 1e-9);
        const TableGraphPoints graph = TableGraphValues(table, locale);
        QCOMPARE(graph.skippedRows, 0);
        for (int p = 0; p < points; ++p)
            QVERIFY(qAbs(graph.x[size_t(p) * 5 + 4] - x[size_t(p)]) < 1e-9);
        QCOMPARE(graph.y[0], 45.2f);
        QCOMPARE(graph.y[4], -12.3f);   // written with one decimal
    }

    // ---- file dialog texts ----------------------------------------------------------

    void dialogTexts_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QString>("graphFilter");
        QTest::addColumn<QString>("tableFilter");
        QTest::addColumn<QString>("openCaption");
        QTest::newRow("decimal point")
            << QLocale::c()
            << "Graph file(*.ghf,only for KV3917)|*.GHF|TXT file(*.txt,data seperated by tab)|*.TXT|"
               "EXCEL file format(*.CSV,seperated by comma)|*.CSV"
            << "TXT file(*.txt,data seperated by tab)|*.TXT                             |EXCEL file "
               "format(*.CSV,seperated by comma) |*.CSV"
            << "Open single data file(*.TXT,*.CSV,*.GHF)";
        QTest::newRow("decimal comma")
            << QLocale(QLocale::German, QLocale::Germany)
            << "Graph file(*.ghf,only for KV3917)|*.GHF|TXT file(*.txt,data seperated by tab)|*.TXT"
            << " TXT file(*.txt,data seperated by tab) |*.TXT"
            << "Open single data flle(*.TXT,*.GHF)";
    }
    void dialogTexts()
    {
        QFETCH(QLocale, locale);
        QFETCH(QString, graphFilter);
        QFETCH(QString, tableFilter);
        QFETCH(QString, openCaption);
        QCOMPARE(GraphFileFilter(locale), graphFilter);
        QCOMPARE(TableFileFilter(locale), tableFilter);
        QCOMPARE(OpenSingleFileCaption(locale), openCaption);
    }

    void qtFiltersMatchLowerCaseNames()
    {
        QCOMPARE(QtFileFilter(GraphFileFilter(QLocale(QLocale::German, QLocale::Germany))),
                 QStringLiteral("Graph file(*.ghf,only for KV3917) (*.GHF *.ghf);;"
                                "TXT file(*.txt,data seperated by tab) (*.TXT *.txt)"));
        QCOMPARE(QtFileFilter(TableFileFilter(QLocale::c())),
                 QStringLiteral("TXT file(*.txt,data seperated by tab) (*.TXT *.txt);;"
                                "EXCEL file format(*.CSV,seperated by comma)  (*.CSV *.csv)"));
    }

    void filterSwitchRenames_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("renamed");
        const QString graph = GraphFileFilter(QLocale::c());
        QTest::newRow("GHF to TXT") << graph << 2 << "run1.GHF" << "run1.TXT";
        QTest::newRow("to CSV, folder dropped") << graph << 3 << "/home/u/run1.GHF" << "run1.CSV";
        QTest::newRow("name without extension") << graph << 1 << "run1" << "run1.GHF";
        QTest::newRow("no such filter") << graph << 4 << "run1.GHF" << "";
        QTest::newRow("nothing typed") << graph << 2 << "" << "";
        QTest::newRow("table filter") << TableFileFilter(QLocale::c()) << 2 << "t.TXT" << "t.CSV";
    }
    void filterSwitchRenames()
    {
        QFETCH(QString, filter);
        QFETCH(int, index);
        QFETCH(QString, name);
        QFETCH(QString, renamed);
        QCOMPARE(NameForFilter(filter, index, name), renamed);
    }

    void filterExtensionTables()
    {
        QCOMPARE(FilterExtensionTable(GraphFileFilter(QLocale::c())),
                 (QStringList{".GHF", ".TXT", ".CSV"}));
        QCOMPARE(FilterExtensionTable(TableFileFilter(QLocale(QLocale::German, QLocale::Germany))),
                 QStringList{".TXT"});
        // A pattern too short for an extension ends the table.
        QCOMPARE(FilterExtensionTable(QStringLiteral("A(*.a)|*.AB")), QStringList{});
    }

    // ---- printout ---------------------------------------------------------------------

    void printoutLines()
    {
        TextTable table;
        table.appendRow({u"2024-05-03", u"10:00:00", u"45.2", u" OL"});
        QCOMPARE(TablePrintoutLine(table, 0),
                 QStringLiteral("No") + QString(16, ' ') + "Date" + QString(12, ' ') + "Time" + QString(26, ' ')
                     + "%RH" + QString(14, ' ') + "T1" + QString(16, ' ') + "T2" + QString(16, ' ')
                     + "WET BULB" + QString(4, ' ') + "DEW POINT" + QString(2, ' '));
        // A 10-character date gets no fill: the time follows directly.
        QVERIFY(TablePrintoutLine(table, 1).startsWith(QStringLiteral("1") + QString(18, ' ')
                                                      + "2024-05-0310:00:00" + QString(18, ' ') + "45.2"));
        QCOMPARE(PrintoutLine({QString(12, 'x'), "a"}), QString(12, 'x') + "a" + QString(18, ' '));
    }

    void printoutPages_data()
    {
        QTest::addColumn<int>("pageHeight");
        QTest::addColumn<int>("lineHeight");
        QTest::addColumn<int>("linesPerPage");
        QTest::newRow("61 line heights") << 61 * 20 << 20 << 60;
        QTest::newRow("almost 62") << 62 * 20 - 1 << 20 << 60;
        QTest::newRow("line taller than the page") << 10 << 20 << 1;
    }
    void printoutPages()
    {
        QFETCH(int, pageHeight);
        QFETCH(int, lineHeight);
        QFETCH(int, linesPerPage);
        const PrintPageLayout layout = PrintPageLayout::forPage(pageHeight, lineHeight);
        QCOMPARE(layout.linesPerPage, linesPerPage);
        const int L = linesPerPage;
        QCOMPARE(layout.pageOf(L - 1), 0);
        QCOMPARE(layout.pageOf(L), 1);
        QCOMPARE(layout.topOf(0), lineHeight);
        QCOMPARE(layout.topOf(L), lineHeight);   // row L starts page 2, one line below the top
        QCOMPARE(layout.pages(L + 1), 2);
        // Every line of a page ends on it.
        if (L > 1)
            QVERIFY(layout.topOf(L - 1) + lineHeight <= pageHeight);
    }

    // ---- table to graph ---------------------------------------------------------------

    void cellValues_data()
    {
        QTest::addColumn<QString>("cell");
        QTest::addColumn<int>("series");
        QTest::addColumn<float>("value");
        QTest::newRow("RH OL") << " OL" << 0 << 9000.0f;
        QTest::newRow("T2 -OL") << " -OL" << 2 << -9000.0f;
        QTest::newRow("WET BULB OL") << " OL" << 3 << 9999.0f;
        QTest::newRow("WET BULB -OL") << " -OL" << 3 << 9999.0f;
        QTest::newRow("T1 abc") << "abc" << 1 << 9000.0f;
        QTest::newRow("DEW POINT abc") << "abc" << 4 << 9999.0f;
        QTest::newRow("OL without its space") << "OL" << 1 << 9000.0f;
        QTest::newRow("-OL without its space") << "-OL" << 2 << 9000.0f;
        QTest::newRow("empty") << "" << 0 << 9000.0f;
        QTest::newRow("number") << "-12.5" << 4 << -12.5f;
        QTest::newRow("exponent") << "1e2" << 1 << 100.0f;
        QTest::newRow("beyond single precision") << "1e300" << 0 << 9000.0f;
    }
    void cellValues()
    {
        QFETCH(QString, cell);
        QFETCH(int, series);
        QFETCH(float, value);
        TextTable table;
        const QString date = QLocale::c().toString(QDate(2024, 5, 3), ShortDateFormat(QLocale::c()));
        QStringView fields[7] = {date, u"10:00:00", u"1", u"1", u"1", u"1", u"1"};
        fields[2 + series] = cell;
        table.appendRow(fields, 7);
        const TableGraphPoints graph = TableGraphValues(table, QLocale::c());
        QCOMPARE(graph.y[size_t(series)], value);
    }

    void decimalCommaValues()
    {
        const QLocale german(QLocale::German, QLocale::Germany);
        QCOMPARE(TableCellValue(u"21,7", 9000, -9000, 9000, german), 21.7f);
        QCOMPARE(TableCellValue(u"21.7", 9000, -9000, 9000, QLocale::c()), 21.7f);
    }

    // Rows whose date or time cannot be read keep the set-up values; the
    // first and last rows must be readable.
    void skippedRowsAndRange()
    {
        const QLocale c = QLocale::c();
        const QString date = c.toString(QDate(2024, 5, 3), ShortDateFormat(c));
        TextTable table;
        table.appendRow({date, u"10:00:00", u"1.0", u"2.0", u"3.0", u"4.0", u"5.0"});
        table.appendRow({u"", u"10:00:02", u"1.0", u"2.0", u"3.0", u"4.0", u"5.0"});
        table.appendRow({date, u"25:61:00", u"1.0"});
        table.appendRow({date, u"10:00:06", u"6.0", u" OL"});
        const TableGraphRange range = TableGraphExtent(table, c);
        QCOMPARE(range.status, TableGraphRange::Ok);
        QCOMPARE(range.points, 4);
        QVERIFY(qAbs(range.last - range.first - 6 * OneSecond) < 1e-9);
        const TableGraphPoints graph = TableGraphValues(table, c);
        QCOMPARE(graph.skippedRows, 2);
        for (int s = 0; s < 5; ++s) {
            QCOMPARE(graph.x[size_t(5 + s)], 0.0);
            QCOMPARE(graph.y[size_t(10 + s)], NoValue);
            QCOMPARE(graph.x[size_t(15 + s)], range.last);
        }
        QCOMPARE(graph.y[15], 6.0f);
        QCOMPARE(graph.y[16], 9000.0f);
        QCOMPARE(graph.y[18], 9999.0f);   // an empty DEW POINT cell

        TextTable empty;
        QCOMPARE(TableGraphExtent(empty, c).status, TableGraphRange::NoData);
        TextTable noDate;
        noDate.appendRow({u"", u"10:00:00", u"1.0"});
        QCOMPARE(TableGraphExtent(noDate, c).status, TableGraphRange::NoData);
        TextTable badEnd;
        badEnd.appendRow({date, u"10:00:00"});
        badEnd.appendRow({u"x", u"y"});
        const TableGraphRange bad = TableGraphExtent(badEnd, c);
        QCOMPARE(bad.status, TableGraphRange::Unreadable);
        QCOMPARE(bad.error, QStringLiteral("'x y' is not a valid date and time"));
    }

    // The time reader reads what every locale's time format writes, where
    // it reads the format itself (the others are left to QLocale).
    void timesOfEveryLocale()
    {
        const QList<QTime> times = {QTime(0, 0, 0), QTime(9, 7, 3), QTime(12, 0, 0), QTime(13, 45, 59),
                                    QTime(23, 59, 59)};
        const QList<QLocale> locales =
            QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory);
        int checked = 0;
        for (const QLocale &locale : locales) {
            if (!TokenizeTimeFormat(locale, LongTimeFormat(locale)).fast)
                continue;
            TableDateTimeReader reader(locale);
            const QDate day(2024, 5, 3);
            const QString dateText = locale.toString(day, ShortDateFormat(locale));
            if (!locale.toDate(dateText, ShortDateFormat(locale)).isValid())
                continue;
            ++checked;
            for (const QTime &t : times) {
                double value = 0;
                const QString timeText = locale.toString(t, LongTimeFormat(locale));
                QVERIFY2(reader.read(dateText, timeText, &value),
                         qPrintable(locale.name() + ": " + dateText + " " + timeText));
                QCOMPARE(value, ToDateTime(QDateTime(day, t)));
            }
        }
        QVERIFY(checked > 100);
    }
};

QTEST_GUILESS_MAIN(TestTextTable)
#include "tst_texttable.moc"
