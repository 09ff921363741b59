// The poll tick and the connection state machine, driven through the
// simulated meter.
#include "ui/mainwindow.h"
#include "link/commands.h"
#include "live/poll.h"
#include "sim/simclock.h"
#include "sim/simmeter.h"
#include "sim/simusbtransfer.h"
#include "tests/support/children.h"
#include "tests/testsupport.h"

#include <QAction>
#include <QMenu>
#include <QToolButton>
#include <QtTest>

namespace {

struct FakeView : kv::PollView {
    QStringList events;
    int panelUpdates = 0;
    int samples = 0;
    bool recording = false;
    int rate = 2;
    void ShowConnectionFound() override { events << "found"; }
    void ShowConnectionLost() override { events << "lost"; }
    void ShowLinkDropped() override { events << "dropped"; }
    void HideLinkPicture() override { events << "hide link"; }
    void UpdatePanel(const kv::LiveReading &) override { ++panelUpdates; }
    bool IsRecordingRealTime() const override { return recording; }
    int RealTimeSamplingPeriod() const override { return rate; }
    void AddRealTimeSample(const kv::LiveReading &, const QDateTime &) override { ++samples; }
};

// Rewrites replies on their way in (display memory blanked to 0xFF).
class BlankDisplayTransfer : public kv::SimUsbTransfer {
public:
    using SimUsbTransfer::SimUsbTransfer;
    bool blank = false;
    int ReadReply(int length, std::uint8_t *buffer) override
    {
        const int r = SimUsbTransfer::ReadReply(length, buffer);
        if (r == 0 && blank && length == 64)
            std::fill(buffer + 40, buffer + 60, 0xFF);
        return r;
    }
};

struct Rig {
    kv::ManualSimClock clock;
    kv::SimMeter meter{&clock, kv::SimOptions{1, false, false, {}}};
    BlankDisplayTransfer usb{meter};
    kv::MeterLink link{usb};
    FakeView view;
    kv::PollLoop poll{link, view};
    QDateTime now{QDate(2026, 1, 2), QTime(10, 0, 0)};

    Rig()
    {
        poll.Clock = [this] { return now; };
    }
    // One tick half a second after the previous one.
    void tick()
    {
        now = now.addMSecs(500);
        clock.advanceMs(500);
        poll.PollTick();
    }
};

} // namespace

class TestPoll : public QObject {
    Q_OBJECT
private slots:
    void connectsOnFirstTick()
    {
        Rig rig;
        rig.tick();
        QVERIFY(rig.link.isConnected());
        QVERIFY(rig.link.isUsb());
        QVERIFY(!rig.link.isSerial());
        QCOMPARE(rig.view.events, (QStringList{"hide link", "found"}));
        QVERIFY(!rig.link.LinkBusy);
        rig.tick();
        QCOMPARE(rig.view.panelUpdates, 1);
        QCOMPARE(rig.meter.frameCount(kv::cmd::Live), 1);
    }

    void absentMeterIsFoundWithinATick()
    {
        Rig rig;
        rig.meter.faults().setDeviceAbsent(true);
        for (int i = 0; i < 4; ++i)
            rig.tick();
        QVERIFY(!rig.link.isConnected());
        QVERIFY(rig.view.events.isEmpty());
        rig.meter.faults().setDeviceAbsent(false);
        rig.tick();
        QVERIFY(rig.link.isConnected());
    }

    void wrongIdentificationLeavesNoMeter()
    {
        Rig rig;
        rig.meter.faults().inject(kv::SimFault::WrongMarkers, 1, kv::cmd::Identify);
        rig.tick();
        QVERIFY(!rig.link.isConnected());
        rig.tick();
        QVERIFY(rig.link.isConnected());
    }

    void failuresEndTheConnection_data()
    {
        QTest::addColumn<QString>("pattern"); // f = failing exchange, s = good one
        QTest::addColumn<bool>("connected");
        QTest::newRow("three in a row") << "fff" << false;
        QTest::newRow("two one two") << "ffsff" << true;
        QTest::newRow("two then good") << "ffs" << true;
    }
    void failuresEndTheConnection()
    {
        QFETCH(QString, pattern);
        QFETCH(bool, connected);
        Rig rig;
        rig.tick(); // identified
        for (const QChar c : pattern) {
            if (c == 'f')
                rig.meter.faults().inject(kv::SimFault::NoReply, 1, kv::cmd::Live);
            rig.tick();
        }
        QCOMPARE(rig.link.isConnected(), connected);
        QCOMPARE(rig.view.events.contains("lost"), !connected);
        if (!connected) {
            QVERIFY(!rig.link.isUsb());
            QCOMPARE(rig.poll.PollFailures, 0);
            QVERIFY(!rig.poll.Reading.RecBlink);
            QVERIFY(!rig.poll.Reading.MmaMode);
        }
    }

