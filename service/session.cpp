#include "service/session.h"

#include "link/hidtransfer.h"
#include "link/qtserialport.h"
#include "live/poll.h"
#include "service/log.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>

namespace kv::service {
namespace {

// A live reply (64 bytes at 9600 baud, 67 ms) then wakes the session a few
// times rather than once per byte; the exchange waits its 200 ms anyway.
constexpr int SerialGatherMs = 25;
// A serial port where no meter answered is tried again at most this often:
// each try opens the port and waits 500 ms for an answer.
constexpr int SerialRetryMs = 1000;

std::int64_t MonotonicNowMs()
{
    QElapsedTimer t;
    t.start();
    return t.msecsSinceReference();
}

void RegisterTypes()
{
    static const bool done = [] {
        qRegisterMetaType<MeterInfo>();
        qRegisterMetaType<MeterReading>();
        return true;
    }();
    (void)done;
}

const char *TransportName(MeterEndpoint::Kind kind)
{
    switch (kind) {
    case MeterEndpoint::Kind::Usb:
        return "usb";
    case MeterEndpoint::Kind::Serial:
        return "serial";
    case MeterEndpoint::Kind::Demo:
        return "demo";
    }
    return "usb";
}

} // namespace

QString SerialPortMeterName(const QString &path)
{
    QString name = path;
    if (name.startsWith(QLatin1String("/dev/")))
        name.remove(0, 5);
    while (name.startsWith(QLatin1Char('/')))
        name.remove(0, 1);
    name.replace(QLatin1Char('/'), QLatin1Char('-'));
    return name;
}

// Lives on the session's thread; everything of the link is touched only here.
class SessionWorker : public QObject, private PollView {
    Q_OBJECT
public:
    explicit SessionWorker(Session &session) : m_session(session) {}

    void begin()
    {
        const MeterEndpoint &endpoint = m_session.m_endpoint;
        if (endpoint.kind != MeterEndpoint::Kind::Serial && endpoint.makeUsb)
            m_usb = endpoint.makeUsb();
        if (!m_usb)
            m_usb = std::make_unique<NoDeviceTransfer>();
        m_linkStore = std::make_unique<MeterLink>(*m_usb);
        m_pollStore = std::make_unique<PollLoop>(*m_linkStore, static_cast<PollView &>(*this));
        if (endpoint.kind == MeterEndpoint::Kind::Serial) {
            // Made here, so that the port's QObject belongs to this thread.
            m_port = std::make_unique<QtSerialPort>();
            m_port->setDeviceName(SerialDeviceName(endpoint.path));
            m_port->setInputGatherMs(SerialGatherMs);
            m_linkStore->setSerialPort(m_port.get());
        }
        // The link's pauses must not run a nested event loop on this thread:
        // a stop request would be handled inside a job.
        m_linkStore->setPause([](int ms) { WaitSpinning(ms); });
        m_timer = new QTimer(this);
        m_timer->setTimerType(Qt::PreciseTimer);
        connect(m_timer, &QTimer::timeout, this, &SessionWorker::tick);
        m_timer->start(m_session.periodMs());
        QTimer::singleShot(0, this, &SessionWorker::tick);
    }

    void end()
    {
        m_stopping = true;
        if (m_inJob)
            return; // the job's end finishes the stop
        finish();
    }

    void setPeriod(int ms)
    {
        if (m_timer && !m_stopping && !m_inJob)
            m_timer->start(ms);
    }

    void runJob(const std::function<void(kv::MeterLink &, const MeterInfo &)> &job)
    {
        if (m_stopping || !m_linkStore)
            return;
        m_inJob = true;
        if (m_timer)
            m_timer->stop();
        job(link(), m_session.info());
        m_inJob = false;
        emit jobDone();
        if (m_stopping) {
            finish();
            return;
        }
        if (m_timer)
            m_timer->start(m_session.periodMs());
    }

