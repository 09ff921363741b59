// The program as a separate process: a recording killed with SIGKILL comes
// back at the next start, once, from its journal; declining deletes it, and
// saving the restored data leaves no journal behind.
#include "chart/model/chartstate.h"
#include "chart/model/graphfile.h"
#include "realtime/journal.h"
#include "realtime/samplevalues.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace kv;

namespace {

constexpr int StartTimeoutMs = 60000;    // a loaded machine starts slowly
constexpr int RecordTimeoutMs = 60000;
constexpr int SamplesBeforeKill = 4;

// A home of its own for the program, a script for its prompts and steps.
class ProgramRun {
public:
    explicit ProgramRun(const QString &home) : m_home(home) {}

    QString journalPath() const
    {
        // The program keeps its journal in its data folder under XDG_DATA_HOME.
        QDirIterator it(dataHome(), {QStringLiteral("recording.journal")}, QDir::Files, QDirIterator::Subdirectories);
        return it.hasNext() ? it.next() : QString();
    }

    QString journalFolder() const { return dataHome() + QStringLiteral("/KV3917/KV3917"); }

    void start(QProcess &process, const QString &script) const
    {
        const QString scriptPath = m_home + QStringLiteral("/script.txt");
        QFile file(scriptPath);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(script.toUtf8());
        file.close();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), m_home);
        env.insert(QStringLiteral("XDG_DATA_HOME"), dataHome());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home + QStringLiteral("/.config"));
        env.insert(QStringLiteral("XDG_CACHE_HOME"), m_home + QStringLiteral("/.cache"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("KV3917_DEMO"), QStringLiteral("1"));
        env.insert(QStringLiteral("KV3917_TEST_SCRIPT"), scriptPath);
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(KV_PROGRAM_PATH), {});
        QVERIFY2(process.waitForStarted(StartTimeoutMs), qPrintable(process.errorString()));
    }

private:
    QString dataHome() const { return m_home + QStringLiteral("/.local/share"); }
    QString m_home;
};

JournalContents ReadOrFail(const QString &path)
{
    JournalContents contents;
    QString error;
    if (!ReadJournalFile(path, &contents, &error))
        qWarning("%s: %s", qPrintable(path), qPrintable(error));
    return contents;
}

// The graph file holds exactly the journal's records, drawn as the
// real-time graph draws them.
void CompareGraphWithRecords(const QString &graphFile, const std::vector<JournalRecord> &records)
{
    ChartState state;
    QString error;
    QVERIFY2(ReadGraphFileState(graphFile, &state, &error), qPrintable(error));
    QCOMPARE(state.points, int(records.size()));
    QVERIFY(state.subsets.size() >= size_t(GraphChannelCount));
    for (size_t i = 0; i < records.size(); ++i) {
        const SampleValues values = LiveSampleValues(records[i].toReading());
        for (int c = 0; c < GraphChannelCount; ++c) {
            QCOMPARE(state.subsets[size_t(c)].x[qsizetype(i)], records[i].time);
            QCOMPARE(float(state.subsets[size_t(c)].y[qsizetype(i)]), values[size_t(c)]);
        }
    }
}

void FinishOrFail(QProcess &process)
{
    if (!process.waitForFinished(StartTimeoutMs)) {
        process.kill();
        process.waitForFinished();
        QFAIL(qPrintable(QStringLiteral("the program did not end; it wrote:\n") + process.readAllStandardError()));
    }
}

} // namespace

