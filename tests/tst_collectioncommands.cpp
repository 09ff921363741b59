// The collection chooser and the collection commands of the "DataLogger"
// window: which button does what, the save and open dialogs' texts, failures
// reported with the file name, refused files that change nothing.
#include "app/prompt.h"
#include "app/settings.h"
#include "chart/view/chart.h"
#include "logger/loggerdata.h"
#include "ui/collectionchooser.h"
#include "ui/collectioncommands.h"
#include "ui/graphwindow.h"
#include "ui/mainwindow.h"
#include "link/usbtransfer.h"
#include "tests/support/children.h"
#include "tests/support/loggerimages.h"
#include "tests/testsupport.h"

#include <QMdiArea>
#include <QMenu>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QByteArray TwoSets()
{
    return kvtest::LoggerImageBuilder().add(kvtest::SetOf(3)).add(kvtest::SetOf(4)).image();
}

QByteArray ReadAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A scripted answer to the chooser that checks its caption and clicks a button.
std::function<int(QDialog &)> Click(const char *button, QStringList *captions)
{
    return [button, captions](QDialog &dialog) {
        captions->append(dialog.windowTitle());
        auto *b = dialog.findChild<QPushButton *>(QLatin1String(button));
        if (!b)
            return -1;
        b->click();
        return dialog.result();
    };
}

} // namespace

