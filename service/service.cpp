#include "service/service.h"

#include "service/demometer.h"
#include "service/log.h"

#include "link/qtserialport.h"

#include <algorithm>
#include <set>

namespace kv::service {
namespace {

// A change in /dev comes in bursts (node, then its permissions): one
// enumeration shortly after the first.
constexpr int UsbChangeDelayMs = 50;

QString UsbKey(const UsbMeterEntry &meter)
{
    return QStringLiteral("usb:") + (meter.serial.isEmpty() ? meter.path : meter.serial);
}
QString PortKey(const QString &path) { return QStringLiteral("serial:") + SerialDeviceName(path); }
QString DemoKey(int index) { return QStringLiteral("demo:%1").arg(index); }

std::int64_t MonotonicNowMs()
{
    QElapsedTimer t;
    t.start();
    return t.msecsSinceReference();
}

} // namespace

Service::Service(QObject *parent) : QObject(parent)
{
    m_scanTimer.setTimerType(Qt::CoarseTimer);
    connect(&m_scanTimer, &QTimer::timeout, this, &Service::scanUsb);
    m_changeDelay.setSingleShot(true);
    m_changeDelay.setInterval(UsbChangeDelayMs);
    connect(&m_changeDelay, &QTimer::timeout, this, &Service::scanUsb);
}

Service::~Service() { stop(); }

void Service::setUsbSource(std::unique_ptr<UsbMeterSource> source)
{
    if (m_usbSource)
        disconnect(m_usbSource.get(), nullptr, this, nullptr);
    m_usbSource = std::move(source);
    if (m_usbSource)
        connect(m_usbSource.get(), &UsbMeterSource::changed, &m_changeDelay, qOverload<>(&QTimer::start));
}

void Service::addSink(Sink *sink)
{
    if (sink && std::find(m_sinks.begin(), m_sinks.end(), sink) == m_sinks.end())
        m_sinks.push_back(sink);
}

void Service::removeSink(Sink *sink) { m_sinks.erase(std::remove(m_sinks.begin(), m_sinks.end(), sink), m_sinks.end()); }

void Service::start(const ServiceConfig &config)
{
    if (m_running)
        return;
    m_config = config;
    m_running = true;
    if (m_config.usb && !m_usbSource)
        setUsbSource(std::make_unique<HidMeterSource>());
    applyMeters();
}

void Service::reconfigure(const ServiceConfig &config)
{
    if (!m_running) {
        m_config = config;
        return;
    }
    const int oldPeriod = m_config.periodMs;
    m_config = config;
    if (m_config.usb && !m_usbSource)
        setUsbSource(std::make_unique<HidMeterSource>());
    if (oldPeriod != m_config.periodMs)
        for (const auto &e : m_entries)
            if (e->session)
                e->session->setPeriodMs(m_config.periodMs);
    applyMeters();
    emit statusChanged();
}

void Service::applyMeters()
{
    // Serial ports: add the new ones, remove those no longer named.
    std::set<QString> wanted;
    for (const QString &port : m_config.ports) {
        const QString key = PortKey(port);
        wanted.insert(key);
        if (!find(key)) {
            MeterEndpoint endpoint;
            endpoint.kind = MeterEndpoint::Kind::Serial;
            endpoint.path = SerialDeviceName(port);
            QString why;
            if (!IsMeterPortDevice(endpoint.path, &why))
                // Polled all the same: the device may appear later (an
                // adapter plugged in, a Bluetooth link bound).
                LogFault(QStringLiteral("port ") + endpoint.path, LogPriority::Warning,
                         QStringLiteral("%1: %2").arg(endpoint.path, why));
            addMeter(key, std::move(endpoint));
        }
    }
    for (int i = 1; i <= m_config.demo; ++i) {
        const QString key = DemoKey(i);
        wanted.insert(key);
        if (!find(key)) {
            MeterEndpoint endpoint;
            endpoint.kind = MeterEndpoint::Kind::Demo;
            endpoint.path = key;
            endpoint.serial = DemoSerial(i);
            endpoint.makeUsb = [i] { return CreateDemoTransfer(i); };
            addMeter(key, std::move(endpoint));
        }
    }
    std::vector<QString> gone;
    for (const auto &e : m_entries)
        if (!e->key.startsWith(QLatin1String("usb:")) && !wanted.count(e->key))
            gone.push_back(e->key);
    if (!m_config.usb)
        for (const auto &e : m_entries)
            if (e->key.startsWith(QLatin1String("usb:")))
                gone.push_back(e->key);
    for (const QString &key : gone)
        removeMeter(key);

    if (m_config.usb && m_usbSource) {
        m_scanTimer.start(std::max(1, m_config.usbScanMs));
        scanUsb();
    } else {
        m_scanTimer.stop();
    }
}

void Service::scanUsb()
{
    if (!m_running || !m_config.usb || !m_usbSource)
        return;
    const QList<UsbMeterEntry> present = m_usbSource->meters();
    std::set<QString> seen;
    for (const UsbMeterEntry &meter : present) {
        QString key = UsbKey(meter);
        if (seen.count(key))
            key += QLatin1Char('@') + meter.path; // two meters with one serial text
        seen.insert(key);
        Entry *e = find(key);
        if (e && e->session && e->session->endpoint().path == meter.path)
            continue;
        if (e && e->session)
            stopMeter(*e, true); // the same meter on another path: start afresh
        MeterEndpoint endpoint;
        endpoint.kind = MeterEndpoint::Kind::Usb;
        endpoint.path = meter.path;
        endpoint.serial = meter.serial;
        UsbMeterSource *source = m_usbSource.get();
        endpoint.makeUsb = [source, meter] { return source->open(meter); };
        addMeter(key, std::move(endpoint));
    }
    // Gone from the enumeration: down at once; the entry stays, so the meter
    // shows as down until it comes back.
    for (const auto &e : m_entries)
        if (e->session && e->key.startsWith(QLatin1String("usb:")) && !seen.count(e->key)) {
            Log(LogPriority::Notice, QStringLiteral("%1: unplugged").arg(e->status.info.serial));
            stopMeter(*e, true);
        }
}

void Service::addMeter(const QString &key, MeterEndpoint endpoint)
{
    Entry *e = find(key);
    if (!e) {
        m_entries.push_back(std::make_unique<Entry>());
        e = m_entries.back().get();
        e->key = key;
    }
    e->session = std::make_unique<Session>(std::move(endpoint), m_config.periodMs);
    Session *s = e->session.get();
    e->status.info = s->info();
    e->status.state = MeterState::Connecting;
    connect(s, &Session::meterUp, this, [this, s](const MeterInfo &info) { onUp(s, info); });
    connect(s, &Session::readingTaken, this,
            [this, s](const MeterInfo &info, const MeterReading &r) { onReading(s, info, r); });
    connect(s, &Session::meterDown, this, [this, s](const MeterInfo &, const QString &) { onDown(s); });
    connect(s, &Session::notAnswering, this, [this, s](const QString &) { onNotAnswering(s); });
    connect(s, &Session::polled, this, [this, s](bool ok) { onPolled(s, ok); });
    s->start();
    emit statusChanged();
}

void Service::stopMeter(Entry &entry, bool keep)
{
    if (entry.session) {
        entry.session->stop();
        entry.session.reset();
    }
    markDown(entry);
    if (!keep)
        m_entries.erase(std::remove_if(m_entries.begin(), m_entries.end(),
                                       [&](const std::unique_ptr<Entry> &e) { return e.get() == &entry; }),
                        m_entries.end());
    emit statusChanged();
}

void Service::removeMeter(const QString &key)
{
    if (Entry *e = find(key))
        stopMeter(*e, false);
}

void Service::markDown(Entry &entry)
{
    const bool wasUp = entry.status.state == MeterState::Up;
    entry.status.state = MeterState::Down;
    if (!wasUp)
        return;
    for (Sink *sink : m_sinks)
        sink->meterDown(entry.status.info);
    emit meterDown(entry.status.info);
}

void Service::stop()
{
    if (!m_running)
        return;
    m_running = false;
    m_scanTimer.stop();
    m_changeDelay.stop();
    // Each session is asked to stop first, so they all stop together.
    for (const auto &e : m_entries)
        if (e->session)
            e->session->requestStop();
    for (const auto &e : m_entries) {
        if (e->session) {
            e->session->stop();
            e->session.reset();
        }
        markDown(*e);
    }
    for (Sink *sink : m_sinks)
        sink->stop();
    emit statusChanged();
}

Service::Entry *Service::find(const QString &key)
{
    for (const auto &e : m_entries)
        if (e->key == key)
            return e.get();
    return nullptr;
}

Service::Entry *Service::entryOf(const Session *session)
{
    for (const auto &e : m_entries)
        if (e->session.get() == session)
            return e.get();
    return nullptr;
}

void Service::onUp(Session *session, const MeterInfo &info)
{
    Entry *e = entryOf(session);
    if (!e)
        return;
    e->status.info = info;
    // Identified again while up (the link was handed back after a logger
    // download): no reconnect, nothing new for the sinks.
    if (e->status.state == MeterState::Up)
        return;
    if (e->everUp)
        ++e->status.reconnects;
    e->everUp = true;
    e->status.state = MeterState::Up;
    for (Sink *sink : m_sinks)
        sink->meterUp(info);
    emit meterUp(info);
    emit statusChanged();
}

void Service::onReading(Session *session, const MeterInfo &info, const MeterReading &reading)
{
    Entry *e = entryOf(session);
    if (!e || e->status.state != MeterState::Up)
        return;
    e->status.last = reading;
    e->lastReading.start();
    for (Sink *sink : m_sinks)
        sink->reading(info, reading);
    emit readingTaken(info, reading);
    emit statusChanged();
}

void Service::onDown(Session *session)
{
    if (Entry *e = entryOf(session)) {
        markDown(*e);
        emit statusChanged();
    }
}

void Service::onNotAnswering(Session *session)
{
    Entry *e = entryOf(session);
    if (e && e->status.state == MeterState::Connecting) {
        e->status.state = MeterState::Down;
        emit statusChanged();
    }
}

void Service::onPolled(Session *session, bool ok)
{
    if (Entry *e = entryOf(session)) {
        ++e->status.polls;
        if (!ok)
            ++e->status.pollFailures;
    }
}

QList<MeterStatus> Service::meters() const
{
    QList<MeterStatus> list;
    list.reserve(int(m_entries.size()));
    for (const auto &e : m_entries) {
        MeterStatus s = e->status;
        s.lastReadingAgeMs = e->lastReading.isValid() ? e->lastReading.elapsed() : -1;
        list.append(s);
    }
    return list;
}

bool Service::pollingProgresses() const
{
    if (!m_running)
        return false;
    const std::int64_t now = MonotonicNowMs();
    const std::int64_t limit = std::max<std::int64_t>(ProgressLimitMs, 4LL * m_config.periodMs);
    for (const auto &e : m_entries)
        if (e->session && now - e->session->lastTickEndMs() > limit)
            return false;
    return true;
}

int Service::metersUp() const
{
    return int(std::count_if(m_entries.begin(), m_entries.end(),
                             [](const std::unique_ptr<Entry> &e) { return e->status.state == MeterState::Up; }));
}

QList<Session *> Service::sessions() const
{
    QList<Session *> list;
    for (const auto &e : m_entries)
        if (e->session)
            list.append(e->session.get());
    return list;
}

Session *Service::sessionForSerial(const QString &serial) const
{
    for (const auto &e : m_entries)
        if (e->session && e->status.info.serial == serial)
            return e->session.get();
    return nullptr;
}

} // namespace kv::service
