// The two persistent values and the data folder.
#include "app/settings.h"
#include "tests/testsupport.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class TestSettings : public QObject {
    Q_OBJECT
private slots:
    void defaultsWhenMissing()
    {
        QTemporaryDir dir;
        QSettings settings(dir.filePath("kv.conf"), QSettings::IniFormat);
        const kv::PersistentSettings v = kv::LoadSettings(settings);
        QCOMPARE(v.RealTimeRate, 2);
        QCOMPARE(v.AnnoColor, 0u);
    }

    void wrongTypeCountsAsMissing_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("rate");
        QTest::newRow("text") << "fast" << 2;
        QTest::newRow("fraction") << "3.5" << 2;
        QTest::newRow("too big") << "99999999999" << 2;
        QTest::newRow("valid") << "60" << 60;
    }
    void wrongTypeCountsAsMissing()
    {
        QFETCH(QString, stored);
        QFETCH(int, rate);
        QTemporaryDir dir;
        QSettings settings(dir.filePath("kv.conf"), QSettings::IniFormat);
        settings.setValue("RealTimeRate", stored);
        settings.setValue("AnnoColor", QStringList{"a", "b"});
        const kv::PersistentSettings v = kv::LoadSettings(settings);
        QCOMPARE(v.RealTimeRate, rate);
        QCOMPARE(v.AnnoColor, 0u);
    }

    void writeBackOverwritesBadValues()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("kv.conf");
        {
            QSettings settings(path, QSettings::IniFormat);
            settings.setValue("RealTimeRate", "junk");
            kv::SaveSettings(settings, kv::LoadSettings(settings));
        }
        QSettings settings(path, QSettings::IniFormat);
        QCOMPARE(settings.value("RealTimeRate").toInt(), 2);
        QCOMPARE(settings.value("AnnoColor").toInt(), 0);
        settings.setValue("AnnoColor", 0xFF00FFu);
        QCOMPARE(kv::LoadSettings(settings).AnnoColor, 0xFF00FFu);
    }

    void dataFolderFallbacks()
    {
        QTemporaryDir dir;
        QCOMPARE(kv::DetermineDataFolder(QString()), QString());
        const QString docs = dir.filePath("Documents");
        QCOMPARE(kv::DetermineDataFolder(docs), docs + "/KV3917/");
        QVERIFY(QFileInfo(docs + "/KV3917").isDir());

        // A file in the way of the subfolder: the documents folder itself.
        const QString docs2 = dir.filePath("Docs2");
        QVERIFY(QDir().mkpath(docs2));
        QFile blocker(docs2 + "/KV3917");
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        QCOMPARE(kv::DetermineDataFolder(docs2 + "/"), docs2);
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
