// The service core with real parts: simulated meters on pseudo-terminals and
// simulated USB meters plugged in and out in-process, read through the
// desktop's link, poll loop and decoder on one session thread each.

#include "service/service.h"
#include "link/commands.h"
#include "link/devicelock.h"
#include "tests/support/ptymeter.h"
#include "tests/support/simusbsource.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <map>
#include <unistd.h>

using namespace kv::service;

namespace {

// Generous for a loaded two-core machine under the sanitizers.
constexpr int UpWaitMs = 15000;
constexpr int ReadingsWaitMs = 20000;

struct MeterLog {
    int ups = 0;
    int downs = 0;
    std::vector<MeterReading> readings;
};

// Records what the service hands its sinks, per serial text.
class RecordingSink : public Sink {
public:
    std::map<QString, MeterLog> meters;
    std::vector<QString> order; // "up X", "down X" as they came
    bool stopped = false;

    void meterUp(const MeterInfo &m) override
    {
        ++meters[m.serial].ups;
        order.push_back(QStringLiteral("up ") + m.serial);
    }
    void reading(const MeterInfo &m, const MeterReading &r) override { meters[m.serial].readings.push_back(r); }
    void meterDown(const MeterInfo &m) override
    {
        ++meters[m.serial].downs;
        order.push_back(QStringLiteral("down ") + m.serial);
    }
    void stop() override { stopped = true; }

    int readingCount(const QString &serial) { return int(meters[serial].readings.size()); }
};

std::optional<MeterStatus> StatusOf(const Service &service, const QString &serial)
{
    for (const MeterStatus &m : service.meters())
        if (m.info.serial == serial)
            return m;
    return std::nullopt;
}

MeterState StateOf(const Service &service, const QString &serial)
{
    const auto s = StatusOf(service, serial);
    return s ? s->state : MeterState::Connecting;
}

void VerifyValues(const MeterReading &r, double rh, double t1, double t2)
{
    QVERIFY(r.values[int(ChannelId::Rh)].has_value());
    QVERIFY(r.values[int(ChannelId::T1)].has_value());
    QVERIFY(r.values[int(ChannelId::T2)].has_value());
    // The meter resolves 0.1 (T2 in tenths of °F).
    QVERIFY2(qAbs(*r.values[int(ChannelId::Rh)] - rh) < 0.051, qPrintable(QString::number(*r.values[0])));
    QVERIFY2(qAbs(*r.values[int(ChannelId::T1)] - t1) < 0.051, qPrintable(QString::number(*r.values[1])));
    QVERIFY2(qAbs(*r.values[int(ChannelId::T2)] - t2) < 0.06, qPrintable(QString::number(*r.values[2])));
    QVERIFY(r.values[int(ChannelId::DewPoint)].has_value());
    QVERIFY(*r.values[int(ChannelId::DewPoint)] < t1);
}

long ResidentKb()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> f = statm.readAll().split(' ');
    return f.size() > 1 ? f[1].toLong() * (sysconf(_SC_PAGESIZE) / 1024) : -1;
}

ServiceConfig NoUsbConfig()
{
    ServiceConfig c;
    c.usb = false;
    return c;
}

} // namespace

class TestService : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void pseudoTerminalAndUsbMetersReachTheSink();
    void badInputKeepsTheOthersServed_data();
    void badInputKeepsTheOthersServed();
    void unplugMarksDownAtOnceAndReplugComesBack();
    void exclusiveJobPausesPolling();
    void reconfigureAddsAndRemovesPorts();
    void stopClosesPortsAndTellsTheSinks();
    void lockedPortIsRefusedNamingTheHolder();

private:
    QTemporaryDir m_lockDir;
};

void TestService::initTestCase()
{
    QVERIFY(m_lockDir.isValid());
    qputenv("KV3917_LOCK_DIR", m_lockDir.path().toLocal8Bit());
}

