// Graph files: a 4-byte little-endian length and the chart's state block.

#include "chart/view/chart.h"
#include "chart/view/chartfile.h"
#include "chart/model/graphfile.h"
#include "tests/support/chartfixture.h"
#include "tests/testsupport.h"

#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

using namespace kv;

namespace {

QByteArray ReadAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool WriteAll(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray Length(quint32 n)
{
    QByteArray out(4, '\0');
    qToLittleEndian<quint32>(n, out.data());
    return out;
}

} // namespace

class TestGraphFile : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { kvtest::UseIsolatedPaths(); }
    void fileIsLengthAndBlock();
    void readBringsBackTheChart();
    void refusesShortAndLyingFiles_data();
    void refusesShortAndLyingFiles();
    void failedWriteKeepsOldFile();

private:
    QTemporaryDir m_dir;
};

void TestGraphFile::fileIsLengthAndBlock()
{
    Chart chart;
    kvtest::FillFullChart(chart);
    const QString path = m_dir.filePath(QStringLiteral("run.ghf"));
    QString error;
    QVERIFY2(WriteGraphFile(chart, path, &error), qPrintable(error));
    const QByteArray block = chart.storeState();
    const QByteArray file = ReadAll(path);
    QCOMPARE(file.size(), block.size() + 4);
    QCOMPARE(qFromLittleEndian<quint32>(file.constData()), quint32(block.size()));
    QCOMPARE(file.mid(4), block);
    QCOMPARE(GraphFileBytes(block), file);
}

void TestGraphFile::readBringsBackTheChart()
{
    Chart written;
    kvtest::FillFullChart(written);
    const QString path = m_dir.filePath(QStringLiteral("back.GHF"));
    QVERIFY(WriteGraphFile(written, path, nullptr));

    Chart read;
    read.setSubsets(2);
    read.setPoints(3);
    QString error;
    QVERIFY2(ReadGraphFile(read, path, &error), qPrintable(error));
    QCOMPARE(read.storeState(), written.storeState());

    QByteArray block;
    QVERIFY(ReadGraphFileBlock(path, &block, &error));
    QCOMPARE(block, written.storeState());
}

void TestGraphFile::refusesShortAndLyingFiles_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("errorPart");
    Chart other;
    kvtest::FillFullChart(other, 10);
    const QByteArray block = other.storeState();
    QTest::newRow("empty") << QByteArray() << "too short";
    QTest::newRow("three bytes") << QByteArray("\x10\0\0", 3) << "too short";
    QTest::newRow("length beyond the end") << Length(block.size() + 1) + block << "shorter than its length";
    QTest::newRow("huge length") << Length(0xffffffffu) + QByteArray(16, 'x') << "shorter than its length";
    QTest::newRow("not a chart") << Length(12) + QByteArray("hello world!") << "does not hold a graph";
    QByteArray truncatedBlock = block.left(block.size() - 7);
    QTest::newRow("block cut short") << Length(truncatedBlock.size()) + truncatedBlock << "truncated";
}

void TestGraphFile::refusesShortAndLyingFiles()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, errorPart);
    const QString path = m_dir.filePath(QStringLiteral("bad.ghf"));
    QVERIFY(WriteAll(path, bytes));
    Chart chart;
    kvtest::FillFullChart(chart, 30);
    const QByteArray before = chart.storeState();
    QString error;
    QVERIFY(!ReadGraphFile(chart, path, &error));
    QVERIFY2(error.contains(errorPart), qPrintable(error));
    QCOMPARE(chart.storeState(), before);
    QByteArray parsed;
    QCOMPARE(ParseGraphFile(bytes, &parsed, nullptr), errorPart == QLatin1String("does not hold a graph") ||
                                                           errorPart == QLatin1String("truncated"));
    QVERIFY(!ReadGraphFile(chart, m_dir.filePath(QStringLiteral("missing.ghf")), &error));
    QCOMPARE(chart.storeState(), before);
}

void TestGraphFile::failedWriteKeepsOldFile()
{
    // The longest name the file system takes: the new file is first written
    // beside it under a longer temporary name, which cannot be created.
    const QString path = m_dir.filePath(QString(251, QLatin1Char('g')) + QStringLiteral(".ghf"));
    const QByteArray old("previous contents");
    QVERIFY(WriteAll(path, old));
    Chart chart;
    kvtest::FillFullChart(chart, 10);
    QString error;
    QVERIFY(!WriteGraphFile(chart, path, &error));
    QVERIFY(!error.isEmpty());
    QCOMPARE(ReadAll(path), old);
}

QTEST_MAIN(TestGraphFile)
#include "tst_graphfile.moc"
