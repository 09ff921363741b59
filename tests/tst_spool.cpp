// The spool of points a database did not take: order, acknowledgement across
// a restart, torn and damaged records, duplicates, bounds.

#include "service/spool.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

using namespace kv::service;

namespace {

std::vector<SpoolPoint> Points(int first, int count)
{
    std::vector<SpoolPoint> points;
    for (int i = first; i < first + count; ++i)
        points.push_back({1000LL * i, "kv3917,meter=M t1=" + QByteArray::number(i) + ' ' + QByteArray::number(1000LL * i)});
    return points;
}

// The t1 values of a batch's lines, in order.
QList<int> Values(const SpoolBatch &batch)
{
    QList<int> values;
    for (const QByteArray &line : batch.body.split('\n')) {
        if (line.isEmpty())
            continue;
        const int at = line.indexOf("t1=") + 3;
        values << line.mid(at, line.indexOf(' ', at) - at).toInt();
    }
    return values;
}

QList<int> Range(int first, int count)
{
    QList<int> r;
    for (int i = first; i < first + count; ++i)
        r << i;
    return r;
}

QString OnlySegment(const QString &folder)
{
    const QStringList names = QDir(folder).entryList({QStringLiteral("*.spool")}, QDir::Files, QDir::Name);
    return names.size() == 1 ? QDir(folder).filePath(names.first()) : QString();
}

QByteArray ReadFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

} // namespace

class TestSpool : public QObject {
    Q_OBJECT

private slots:
    void replayOldestFirst();
    void batchesUnderWayTogether();
    void acknowledgedSurvivesRestart();
    void unacknowledgedIsSentAgain();
    void tornTail_data();
    void tornTail();
    void damagedAndDuplicatedRecords();
    void boundInPoints();
    void boundInBytes();
    void refusesWhatIsNoPoint();
};

void TestSpool::replayOldestFirst()
{
    QTemporaryDir dir;
    Spool spool(dir.path());
    QVERIFY(spool.open());
    QVERIFY(spool.append(Points(1, 3)));
    QVERIFY(spool.append(Points(4, 5)));
    QVERIFY(spool.append(Points(9, 2)));
    QCOMPARE(spool.pendingPoints(), 10);

    SpoolBatch batch = spool.peek(4);
    QCOMPARE(Values(batch), Range(1, 4));
    QCOMPARE(spool.peek(4).body, batch.body);   // peeking changes nothing
    QVERIFY(spool.acknowledge(batch));
    QCOMPARE(spool.pendingPoints(), 6);
    batch = spool.peek(100);
    QCOMPARE(Values(batch), Range(5, 6));
    QVERIFY(spool.acknowledge(batch));
    QVERIFY(!spool.hasPending());
    QVERIFY(spool.peek(10).empty());
    // A spool written empty leaves no segment behind.
    QVERIFY(QDir(dir.path()).entryList({QStringLiteral("*.spool")}, QDir::Files).isEmpty());
}

void TestSpool::batchesUnderWayTogether()
{
    // Small segments, so that batches cross from one to the next.
    QTemporaryDir dir;
    Spool spool(dir.path(), SpoolSyncInterval, 2048);
    QVERIFY(spool.open());
    for (int i = 0; i < 20; ++i)
        QVERIFY(spool.append(Points(1 + 10 * i, 10)));
    const SpoolBatch a = spool.peek(70);
    const SpoolBatch b = spool.peekAfter(a, 70);
    QCOMPARE(Values(a), Range(1, 70));
    QCOMPARE(Values(b), Range(71, 70));
    QVERIFY(b.taken.size() > 1);
    QVERIFY(spool.acknowledge(a));
    QVERIFY(spool.acknowledge(b));
    QCOMPARE(spool.pendingPoints(), 60);
    // A batch already acknowledged is no starting point: the oldest pending is.
    QCOMPARE(Values(spool.peekAfter(a, 100)), Range(141, 60));
    QCOMPARE(Values(spool.peek(100)), Range(141, 60));
}

void TestSpool::acknowledgedSurvivesRestart()
{
    QTemporaryDir dir;
    {
        Spool spool(dir.path());
        QVERIFY(spool.open());
        QVERIFY(spool.append(Points(1, 10)));
        QVERIFY(spool.acknowledge(spool.peek(4)));
    }
    Spool again(dir.path());
    QVERIFY(again.open());
    QCOMPARE(again.pendingPoints(), 6);
    // New points go after the old ones, and numbers never collide.
    QVERIFY(again.append(Points(11, 2)));
    QCOMPARE(Values(again.peek(100)), Range(5, 8));
}

void TestSpool::unacknowledgedIsSentAgain()
{
    QTemporaryDir dir;
    SpoolBatch first;
    {
        Spool spool(dir.path());
        QVERIFY(spool.open());
        QVERIFY(spool.append(Points(1, 10)));
        first = spool.peek(4);
        // No acknowledgement: the process ends before the database answered.
    }
    Spool again(dir.path());
    QVERIFY(again.open());
    QCOMPARE(again.pendingPoints(), 10);
    QCOMPARE(again.peek(4).body, first.body);
}

