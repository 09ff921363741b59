// Real-time recording driven through the main window with the simulated
// meter: Run with its setup dialog, samples from the poll tick, Stop, a full
// graph, period changes, Clear and closing the window.
#include "ui/mainwindow.h"
#include "app/prompt.h"
#include "app/settings.h"
#include "chart/view/chart.h"
#include "ui/graphwindow.h"
#include "realtime/datetime.h"
#include "ui/realtimesetupdialog.h"
#include "sim/simclock.h"
#include "sim/simmeter.h"
#include "sim/simusbtransfer.h"
#include "tests/support/children.h"
#include "tests/testsupport.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QTemporaryDir>
#include <QToolButton>
#include <QLabel>
#include <QScopeGuard>
#include <QtTest>

#include <memory>

namespace {

const QString RunQuestion = QStringLiteral(
    "There are datas in Real_Time graph ,it have to reset the graph.\nDo you want to save the Real-Time graph ?");
const QString RateQuestion = QStringLiteral(
    "Sampling Rate is being changed and it is recording Real-Time data or there are data in Real_Time graph."
    "If you want to make new sampling rate effective,it have to reset the graph.\n"
    "Do you want to save the Real-Time graph ?");

// The main window on the simulated meter, on a clock moved by the test.
struct Rig {
    kv::ManualSimClock clock;
    kv::SimMeter meter{&clock, kv::SimOptions{1, false, false, {}}};
    kv::SimUsbTransfer usb{meter};
    QDateTime now{QDate(2026, 1, 2), QTime(10, 0, 0)};
    kv::ScriptedPrompts prompts;
    kv::PromptScope scope{prompts};
    std::unique_ptr<MainWindow> main;

    Rig()
    {
        main = std::make_unique<MainWindow>(usb);
        main->connection().poll().Clock = [this] { return now; };
        main->show();
        main->connection().stopPolling();
        tick(); // identification
    }
    GraphWindow &graph() { return *main->realTimeGraph(); }
    kv::Chart &chart() { return graph().chart(); }

    void tick()
    {
        now = now.addMSecs(500);
        clock.advanceMs(500);
        main->connection().poll().PollTick();
    }
    // Ticks until `samples` points are recorded (or a limit is reached).
    void tickUntil(int samples)
    {
        for (int i = 0; i < 400 && main->recorder().count() < samples && main->recorder().isRecording(); ++i)
            tick();
    }
    // Scripts the setup dialog: count text and, when given, the period boxes.
    void scriptSetup(const QString &count, int minutes = -1, int seconds = -1)
    {
        prompts.dialogs.push_back([=](QDialog &d) {
            auto &setup = static_cast<RealTimeSetupDialog &>(d);
            child<QLineEdit>(setup, "edtRealTimeNo")->setText(count);
            if (minutes >= 0) {
                child<QComboBox>(setup, "ComboBox1")->setCurrentIndex(minutes);
                child<QComboBox>(setup, "ComboBox2")->setCurrentIndex(seconds);
            }
            return int(QDialog::Accepted);
        });
    }
    void run(const QString &count)
    {
        scriptSetup(count);
        main->startRecording();
    }
};

} // namespace

