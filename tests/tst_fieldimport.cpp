// The field logger import without a database: which meters are downloaded,
// retries of a failed download, what counts as imported, the archive.

#include "logger/loggercsv.h"
#include "logger/loggerimage.h"
#include "service/fieldimport.h"
#include "sim/simdownloadrig.h"
#include "tests/support/loggerimages.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace kv::service;

namespace {

kvtest::RawSet Set(int samples, std::uint8_t day)
{
    kvtest::RawSet set = kvtest::SetOf(samples, {480, 215, 740});
    set.start = {0x25, 0x06, day, 0x08, 0x00, 0x00};
    return set;
}

QByteArray Image(int sets)
{
    kvtest::LoggerImageBuilder builder;
    for (int s = 0; s < sets; ++s)
        builder.add(Set(10 + s, std::uint8_t(0x01 + s)));
    return builder.image();
}

FieldImportOptions Options(const QTemporaryDir &state, const QString &archive)
{
    FieldImportOptions o;
    o.stateDir = state.path();
    o.archiveDir = archive;
    return o;
}

QByteArray ReadFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestFieldImport : public QObject {
    Q_OBJECT

private slots:
    void leftAlone_data();
    void leftAlone();
    void emptyMemory();
    void failedDownloadIsRetried_data();
    void failedDownloadIsRetried();
    void onlyNewDataSets();
    void archiveNotWritable();
    void serialFileName_data();
    void serialFileName();
};

void TestFieldImport::leftAlone_data()
{
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<bool>("recording");
    QTest::addColumn<int>("outcome");
    QTest::newRow("turned off") << false << false << int(FieldImportOutcome::Disabled);
    QTest::newRow("recording") << true << true << int(FieldImportOutcome::Recording);
}

void TestFieldImport::leftAlone()
{
    QFETCH(bool, enabled);
    QFETCH(bool, recording);
    QFETCH(int, outcome);
    QTemporaryDir state;
    FieldImportOptions options = Options(state, state.filePath(QStringLiteral("archive")));
    options.enabled = enabled;
    kv::SimDownloadRig rig(kv::SimLink::Usb);
    rig.meter.loadLoggerImage(Image(2));
    const FieldImportResult result = FieldImporter(options).run(rig.link, QStringLiteral("M"), recording, rig.clock);
    QCOMPARE(int(result.outcome), outcome);
    QCOMPARE(result.attempts, 0);
    QCOMPARE(rig.meter.exchangeCount(), 0);
    QVERIFY(!QFileInfo::exists(state.filePath(QStringLiteral("archive"))));
}

void TestFieldImport::emptyMemory()
{
    QTemporaryDir state;
    kv::SimDownloadRig rig(kv::SimLink::Usb);
    const FieldImportResult result =
        FieldImporter(Options(state, state.filePath(QStringLiteral("archive")))).run(rig.link, QStringLiteral("M"), false, rig.clock);
    QCOMPARE(int(result.outcome), int(FieldImportOutcome::NoDataSet));
    QCOMPARE(result.attempts, 1);   // not a failure: no retry
    QVERIFY(!QFileInfo::exists(state.filePath(QStringLiteral("archive"))));
}

void TestFieldImport::failedDownloadIsRetried_data()
{
    QTest::addColumn<kv::SimLink>("link");
    QTest::addColumn<int>("badFirstPages");
    QTest::addColumn<int>("attempts");
    QTest::addColumn<bool>("imported");
    QTest::newRow("usb: once") << kv::SimLink::Usb << 1 << 2 << true;
    QTest::newRow("usb: three times") << kv::SimLink::Usb << 3 << 4 << true;
    QTest::newRow("usb: every time") << kv::SimLink::Usb << 100 << 4 << false;
    QTest::newRow("serial: every time") << kv::SimLink::Serial << 100 << 4 << false;
}

void TestFieldImport::failedDownloadIsRetried()
{
    QFETCH(kv::SimLink, link);
    QFETCH(int, badFirstPages);
    QFETCH(int, attempts);
    QFETCH(bool, imported);
    QTemporaryDir state;
    const FieldImporter importer(Options(state, state.filePath(QStringLiteral("archive"))));
    kv::SimDownloadRig rig(link, kv::SimDownloadRig::DefaultOptions(), kv::SimSerialPacing::Burst);
    rig.meter.loadLoggerImage(Image(1));
    if (link == kv::SimLink::Usb)
        rig.meter.faults().inject(kv::SimFault::WrongMarkers, badFirstPages, 'P');
    else
        rig.meter.faults().failEvery(1, kv::SimFault::NoReply, 'P');
    const std::int64_t before = rig.simClock.nowMs();
    const FieldImportResult result = importer.run(rig.link, QStringLiteral("M"), false, rig.clock);
    QCOMPARE(result.attempts, attempts);
    QCOMPARE(rig.meter.frameCount('P') >= attempts, true);
    // Pauses of 2, 4 and 8 s between the tries.
    const std::int64_t pauses[] = {0, 2000, 6000, 14000};
    QVERIFY(rig.simClock.nowMs() - before >= pauses[attempts - 1]);
    if (imported) {
        QCOMPARE(int(result.outcome), int(FieldImportOutcome::Imported));
        QCOMPARE(result.code, 0);
    } else {
        QCOMPARE(int(result.outcome), int(FieldImportOutcome::Failed));
        QVERIFY(result.code != 0);
        QVERIFY2(result.message.contains(QStringLiteral("error code=%1").arg(result.code)), qPrintable(result.message));
        QVERIFY(!QFileInfo::exists(state.filePath(QStringLiteral("archive"))));
        QVERIFY(importer.imported(QStringLiteral("M")).empty());
    }
}

void TestFieldImport::onlyNewDataSets()
{
    QTemporaryDir state;
    const QString archive = state.filePath(QStringLiteral("archive"));
    const FieldImporter importer(Options(state, archive));
    kv::SimDownloadRig rig(kv::SimLink::Usb);
    rig.meter.loadLoggerImage(Image(2));
    const FieldImportResult first = importer.run(rig.link, QStringLiteral("KV-7"), false, rig.clock);
    QCOMPARE(int(first.outcome), int(FieldImportOutcome::Imported));
    QCOMPARE(int(first.newSets.size()), 2);
    QCOMPARE(first.samples, 10 + 11);
    QCOMPARE(int(first.lines.size()), 21);
    QCOMPARE(first.files.size(), 3);
    QVERIFY(importer.commit(first));
    QCOMPARE(ReadFile(importer.stateFile(QStringLiteral("KV-7"))),
             QByteArray("2025-06-01T08:00:00,10\n2025-06-02T08:00:00,11\n"));

    // Back from the field again with one more data set: only that one.
    rig.meter.loadLoggerImage(Image(3));
    const FieldImportResult second = importer.run(rig.link, QStringLiteral("KV-7"), false, rig.clock);
    QCOMPARE(int(second.outcome), int(FieldImportOutcome::Imported));
    QCOMPARE(int(second.newSets.size()), 1);
    QCOMPARE(second.newSets.front().start, QStringLiteral("2025-06-03T08:00:00"));
    QCOMPARE(int(second.lines.size()), 12);
    const QDir folder(second.folder);
    QCOMPARE(folder.entryList(QDir::Files, QDir::Name), (QStringList{QStringLiteral("logger.REC"), QStringLiteral("set-003.csv")}));
    const kv::LoggerParse parse = kv::ParseLoggerImage(Image(3), 0);
    QCOMPARE(ReadFile(folder.filePath(QStringLiteral("set-003.csv"))), kv::LoggerSetCsvFile(parse, 2));
    QCOMPARE(ReadFile(folder.filePath(QStringLiteral("logger.REC"))), Image(3));
    // Not committed (the points did not reach their targets): offered again.
    const FieldImportResult third = importer.run(rig.link, QStringLiteral("KV-7"), false, rig.clock);
    QCOMPARE(int(third.newSets.size()), 1);
    QVERIFY(importer.commit(third));
    QCOMPARE(int(importer.run(rig.link, QStringLiteral("KV-7"), false, rig.clock).outcome),
             int(FieldImportOutcome::NothingNew));
    // Another meter with the same data sets is another meter.
    QCOMPARE(int(importer.run(rig.link, QStringLiteral("KV-8"), false, rig.clock).outcome),
             int(FieldImportOutcome::Imported));
    // The meter is never erased.
    QCOMPARE(rig.meter.dataSetCount(), 3);
}

void TestFieldImport::archiveNotWritable()
{
    QTemporaryDir state;
    const QString notAFolder = state.filePath(QStringLiteral("file"));
    QFile f(notAFolder);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    const FieldImporter importer(Options(state, notAFolder));
    kv::SimDownloadRig rig(kv::SimLink::Usb);
    rig.meter.loadLoggerImage(Image(1));
    const FieldImportResult result = importer.run(rig.link, QStringLiteral("M"), false, rig.clock);
    QCOMPARE(int(result.outcome), int(FieldImportOutcome::ArchiveFailed));
    QVERIFY(importer.commit(result));   // nothing to record
    QVERIFY(importer.imported(QStringLiteral("M")).empty());
}

void TestFieldImport::serialFileName_data()
{
    QTest::addColumn<QString>("serial");
    QTest::addColumn<QString>("name");
    QTest::newRow("plain") << "KV3917-2210-0417" << "KV3917-2210-0417";
    QTest::newRow("space and slash") << "lab 2/a" << "lab_2_a";
    QTest::newRow("parent folder") << "../x" << "_.._x";
    QTest::newRow("empty") << "" << "_";
    QTest::newRow("not ascii") << QString::fromUtf8("Kühl") << "K_hl";
}

void TestFieldImport::serialFileName()
{
    QFETCH(QString, serial);
    QFETCH(QString, name);
    QCOMPARE(SerialFileName(serial), name);
}

QTEST_GUILESS_MAIN(TestFieldImport)
#include "tst_fieldimport.moc"