class TestCollectionCommands : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { kvtest::UseIsolatedPaths(); }

    void chooser_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("result");
        QTest::newRow("collection") << "btnOpenSets" << 1;
        QTest::newRow("single file") << "btnOpenSingleSet" << 7;
        QTest::newRow("cancel") << "Button1" << 2;
    }
    void chooser()
    {
        QFETCH(QString, button);
        QFETCH(int, result);
        kv::CollectionChooser chooser;
        QCOMPARE(chooser.objectName(), QStringLiteral("frmOpenSave"));
        QCOMPARE(chooser.findChild<QPushButton *>(QStringLiteral("btnOpenSets"))->text(),
                 QStringLiteral("Save all data sets to a data set collection file(*.REC)"));
        QCOMPARE(chooser.findChild<QPushButton *>(QStringLiteral("btnOpenSingleSet"))->text(),
                 QStringLiteral("Save single selected  data set to a  file"));
        QCOMPARE(chooser.findChild<QPushButton *>(QStringLiteral("Button1"))->text(), QStringLiteral("Cancel"));
        QVERIFY(chooser.windowFlags() & Qt::WindowStaysOnTopHint);
        chooser.findChild<QPushButton *>(button)->click();
        QCOMPARE(chooser.result(), result);
        chooser.setResult(0);
        chooser.reject();   // the close button: Cancel
        QCOMPARE(chooser.result(), 2);
    }

    // "Save all data sets": the collection dialog, the image on show written,
    // the data saved.  Cancel in the chooser asks nothing further.
    // File > Open and File > Save of the main window reach the collection
    // through the chooser: "Open File" opens a .REC into the "DataLogger"
    // window; "Save File" on that window writes the same bytes back.  Both
    // files are listed under File > Recent Files, newest first.
    void mainWindowOpensAndSavesCollections()
    {
        std::unique_ptr<QSettings>(kv::OpenUserSettings())->clear();
        kv::ScriptedPrompts prompts;
        kv::PromptScope scope(prompts);
        QTemporaryDir dir;
        const QString source = dir.filePath(QStringLiteral("in.REC"));
        {
            QFile file(source);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(TwoSets());
        }
        kv::NoDeviceTransfer usb;
        MainWindow main(usb);
        main.resize(900, 700);
        main.show();
        QStringList captions;

        prompts.dialogs.push_back([&](QDialog &dialog) {
            captions << dialog.windowTitle();
            auto *sets = dialog.findChild<QPushButton *>(QStringLiteral("btnOpenSets"));
            captions << (sets ? sets->text() : QString());
            sets->click();
            return dialog.result();
        });
        prompts.fileNames.push_back(source);
        main.findChild<QAction *>(QStringLiteral("Open1"))->trigger();
        QVERIFY(main.loggerGraph());
        QCOMPARE(int(main.loggerData().dataSets().size()), 2);
        QCOMPARE(captions, QStringList({"Open File", "Open a data set collection file(*.REC)"}));

        child<QMdiArea>(main, "MdiArea")->setActiveSubWindow(qobject_cast<QMdiSubWindow *>(main.loggerGraph()->parentWidget()));
        const QString copy = dir.filePath(QStringLiteral("out.REC"));
        prompts.dialogs.push_back(Click("btnOpenSets", &captions));
        prompts.fileNames.push_back(copy);
        main.findChild<QAction *>(QStringLiteral("Save1"))->trigger();
        QCOMPARE(captions.last(), QStringLiteral("Save File"));
        QCOMPARE(ReadAll(copy), TwoSets());
        QCOMPARE(prompts.unexpected, 0);

        QStringList recent;
        for (const QAction *action : child<QMenu>(main, "RecentFiles1")->actions())
            recent << action->data().toString();
        QCOMPARE(recent, QStringList({copy, source}));
    }

    void saveThroughChooser()
    {
        kv::ScriptedPrompts prompts;
        kv::PromptScope scope(prompts);
        QTemporaryDir dir;
        kv::LoggerData data;
        data.setDataFolder(dir.path());
        QVERIFY(data.acceptDownload(TwoSets()).shown());
        kv::Chart chart;
        QStringList captions;

        prompts.dialogs.push_back(Click("Button1", &captions));
        QVERIFY(!kv::SaveLoggerGraph(nullptr, data, chart, dir.path()));
        QVERIFY(prompts.fileRequests.isEmpty());
        QVERIFY(data.unsaved());

        const QString path = dir.filePath(QStringLiteral("all.REC"));
        prompts.dialogs.push_back(Click("btnOpenSets", &captions));
        prompts.fileNames.push_back(path);
        QVERIFY(kv::SaveLoggerGraph(nullptr, data, chart, dir.path()));
        QCOMPARE(captions, QStringList({"Save File", "Save File"}));
        QCOMPARE(prompts.fileRequests.size(), 1);
        QCOMPARE(prompts.fileRequests[0].filter, QStringLiteral("Data Set Collection file(*.REC,only for KV3917) (*.REC *.rec)"));
        QCOMPARE(prompts.fileRequests[0].defaultSuffix, QStringLiteral("REC"));
        QCOMPARE(prompts.fileRequests[0].folder, dir.path());
        QCOMPARE(ReadAll(path), TwoSets());
        QVERIFY(!data.unsaved());
        QVERIFY(prompts.shown.isEmpty());
        QCOMPARE(prompts.unexpected, 0);
    }

    void saveSingleSet()
    {
        kv::ScriptedPrompts prompts;
        kv::PromptScope scope(prompts);
        QTemporaryDir dir;
        kv::LoggerData data;
        data.setDataFolder(dir.path());
        QVERIFY(data.acceptDownload(TwoSets()).shown());
        kv::Chart chart;
        chart.setSubsets(5);
        chart.setPoints(3);
        QStringList captions;
        const QString path = dir.filePath(QStringLiteral("one.ghf"));
        prompts.dialogs.push_back(Click("btnOpenSingleSet", &captions));
        prompts.fileNames.push_back(path);
        QVERIFY(kv::SaveLoggerGraph(nullptr, data, chart, dir.path()));
        QVERIFY(QFile::exists(path));
        QVERIFY(data.unsaved());   // a single data set is not the collection
    }

    // A save that cannot be written says so with the file name; the data
    // stays unsaved.
    void failedSaveIsReported()
    {
        kv::ScriptedPrompts prompts;
        kv::PromptScope scope(prompts);
        QTemporaryDir dir;
        kv::LoggerData data;
        data.setDataFolder(dir.path());
        QVERIFY(data.acceptDownload(TwoSets()).shown());
        const QString path = dir.filePath(QStringLiteral("missing/all.REC"));
        prompts.fileNames.push_back(path);
        QVERIFY(!kv::SaveCollection(nullptr, data, dir.path()));
        QCOMPARE(prompts.shown.size(), 1);
        QVERIFY2(prompts.shown[0].contains(QDir::toNativeSeparators(path)), qPrintable(prompts.shown[0]));
        QVERIFY(data.unsaved());
    }

    void nothingOnShowAsksNothing()
    {
        kv::ScriptedPrompts prompts;
        kv::PromptScope scope(prompts);
        kv::LoggerData data;
        QVERIFY(!kv::SaveCollection(nullptr, data, QString()));
        QVERIFY(prompts.fileRequests.isEmpty());
        QCOMPARE(prompts.unexpected, 0);
    }

    // The window is ensured before the dialog, also when it is cancelled; a
    // refused file shows nothing and changes nothing.
    void open_data()
    {
        QTest::addColumn<QByteArray>("bytes");   // "-": the dialog is cancelled
        QTest::addColumn<bool>("shown");
        QByteArray hundred(100, char(0x22));
        hundred[8] = 0;
        hundred[9] = 0;
        QTest::newRow("cancelled") << QByteArray("-") << false;
        QTest::newRow("100 bytes, count 0") << hundred << false;
        QTest::newRow("collection") << TwoSets() << true;
    }
    void open()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, shown);
        kv::ScriptedPrompts prompts;
        kv::PromptScope scope(prompts);
        QTemporaryDir dir;
        kv::LoggerData data;
        data.setDataFolder(dir.path());
        const QByteArray before = kvtest::LoggerImageBuilder().add(kvtest::SetOf(9)).image();
        QVERIFY(data.acceptDownload(before).shown());
        QSignalSpy replaced(&data, &kv::LoggerData::dataSetsReplaced);

        const QString path = dir.filePath(QStringLiteral("in.REC"));
        if (bytes != "-") {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(bytes);
            prompts.fileNames.push_back(path);
        }
        int ensured = 0;
        const bool result = kv::OpenCollection(nullptr, data, dir.path(), [&] {
            QVERIFY(prompts.fileRequests.isEmpty());   // before the dialog
            ++ensured;
        });
        QCOMPARE(result, shown);
        QCOMPARE(ensured, 1);
        QCOMPARE(prompts.fileRequests.size(), 1);
        QCOMPARE(prompts.fileRequests[0].filter, QStringLiteral("Data Sets Collection (*.REC) (*.REC *.rec)"));
        QCOMPARE(prompts.fileRequests[0].defaultSuffix, QStringLiteral("REC"));
        QVERIFY(prompts.shown.isEmpty());
        QCOMPARE(replaced.count(), shown ? 1 : 0);
        QCOMPARE(data.image(), shown ? bytes : before);
        QCOMPARE(ReadAll(data.workingCopyPath()), shown ? bytes : before);
        QVERIFY(data.unsaved());   // opening neither sets nor clears the flag
    }
};

QTEST_MAIN(TestCollectionCommands)
#include "tst_collectioncommands.moc"