    void faultsCountAsFailures_data()
    {
        QTest::addColumn<int>("fault");
        QTest::newRow("short reply") << int(kv::SimFault::ShortReply);
        QTest::newRow("late reply") << int(kv::SimFault::LateReply);
        QTest::newRow("vanished") << -1;
    }
    void faultsCountAsFailures()
    {
        QFETCH(int, fault);
        Rig rig;
        rig.tick();
        if (fault < 0)
            rig.meter.faults().setDeviceAbsent(true);
        else
            rig.meter.faults().inject(kv::SimFault(fault), 3, kv::cmd::Live);
        for (int i = 0; i < 3; ++i)
            rig.tick();
        QVERIFY(!rig.link.isConnected());
        QCOMPARE(rig.view.panelUpdates, 0);
    }

    void wrongMarkersAreIgnoredNotCounted()
    {
        Rig rig;
        rig.tick();
        rig.meter.faults().inject(kv::SimFault::WrongMarkers, 5, kv::cmd::Live);
        for (int i = 0; i < 5; ++i)
            rig.tick();
        QVERIFY(rig.link.isConnected());
        QCOMPARE(rig.poll.PollFailures, 0);
        QCOMPARE(rig.view.panelUpdates, 0);
        rig.tick();
        QCOMPARE(rig.view.panelUpdates, 1);
    }

    void blankDisplayIsDecodedButNotDrawn()
    {
        Rig rig;
        rig.view.recording = true;
        rig.view.rate = 0;
        rig.meter.setReading(45.0, 21.5, 30.0);
        rig.tick();
        rig.usb.blank = true;
        rig.tick();
        QCOMPARE(rig.view.panelUpdates, 0);
        QCOMPARE(rig.view.samples, 1);
        QCOMPARE(rig.poll.Reading.Rh, 45.0f);
    }

    void samplingPeriod_data()
    {
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("ticks");
        QTest::addColumn<int>("samples");
        // Ticks 500 ms apart: the second changes every other tick.
        QTest::newRow("rate 0: every good tick") << 0 << 10 << 10;
        QTest::newRow("rate 2: every two seconds") << 2 << 20 << 5;
    }
    void samplingPeriod()
    {
        QFETCH(int, rate);
        QFETCH(int, ticks);
        QFETCH(int, samples);
        Rig rig;
        rig.tick(); // identification tick
        rig.view.recording = true;
        rig.view.rate = rate;
        rig.poll.SecondTicks = 0;
        for (int i = 0; i < ticks; ++i)
            rig.tick();
        QCOMPARE(rig.view.samples, samples);
    }

    void secondTicksRunOnThroughFailures()
    {
        Rig rig;
        rig.tick();
        rig.view.recording = true;
        rig.view.rate = 1;
        rig.tick();
        rig.poll.SecondTicks = 0;
        rig.view.samples = 0;
        rig.meter.faults().inject(kv::SimFault::NoReply, 2, kv::cmd::Live);
        rig.tick();
        rig.tick(); // a second change is seen during the failures
        QCOMPARE(rig.view.samples, 0);
        rig.tick(); // so the first good tick records at once
        QCOMPARE(rig.view.samples, 1);
    }

    void dropLinkIsQuiet()
    {
        Rig rig;
        rig.tick();
        rig.poll.Reading.RecBlink = true;
        rig.poll.DropLink();
        QVERIFY(!rig.link.isConnected());
        QVERIFY(!rig.poll.Reading.RecBlink);
        QCOMPARE(rig.view.events.last(), QString("dropped"));
        rig.tick(); // the next tick identifies the meter again
        QVERIFY(rig.link.isConnected());
    }

    // The main window shows the state: status texts and the Run/Stop controls.
    void mainWindowShowsTheState()
    {
        kvtest::UseIsolatedPaths();
        kv::ManualSimClock clock;
        kv::SimMeter meter(&clock, kv::SimOptions{1, false, false, {}});
        kv::SimUsbTransfer usb(meter);
        MainWindow main(usb);
        main.show();
        QCOMPARE(main.statusText(1), QString("Off Connection"));
        main.connection().poll().PollTick();
        QCOMPARE(main.statusText(1), QString("On Connection"));
        QVERIFY(child<QToolButton>(main, "btnRun")->isEnabled());
        QVERIFY(child<QAction>(main, "Run1")->isEnabled());
        QVERIFY(!child<QToolButton>(main, "btnStop")->isEnabled());
        QVERIFY(child<QToolButton>(main, "btnDataLogger")->isEnabled());
        meter.faults().setDeviceAbsent(true);
        for (int i = 0; i < 3; ++i)
            main.connection().poll().PollTick();
        QCOMPARE(main.statusText(1), QString("No Connection"));
        QVERIFY(!child<QToolButton>(main, "btnRun")->isEnabled());
        QVERIFY(!child<QToolButton>(main, "btnDataLogger")->isEnabled());
        QVERIFY(!child<QMenu>(main, "DataLogger1")->menuAction()->isEnabled());
    }
};

QTEST_MAIN(TestPoll)
#include "tst_poll.moc"