class TestRealTime : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        kvtest::UseIsolatedPaths();
        std::unique_ptr<QSettings> settings(kv::OpenUserSettings());
        settings->clear();
    }

    void windowIsReadyAfterStartUp()
    {
        Rig rig;
        GraphWindow &g = rig.graph();
        QCOMPARE(g.windowTitle(), QString("Real-Time Graph"));
        QVERIFY(child<QAction>(*rig.main, "RealTimeGraph1")->isChecked());
        QVERIFY(child<QToolButton>(g, "tbntClr")->isVisible());
        QVERIFY(child<QFrame>(g, "pnlSamplingRate")->isEnabled());
        QCOMPARE(child<QComboBox>(g, "ComboBox1")->currentText(), QString("00"));
        QCOMPARE(child<QComboBox>(g, "ComboBox2")->currentText(), QString("02"));
        QCOMPARE(rig.chart().Points(), 100);
        QCOMPARE(qRound((rig.chart().ManualMaxX() - rig.chart().ManualMinX()) * kv::SecondsPerDay), 110);
        QVERIFY(child<QToolButton>(g, "ToolButton5")->isEnabled());
        QVERIFY(child<QToolButton>(*rig.main, "btnRun")->isEnabled());
        QVERIFY(!child<QToolButton>(*rig.main, "btnStop")->isEnabled());
    }

    void countOfFiveStopsByItself()
    {
        Rig rig;
        rig.meter.setReading(45.0, 21.5, 30.0);
        rig.run(" 5");
        QVERIFY(rig.main->recorder().isRecording());
        QVERIFY(!child<QToolButton>(*rig.main, "btnRun")->isEnabled());
        QVERIFY(child<QToolButton>(*rig.main, "btnStop")->isEnabled());
        QVERIFY(!child<QToolButton>(rig.graph(), "tbntClr")->isEnabled());
        rig.tickUntil(6);

        QVERIFY(!rig.main->recorder().isRecording());
        QCOMPARE(rig.main->recorder().count(), 5);
        QCOMPARE(rig.chart().Points(), 5);
        QCOMPARE(child<QLineEdit>(rig.graph(), "txtDataNo")->text(), QString("5"));
        QCOMPARE(child<QLineEdit>(rig.graph(), "txtRHAvg")->text(), QString("45.0"));
        QCOMPARE(child<QLineEdit>(rig.graph(), "txtT1Avg")->text(), QString("21.5"));
        QCOMPARE(child<QLineEdit>(rig.graph(), "txtT2Avg")->text(), QString("30.0"));
        QVERIFY(rig.main->recorder().isUnsaved());
        QVERIFY(child<QToolButton>(*rig.main, "btnRun")->isEnabled());
        QVERIFY(!child<QToolButton>(*rig.main, "btnStop")->isEnabled());
        QVERIFY(child<QToolButton>(rig.graph(), "tbntClr")->isEnabled());
        // Two seconds between the points, all five channels on the same time.
        for (int p = 1; p < 5; ++p) {
            QCOMPARE(qRound((rig.chart().XDataII(0, p) - rig.chart().XDataII(0, p - 1)) * kv::SecondsPerDay), 2);
            QCOMPARE(rig.chart().XDataII(4, p), rig.chart().XDataII(0, p));
        }
        QVERIFY(child<QLineEdit>(rig.graph(), "txtRHMax")->text().startsWith("45.0@"));
    }

    void stopCutsPointsToTheCount()
    {
        Rig rig;
        rig.run("2000");
        QCOMPARE(rig.chart().Points(), 2000);
        rig.tickUntil(3);
        QCOMPARE(rig.main->recorder().count(), 3);
        rig.tick();
        rig.main->stopRecording();
        QVERIFY(!rig.main->recorder().isRecording());
        QCOMPARE(rig.chart().Points(), 3);
        QCOMPARE(rig.chart().ManualMaxX(), kv::ToDateTime(rig.now));
        QVERIFY(rig.chart().XDataII(0, 2) > 0);
        QVERIFY(!child<QLineEdit>(rig.graph(), "txtT1Avg")->text().isEmpty());
        // The data stay: the next Run asks first; Cancel leaves all as it is.
        rig.prompts.answers.push_back(kv::Answer::Cancel);
        rig.main->startRecording();
        QCOMPARE(rig.prompts.shown.last(), RunQuestion);
        QCOMPARE(rig.chart().Points(), 3);
        QVERIFY(rig.prompts.dialogs.empty() && rig.prompts.unexpected == 0);
    }

    void stopBeforeTheFirstSampleKeepsEmptyPoints()
    {
        Rig rig;
        rig.run("50");
        rig.main->stopRecording();
        QCOMPARE(rig.chart().Points(), 50);
        QCOMPARE(child<QLineEdit>(rig.graph(), "txtRHAvg")->text(), QString("****"));
        // Nothing was recorded: Run starts again without a question.
        rig.run("10");
        QVERIFY(rig.main->recorder().isRecording());
        QVERIFY(rig.prompts.shown.isEmpty());
    }

    void outOfRangeReadingsAreMarkers_data()
    {
        QTest::addColumn<double>("rh");
        QTest::addColumn<double>("t2");
        QTest::addColumn<QList<float>>("stored");
        QTest::addColumn<QString>("rhMax");
        QTest::addColumn<QString>("t2Min");
        QTest::newRow("T2 below range") << 45.0 << -250.0 << QList<float>{45.0f, 21.5f, -9000.0f} << "45.0@"
                                        << "-OL";
        QTest::newRow("RH above range") << 105.0 << 30.0 << QList<float>{9000.0f, 21.5f, 30.0f, 9999.0f, 9999.0f}
                                        << "OL" << "30.0@";
    }
    void outOfRangeReadingsAreMarkers()
    {
        QFETCH(double, rh);
        QFETCH(double, t2);
        QFETCH(QList<float>, stored);
        QFETCH(QString, rhMax);
        QFETCH(QString, t2Min);
        Rig rig;
        rig.meter.setReading(rh, 21.5, t2);
        rig.run("10");
        rig.tickUntil(1);
        QCOMPARE(rig.main->recorder().count(), 1);
        for (int s = 0; s < stored.size(); ++s)
            QCOMPARE(rig.chart().YData(s, 0), stored[s]);
        const QString rhMaxShown = child<QLineEdit>(rig.graph(), "txtRHMax")->text();
        QVERIFY2(rhMaxShown.startsWith(rhMax), qPrintable(rhMaxShown));
        const QString t2MinShown = child<QLineEdit>(rig.graph(), "txtT2Min")->text();
        QVERIFY2(t2MinShown.startsWith(t2Min), qPrintable(t2MinShown));
        // Markers never stop a recording.
        QVERIFY(rig.main->recorder().isRecording());
    }

    void markersFromFlags_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<float>("t2");
        QTest::addColumn<QList<float>>("stored");
        QTest::addColumn<QString>("t2Max");
        QTest::newRow("T2 over") << 0x04 << 1500.0f << QList<float>{40, 20, 9000, 15, 10} << "OL";
        QTest::newRow("T2 flagged at zero") << 0x40 << 0.0f << QList<float>{40, 20, 0, 15, 10} << "0.0@";
        QTest::newRow("T1 under") << 0x20 << 25.0f << QList<float>{40, 9000, 25, 9999, 9999} << "25.0@";
    }
    void markersFromFlags()
    {
        QFETCH(int, status);
        QFETCH(float, t2);
        QFETCH(QList<float>, stored);
        QFETCH(QString, t2Max);
        Rig rig;
        rig.run("10");
        kv::LiveReading reading;
        reading.Rh = 40;
        reading.T1 = 20;
        reading.T2 = t2;
        reading.WetBulb = 15;
        reading.DewPoint = 10;
        reading.StatusByte = std::uint8_t(status);
        rig.graph().addSample(reading, rig.now);
        for (int s = 0; s < stored.size(); ++s)
            QCOMPARE(rig.chart().YData(s, 0), stored[s]);
        const QString t2MaxShown = child<QLineEdit>(rig.graph(), "txtT2Max")->text();
        QVERIFY2(t2MaxShown.startsWith(t2Max), qPrintable(t2MaxShown));
    }

    void timeAxisGrowsByTheMargin()
    {
        Rig rig;
        rig.run("500");
        const double end = rig.chart().ManualMaxX();
        QCOMPARE(qRound((end - rig.chart().ManualMinX()) * kv::SecondsPerDay), 100);
        // 60 samples at 2 s pass the end once.
        rig.tickUntil(60);
        QVERIFY(rig.chart().ManualMaxX() > end);
        QVERIFY(rig.chart().ManualMaxX() - rig.chart().XDataII(0, rig.main->recorder().count() - 1)
                <= rig.main->recorder().timeAxisMargin() + 1e-9);
    }

    void setupDialogPeriodText()
    {
        Rig rig;
        QStringList seen;
        rig.prompts.dialogs.push_back([&](QDialog &d) {
            auto *count = child<QLineEdit>(d, "edtRealTimeNo");
            auto *period = child<QLineEdit>(d, "edtPeriod");
            auto *minutes = child<QComboBox>(d, "ComboBox1");
            auto *seconds = child<QComboBox>(d, "ComboBox2");
            // As a user picks an item: the box changes, then reports it.
            const auto choose = [](QComboBox *box, int index) {
                box->setCurrentIndex(index);
                emit box->activated(index);
            };
            seen << d.windowTitle() << count->text() << period->text();
            choose(seconds, 3);
            choose(seconds, 2);
            seen << period->text();
            choose(seconds, 0);
            seen << minutes->currentText() + ":" + seconds->currentText();
            count->setText("x");
            choose(minutes, minutes->currentIndex());
            seen << period->text();
            return int(QDialog::Rejected);
        });
        rig.main->startRecording();
        QCOMPARE(seen, (QStringList{"Real-Time Setup", " 2000", "1:6:40", "1:06:40", "00:02", "0:00:00"}));
        QVERIFY(!rig.main->recorder().isRecording());
    }

    void invalidCountStartsNothing_data()
    {
        QTest::addColumn<QString>("count");
        QTest::newRow("empty") << "";
        QTest::newRow("blanks") << "   ";
        QTest::newRow("zero") << "0";
    }
    void invalidCountStartsNothing()
    {
        QFETCH(QString, count);
        Rig rig;
        rig.scriptSetup(count, 0, 5);
        rig.main->startRecording();
        QCOMPARE(rig.prompts.shown, QStringList{count + " is not valid.\n"});
        QVERIFY(!rig.main->recorder().isRecording());
        QCOMPARE(rig.main->recorder().period(), 2);
        // The dialog's boxes were taken over even so.
        QCOMPARE(child<QComboBox>(rig.graph(), "ComboBox2")->currentText(), QString("05"));
    }

    void runAndStopRestoreTheWindow_data()
    {
        QTest::addColumn<bool>("stop"); // Stop, else Run
        QTest::addColumn<Qt::WindowState>("state");
        QTest::newRow("run, minimised") << false << Qt::WindowMinimized;
        QTest::newRow("run, maximised") << false << Qt::WindowMaximized;
        QTest::newRow("stop, minimised") << true << Qt::WindowMinimized;
        QTest::newRow("stop, maximised") << true << Qt::WindowMaximized;
    }
    void runAndStopRestoreTheWindow()
    {
        QFETCH(bool, stop);
        QFETCH(Qt::WindowState, state);
        Rig rig;
        if (stop)
            rig.run(QStringLiteral("10"));
        QWidget *frame = rig.graph().parentWidget();
        QVERIFY(frame);
        frame->setWindowState(state);
        QVERIFY(frame->windowState() & state);
        if (stop)
            rig.main->stopRecording();
        else
            rig.run(QStringLiteral("10"));
        QVERIFY(!(frame->windowState() & (Qt::WindowMinimized | Qt::WindowMaximized)));
    }

    void runNeedsAMeterAndAPeriod()
    {
        Rig rig;
        rig.meter.faults().setDeviceAbsent(true);
        for (int i = 0; i < 3; ++i)
            rig.tick();
        QVERIFY(!rig.main->connection().link().isConnected());
        rig.main->startRecording();
        QVERIFY(rig.prompts.fileRequests.isEmpty() && rig.prompts.unexpected == 0);
        rig.meter.faults().setDeviceAbsent(false);
        rig.tick();
        rig.scriptSetup("10", 0, 0);
        rig.main->startRecording();
        QVERIFY(!rig.main->recorder().isRecording());
        QVERIFY(rig.prompts.shown.isEmpty());
    }

    void runCreatesAClosedWindow()
    {
        Rig rig;
        rig.graph().parentWidget()->close();
        QVERIFY(!rig.main->realTimeGraph());
        QVERIFY(!child<QAction>(*rig.main, "RealTimeGraph1")->isChecked());
        rig.run("10");
        QVERIFY(rig.main->realTimeGraph());
        QVERIFY(rig.main->recorder().isRecording());
        rig.tickUntil(1);
        QCOMPARE(rig.main->recorder().count(), 1);
    }

    void periodChangeAsksThenResets()
    {
        Rig rig;
        rig.run("100");
        rig.tickUntil(2);
        GraphWindow &g = rig.graph();
        QComboBox *minutes = child<QComboBox>(g, "ComboBox1");
        QComboBox *seconds = child<QComboBox>(g, "ComboBox2");

        // Cancel: the new period is in force, the recording goes on.
        rig.prompts.answers.push_back(kv::Answer::Cancel);
        seconds->setCurrentIndex(5);
        emit seconds->activated(5);
        QCOMPARE(rig.prompts.shown.last(), RateQuestion);
        QCOMPARE(rig.main->recorder().period(), 5);
        QVERIFY(rig.main->recorder().isRecording());
        QCOMPARE(rig.main->recorder().count(), 2);

        // No: the recording ends and the graph is cleared.
        rig.prompts.answers.push_back(kv::Answer::No);
        seconds->setCurrentIndex(10);
        emit seconds->activated(10);
        QVERIFY(!rig.main->recorder().isRecording());
        QCOMPARE(rig.main->recorder().count(), 0);
        QCOMPARE(rig.chart().YData(0, 0), 9999.0f);
        QCOMPARE(qRound(rig.main->recorder().timeAxisMargin() * kv::SecondsPerDay), 1000);
        QVERIFY(child<QToolButton>(*rig.main, "btnRun")->isEnabled());
        QVERIFY(child<QToolButton>(g, "tbntClr")->isEnabled());

        // Without data no question; a zero period turns into 2 s.
        const int questions = int(rig.prompts.shown.size());
        minutes->setCurrentIndex(0);
        seconds->setCurrentIndex(0);
        emit seconds->activated(0);
        QCOMPARE(int(rig.prompts.shown.size()), questions);
        QCOMPARE(rig.main->recorder().period(), 2);
        QCOMPARE(seconds->currentText(), QString("02"));
    }

    void clearAsksAndEmptiesTheGraph()
    {
        Rig rig;
        rig.run("5");
        rig.tickUntil(5);
        QVERIFY(!rig.main->recorder().isRecording());
        rig.prompts.answers.push_back(kv::Answer::No);
        child<QToolButton>(rig.graph(), "tbntClr")->click();
        QCOMPARE(rig.prompts.shown.last(), QString("Save Real-Time Graph ?"));
        QCOMPARE(rig.main->recorder().count(), 0);
        QCOMPARE(rig.chart().XDataII(0, 0), 0.0);
        QCOMPARE(child<QLineEdit>(rig.graph(), "txtDataNo")->text(), QString());
        QCOMPARE(child<QLineEdit>(rig.graph(), "txtRHAvg")->text(), QString());
        QVERIFY(!child<QToolButton>(rig.graph(), "UndoZoom")->isEnabled());
        // Nothing is left to save, so closing asks nothing.
        rig.graph().parentWidget()->close();
        QVERIFY(!rig.main->realTimeGraph());
    }

    // Saved before a new run whose set-up is then cancelled: the samples stay
    // on the graph and the saved file makes the crash journal redundant.
    void savedBeforeRunDropsTheJournal()
    {
        Rig rig;
        QTemporaryDir dir;
        rig.run("3");
        rig.tickUntil(3);
        QVERIFY(!rig.main->recorder().isRecording());
        const QString journal = rig.main->journal().path();
        QVERIFY(QFileInfo::exists(journal));
        const QString file = dir.filePath("run.ghf");
        rig.prompts.answers.push_back(kv::Answer::Yes);
        rig.prompts.fileNames.push_back(file);
        rig.prompts.dialogs.push_back([](QDialog &) { return int(QDialog::Rejected); });
        rig.main->startRecording();
        QCOMPARE(rig.prompts.shown.last(), RunQuestion);
        QVERIFY(QFileInfo::exists(file));
        QCOMPARE(rig.main->recorder().count(), 3);
        QVERIFY(!QFileInfo::exists(journal));
    }

    // A journal that cannot be started is told once per recording, as a
    // message and in the status bar; a recording with a journal clears it.
    void unprotectedRecordingIsTold()
    {
        Rig rig;
        const QString journal = rig.main->journal().path();
        QVERIFY(QDir().mkpath(journal));   // a folder where the journal goes
        const auto tidy = qScopeGuard([&] { QDir(journal).removeRecursively(); });
        QLabel *status = child<QLabel>(*rig.main, "StatusJournal");
        const auto told = [&] {
            QCoreApplication::processEvents();
            return int(rig.prompts.shown.filter("This recording is not protected against a crash").size());
        };

        rig.run("3");
        rig.tickUntil(3);
        QCOMPARE(rig.main->recorder().count(), 3);
        QTRY_COMPARE(told(), 1);
        QVERIFY(rig.prompts.shown.filter("This recording is not protected").first().contains(
            QDir::toNativeSeparators(journal)));
        QVERIFY(status->isVisible());
        QCOMPARE(status->text(), QStringLiteral("Recording not protected against a crash"));

        rig.prompts.answers.push_back(kv::Answer::No);
        rig.run("2");
        rig.tickUntil(2);
        QTRY_COMPARE(told(), 2);
        QVERIFY(status->isVisible());
        if (!qEnvironmentVariableIsEmpty("KV_TEST_PICTURES"))
            rig.main->grab().save(qEnvironmentVariable("KV_TEST_PICTURES") + "/unprotectedrecording.png");

        QVERIFY(QDir(journal).removeRecursively());
        rig.prompts.answers.push_back(kv::Answer::No);
        rig.run("2");
        rig.tickUntil(2);
        QCOMPARE(told(), 2);
        QVERIFY(!status->isVisible());
        QVERIFY(QFileInfo(journal).isFile());
    }

    void savingFirstThenClearing()
    {
        Rig rig;
        QTemporaryDir dir;
        rig.run("3");
        rig.tickUntil(3);
        const QString file = dir.filePath("run.ghf");
        rig.prompts.answers.push_back(kv::Answer::Yes);
        rig.prompts.fileNames.push_back(file);
        child<QToolButton>(rig.graph(), "tbntClr")->click();
        QVERIFY(QFileInfo::exists(file));
        QCOMPARE(rig.main->recorder().count(), 0);
        QCOMPARE(rig.prompts.fileRequests.last().defaultSuffix, QString("GHF"));
        QCOMPARE(rig.prompts.fileRequests.last().folder, rig.main->initialFolder());
    }

    void closingAsksAboutUnsavedData_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("fileChosen");
        QTest::addColumn<bool>("closed");
        QTest::newRow("cancel keeps the window") << int(kv::Answer::Cancel) << false << false;
        QTest::newRow("yes, file dialog cancelled") << int(kv::Answer::Yes) << false << false;
        QTest::newRow("yes and saved") << int(kv::Answer::Yes) << true << true;
        QTest::newRow("no") << int(kv::Answer::No) << false << true;
    }
    void closingAsksAboutUnsavedData()
    {
        QFETCH(int, answer);
        QFETCH(bool, fileChosen);
        QFETCH(bool, closed);
        Rig rig;
        QTemporaryDir dir;
        rig.run("100");
        rig.tickUntil(2);
        rig.prompts.answers.push_back(kv::Answer(answer));
        if (fileChosen)
            rig.prompts.fileNames.push_back(dir.filePath("closing.txt"));
        rig.prompts.dialogs.push_back([](QDialog &) { return 1; }); // range: all
        rig.graph().parentWidget()->close();
        QCOMPARE(rig.prompts.shown.first(), QString("Save Real-Time Graph ?"));
        QCOMPARE(!rig.main->realTimeGraph(), closed);
        if (closed) {
            QVERIFY(!rig.main->recorder().isRecording());
            QCOMPARE(rig.main->recorder().count(), 0);
            QVERIFY(!rig.main->recorder().isUnsaved());
            QVERIFY(child<QToolButton>(*rig.main, "btnRun")->isEnabled());
            QVERIFY(!child<QToolButton>(*rig.main, "btnStop")->isEnabled());
            QVERIFY(!child<QAction>(*rig.main, "RealTimeGraph1")->isChecked());
        } else {
            QVERIFY(rig.main->recorder().isUnsaved());
            QVERIFY(rig.main->recorder().isRecording());
            rig.tickUntil(3);
            QCOMPARE(rig.main->recorder().count(), 3);
        }
        if (fileChosen) {
            QFile file(dir.filePath("closing.txt"));
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll().count("\r\n"), 2);
        }
    }
};

QTEST_MAIN(TestRealTime)
#include "tst_realtime.moc"
