// The connection without any window: USB identification and samples through
// the poll tick, serial connection and port search on a pseudo-terminal
// meter, a close during the search, and the rule that one operation owns the
// link at a time.

#include "app/connection.h"
#include "realtime/recorder.h"
#include "sim/simusbtransfer.h"
#include "tests/support/ptymeter.h"

#include <QSignalSpy>
#include <QtTest>

namespace {

// A USB transfer where no meter answers.
struct NoUsbMeter {
    kv::SimMeter meter{nullptr, kvtest::QuietMeter()};
    kv::SimUsbTransfer usb{meter};
    NoUsbMeter() { usb.setUnplugged(true); }
};

// Records what a search shows; may close the connection at a given step.
struct SearchLog : kv::PortSearchView {
    kv::Connection *closeAt = nullptr;
    int closeAtIndex = -1;
    QList<int> indexes;
    QStringList devices;
    void searchingOn(int index, const QString &device) override
    {
        indexes << index;
        devices << device;
        if (closeAt && index == closeAtIndex)
            closeAt->close();
    }
};

const QString MissingPort = QStringLiteral("/dev/kv3917-no-such-port");

// The users of the link that a held link refuses.
enum class LinkUser { ConnectPort, SearchPorts, DropLink, SecondLease };

} // namespace

Q_DECLARE_METATYPE(LinkUser)

class TestConnection : public QObject {
    Q_OBJECT
private slots:
    void usbMeterIsFoundAndSamplesFollowTheRecorder()
    {
        kv::SimMeter meter(nullptr, kvtest::QuietMeter());
        kv::SimUsbTransfer usb(meter);
        kv::RealTimeRecorder recorder;
        kv::Connection connection(usb, recorder);
        QDateTime now(QDate(2026, 12, 10), QTime(10, 0, 0));
        connection.poll().Clock = [&] { return now; };
        QSignalSpy found(&connection, &kv::Connection::connectionFound);
        QSignalSpy pictureHidden(&connection, &kv::Connection::linkPictureHidden);
        QSignalSpy readings(&connection, &kv::Connection::readingDecoded);
        QSignalSpy samples(&connection, &kv::Connection::sampleDue);

        connection.poll().PollTick(); // identification
        QCOMPARE(connection.kind(), kv::LinkKind::Usb);
        QCOMPARE(found.count(), 1);
        QCOMPARE(pictureHidden.count(), 1);

        connection.poll().PollTick();
        QCOMPARE(readings.count(), 1);
        QCOMPARE(samples.count(), 0); // not recording

        recorder.setPeriod(2);
        recorder.start(10);
        for (int s = 1; s <= 4; ++s) {
            now = now.addSecs(1);
            connection.poll().PollTick();
        }
        QCOMPARE(samples.count(), 2); // one every two seconds
        QCOMPARE(samples.last().at(1).toDateTime(), now);
    }

    void connectPort_data()
    {
        QTest::addColumn<bool>("meterPort");
        QTest::addColumn<bool>("connected");
        QTest::newRow("meter on the port") << true << true;
        QTest::newRow("no such port") << false << false;
    }

    void connectPort()
    {
        QFETCH(bool, meterPort);
        QFETCH(bool, connected);
        kvtest::PtyMeter pty;
        pty.start();
        NoUsbMeter none;
        kv::RealTimeRecorder recorder;
        kv::Connection connection(none.usb, recorder);
        QSignalSpy found(&connection, &kv::Connection::connectionFound);
        QSignalSpy lost(&connection, &kv::Connection::connectionLost);

        connection.connectPort(meterPort ? pty.path() : MissingPort);
        QCOMPARE(connection.isConnected(), connected);
        QCOMPARE(connection.isSerial(), connected);
        QCOMPARE(found.count(), connected ? 1 : 0);
        QCOMPARE(lost.count(), connected ? 0 : 1);
        QCOMPARE(connection.serialPort().isOpen(), meterPort);
        QVERIFY(connection.isPolling()); // the lease gives the link back
    }

    void searchFindsTheMeterAfterAMissingPort()
    {
        kvtest::PtyMeter pty;
        pty.start();
        NoUsbMeter none;
        kv::RealTimeRecorder recorder;
        kv::Connection connection(none.usb, recorder);
        QSignalSpy found(&connection, &kv::Connection::connectionFound);
        SearchLog log;

        QVERIFY(connection.searchPorts({MissingPort, pty.path()}, log));
        QCOMPARE(log.indexes, (QList<int>{0, 1}));
        QCOMPARE(log.devices, (QStringList{MissingPort, pty.path()}));
        QVERIFY(connection.isSerial());
        QCOMPARE(found.count(), 1);
        QCOMPARE(connection.serialPort().deviceName(), pty.path());
        QVERIFY(connection.isPolling());
    }

