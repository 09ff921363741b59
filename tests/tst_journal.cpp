// The recording journal: what the writer puts down, the reader restores;
// damaged and torn records are dropped and nothing else.
#include "chart/model/chartstate.h"
#include "realtime/datetime.h"
#include "realtime/journal.h"
#include "tests/testsupport.h"

#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <limits>

using namespace kv;

namespace {

JournalHeader SampleHeader()
{
    JournalHeader h;
    h.start = 46000.5;
    h.periodSeconds = 2;
    h.requestedCount = 2000;
    h.unitCode = UnitFahrenheit;
    return h;
}

JournalRecord SampleRecord(int i)
{
    JournalRecord r;
    r.time = 46000.5 + i * 2 * OneSecond;
    r.values = {40.0f + i, 21.5f + 0.1f * i, -12.5f - i, 14.0f, 9.0f};
    r.status = std::uint8_t(i % 3 == 2 ? StatusT2Flags : 0);
    r.unitCode = UnitFahrenheit;
    return r;
}

} // namespace

class TestJournal : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString path(const char *name) const { return m_dir.filePath(QString::fromLatin1(name)); }

    static QByteArray JournalBytes(int records)
    {
        QByteArray bytes = EncodeJournalHeader(SampleHeader());
        for (int i = 0; i < records; ++i)
            bytes += EncodeJournalRecord(std::uint32_t(i), SampleRecord(i));
        return bytes;
    }

