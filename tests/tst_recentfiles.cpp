// The recent-files list and the kinds of data file by extension.
#include "app/recentfiles.h"
#include "tests/testsupport.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

class TestRecentFiles : public QObject {
    Q_OBJECT
private slots:
    void keptAcrossRestart()
    {
        QTemporaryDir dir;
        const QString ini = dir.filePath(QStringLiteral("settings.ini"));
        const QString base = dir.path() + QLatin1Char('/');
        {
            QSettings settings(ini, QSettings::IniFormat);
            kv::RecentFiles recent(settings);
            QVERIFY(recent.files().isEmpty());
            for (int i = 0; i < 10; ++i)
                recent.add(base + QStringLiteral("f%1.ghf").arg(i));
            recent.add(base + QStringLiteral("f5.ghf"));   // again: moves to the top
            recent.remove(base + QStringLiteral("f9.ghf"));
            recent.add(QString());                          // ignored
        }
        // A new program run reads the same list back.
        QSettings settings(ini, QSettings::IniFormat);
        const kv::RecentFiles recent(settings);
        QStringList expected;
        for (int i : {5, 8, 7, 6, 4, 3, 2})
            expected << base + QStringLiteral("f%1.ghf").arg(i);
        QCOMPARE(recent.files(), expected);
    }

    void relativeNamesStoredAbsolute()
    {
        QTemporaryDir dir;
        QSettings settings(dir.filePath(QStringLiteral("s.ini")), QSettings::IniFormat);
        kv::RecentFiles recent(settings);
        recent.add(QStringLiteral("a.txt"));
        recent.add(QDir::current().absoluteFilePath(QStringLiteral("a.txt")));
        QCOMPARE(recent.files(), QStringList{QDir::current().absoluteFilePath(QStringLiteral("a.txt"))});
    }

    void tooLongStoredListCut()
    {
        QTemporaryDir dir;
        QSettings settings(dir.filePath(QStringLiteral("s.ini")), QSettings::IniFormat);
        QStringList stored;
        for (int i = 0; i < 12; ++i)
            stored << QStringLiteral("/x/%1.rec").arg(i);
        stored.insert(1, QString());
        settings.setValue(QLatin1String(kv::settingskeys::RecentFiles), stored);
        const kv::RecentFiles recent(settings);
        QCOMPARE(recent.files().size(), kv::MaxRecentFiles);
        QCOMPARE(recent.files().at(1), QStringLiteral("/x/1.rec"));
    }

    void kinds_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("kind");
        QTest::newRow("graph") << "/d/a.GHF" << int(kv::DataFileKind::Graph);
        QTest::newRow("text") << "b.txt" << int(kv::DataFileKind::Table);
        QTest::newRow("csv") << "c.Csv" << int(kv::DataFileKind::Table);
        QTest::newRow("collection") << "d.rec" << int(kv::DataFileKind::Collection);
        QTest::newRow("other") << "e.png" << int(kv::DataFileKind::Unknown);
        QTest::newRow("no extension") << "ghf" << int(kv::DataFileKind::Unknown);
    }
    void kinds()
    {
        QFETCH(QString, name);
        QFETCH(int, kind);
        QCOMPARE(int(kv::DataFileKindOf(name)), kind);
    }
};

QTEST_GUILESS_MAIN(TestRecentFiles)
#include "tst_recentfiles.moc"
