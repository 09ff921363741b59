// The connection without any window: USB identification and samples through
// the poll tick, serial connection and port search on a pseudo-terminal
// meter, and a close during the search.

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

} // namespace

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
};

QTEST_GUILESS_MAIN(TestConnection)
#include "tst_connection.moc"