    void tick()
    {
        if (m_stopping || m_inJob || !m_linkStore)
            return;
        const bool serial = m_session.m_endpoint.kind == MeterEndpoint::Kind::Serial;
        if (!link().isConnected()) {
            if (serial)
                identifySerial();
            else
                identifyUsb();
        } else {
            m_gotReading = false;
            m_pollStore->PollTick();
            if (m_gotReading)
                m_missed = 0;
            // A reply without a reading (no markers) counts as a failure too,
            // so a meter answering junk goes down rather than freezing.
            else if (link().isConnected() && ++m_missed >= PollFailureLimit)
                m_pollStore->ConnectionLost();
            emit polled(m_gotReading);
        }
        m_session.m_lastTickEndMs.store(MonotonicNowMs());
    }

signals:
    void meterUp(const kv::service::MeterInfo &info);
    void readingTaken(const kv::service::MeterInfo &info, const kv::service::MeterReading &reading);
    void meterDown(const kv::service::MeterInfo &info, const QString &why);
    void notAnswering(const QString &why);
    void polled(bool gotReading);
    void jobDone();

private:
    QString name() const { return m_session.info().serial; }

    void identifyUsb()
    {
        // The poll loop's tick identifies a USB meter while not connected.
        m_pollStore->PollTick();
        if (!link().isConnected()) {
            QString why = QStringLiteral("no answer to the identification");
            if (const auto *hid = dynamic_cast<HidTransfer *>(m_usb.get()); hid && !hid->errorString().isEmpty())
                why = hid->errorString();
            reportNotAnswering(why);
        }
    }

    void identifySerial()
    {
        if (m_lastSerialTry.isValid() && m_lastSerialTry.elapsed() < SerialRetryMs)
            return;
        m_lastSerialTry.start();
        const QString path = m_port->deviceName();
        if (!m_port->open()) {
            reportNotAnswering(QStringLiteral("cannot use %1: %2").arg(path, m_port->errorString()));
            return;
        }
        const SerialAnswer answer = link().IdentifySerial();
        if (answer == SerialAnswer::Meter) {
            link().Kind = LinkKind::Serial;
            m_pollStore->PollFailures = 0;
            m_pollStore->ConnectionFound();
            return;
        }
        // Closed, so a device that went away is opened afresh next time.
        m_port->close();
        reportNotAnswering(answer == SerialAnswer::Other ? QStringLiteral("something other than a KV3917 answers on %1").arg(path)
                                                   : QStringLiteral("no meter answers on %1").arg(path));
    }

    void reportNotAnswering(const QString &why)
    {
        LogFault(QStringLiteral("identify ") + m_session.m_endpoint.path, LogPriority::Warning,
                 QStringLiteral("%1: %2").arg(name(), why));
        emit notAnswering(why);
    }

    void finish()
    {
        delete m_timer; // on its own thread
        m_timer = nullptr;
        m_pollStore.reset();
        m_linkStore.reset();
        m_port.reset();
        m_usb.reset();
        thread()->quit();
    }

    // kv::PollView
    void ShowConnectionFound() override
    {
        m_missed = 0;
        Log(LogPriority::Info, QStringLiteral("%1: up on %2").arg(name(), m_session.m_endpoint.path));
        emit meterUp(m_session.info());
    }
    void ShowConnectionLost() override
    {
        m_missed = 0;
        if (m_port)
            m_port->close();
        const QString why = QStringLiteral("no reading in %1 polls").arg(PollFailureLimit);
        LogFault(QStringLiteral("down ") + m_session.m_endpoint.path, LogPriority::Warning,
                 QStringLiteral("%1: down (%2)").arg(name(), why));
        emit meterDown(m_session.info(), why);
    }
    void ShowLinkDropped() override {}
    void HideLinkPicture() override {}
    void UpdatePanel(const LiveReading &) override {}
    bool IsRecordingRealTime() const override { return true; }
    int RealTimeSamplingPeriod() const override { return 0; } // every good reading
    void AddRealTimeSample(const LiveReading &reading, const QDateTime &stamp) override
    {
        const MeterReading r = ToMeterReading(reading, stamp, m_lastTimeMs);
        m_lastTimeMs = r.timeMs;
        m_gotReading = true;
        m_session.m_logging.store(reading.MeterLogging);
        emit readingTaken(m_session.info(), r);
    }

