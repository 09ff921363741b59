// Saving a graph: graph lines of the text files, the range request, the
// choice of writer by extension, the dialogs, failures and Cancel.
#include "app/prompt.h"
#include "chart/view/chart.h"
#include "chart/view/chartfile.h"
#include "chart/model/chartstate.h"
#include "chart/model/graphfile.h"
#include "ui/savegraph.h"
#include "files/textfile.h"
#include "ui/rangedialog.h"
#include "realtime/datetime.h"
#include "tests/support/children.h"
#include "tests/testsupport.h"

#include <QBuffer>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

using namespace kv;

namespace {

const double Start = ToDateTime(QDateTime(QDate(2024, 5, 3), QTime(10, 0, 0)));
const QString PointFilter = QStringLiteral(
    "Graph file(*.ghf,only for KV3917)|*.GHF|TXT file(*.txt,data seperated by tab)|*.TXT|"
    "EXCEL file format(*.CSV,seperated by comma)|*.CSV");
const QString CommaFilter =
    QStringLiteral("Graph file(*.ghf,only for KV3917)|*.GHF|TXT file(*.txt,data seperated by tab)|*.TXT");

// A chart of `points` points 2 s apart: channel s holds 20 + s + p / 10.
void Fill(Chart &chart, int points)
{
    chart.setSubsets(5);
    chart.setPoints(points);
    for (int p = 0; p < points; ++p)
        for (int s = 0; s < 5; ++s) {
            chart.setXDataII(s, p, Start + 2 * p * OneSecond);
            chart.setYData(s, p, 20.0f + float(s) + float(p) / 10);
        }
}

QByteArray ReadAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Lines written by WriteGraphText for points from..to.
QByteArray Lines(const Chart &chart, int from, int to, const TextFileFormat &format)
{
    const ChartState &state = chart.state();
    GraphTextColumns columns;
    columns.points = state.points;
    columns.x = state.subsets[0].x.constData();
    for (size_t s = 0; s < 5 && s < state.subsets.size(); ++s)
        columns.y[s] = state.subsets[s].y.constData();
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    WriteGraphText(buffer, columns, from, to, format);
    return buffer.data();
}

// Range dialog script: "&Select" with the two texts.
std::function<int(QDialog &)> SelectRange(const QString &from, const QString &to)
{
    return [=](QDialog &d) {
        child<QRadioButton>(d, "radNo")->setChecked(true);
        child<QLineEdit>(d, "edtSelFrom")->setText(from);
        child<QLineEdit>(d, "edtSelTo")->setText(to);
        return RangeDialog::ResultOk;
    };
}

class LocaleScope {
public:
    explicit LocaleScope(const QLocale &locale) { QLocale::setDefault(locale); }
    ~LocaleScope() { QLocale::setDefault(QLocale::c()); }
};

} // namespace

