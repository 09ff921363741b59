// The logger data on show: collection files saved and opened byte for byte,
// refused files leave the data as it was, atomic saves that report failures
// and keep the unsaved flag, and the working copy.
#include "logger/loggerdata.h"
#include "realtime/datetime.h"
#include "sim/simmeter.h"
#include "tests/support/loggerimages.h"
#include "tests/testsupport.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QByteArray SimulatedDownload()
{
    kv::SimOptions options;
    options.drift = false;
    options.meterClock = QDateTime(QDate(2026, 5, 6), QTime(7, 8, 9));
    kv::SimMeter meter(nullptr, options);
    const int used = meter.memoryPointer() + 1;
    return meter.memory().left((used + 31) / 32 * 32);
}

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

} // namespace

class TestLoggerData : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { kvtest::UseIsolatedPaths(); }

    void saveOpenSaveIsByteIdentical()
    {
        QTemporaryDir dir;
        const QByteArray download = SimulatedDownload();
        kv::LoggerData data;
        data.setDataFolder(dir.path());
        QSignalSpy replaced(&data, &kv::LoggerData::dataSetsReplaced);

        const kv::LoggerLoad load = data.acceptDownload(download);
        QVERIFY(load.shown());
        QVERIFY(load.workingCopy.written);
        QCOMPARE(replaced.count(), 1);
        QCOMPARE(data.dataSets().size(), size_t(3));
        QVERIFY(data.unsaved());
        QCOMPARE(data.workingCopyPath(), dir.filePath(QStringLiteral("temp/DataSetsTemp.tmp")));
        QCOMPARE(ReadAll(data.workingCopyPath()), download);

        const QString a = dir.filePath(QStringLiteral("A.REC"));
        QCOMPARE(data.saveCollection(a).outcome, kv::SaveCollectionResult::Saved);
        QVERIFY(!data.unsaved());

        kv::LoggerData reopened;
        reopened.setDataFolder(dir.path());
        QVERIFY(reopened.openCollection(a).shown());
        QVERIFY(!reopened.unsaved());   // opening does not count as unsaved
        QCOMPARE(reopened.dataSets().size(), size_t(3));
        QCOMPARE(reopened.series().values, data.series().values);
        const QString b = dir.filePath(QStringLiteral("B.REC"));
        QCOMPARE(reopened.saveCollection(b).outcome, kv::SaveCollectionResult::Saved);
        QCOMPARE(ReadAll(a), download);
        QCOMPARE(ReadAll(b), download);
    }

    void refusedFileLeavesDataAsShown_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("read");
        QTest::addColumn<int>("code");
        QByteArray hundred(100, char(0x11));
        hundred[8] = 0;
        hundred[9] = 0;
        QTest::newRow("100 bytes, count 0") << hundred << int(kv::CollectionRead::Ok) << int(kv::LoggerParseNoDataSet);
        QTest::newRow("empty") << QByteArray() << int(kv::CollectionRead::Empty) << 0;
        QTest::newRow("count 4001") << kvtest::LoggerImageBuilder().add(kvtest::SetOf(1)).image(4001)
                                    << int(kv::CollectionRead::Ok) << int(kv::LoggerParseCountOutOfRange);
        QTest::newRow("first data set beyond the end")
            << kvtest::LoggerImageBuilder().add(kvtest::SetOf(1)).image().left(2830) << int(kv::CollectionRead::Ok)
            << int(kv::LoggerParseDamaged);
        QTest::newRow("larger than the memory") << QByteArray(kv::LoggerMaxImageSize + 1, char(0))
                                                << int(kv::CollectionRead::TooLarge) << 0;
        QTest::newRow("missing") << QByteArray("-") << int(kv::CollectionRead::CannotRead) << 0;
    }
    void refusedFileLeavesDataAsShown()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, read);
        QFETCH(int, code);
        QTemporaryDir dir;
        kv::LoggerData data;
        data.setDataFolder(dir.path());
        const QByteArray download = SimulatedDownload();
        QVERIFY(data.acceptDownload(download).shown());
        const std::vector<float> values = data.series().values;
        QSignalSpy replaced(&data, &kv::LoggerData::dataSetsReplaced);

        const QString path = dir.filePath(QStringLiteral("other.REC"));
        if (bytes != "-")
            QVERIFY(WriteAll(path, bytes));
        const kv::LoggerLoad load = data.openCollection(path);
        QCOMPARE(int(load.read), read);
        QCOMPARE(load.code, code);
        QVERIFY(!load.shown());
        QCOMPARE(replaced.count(), 0);
        QCOMPARE(data.series().values, values);
        QCOMPARE(data.image(), download);
        QCOMPARE(ReadAll(data.workingCopyPath()), download);
        QVERIFY(data.unsaved());
    }

    // A file that ends inside its second data set: the first is shown, and
    // the file is kept as it is (saved again unchanged).
    void damagedFileListsCompleteDataSets()
    {
        QTemporaryDir dir;
        const QByteArray whole =
            kvtest::LoggerImageBuilder().add(kvtest::SetOf(4)).add(kvtest::SetOf(9)).image(2, false);
        const QByteArray cut = whole.left(whole.size() - 20);
        const QString path = dir.filePath(QStringLiteral("cut.REC"));
        QVERIFY(WriteAll(path, cut));
        kv::LoggerData data;
        data.setDataFolder(dir.path());
        QVERIFY(data.openCollection(path).shown());
        QCOMPARE(data.dataSets().size(), size_t(1));
        QVERIFY(data.truncated());
        QCOMPARE(data.series().values.size(), size_t(20));
        QCOMPARE(data.saveCollection(dir.filePath(QStringLiteral("again.REC"))).outcome,
                 kv::SaveCollectionResult::Saved);
        QCOMPARE(ReadAll(dir.filePath(QStringLiteral("again.REC"))), cut);
    }

    // A save that fails says which file and why, keeps the data unsaved and
    // leaves an existing file as it was.
    void failedSaveKeepsUnsaved()
    {
        QTemporaryDir dir;
        kv::LoggerData data;
        data.setDataFolder(dir.path());
        QVERIFY(data.acceptDownload(SimulatedDownload()).shown());
        const QString missingFolder = dir.filePath(QStringLiteral("no/such/folder/A.REC"));
        const kv::SaveCollectionResult result = data.saveCollection(missingFolder);
        QCOMPARE(result.outcome, kv::SaveCollectionResult::Failed);
        QVERIFY2(result.error.contains(QDir::toNativeSeparators(missingFolder)), qPrintable(result.error));
        QVERIFY(result.error.size() > QDir::toNativeSeparators(missingFolder).size() + 16);   // and a reason
        QVERIFY(data.unsaved());
        QVERIFY(!QFile::exists(missingFolder));
    }

    void nothingOnShowSavesNothing()
    {
        QTemporaryDir dir;
        kv::LoggerData data;
        const QString path = dir.filePath(QStringLiteral("A.REC"));
        QCOMPARE(data.saveCollection(path).outcome, kv::SaveCollectionResult::NothingToSave);
        QVERIFY(!QFile::exists(path));
    }

    // The temp folder cannot be made (a file stands in its way): the error
    // names the folder; the data is still shown.
    void workingCopyFolderError()
    {
        QTemporaryDir dir;
        QVERIFY(WriteAll(dir.filePath(QStringLiteral("temp")), "not a folder"));
        kv::LoggerData data;
        data.setDataFolder(dir.path());
        const kv::LoggerLoad load = data.acceptDownload(SimulatedDownload());
        QVERIFY(load.shown());
        QVERIFY(!load.workingCopy.written);
        QCOMPARE(load.workingCopy.folderError, QDir::toNativeSeparators(dir.filePath(QStringLiteral("temp"))));
        QVERIFY(data.unsaved());
    }

    // The marker lies beside the working copy exactly while the data count
    // as unsaved: a download sets it, a save or a consented drop clears it.
    void unsavedMarkerFollowsTheFlag()
    {
        QTemporaryDir dir;
        kv::LoggerData data;
        data.setDataFolder(dir.path());
        QCOMPARE(data.unsavedMarkerPath(), dir.filePath(QStringLiteral("temp/DataSetsTemp.unsaved")));
        QVERIFY(data.acceptDownload(SimulatedDownload()).shown());
        QVERIFY(QFile::exists(data.unsavedMarkerPath()));
        QCOMPARE(data.saveCollection(dir.filePath(QStringLiteral("A.REC"))).outcome, kv::SaveCollectionResult::Saved);
        QVERIFY(!QFile::exists(data.unsavedMarkerPath()));
        data.setUnsaved(true);
        QVERIFY(QFile::exists(data.unsavedMarkerPath()));
        data.setUnsaved(false);
        QVERIFY(!QFile::exists(data.unsavedMarkerPath()));
        // An opened collection is saved data: no marker.
        QVERIFY(data.openCollection(dir.filePath(QStringLiteral("A.REC"))).shown());
        QVERIFY(!QFile::exists(data.unsavedMarkerPath()));
    }

    // A later run finds the download by its marker and shows it as unsaved
    // with the marker's time; a marker whose working copy is missing or
    // damaged offers nothing and is removed.
    void leftDownloadFromAnEarlierRun_data()
    {
        QTest::addColumn<QByteArray>("workingCopy");
        QTest::addColumn<bool>("found");
        QTest::newRow("download") << SimulatedDownload() << true;
        QTest::newRow("missing") << QByteArray() << false;
        QTest::newRow("damaged") << QByteArray(64, '\xff') << false;
    }

    void leftDownloadFromAnEarlierRun()
    {
        QFETCH(QByteArray, workingCopy);
        QFETCH(bool, found);
        QTemporaryDir dir;
        QDateTime madeAt;
        {
            kv::LoggerData earlier;
            earlier.setDataFolder(dir.path());
            QVERIFY(earlier.acceptDownload(SimulatedDownload()).shown());
            madeAt = QFileInfo(earlier.unsavedMarkerPath()).lastModified();
            QFile::remove(earlier.workingCopyPath());
            if (!workingCopy.isEmpty())
                QVERIFY(WriteAll(earlier.workingCopyPath(), workingCopy));
        }
        kv::LoggerData data;
        data.setDataFolder(dir.path());
        QSignalSpy unsaved(&data, &kv::LoggerData::unsavedChanged);
        const kv::LeftDownload left = data.leftDownload();
        QCOMPARE(left.found, found);
        QCOMPARE(QFile::exists(data.unsavedMarkerPath()), found);
        if (!found)
            return;
        QCOMPARE(left.dataSetCount, 3);
        QCOMPARE(left.madeAt, madeAt);
        const QString question = kv::RestoreDownloadQuestion(left);
        QVERIFY2(question.contains(QStringLiteral("3 data sets")), qPrintable(question));
        QVERIFY2(question.contains(kv::DateTimeText(kv::ToDateTime(madeAt))), qPrintable(question));

        QVERIFY(data.restoreLeftDownload(left));
        QCOMPARE(data.dataSets().size(), size_t(3));
        QCOMPARE(data.image(), workingCopy);
        QVERIFY(data.unsaved());
        QCOMPARE(unsaved.count(), 1);
        QCOMPARE(QFileInfo(data.unsavedMarkerPath()).lastModified(), madeAt);
        data.discardLeftDownload();
        QVERIFY(!QFile::exists(data.unsavedMarkerPath()));
        QVERIFY(QFile::exists(data.workingCopyPath()));
    }
};

QTEST_GUILESS_MAIN(TestLoggerData)
#include "tst_loggerdata.moc"
