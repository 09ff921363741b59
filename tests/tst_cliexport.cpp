// kv3917-cli export FILE.GHF, run as a process: a graph file's points as
// CSV with the out-of-range and no-value markers, and its refusals.
#include "chart/model/graphfile.h"
#include "chart/view/chart.h"
#include "chart/view/chartfile.h"
#include "realtime/datetime.h"
#include "tests/support/cliprocess.h"
#include "tests/testsupport.h"
#include "ui/graphwindow.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class TestCliExport : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { kvtest::UseIsolatedPaths(); }

    void pointsAsCsv()
    {
        kv::Chart chart;
        const double start = kv::ToDateTime(QDateTime(QDate(2024, 5, 3), QTime(10, 0, 0)));
        SetUpGraph(chart, 5, 4, start, start + 6 * kv::OneSecond, -20, 100);
        const float rows[3][5] = {{45.24f, 21.7f, 5000.0f, -390.0f, 9999.0f},
                                  {5000.1f, -390.1f, 9000.0f, -9000.0f, -0.04f},
                                  {9999.0f, 0.0f, 1.0f, 2.0f, 3.0f}};
        for (int p = 0; p < 3; ++p)
            for (int s = 0; s < 5; ++s) {
                chart.setXDataII(s, p, start + 2 * p * kv::OneSecond);
                chart.setYData(s, p, rows[p][s]);
            }
        // Point 3 has no time stamp: the recorded data ends before it.
        const QString path = m_dir.filePath(QStringLiteral("run.Ghf"));
        QVERIFY(kv::WriteGraphFile(chart, path, nullptr));
        const kvtest::CliRun run = kvtest::RunCli({QStringLiteral("export"), path});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.outBytes, QByteArray("time,rh,t1,t2,wet_bulb,dew_point\n"
                                     "2024-05-03T10:00:00,45.2,21.7,5000.0,-390.0,\n"
                                     "2024-05-03T10:00:02,OL,-OL,OL,-OL,0.0\n"
                                     "2024-05-03T10:00:04,,0.0,1.0,2.0,3.0\n"));
    }

    void refusals_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        QTest::newRow("too short") << QByteArray("ab") << 1 << "too short";
        QTest::newRow("no chart state") << QByteArray("\x02\0\0\0ab", 6) << 1 << "not a graph file";
    }
    void refusals()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        const QString path = m_dir.filePath(QStringLiteral("bad.GHF"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        file.close();
        const kvtest::CliRun run = kvtest::RunCli({QStringLiteral("export"), path});
        QCOMPARE(run.exitCode, exitCode);
        QVERIFY(run.outBytes.isEmpty());
        QVERIFY2(run.err.contains(message), qPrintable(run.err));
        QCOMPARE(kvtest::RunCli({QStringLiteral("export"), m_dir.filePath("missing.ghf")}).exitCode, 1);
        QCOMPARE(kvtest::RunCli({QStringLiteral("export"), path, QStringLiteral("extra")}).exitCode, 64);
    }

private:
    QTemporaryDir m_dir;
};

QTEST_MAIN(TestCliExport)
#include "tst_cliexport.moc"