private slots:
    void initTestCase()
    {
        kvtest::UseIsolatedPaths();
        QVERIFY(m_dir.isValid());
    }

    // Each record reaches the file when it is appended, before the journal is
    // finished: a process killed at this point leaves every record behind.
    void recordsAreReadableWhileRecording()
    {
        JournalWriter writer(path("live.journal"));
        QString error;
        QVERIFY2(writer.start(SampleHeader(), &error), qPrintable(error));
        JournalRecord odd = SampleRecord(3);
        odd.values[3] = std::numeric_limits<float>::quiet_NaN();   // a derived value that is not a number
        for (int i = 0; i < 5; ++i)
            QVERIFY(writer.append(i == 3 ? odd : SampleRecord(i), &error));
        QCOMPARE(writer.count(), 5u);

        JournalContents contents;
        QVERIFY2(ReadJournalFile(writer.path(), &contents, &error), qPrintable(error));
        QCOMPARE(contents.header.start, SampleHeader().start);
        QCOMPARE(contents.header.periodSeconds, 2u);
        QCOMPARE(contents.header.requestedCount, 2000u);
        QCOMPARE(contents.header.unitCode, std::uint8_t(UnitFahrenheit));
        QCOMPARE(int(contents.records.size()), 5);
        for (int i = 0; i < 5; ++i)
            QVERIFY2(contents.records[size_t(i)] == (i == 3 ? odd : SampleRecord(i)), qPrintable(QString::number(i)));
        QCOMPARE(contents.damagedRecords, 0);
        QCOMPARE(contents.trailingBytes, 0);

        QVERIFY(writer.finish(&error));
        QVERIFY(!writer.isOpen());
        QVERIFY(ReadJournalFile(writer.path(), &contents, &error));
        QCOMPARE(int(contents.records.size()), 5);
    }

    void readingRoundTrip()
    {
        LiveReading reading;
        reading.Rh = 55.5f;
        reading.T1 = 23.4f;
        reading.T2 = -40.0f;
        reading.WetBulb = 17.0f;
        reading.DewPoint = 14.0f;
        reading.StatusByte = StatusT2Flags;
        reading.UnitCode = UnitKelvin;
        const LiveReading back = JournalRecord::fromReading(reading, 46001.0).toReading();
        QCOMPARE(back.Rh, reading.Rh);
        QCOMPARE(back.T1, reading.T1);
        QCOMPARE(back.T2, reading.T2);
        QCOMPARE(back.WetBulb, reading.WetBulb);
        QCOMPARE(back.DewPoint, reading.DewPoint);
        QCOMPARE(back.StatusByte, reading.StatusByte);
        QCOMPARE(back.UnitCode, reading.UnitCode);
    }

    void damagedJournal_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QList<int>>("restored");   // indexes of the records kept
        QTest::addColumn<int>("damaged");
        QTest::addColumn<int>("trailing");

        const QByteArray whole = JournalBytes(4);
        QTest::newRow("intact") << whole << QList<int>{0, 1, 2, 3} << 0 << 0;
        QTest::newRow("header only") << JournalBytes(0) << QList<int>{} << 0 << 0;
        QTest::newRow("torn last record") << whole.left(whole.size() - 1) << QList<int>{0, 1, 2} << 0
                                          << JournalRecordSize - 1;
        QTest::newRow("one byte of a record") << whole.left(JournalHeaderSize + 1) << QList<int>{} << 0 << 1;

        QByteArray flipped = whole;
        flipped[JournalHeaderSize + JournalRecordSize + 14] = char(flipped[JournalHeaderSize + JournalRecordSize + 14] ^ 0x01);
        QTest::newRow("bit flip in a value") << flipped << QList<int>{0, 2, 3} << 1 << 0;

        QByteArray zeroed = whole;
        zeroed.replace(JournalHeaderSize + 2 * JournalRecordSize, JournalRecordSize, QByteArray(JournalRecordSize, '\0'));
        QTest::newRow("record of zeros (unwritten block)") << zeroed << QList<int>{0, 1, 3} << 1 << 0;

        // A sound record at the wrong place: a duplicated block is not a sample.
        QByteArray moved = whole;
        moved.replace(JournalHeaderSize + 3 * JournalRecordSize, JournalRecordSize,
                      EncodeJournalRecord(1, SampleRecord(1)));
        QTest::newRow("record out of place") << moved << QList<int>{0, 1, 2} << 1 << 0;

        JournalRecord noTime = SampleRecord(1);
        noTime.time = std::numeric_limits<double>::infinity();
        QByteArray badTime = whole;
        badTime.replace(JournalHeaderSize + JournalRecordSize, JournalRecordSize, EncodeJournalRecord(1, noTime));
        QTest::newRow("time that is not a date") << badTime << QList<int>{0, 2, 3} << 1 << 0;
    }

    void damagedJournal()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QList<int>, restored);
        QFETCH(int, damaged);
        QFETCH(int, trailing);
        JournalContents contents;
        QString error;
        QVERIFY2(ReadJournal(bytes, &contents, &error), qPrintable(error));
        QCOMPARE(int(contents.records.size()), restored.size());
        for (int k = 0; k < restored.size(); ++k)
            QVERIFY(contents.records[size_t(k)] == SampleRecord(restored[k]));
        QCOMPARE(contents.damagedRecords, damaged);
        QCOMPARE(contents.trailingBytes, trailing);
    }

    void refusedJournal_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray whole = JournalBytes(2);
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("torn header") << whole.left(JournalHeaderSize - 1);
        QTest::newRow("other file") << QByteArray("<html>").leftJustified(200, ' ');
        QByteArray start = whole;
        start[17] = char(start[17] ^ 0x40);
        QTest::newRow("damaged start") << start;
        // A header of another layout, with a checksum that fits it.
        QByteArray format = whole;
        format[12] = char(48);
        qToLittleEndian<quint32>(Crc32(format.constData(), 60), format.data() + 60);
        QTest::newRow("another record size") << format;
    }

    void refusedJournal()
    {
        QFETCH(QByteArray, bytes);
        JournalContents contents;
        QString error;
        QVERIFY(!ReadJournal(bytes, &contents, &error));
        QVERIFY(!error.isEmpty());
        QVERIFY(contents.records.empty());
    }

    void startReplacesAndDiscardRemoves()
    {
        const QString file = path("replace.journal");
        {
            JournalWriter first(file);
            QVERIFY(first.start(SampleHeader()));
            for (int i = 0; i < 3; ++i)
                QVERIFY(first.append(SampleRecord(i)));
        }   // closed without discarding: the file stays, as after a crash
        QVERIFY(QFileInfo::exists(file));

        JournalWriter second(file);
        QVERIFY(second.start(SampleHeader()));
        QVERIFY(second.append(SampleRecord(0)));
        JournalContents contents;
        QString error;
        QVERIFY(ReadJournalFile(file, &contents, &error));
        QCOMPARE(int(contents.records.size()), 1);

        QVERIFY(second.discard());
        QVERIFY(!QFileInfo::exists(file));
        QVERIFY(!second.append(SampleRecord(1), &error));
        QVERIFY(!error.isEmpty());
    }

    // One journal, one owner: while a writer holds it, another can neither
    // replace, claim nor delete it; once it is discarded, it is free.
    void journalHasOneOwner()
    {
        const QString file = path("owned.journal");
        JournalWriter owner(file);
        QVERIFY(owner.start(SampleHeader()));
        QVERIFY(owner.append(SampleRecord(0)));
        QVERIFY(owner.finish());             // stopped: the data are still the owner's

        JournalWriter other(file);
        QString error;
        QVERIFY(!other.start(SampleHeader(), &error));
        QVERIFY(error.contains(QLatin1String("in use")));
        QVERIFY(!other.claim());
        QVERIFY(!other.discard());
        JournalContents contents;
        QVERIFY(ReadJournalFile(file, &contents, &error));
        QCOMPARE(int(contents.records.size()), 1);

        QVERIFY(owner.discard());
        QVERIFY(other.claim());
    }

    void unwritablePlaceIsReported()
    {
        // A folder where the file should be: opening for writing fails.
        const QString file = path("folder.journal");
        QVERIFY(QDir().mkpath(file));
        JournalWriter writer(file);
        QString error;
        QVERIFY(!writer.start(SampleHeader(), &error));
        QVERIFY2(error.contains(QDir::toNativeSeparators(file)), qPrintable(error));
        QVERIFY(!writer.isOpen());
        QVERIFY(!writer.append(SampleRecord(0)));
    }

    void restoreQuestion_data()
    {
        QTest::addColumn<int>("records");
        QTest::addColumn<QString>("count");
        QTest::newRow("one") << 1 << "1 sample was kept.";
        QTest::newRow("many") << 1234 << "1234 samples were kept.";
    }

    void restoreQuestion()
    {
        QFETCH(int, records);
        QFETCH(QString, count);
        JournalContents contents;
        contents.header.start = ToDateTime(QDateTime(QDate(2024, 5, 2), QTime(14, 3, 11)));
        contents.records.resize(size_t(records));
        const QString text = RestoreJournalQuestion(contents);
        QVERIFY2(text.contains(DateTimeText(contents.header.start)), qPrintable(text));
        QVERIFY2(text.contains(count), qPrintable(text));
    }

    void defaultPathIsInTheDataFolder()
    {
        const QString file = DefaultJournalPath();
        QVERIFY(file.startsWith(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)));
        QVERIFY(file.endsWith(QLatin1String(".journal")));
    }
};

QTEST_GUILESS_MAIN(TestJournal)
#include "tst_journal.moc"