class TestCrashRecovery : public QObject {
    Q_OBJECT

private slots:
    void restoreAfterKill()
    {
        QTemporaryDir home;
        QVERIFY(home.isValid());
        ProgramRun run(home.path());

        // Record at the fastest period, then kill the program mid-recording.
        QProcess recording;
        run.start(recording, QStringLiteral("dialog edtRealTimeNo=1000 ComboBox1=0 ComboBox2=1\n"
                                            "trigger Run1\n"));
        QElapsedTimer clock;
        clock.start();
        int seen = 0;
        while (seen < SamplesBeforeKill && clock.elapsed() < RecordTimeoutMs) {
            QTest::qWait(100);
            const QString path = run.journalPath();
            seen = path.isEmpty() ? 0 : int(ReadOrFail(path).records.size());
        }
        QVERIFY2(seen >= SamplesBeforeKill, qPrintable(recording.readAllStandardError()));
        recording.kill();   // SIGKILL: no clean-up of any kind
        QVERIFY(recording.waitForFinished(StartTimeoutMs));
        QCOMPARE(recording.exitStatus(), QProcess::CrashExit);

        const QString journal = run.journalPath();
        const JournalContents left = ReadOrFail(journal);
        QVERIFY(int(left.records.size()) >= seen);   // nothing written before the kill is lost
        QCOMPARE(left.damagedRecords, 0);
        QCOMPARE(left.header.requestedCount, 1000u);
        QCOMPARE(left.header.periodSeconds, 1u);

        // Start again: restore, then quit, saving the restored graph.
        const QString graphFile = home.filePath(QStringLiteral("restored.GHF"));
        QProcess restoring;
        run.start(restoring, QStringLiteral("answer yes\n"        // restore the recording
                                            "answer yes\n"        // save it when quitting
                                            "file %1\n"
                                            "quit\n").arg(graphFile));
        FinishOrFail(restoring);
        const QString output = QString::fromUtf8(restoring.readAllStandardError());
        QCOMPARE(restoring.exitCode(), 0);
        QCOMPARE(output.count(QStringLiteral("prompt: A real-time recording started on")), 1);
        QVERIFY2(output.contains(QStringLiteral("%1 samples were kept").arg(left.records.size())), qPrintable(output));
        CompareGraphWithRecords(graphFile, left.records);
        // Saved: the journal is gone.
        QVERIFY(run.journalPath().isEmpty());
    }

    // A journal left behind, answered No or restored from a torn file.
    void journalLeftBehind_data()
    {
        QTest::addColumn<bool>("restore");
        QTest::addColumn<int>("cutBytes");
        QTest::newRow("declined: deleted") << false << 0;
        QTest::newRow("torn last record: the complete ones restored") << true << 13;
    }

    void journalLeftBehind()
    {
        QFETCH(bool, restore);
        QFETCH(int, cutBytes);
        QTemporaryDir home;
        QVERIFY(home.isValid());
        ProgramRun run(home.path());

        // A journal as a killed recording leaves it, with its last record torn.
        const QString journal = run.journalFolder() + QStringLiteral("/recording.journal");
        QVERIFY(QDir().mkpath(run.journalFolder()));
        JournalHeader header;
        header.start = 46000.5;
        header.periodSeconds = 2;
        header.requestedCount = 100;
        std::vector<JournalRecord> written;
        {
            JournalWriter writer(journal);
            QVERIFY(writer.start(header));
            for (int i = 0; i < 6; ++i) {
                LiveReading reading;
                reading.Rh = 40.0f + i;
                reading.T1 = 21.0f + 0.5f * i;
                reading.T2 = i == 4 ? -250.0f : 30.0f;
                reading.WetBulb = 14.0f;
                reading.DewPoint = 9.5f;
                reading.StatusByte = i == 4 ? StatusT2Flags : 0;
                written.push_back(JournalRecord::fromReading(reading, header.start + i * 2.0 / 86400.0));
                QVERIFY(writer.append(written.back()));
            }
        }
        QFile file(journal);
        QVERIFY(file.resize(file.size() - cutBytes));
        if (cutBytes > 0)
            written.pop_back();

        const QString graphFile = home.filePath(QStringLiteral("restored.GHF"));
        QProcess program;
        run.start(program, restore ? QStringLiteral("answer yes\nanswer yes\nfile %1\nquit\n").arg(graphFile)
                                   : QStringLiteral("answer no\nquit\n"));
        FinishOrFail(program);
        const QString output = QString::fromUtf8(program.readAllStandardError());
        QCOMPARE(program.exitCode(), 0);
        QVERIFY2(output.contains(QStringLiteral("%1 samples were kept").arg(written.size())), qPrintable(output));
        QCOMPARE(QFileInfo::exists(graphFile), restore);
        if (restore)
            CompareGraphWithRecords(graphFile, written);
        else
            QVERIFY(!output.contains(QStringLiteral("Save Real-Time Graph")));   // nothing was restored
        QVERIFY(!QFileInfo::exists(journal));
    }
};

QTEST_GUILESS_MAIN(TestCrashRecovery)
#include "tst_crashrecovery.moc"