    void closeDuringSearchLeavesNothingOpen()
    {
        kvtest::PtyMeter pty;
        pty.start();
        NoUsbMeter none;
        kv::RealTimeRecorder recorder;
        kv::Connection connection(none.usb, recorder);
        connection.startPolling();
        QSignalSpy found(&connection, &kv::Connection::connectionFound);
        SearchLog log;
        log.closeAt = &connection;
        log.closeAtIndex = 0;

        QVERIFY(!connection.searchPorts({pty.path()}, log));
        QVERIFY(!connection.isConnected());
        QVERIFY(!connection.serialPort().isOpen());
        QCOMPARE(found.count(), 0);
        QVERIFY(!connection.isPolling());
        connection.startPolling(); // nothing starts polling after close
        QVERIFY(!connection.isPolling());
        connection.connectPort(pty.path());
        QVERIFY(!connection.isConnected());
    }

    // While an operation holds the link, every other user is refused and
    // leaves the connection as it was; nothing restarts polling under the
    // holder, and polling comes back when it ends.
    void heldLinkRefusesOtherUsers_data()
    {
        QTest::addColumn<LinkUser>("user");
        QTest::newRow("port typed") << LinkUser::ConnectPort;
        QTest::newRow("port search") << LinkUser::SearchPorts;
        QTest::newRow("disconnect") << LinkUser::DropLink;
        QTest::newRow("second operation") << LinkUser::SecondLease;
    }

    void heldLinkRefusesOtherUsers()
    {
        QFETCH(LinkUser, user);
        kvtest::PtyMeter pty;
        pty.start();
        NoUsbMeter none;
        kv::RealTimeRecorder recorder;
        kv::Connection connection(none.usb, recorder);
        QVERIFY(connection.connectPort(pty.path()));
        QVERIFY(connection.isSerial());
        connection.startPolling();
        QSignalSpy held(&connection, &kv::Connection::linkHeld);
        QSignalSpy found(&connection, &kv::Connection::connectionFound);
        QSignalSpy lost(&connection, &kv::Connection::connectionLost);
        QSignalSpy dropped(&connection, &kv::Connection::linkDropped);
        SearchLog log;
        {
            kv::LinkLease operation(connection.link(), true);
            QVERIFY(operation.held());
            QVERIFY(connection.isLinkHeld());
            QVERIFY(!connection.isPolling());
            QCOMPARE(held.count(), 1);
            QCOMPARE(held.last().at(0).toBool(), true);

            switch (user) {
            case LinkUser::ConnectPort:
                QVERIFY(!connection.connectPort(MissingPort));
                break;
            case LinkUser::SearchPorts:
                QVERIFY(!connection.searchPorts({MissingPort, pty.path()}, log));
                break;
            case LinkUser::DropLink:
                QVERIFY(!connection.dropLink());
                break;
            case LinkUser::SecondLease: {
                const kv::LinkLease second(connection.link(), true);
                QVERIFY(!second.held());
                break;
            }
            }
            QVERIFY(log.indexes.isEmpty());
            QVERIFY(connection.isSerial());
            QVERIFY(connection.serialPort().isOpen());
            QCOMPARE(connection.serialPort().deviceName(), pty.path());
            QCOMPARE(found.count() + lost.count() + dropped.count(), 0);
            QVERIFY(connection.isLinkHeld()); // a refused user ends no hold
            connection.startPolling();
            QVERIFY(!connection.isPolling());
        }
        QVERIFY(!connection.isLinkHeld());
        QVERIFY(connection.isPolling());
        QCOMPARE(held.count(), 2);
        QCOMPARE(held.last().at(0).toBool(), false);
        QVERIFY(connection.dropLink()); // served again
        QVERIFY(!connection.isSerial());
    }

    // The steps of the holding operation (a page selection, the drop after
    // a USB download) join its hold: whichever ends first does not restart
    // polling under it.
    void stepsJoinTheOperationsHold()
    {
        kv::SimMeter meter(nullptr, kvtest::QuietMeter());
        kv::SimUsbTransfer usb(meter);
        kv::RealTimeRecorder recorder;
        kv::Connection connection(usb, recorder);
        connection.poll().PollTick();
        QVERIFY(connection.link().isUsb());
        connection.startPolling();
        QSignalSpy held(&connection, &kv::Connection::linkHeld);
        {
            kv::LinkLease operation(connection.link(), true);
            connection.link().setPause([](int) {});
            QCOMPARE(connection.link().ReadMemoryPage(1), int(kv::PageOk));
            QVERIFY(!connection.isPolling());
            {
                const kv::LinkLease step(connection.link(), true, kv::LinkLease::Join);
                QVERIFY(step.held());
            }
            QVERIFY(!connection.isPolling());
            connection.poll().DropLink();
            QVERIFY(!connection.isConnected());
            QVERIFY(!connection.isPolling());
            QVERIFY(connection.isLinkHeld());
            QCOMPARE(held.count(), 1);
            operation.release();
            QVERIFY(connection.isPolling());
        } // released once only
        QVERIFY(connection.isPolling());
        QCOMPARE(held.count(), 2);

        // A step on its own takes the link and gives it back.
        {
            const kv::LinkLease step(connection.link(), true, kv::LinkLease::Join);
            QVERIFY(!connection.isPolling());
        }
        QVERIFY(connection.isPolling());
        QCOMPARE(held.count(), 4);
    }
};

QTEST_GUILESS_MAIN(TestConnection)
#include "tst_connection.moc"
