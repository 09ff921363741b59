// The built kv3917 started as a user starts it, with each documented command
// line: it either prints and exits 0, or opens its main window and the
// windows the command line asks for (a scripted run finds them and quits).
#include "chart/view/chart.h"
#include "chart/view/chartfile.h"
#include "realtime/datetime.h"
#include "tests/support/loggerimages.h"
#include "ui/graphwindow.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

constexpr int RunTimeoutMs = 120000;   // a loaded machine under ASan starts slowly

struct ProgramOutcome {
    bool finished = false;
    int exitCode = -1;
    QString out;
    QString err;
};

// Runs the program in a home of its own; `script` (if any) drives it.
ProgramOutcome RunProgram(const QString &home, const QStringList &args, bool demo, const QString &script)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/.local/share"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), home + QStringLiteral("/.cache"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.remove(QStringLiteral("KV3917_DEMO"));
    env.remove(QStringLiteral("KV3917_TEST_SCRIPT"));
    if (demo)
        env.insert(QStringLiteral("KV3917_DEMO"), QStringLiteral("1"));
    if (!script.isEmpty()) {
        const QString path = home + QStringLiteral("/script.txt");
        QFile file(path);
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            file.write(script.toUtf8());
        env.insert(QStringLiteral("KV3917_TEST_SCRIPT"), path);
    }
    QProcess process;
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(home);
    process.start(QStringLiteral(KV_PROGRAM_PATH), args);
    ProgramOutcome outcome;
    outcome.finished = process.waitForFinished(RunTimeoutMs);
    if (!outcome.finished) {
        process.kill();
        process.waitForFinished();
    }
    outcome.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    outcome.out = QString::fromUtf8(process.readAllStandardOutput());
    outcome.err = QString::fromUtf8(process.readAllStandardError());
    return outcome;
}

// The files the README's example opens: a graph file, a comma-separated
// table and a data logger collection.
void WriteExampleFiles(const QDir &dir)
{
    kv::Chart chart;
    const double start = kv::ToDateTime(QDateTime(QDate(2024, 5, 2), QTime(9, 15)));
    SetUpGraph(chart, 5, 3, start, start + 2 * kv::OneSecond, -20, 100);
    for (int p = 0; p < 3; ++p)
        for (int s = 0; s < 5; ++s) {
            chart.setXDataII(s, p, start + p * kv::OneSecond);
            chart.setYData(s, p, float(20 + s + p));
        }
    QString error;
    QVERIFY2(kv::WriteGraphFile(chart, dir.filePath(QStringLiteral("run1.ghf")), &error), qPrintable(error));

    QFile table(dir.filePath(QStringLiteral("day2.csv")));
    QVERIFY(table.open(QIODevice::WriteOnly));
    table.write("2024/05/02,09:15:00,45.2,23.5,24.1,16.0,11.0\r\n"
                "2024/05/02,09:15:02,45.3,23.6,24.2,16.1,11.1\r\n");
    table.close();

    QFile collection(dir.filePath(QStringLiteral("logger.rec")));
    QVERIFY(collection.open(QIODevice::WriteOnly));
    collection.write(kvtest::LoggerImageBuilder().add(kvtest::SetOf(5)).image());
}

} // namespace

class TestProgram : public QObject {
    Q_OBJECT
private slots:
    // Each row: the command line, demo mode, the scripted steps (none: the
    // program must end by itself), and what its output must contain.
    void commandLines_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("demo");
        QTest::addColumn<QString>("script");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("output");

        QTest::newRow("no arguments") << QStringList{} << false << "activate Real-Time Graph\nquit\n" << 0 << "";
        // The setup item is shown and opens the setup window.
        QTest::newRow("--service") << QStringList{"--service"} << false
                                   << "trigger Setup1\nactivate Data Logger Setup\nquit\n" << 0 << "";
        // Run is offered once the simulated meter answers.
        QTest::newRow("demo") << QStringList{} << true << "trigger Run1\nactivate Real-Time Graph\nquit\n" << 0 << "";
        QTest::newRow("demo --service") << QStringList{"--service"} << true
                                        << "trigger Run1\ntrigger Setup1\nactivate Data Logger Setup\nquit\n" << 0
                                        << "";
        QTest::newRow("files") << QStringList{"run1.ghf", "day2.csv", "logger.rec"} << false
                               << "activate day2.csv\nactivate DataLogger\nactivate RUN1\nquit\n" << 0 << "";
        QTest::newRow("--help") << QStringList{"--help"} << false << "" << 0 << "--service";
        QTest::newRow("-h") << QStringList{"-h"} << false << "" << 0 << "[FILE...]";
        QTest::newRow("--version") << QStringList{"--version"} << false << "" << 0 << "KV3917 " KV_VERSION;
        QTest::newRow("unknown option") << QStringList{"--servce"} << false << "" << 1 << "Unknown option 'servce'.";
    }
    void commandLines()
    {
        QFETCH(QStringList, args);
        QFETCH(bool, demo);
        QFETCH(QString, script);
        QFETCH(int, exitCode);
        QFETCH(QString, output);
        QTemporaryDir home;
        QVERIFY(home.isValid());
        WriteExampleFiles(QDir(home.path()));
        if (QTest::currentTestFailed())
            return;
        // A graph window opened from a file is captioned with its full path.
        script.replace(QStringLiteral("activate RUN1"),
                       QStringLiteral("activate ") + QDir::toNativeSeparators(QDir(home.path()).filePath("run1.ghf")));
        script.replace(QStringLiteral("activate day2.csv"),
                       QStringLiteral("activate ") + QDir::toNativeSeparators(QDir(home.path()).filePath("day2.csv")));

        const ProgramOutcome run = RunProgram(home.path(), args, demo, script);
        QVERIFY2(run.finished, qPrintable(QStringLiteral("still running; it wrote:\n") + run.err));
        QVERIFY2(run.exitCode == exitCode,
                 qPrintable(QStringLiteral("exit code %1; it wrote:\n%2%3").arg(run.exitCode).arg(run.out, run.err)));
        QVERIFY2((run.out + run.err).contains(output), qPrintable(run.out + run.err));
        // A window run shows no error message on the way.
        if (!script.isEmpty())
            QVERIFY2(!run.err.contains(QStringLiteral("prompt: ")), qPrintable(run.err));
    }
};

QTEST_MAIN(TestProgram)
#include "tst_program.moc"