void TestService::pseudoTerminalAndUsbMetersReachTheSink()
{
    kvtest::PtyMeter ptyA, ptyB;
    ptyA.meter.setReading(41.0, 22.5, 25.0);
    ptyB.meter.setReading(63.0, 18.0, 30.0);
    ptyA.start();
    ptyB.start();
    auto usbSource = std::make_unique<kvtest::SimUsbSource>();
    auto plug = usbSource->add(QStringLiteral("USB-METER-1"), 52.0, 26.5, 35.0);
    usbSource->plug(plug);

    RecordingSink sink;
    Service service;
    service.setUsbSource(std::move(usbSource));
    service.addSink(&sink);
    ServiceConfig config;
    config.ports = {ptyA.path(), ptyB.path()};
    service.start(config);

    const QString a = SerialPortMeterName(ptyA.path());
    const QString b = SerialPortMeterName(ptyB.path());
    const QString u = QStringLiteral("USB-METER-1");
    QTRY_VERIFY_WITH_TIMEOUT(sink.readingCount(a) >= 3 && sink.readingCount(b) >= 3 && sink.readingCount(u) >= 3,
                             ReadingsWaitMs);
    QCOMPARE(service.meterCount(), 3);
    QCOMPARE(service.metersUp(), 3);
    QVERIFY(service.pollingProgresses());
    VerifyValues(sink.meters[a].readings.back(), 41.0, 22.5, 25.0);
    VerifyValues(sink.meters[b].readings.back(), 63.0, 18.0, 30.0);
    VerifyValues(sink.meters[u].readings.back(), 52.0, 26.5, 35.0);

    for (const QString &serial : {a, b, u}) {
        const MeterLog &log = sink.meters[serial];
        QCOMPARE(log.ups, 1);
        QCOMPARE(log.downs, 0);
        for (std::size_t i = 1; i < log.readings.size(); ++i)
            QVERIFY(log.readings[i].timeMs > log.readings[i - 1].timeMs);
        const MeterReading &r = log.readings.back();
        QCOMPARE(r.displayUnit, QStringLiteral("C"));
        QCOMPARE(r.thermocouple, QStringLiteral("K"));
    }
    const auto status = StatusOf(service, u);
    QVERIFY(status);
    QCOMPARE(status->info.transport, QStringLiteral("usb"));
    QVERIFY(status->last.has_value());
    QVERIFY(status->lastReadingAgeMs >= 0);
    QVERIFY(status->polls >= 3);
    QCOMPARE(StatusOf(service, a)->info.port, ptyA.path());
    QCOMPARE(StatusOf(service, a)->info.transport, QStringLiteral("serial"));
    service.stop();
}

void TestService::badInputKeepsTheOthersServed_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("everUp");
    QTest::newRow("not a serial device") << "devnull" << false;
    QTest::newRow("a regular file") << "file" << false;
    QTest::newRow("no such device") << "missing" << false;
    QTest::newRow("silence") << "silent" << false;
    QTest::newRow("wrong identification") << "wrong-id" << false;
    QTest::newRow("garbage instead of readings") << "garbage" << true;
    QTest::newRow("vanishes mid-exchange") << "vanish" << true;
    QTest::newRow("USB meter answering junk") << "usb-junk" << true;
}

void TestService::badInputKeepsTheOthersServed()
{
    QFETCH(QString, kind);
    QFETCH(bool, everUp);

    kvtest::PtyMeter good;
    good.meter.setReading(45.0, 23.0, 40.0);
    good.start();
    kvtest::PtyMeter bad;
    QTemporaryDir dir;
    QString badPort;
    auto usbSource = std::make_unique<kvtest::SimUsbSource>();
    std::shared_ptr<kvtest::SimUsbPlug> junk;
    if (kind == QLatin1String("devnull")) {
        badPort = QStringLiteral("/dev/null");
    } else if (kind == QLatin1String("file")) {
        badPort = dir.filePath(QStringLiteral("not-a-port"));
        QFile f(badPort);
        QVERIFY(f.open(QIODevice::WriteOnly));
    } else if (kind == QLatin1String("missing")) {
        badPort = QStringLiteral("/dev/ttyNOSUCHPORT9");
    } else if (kind == QLatin1String("usb-junk")) {
        junk = usbSource->add(QStringLiteral("JUNK"), 50, 20, 30);
        junk->meter.faults().failEvery(1, kv::SimFault::WrongMarkers, kv::cmd::Live);
        usbSource->plug(junk);
    } else {
        if (kind == QLatin1String("silent"))
            bad.meter.faults().setDeviceAbsent(true);
        else if (kind == QLatin1String("wrong-id"))
            bad.meter.faults().failEvery(1, kv::SimFault::WrongMarkers, kv::cmd::Identify);
        else if (kind == QLatin1String("garbage"))
            bad.meter.faults().inject(kv::SimFault::Garbage, 1000000, kv::cmd::Live, 3);
        else if (kind == QLatin1String("vanish"))
            bad.meter.faults().vanishAfter(6);
        bad.start();
        badPort = bad.path();
    }

    RecordingSink sink;
    Service service;
    service.setUsbSource(std::move(usbSource));
    service.addSink(&sink);
    ServiceConfig config;
    config.usb = kind == QLatin1String("usb-junk");
    config.ports = {good.path()};
    if (!badPort.isEmpty())
        config.ports << badPort;
    service.start(config);

    const QString goodName = SerialPortMeterName(good.path());
    const QString badName = junk ? junk->serial : SerialPortMeterName(badPort);
    QTRY_COMPARE_WITH_TIMEOUT(StateOf(service, badName), MeterState::Down, UpWaitMs);
    QCOMPARE(sink.meters[badName].ups, everUp ? 1 : 0);
    QCOMPARE(sink.meters[badName].downs, everUp ? 1 : 0);
    // The other meter goes on being read while the bad one is down.
    const int before = sink.readingCount(goodName);
    QTRY_VERIFY_WITH_TIMEOUT(sink.readingCount(goodName) >= before + 4, ReadingsWaitMs);
    QCOMPARE(StateOf(service, goodName), MeterState::Up);
    QCOMPARE(sink.meters[goodName].downs, 0);
    VerifyValues(sink.meters[goodName].readings.back(), 45.0, 23.0, 40.0);
    // A meter down has no current value: no reading of it arrives.
    const int badReadings = sink.readingCount(badName);
    QTRY_VERIFY_WITH_TIMEOUT(sink.readingCount(goodName) >= before + 8, ReadingsWaitMs);
    if (StateOf(service, badName) == MeterState::Down)
        QCOMPARE(sink.readingCount(badName), badReadings);
    QVERIFY(service.pollingProgresses());
    service.stop();
}