class TestTextExport : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        kvtest::UseIsolatedPaths();
        QLocale::setDefault(QLocale::c());
    }

    void valueFields_data()
    {
        QTest::addColumn<float>("value");
        QTest::addColumn<QString>("field");
        QTest::newRow("45.2") << 45.2f << "45.2";
        QTest::newRow("23.46 rounds") << 23.46f << "23.5";
        QTest::newRow("-12") << -12.0f << "-12.0";
        QTest::newRow("5000 is a number") << 5000.0f << "5000.0";
        QTest::newRow("5000.1 over") << 5000.1f << " OL";
        QTest::newRow("-390 is a number") << -390.0f << "-390.0";
        QTest::newRow("-390.1 under") << -390.1f << " -OL";
        QTest::newRow("over marker") << 9000.0f << " OL";
        QTest::newRow("under marker") << -9000.0f << " -OL";
        QTest::newRow("no value") << 9999.0f << " OL";
        QTest::newRow("tiny negative") << -0.04f << "0.0";
    }
    void valueFields()
    {
        QFETCH(float, value);
        QFETCH(QString, field);
        QCOMPARE(GraphValueField(value, QLatin1Char('.')), field);
    }

    void lineFormat_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<char>("separator");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("C, TAB") << QLocale::c() << '\t'
                                << QByteArray("3 May 2024\t10:00:02\t20.1\t21.1\t22.1\t23.1\t24.1\r\n"
                                              "3 May 2024\t10:00:04\t20.2\t21.2\t22.2\t23.2\t24.2\r\n");
        QTest::newRow("US, comma") << QLocale(QLocale::English, QLocale::UnitedStates) << ','
                                   << QByteArray("5/3/2024,10:00:02 AM,20.1,21.1,22.1,23.1,24.1\r\n"
                                                 "5/3/2024,10:00:04 AM,20.2,21.2,22.2,23.2,24.2\r\n");
        QTest::newRow("German, TAB") << QLocale(QLocale::German, QLocale::Germany) << '\t'
                                     << QByteArray("03.05.2024\t10:00:02\t20,1\t21,1\t22,1\t23,1\t24,1\r\n"
                                                   "03.05.2024\t10:00:04\t20,2\t21,2\t22,2\t23,2\t24,2\r\n");
    }
    void lineFormat()
    {
        QFETCH(QLocale, locale);
        QFETCH(char, separator);
        QFETCH(QByteArray, expected);
        Chart chart;
        Fill(chart, 5);
        QCOMPARE(Lines(chart, 2, 3, TextFileFormat::fromLocale(QLatin1Char(separator), locale)), expected);
    }

    // The fast time texts equal QLocale's in every locale, and for formats
    // it has to hand over to QLocale.
    void timeTextsMatchTheLocale()
    {
        const QList<QTime> times = {QTime(0, 0, 0), QTime(0, 5, 9), QTime(9, 7, 3, 40), QTime(12, 0, 0),
                                    QTime(13, 45, 59, 999), QTime(23, 59, 59)};
        const QList<QLocale> locales =
            QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory);
        QVERIFY(locales.size() > 100);
        for (const QLocale &locale : locales) {
            const QString format = LongTimeFormat(locale);
            const TimeTextFormatter formatter(locale, format);
            for (const QTime &t : times)
                QCOMPARE(formatter.text(t), locale.toString(t, format));
        }
        const QLocale us(QLocale::English, QLocale::UnitedStates);
        for (const char *format : {"h:mm:ss ap", "hh 'o''clock' mm.ss.zzz", "H:m:s.z A", "HH:mm:ss t", "hh:mm Ap"})
            for (const QTime &t : times)
                QCOMPARE(TimeTextFormatter(us, format).text(t), us.toString(t, QString::fromLatin1(format)));
    }

    void markersInALine()
    {
        Chart chart;
        Fill(chart, 1);
        const float values[5] = {45.2f, 21.7f, 9000, -9000, 9999};
        for (int s = 0; s < 5; ++s)
            chart.setYData(s, 0, values[s]);
        QCOMPARE(Lines(chart, 1, 1, TextFileFormat::fromLocale(QLatin1Char('\t'), QLocale::c())),
                 QByteArray("3 May 2024\t10:00:00\t45.2\t21.7\t OL\t -OL\t OL\r\n"));
    }

    void dataEndsAtAZeroTimeStamp_data()
    {
        QTest::addColumn<int>("zeroAt");
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::addColumn<int>("lines");
        QTest::newRow("first point unstamped") << 0 << 1 << 10 << 0;
        QTest::newRow("stops at point 4") << 4 << 1 << 10 << 4;
        QTest::newRow("range beyond the points") << -1 << 11 << 20 << 0;
        QTest::newRow("range clipped") << -1 << 8 << 20 << 3;
    }
    void dataEndsAtAZeroTimeStamp()
    {
        QFETCH(int, zeroAt);
        QFETCH(int, from);
        QFETCH(int, to);
        QFETCH(int, lines);
        Chart chart;
        Fill(chart, 10);
        if (zeroAt >= 0)
            for (int s = 0; s < 5; ++s)
                chart.setXDataII(s, zeroAt, 0.0);
        QCOMPARE(int(Lines(chart, from, to, TextFileFormat::fromLocale(QLatin1Char('\t'))).count("\r\n")), lines);
    }

    void rangeRequest_data()
    {
        QTest::addColumn<bool>("all");
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<int>("count");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("last");
        QTest::newRow("all") << true << "x" << "y" << 7 << true << 1 << 7;
        QTest::newRow("swapped and clamped") << false << "9" << "3" << 5 << true << 3 << 5;
        QTest::newRow("zeros select nothing") << false << "0" << "0" << 5 << true << 1 << 0;
        QTest::newRow("absolute value") << false << "-2" << "4" << 5 << true << 2 << 4;
        QTest::newRow("30 to 10") << false << "30" << "10" << 50 << true << 10 << 30;
        QTest::newRow("-5 as 5") << false << "-5" << "8" << 50 << true << 5 << 8;
        QTest::newRow("letter") << false << "x" << "4" << 5 << false << 0 << 0;
        QTest::newRow("empty end") << false << "1" << "" << 5 << false << 0 << 0;
        QTest::newRow("too large") << false << "1" << "99999999999" << 5 << false << 0 << 0;
    }
    void rangeRequest()
    {
        QFETCH(bool, all);
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(int, count);
        QFETCH(bool, valid);
        QFETCH(int, first);
        QFETCH(int, last);
        const RowRange range = RangeRequest(all, from, to, count);
        QCOMPARE(range.valid, valid);
        if (valid) {
            QCOMPARE(range.from, first);
            QCOMPARE(range.to, last);
        }
    }

    void rangeDialog()
    {
        RangeDialog scope;
        scope.prepareRangeSelection("Save File", 42);
        QCOMPARE(scope.windowTitle(), QString("Save File"));
        QVERIFY(!child<QGroupBox>(scope, "GroupBox1")->isHidden());
        QVERIFY(child<QProgressBar>(scope, "Progress1")->isHidden());
        QVERIFY(child<QRadioButton>(scope, "radAll")->isChecked());
        QCOMPARE(child<QRadioButton>(scope, "radAll")->text(), QString("&All"));
        QCOMPARE(child<QRadioButton>(scope, "radNo")->text(), QString("&Select"));
        QCOMPARE(child<QLineEdit>(scope, "edtSelFrom")->text(), QString("1"));
        QCOMPARE(child<QLineEdit>(scope, "edtSelTo")->text(), QString("42"));
        QCOMPARE(child<QLabel>(scope, "lblBytesReceived")->text(), QString("bytes received"));
        QCOMPARE(child<QLabel>(scope, "lblTotalBytes")->text(), QString("total bytes"));
    }

    void typingARangeSelectsIt_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::newRow("from") << "edtSelFrom" << 5 << 42;
        QTest::newRow("to") << "edtSelTo" << 1 << 5;
    }
    void typingARangeSelectsIt()
    {
        // A range typed with "&All" left ticked must not export everything.
        QFETCH(QString, field);
        QFETCH(int, from);
        QFETCH(int, to);
        RangeDialog scope;
        scope.prepareRangeSelection("Save File", 42);
        auto *edit = scope.findChild<QLineEdit *>(field);
        QVERIFY(edit);
        edit->selectAll();
        QTest::keyClicks(edit, "5");
        QVERIFY(scope.findChild<QRadioButton *>("radNo")->isChecked());
        const kv::RowRange range = scope.rangeRequest(42);
        QVERIFY(range.valid);
        QCOMPARE(range.from, from);
        QCOMPARE(range.to, to);
    }

    void writerFollowsTheExtension_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("kind");
        QTest::newRow(".GHF") << "a.GHF" << "graph";
        QTest::newRow(".ghf") << "b.ghf" << "graph";
        QTest::newRow(".Ghf") << "c.Ghf" << "graph";
        QTest::newRow(".Txt") << "d.Txt" << "tab";
        QTest::newRow(".CSV") << "e.CSV" << "comma";
        QTest::newRow("other") << "f.dat" << "none";
    }
    void writerFollowsTheExtension()
    {
        QFETCH(QString, name);
        QFETCH(QString, kind);
        QTemporaryDir dir;
        ScriptedPrompts prompts;
        PromptScope scope(prompts);
        const QString path = dir.filePath(name);
        prompts.fileNames.push_back(path);
        prompts.dialogs.push_back([](QDialog &) { return RangeDialog::ResultOk; });
        Chart chart;
        Fill(chart, 4);
        const SaveOutcome outcome = SaveGraphToFile(nullptr, chart, dir.path());

        const FileDialogRequest &request = prompts.fileRequests.first();
        QCOMPARE(request.folder, dir.path());
        QCOMPARE(request.defaultSuffix, QString("GHF"));
        QVERIFY(request.confirmOverwrite);
        QCOMPARE(request.filter, QtFileFilter(PointFilter));
        QVERIFY(prompts.shown.isEmpty());
        if (kind == "none") {
            QCOMPARE(outcome, SaveOutcome::NothingWritten);
            QVERIFY(!QFileInfo::exists(path));
            return;
        }
        QCOMPARE(outcome, SaveOutcome::Saved);
        if (kind == "graph") {
            Chart back;
            QVERIFY(ReadGraphFile(back, path, nullptr));
            QCOMPARE(back.YData(3, 2), chart.YData(3, 2));
            QVERIFY(!prompts.dialogs.empty()); // no range dialog for a graph file
            return;
        }
        const QList<QByteArray> lines = ReadAll(path).split('\n');
        QCOMPARE(lines.size(), 5); // four lines and the empty rest after the last CR LF
        QCOMPARE(lines[0].count(kind == "tab" ? '\t' : ','), 6);
    }

    void selectedRangeIsWritten()
    {
        QTemporaryDir dir;
        ScriptedPrompts prompts;
        PromptScope scope(prompts);
        QString caption;
        prompts.dialogs.push_back([&](QDialog &d) {
            caption = d.windowTitle();
            return SelectRange("30", "10")(d);
        });
        Chart chart;
        Fill(chart, 50);
        const QString path = dir.filePath("range.txt");
        QCOMPARE(ExportGraphText(nullptr, chart, path, QLatin1Char('\t')), SaveOutcome::Saved);
        QCOMPARE(caption, QString("Save File"));
        const QList<QByteArray> lines = ReadAll(path).split('\n');
        QCOMPARE(lines.size(), 22);
        QVERIFY(lines.first().endsWith("\t20.9\t21.9\t22.9\t23.9\t24.9\r"));
        QVERIFY(lines[20].endsWith("\t22.9\t23.9\t24.9\t25.9\t26.9\r"));
    }

    void noFileWithoutARange_data()
    {
        QTest::addColumn<int>("result");
        QTest::addColumn<QString>("from");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("dialog cancelled") << int(RangeDialog::ResultCancel) << "1" << QStringList{};
        QTest::newRow("not a number") << int(RangeDialog::ResultOk) << "x" << QStringList{"invalid integer"};
    }
    void noFileWithoutARange()
    {
        QFETCH(int, result);
        QFETCH(QString, from);
        QFETCH(QStringList, shown);
        QTemporaryDir dir;
        ScriptedPrompts prompts;
        PromptScope scope(prompts);
        prompts.dialogs.push_back([=](QDialog &d) {
            SelectRange(from, "5")(d);
            return result;
        });
        Chart chart;
        Fill(chart, 10);
        const QString path = dir.filePath("none.txt");
        QCOMPARE(ExportGraphText(nullptr, chart, path, QLatin1Char('\t')), SaveOutcome::Cancelled);
        QVERIFY(!QFileInfo::exists(path));
        QCOMPARE(prompts.shown, shown);
    }

    void decimalCommaLocale()
    {
        LocaleScope german(QLocale(QLocale::German, QLocale::Germany));
        QTemporaryDir dir;
        ScriptedPrompts prompts;
        PromptScope scope(prompts);
        // A name typed with .csv is written with commas even so.
        const QString path = dir.filePath("komma.csv");
        prompts.fileNames.push_back(path);
        prompts.dialogs.push_back([](QDialog &) { return RangeDialog::ResultOk; });
        Chart chart;
        Fill(chart, 2);
        QCOMPARE(SaveGraphToFile(nullptr, chart, dir.path()), SaveOutcome::Saved);
        QCOMPARE(prompts.fileRequests.first().filter, QtFileFilter(CommaFilter));
        QCOMPARE(ReadAll(path), QByteArray("03.05.2024,10:00:00,20,0,21,0,22,0,23,0,24,0\r\n"
                                           "03.05.2024,10:00:02,20,1,21,1,22,1,23,1,24,1\r\n"));
        QCOMPARE(GraphFileFilter(), CommaFilter);
        QCOMPARE(GraphFileFilter(QLocale::c()), PointFilter);
    }

    // A file that cannot be created is reported with its name and the reason.
    void failuresAreReported_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("text") << "missing/run.txt";
        QTest::newRow("graph file") << "missing/run.ghf";
    }
    void failuresAreReported()
    {
        QFETCH(QString, name);
        QTemporaryDir dir;
        ScriptedPrompts prompts;
        PromptScope scope(prompts);
        const QString path = dir.filePath(name);
        prompts.fileNames.push_back(path);
        prompts.dialogs.push_back([](QDialog &) { return RangeDialog::ResultOk; });
        Chart chart;
        Fill(chart, 3);
        QCOMPARE(SaveGraphToFile(nullptr, chart, dir.path()), SaveOutcome::Failed);
        QCOMPARE(prompts.shown.size(), 1);
        QVERIFY2(prompts.shown.first().contains(QDir::toNativeSeparators(path)), qPrintable(prompts.shown.first()));
        QVERIFY2(prompts.shown.first().contains("No such file or directory"), qPrintable(prompts.shown.first()));
    }

    // Cancel in the progress dialog stops after the current line.  The lines
    // so far stay in a new file; an existing file is left as it was.
    void cancelDuringTheExport_data()
    {
        QTest::addColumn<bool>("existing");
        QTest::newRow("new file") << false;
        QTest::newRow("existing file") << true;
    }
    void cancelDuringTheExport()
    {
        QFETCH(bool, existing);
        QTemporaryDir dir;
        ScriptedPrompts prompts;
        PromptScope scope(prompts);
        prompts.dialogs.push_back([](QDialog &) { return RangeDialog::ResultOk; });
        const QString path = dir.filePath("cancel.txt");
        const QByteArray old("old recording\r\n");
        if (existing) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(old);
        }
        QString caption, text;
        QTimer::singleShot(0, [&] {
            for (QWidget *w : QApplication::topLevelWidgets())
                if (auto *progress = qobject_cast<RangeDialog *>(w); progress && progress->isVisible()) {
                    caption = progress->windowTitle();
                    text = child<QLabel>(progress, "SText1")->text();
                    auto *cancel = child<QPushButton>(progress, "BitBtn2");
                    QVERIFY(cancel->isVisible());
                    cancel->click();
                }
        });
        Chart chart;
        Fill(chart, 1000);
        QCOMPARE(ExportGraphText(nullptr, chart, path, QLatin1Char('\t')), SaveOutcome::Cancelled);
        QCOMPARE(caption, QString("Saving Progress"));
        QCOMPARE(text, QString("saving....."));
        const QByteArray written = ReadAll(path);
        if (existing)
            QCOMPARE(written, old);
        else
            QCOMPARE(written.count("\r\n"), 1);
    }
};

QTEST_MAIN(TestTextExport)
#include "tst_textexport.moc"