    MeterLink &link() { return *m_linkStore; }

    Session &m_session;
    std::unique_ptr<UsbTransfer> m_usb;
    std::unique_ptr<QtSerialPort> m_port;
    std::unique_ptr<MeterLink> m_linkStore;
    std::unique_ptr<PollLoop> m_pollStore;
    QTimer *m_timer = nullptr;
    std::int64_t m_lastTimeMs = INT64_MIN;
    QElapsedTimer m_lastSerialTry;
    int m_missed = 0;
    bool m_gotReading = false;
    bool m_stopping = false;
    bool m_inJob = false;
};

Session::Session(MeterEndpoint endpoint, int periodMs, QObject *parent)
    : QObject(parent), m_endpoint(std::move(endpoint)), m_periodMs(periodMs)
{
    RegisterTypes();
    m_info.port = m_endpoint.path;
    m_info.transport = QString::fromLatin1(TransportName(m_endpoint.kind));
    m_info.serial = m_endpoint.kind == MeterEndpoint::Kind::Serial ? SerialPortMeterName(m_endpoint.path) : m_endpoint.serial;
    if (m_info.serial.isEmpty())
        m_info.serial = m_endpoint.path;
    m_lastTickEndMs.store(MonotonicNowMs());
}

Session::~Session() { stop(); }

MeterInfo Session::info() const
{
    const std::lock_guard<std::mutex> lock(m_infoMutex);
    return m_info;
}

void Session::start()
{
    if (m_thread)
        return;
    m_lastTickEndMs.store(MonotonicNowMs());
    m_thread = new QThread;
    m_thread->setObjectName(QStringLiteral("session ") + m_info.serial);
    m_worker = new SessionWorker(*this);
    m_worker->moveToThread(m_thread);
    SessionWorker *worker = m_worker;
    connect(m_thread, &QThread::started, worker, [worker] { worker->begin(); });
    // Relayed through this object (queued, as the worker emits on its own
    // thread), so that nothing is delivered once the session is deleted.
    connect(worker, &SessionWorker::meterUp, this, &Session::meterUp);
    connect(worker, &SessionWorker::readingTaken, this, &Session::readingTaken);
    connect(worker, &SessionWorker::meterDown, this, &Session::meterDown);
    connect(worker, &SessionWorker::notAnswering, this, &Session::notAnswering);
    connect(worker, &SessionWorker::polled, this, &Session::polled);
    connect(worker, &SessionWorker::jobDone, this, &Session::jobDone);
    m_thread->start();
}

void Session::requestStop()
{
    if (!m_worker || m_stopRequested)
        return;
    m_stopRequested = true;
    SessionWorker *worker = m_worker;
    QMetaObject::invokeMethod(worker, [worker] { worker->end(); }, Qt::QueuedConnection);
}

void Session::stop()
{
    if (!m_thread)
        return;
    requestStop();
    if (!m_thread->wait(QDeadlineTimer(SessionStopWaitMs))) {
        // A job still running (a logger download): it ends on its own.
        m_thread->wait();
    }
    // Signals relayed but not yet delivered are dropped.
    QCoreApplication::removePostedEvents(this, QEvent::MetaCall);
    delete m_worker; // its thread has finished
    m_worker = nullptr;
    delete m_thread;
    m_thread = nullptr;
    m_stopRequested = false;
}

bool Session::isRunning() const { return m_thread && m_thread->isRunning(); }

void Session::setPeriodMs(int periodMs)
{
    m_periodMs.store(periodMs);
    if (m_worker) {
        SessionWorker *worker = m_worker;
        QMetaObject::invokeMethod(worker, [worker, periodMs] { worker->setPeriod(periodMs); }, Qt::QueuedConnection);
    }
}

void Session::runExclusive(std::function<void(kv::MeterLink &, const MeterInfo &)> job)
{
    if (!m_worker || !job)
        return;
    SessionWorker *worker = m_worker;
    QMetaObject::invokeMethod(worker, [worker, job = std::move(job)] { worker->runJob(job); }, Qt::QueuedConnection);
}

} // namespace kv::service

#include "session.moc"