void TestService::unplugMarksDownAtOnceAndReplugComesBack()
{
    constexpr int Cycles = 100;
    auto source = std::make_unique<kvtest::SimUsbSource>();
    kvtest::SimUsbSource *usb = source.get();
    auto plug = usb->add(QStringLiteral("REPLUG-1"), 47.0, 24.0, 31.0);
    auto steady = usb->add(QStringLiteral("STEADY-1"), 55.0, 20.0, 28.0);
    usb->plug(steady);

    RecordingSink sink;
    Service service;
    service.setUsbSource(std::move(source));
    service.addSink(&sink);
    ServiceConfig config;
    config.periodMs = 200; // shorter cycles; the code path is the same
    service.start(config);
    const QString name = plug->serial;

    long rssAfterWarmUp = -1;
    qint64 worstUpMs = 0;
    QElapsedTimer clock;
    for (int cycle = 0; cycle < Cycles; ++cycle) {
        clock.start();
        usb->plug(plug);
        QTRY_COMPARE_WITH_TIMEOUT(StateOf(service, name), MeterState::Up, UpWaitMs);
        worstUpMs = std::max(worstUpMs, clock.elapsed());
        const int readings = sink.readingCount(name);
        QTRY_VERIFY_WITH_TIMEOUT(sink.readingCount(name) > readings, ReadingsWaitMs);

        usb->unplug(plug);
        // Down on the enumeration that follows the change, before any poll
        // could have failed three times.
        QTRY_COMPARE_WITH_TIMEOUT(StateOf(service, name), MeterState::Down, UpWaitMs);
        if (cycle == 4)
            rssAfterWarmUp = ResidentKb();
    }
    const long rssEnd = ResidentKb();
    qInfo("replug: worst time to up %lld ms; resident %ld kB after 5 cycles, %ld kB after %d", worstUpMs,
          rssAfterWarmUp, rssEnd, Cycles);
    QCOMPARE(sink.meters[name].ups, Cycles);
    QCOMPARE(sink.meters[name].downs, Cycles);
    QCOMPARE(StatusOf(service, name)->reconnects, std::uint64_t(Cycles - 1));
    VerifyValues(sink.meters[name].readings.back(), 47.0, 24.0, 31.0);
    // The steady meter never went down meanwhile.
    QCOMPARE(sink.meters[steady->serial].downs, 0);
    QCOMPARE(StateOf(service, steady->serial), MeterState::Up);
    // Flat: 95 sessions made and dropped leave no heap behind (a leak of one
    // session's link and thread per cycle would show several MB).
    QVERIFY2(rssEnd - rssAfterWarmUp < 8 * 1024, qPrintable(QString::number(rssEnd - rssAfterWarmUp)));
    service.stop();
}