void TestSpool::tornTail_data()
{
    QTest::addColumn<int>("cut");
    QTest::newRow("one byte of the last record") << 1;
    QTest::newRow("its magic") << 4;
    QTest::newRow("its header") << 24;
    QTest::newRow("all but its checksum") << -4;
    QTest::newRow("all but one byte") << -1;
}

void TestSpool::tornTail()
{
    QFETCH(int, cut);
    QTemporaryDir dir;
    QString path;
    {
        Spool spool(dir.path());
        QVERIFY(spool.open());
        QVERIFY(spool.append(Points(1, 5)));
        path = OnlySegment(dir.path());
    }
    QByteArray bytes = ReadFile(path);
    const int last = int(EncodeSpoolRecord(5, 5000, Points(5, 1).front().line).size());
    const int keep = cut > 0 ? cut : last + cut;
    bytes.chop(last - keep);
    WriteFile(path, bytes);

    const SpoolScan scan = ScanSpool(bytes);
    QCOMPARE(int(scan.records.size()), 4);
    QCOMPARE(scan.tornBytes, qint64(keep));
    Spool again(dir.path());
    QVERIFY(again.open());
    QCOMPARE(Values(again.peek(100)), Range(1, 4));
    // Appending after a torn tail starts a new segment: nothing read twice.
    QVERIFY(again.append(Points(6, 1)));
    QCOMPARE(Values(again.peek(100)), (QList<int>{1, 2, 3, 4, 6}));
}

void TestSpool::damagedAndDuplicatedRecords()
{
    QByteArray bytes;
    QList<QByteArray> records;
    for (int i = 1; i <= 5; ++i)
        records << EncodeSpoolRecord(std::uint64_t(i), i, "m v=" + QByteArray::number(i));
    // 2 has a flipped bit, 3 is written twice, garbage before 4.
    QByteArray damaged = records[1];
    damaged[26] = char(damaged[26] ^ 0x01);
    bytes = records[0] + damaged + records[2] + records[2] + QByteArray("KVSPjunk") + records[3] + records[4];
    const SpoolScan scan = ScanSpool(bytes);
    QList<std::uint64_t> sequences;
    for (const SpoolRecord &r : scan.records)
        sequences << r.sequence;
    QCOMPARE(sequences, (QList<std::uint64_t>{1, 3, 4, 5}));
    QCOMPARE(scan.duplicates, 1);
    QCOMPARE(scan.damagedBytes, qint64(damaged.size() + 8));
    QCOMPARE(scan.tornBytes, qint64(0));
    // Only records above a number, and at most a limit of them.
    const SpoolScan after = ScanSpool(bytes, 3, 1);
    QCOMPARE(int(after.records.size()), 1);
    QCOMPARE(after.records.front().sequence, std::uint64_t(4));
    QCOMPARE(after.records.front().line, QByteArray("m v=4"));
}

void TestSpool::boundInPoints()
{
    QTemporaryDir dir;
    Spool spool(dir.path());
    QVERIFY(spool.open());
    spool.setLimits({160, -1});
    for (int i = 0; i < 40; ++i)
        QVERIFY(spool.append(Points(1 + 10 * i, 10)));
    // The oldest segments went, whole: the newest points stay.
    QVERIFY(spool.pendingPoints() <= 160);
    QVERIFY(spool.pendingPoints() >= 160 - 160 / 16);
    QCOMPARE(qint64(spool.dropped()) + spool.pendingPoints(), 400);
    const QList<int> kept = Values(spool.peek(1000));
    QCOMPARE(kept.size(), int(spool.pendingPoints()));
    QCOMPARE(kept.last(), 400);
    QCOMPARE(kept, Range(kept.first(), kept.size()));

    // The bound holds across a restart.
    spool.close();
    Spool again(dir.path());
    QVERIFY(again.open());
    QCOMPARE(again.pendingPoints(), qint64(kept.size()));
}

void TestSpool::boundInBytes()
{
    QTemporaryDir dir;
    Spool spool(dir.path(), SpoolSyncInterval, 4096);
    QVERIFY(spool.open());
    spool.setLimits({-1, 64 * 1024});
    for (int i = 0; i < 2000; ++i)
        QVERIFY(spool.append(Points(i + 1, 1)));
    QVERIFY(spool.pendingBytes() <= 64 * 1024);
    QVERIFY(spool.dropped() > 0);
    QCOMPARE(qint64(spool.dropped()) + spool.pendingPoints(), 2000);
    QCOMPARE(Values(spool.peek(5000)).last(), 2000);
}

void TestSpool::refusesWhatIsNoPoint()
{
    QTemporaryDir dir;
    Spool spool(dir.path());
    QVERIFY(spool.open());
    QVERIFY(spool.append({{1, "m v=1"}, {2, "two\nlines"}, {3, QByteArray()}, {4, "m v=4"}}));
    QCOMPARE(spool.pendingPoints(), 2);
    QCOMPARE(spool.dropped(), std::uint64_t(2));
    QCOMPARE(spool.peek(10).body, QByteArray("m v=1\nm v=4\n"));
}

QTEST_GUILESS_MAIN(TestSpool)
#include "tst_spool.moc"