void TestService::exclusiveJobPausesPolling()
{
    auto source = std::make_unique<kvtest::SimUsbSource>();
    auto plug = source->add(QStringLiteral("JOB-1"), 50.0, 21.0, 26.0);
    source->plug(plug);
    RecordingSink sink;
    Service service;
    service.setUsbSource(std::move(source));
    service.addSink(&sink);
    service.start(ServiceConfig{});
    QTRY_VERIFY_WITH_TIMEOUT(sink.readingCount(plug->serial) >= 2, ReadingsWaitMs);
    Session *session = service.sessionForSerial(plug->serial);
    QVERIFY(session);
    QVERIFY(!session->isMeterLogging());

    bool ran = false, connected = false, otherThread = false, recOk = false;
    int liveBefore = -1, liveAfter = -1;
    QString serialSeen;
    QThread *mainThread = QThread::currentThread();
    QSignalSpy done(session, &Session::jobDone);
    session->runExclusive([&](kv::MeterLink &link, const MeterInfo &info) {
        ran = true;
        otherThread = QThread::currentThread() != mainThread;
        connected = link.isUsb();
        serialSeen = info.serial;
        // Three periods without a poll, then the meter's REC key.
        liveBefore = plug->meter.frameCount(kv::cmd::Live);
        kv::WaitSpinning(3 * DefaultPollPeriodMs);
        liveAfter = plug->meter.frameCount(kv::cmd::Live);
        recOk = link.QueryUsb(kv::cmd::KeyRec);
    });
    QTRY_COMPARE_WITH_TIMEOUT(done.size(), 1, ReadingsWaitMs);
    QVERIFY(ran);
    QVERIFY(otherThread);
    QVERIFY(connected);
    QCOMPARE(serialSeen, plug->serial);
    QCOMPARE(liveAfter, liveBefore);
    QVERIFY(recOk);
    // Polling resumes and the readings tell that the meter records now.
    QTRY_VERIFY_WITH_TIMEOUT(session->isMeterLogging(), ReadingsWaitMs);
    QVERIFY(sink.meters[plug->serial].readings.back().meterLogging);
    service.stop();
}

void TestService::reconfigureAddsAndRemovesPorts()
{
    kvtest::PtyMeter ptyA, ptyB;
    ptyA.start();
    ptyB.start();
    RecordingSink sink;
    Service service;
    service.addSink(&sink);
    ServiceConfig config = NoUsbConfig();
    config.ports = {ptyA.path()};
    service.start(config);
    const QString a = SerialPortMeterName(ptyA.path());
    const QString b = SerialPortMeterName(ptyB.path());
    QTRY_VERIFY_WITH_TIMEOUT(sink.readingCount(a) >= 1, ReadingsWaitMs);

    config.ports = {ptyB.path()};
    config.demo = 1;
    config.periodMs = 300;
    service.reconfigure(config);
    QTRY_VERIFY_WITH_TIMEOUT(sink.readingCount(b) >= 1 && sink.readingCount(QStringLiteral("KV3917-DEMO-0001")) >= 1,
                             ReadingsWaitMs);
    QCOMPARE(service.meterCount(), 2);
    QVERIFY(!StatusOf(service, a));
    QCOMPARE(sink.meters[a].downs, 1);
    // The removed port is closed: another program may take it now.
    kv::DeviceLock lock;
    QVERIFY(lock.acquire(ptyA.path()));
    service.stop();
}

void TestService::stopClosesPortsAndTellsTheSinks()
{
    kvtest::PtyMeter pty;
    pty.start();
    kvtest::PtyMeter silent;
    silent.meter.faults().setDeviceAbsent(true);
    silent.start();
    RecordingSink sink;
    Service service;
    service.addSink(&sink);
    ServiceConfig config = NoUsbConfig();
    config.ports = {pty.path(), silent.path()};
    config.demo = 2;
    service.start(config);
    QTRY_COMPARE_WITH_TIMEOUT(service.metersUp(), 3, UpWaitMs);

    service.stop();
    QVERIFY(sink.stopped);
    QCOMPARE(service.metersUp(), 0);
    QCOMPARE(sink.meters[SerialPortMeterName(pty.path())].downs, 1);
    QVERIFY(!service.pollingProgresses());
    kv::DeviceLock lock;
    QVERIFY(lock.acquire(pty.path()));
    QVERIFY(lock.acquire(silent.path()));
}

void TestService::lockedPortIsRefusedNamingTheHolder()
{
    kvtest::PtyMeter pty;
    pty.start();
    kv::DeviceLock other;
    // Another file description of this process counts as another holder.
    QVERIFY(other.acquire(pty.path()));
    RecordingSink sink;
    Service service;
    service.addSink(&sink);
    ServiceConfig config = NoUsbConfig();
    config.ports = {pty.path()};
    service.start(config);
    const QString name = SerialPortMeterName(pty.path());
    QTRY_COMPARE_WITH_TIMEOUT(StateOf(service, name), MeterState::Down, UpWaitMs);
    QCOMPARE(sink.meters[name].ups, 0);

    other.release();
    QTRY_COMPARE_WITH_TIMEOUT(StateOf(service, name), MeterState::Up, UpWaitMs);
    kv::DeviceLock again;
    QString holder;
    QVERIFY(!again.acquire(pty.path(), &holder));
    QVERIFY2(holder.contains(QStringLiteral("(pid %1)").arg(::getpid())), qPrintable(holder));
    service.stop();
}

QTEST_GUILESS_MAIN(TestService)
#include "tst_service.moc"
