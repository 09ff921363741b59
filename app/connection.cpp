#include "app/connection.h"

#include "realtime/recorder.h"

#include <QElapsedTimer>

namespace kv {
namespace {

// Pauses of the port search (the search view repaints during them).
constexpr int SearchStepPauseMs = 100;
constexpr int TickWaitStepMs = 10;

} // namespace

Connection::Connection(UsbTransfer &usb, const RealTimeRecorder &recorder, QObject *parent)
    : QObject(parent), m_link(usb), m_poll(m_link, *this), m_recorder(recorder)
{
    m_link.setTimer(this);
    m_link.setSerialPort(&m_serialPort);
    // A child, so that the owner's window finds it by name.
    m_timer.setObjectName(QStringLiteral("MainTimer"));
    m_timer.setParent(this);
    m_timer.setInterval(PollIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        // A timeout already queued when an operation took the link.
        if (!m_link.isHeld())
            m_poll.PollTick();
    });
}

bool Connection::IsRecordingRealTime() const { return m_recorder.isRecording(); }

int Connection::RealTimeSamplingPeriod() const { return m_recorder.period(); }

void Connection::stopPolling() { m_timer.stop(); }

void Connection::startPolling()
{
    if (!m_closed && !m_link.isHeld())
        m_timer.start();
}

void Connection::selectPort(const QString &portName) { m_serialPort.setDeviceName(SerialDeviceName(portName)); }

bool Connection::connectPort(const QString &portName)
{
    const LinkLease lease(m_link, true);
    if (!lease || m_closed)
        return false; // another operation holds the link, or closed
    m_link.Kind = LinkKind::None;
    m_poll.PollFailures = 0; // a new connection starts with a clean count
    m_serialPort.close();
    selectPort(portName);
    if (m_serialPort.open() && m_link.IdentifySerial() == SerialAnswer::Meter)
        m_link.Kind = LinkKind::Serial;
    if (m_link.isConnected())
        m_poll.ConnectionFound();
    else
        m_poll.ConnectionLost();
    return true;
}

bool Connection::searchPorts(const QStringList &portNames, PortSearchView &view)
{
    const LinkLease lease(m_link, false);
    if (!lease)
        return false;
    m_link.Kind = LinkKind::None;
    m_serialPort.close();

    bool found = false;
    int portIndex = 0;
    for (int pass = 0; pass < portNames.size(); ++pass) {
        WaitPumping(SearchStepPauseMs);
        if (m_closed)
            break;
        selectPort(portNames.at(portIndex));
        view.searchingOn(portIndex, m_serialPort.deviceName());
        WaitPumping(SearchStepPauseMs);
        if (m_closed)
            break;
        if (!m_serialPort.open()) {
            ++portIndex;
            continue;
        }
        const SerialAnswer answer = m_link.IdentifySerial();
        if (answer == SerialAnswer::Meter) {
            found = true;
            break;
        }
        m_serialPort.close();
        if (answer == SerialAnswer::Silent)
            ++portIndex;
    }

    if (m_closed) {
        // Closed during a pause: no port stays open.
        m_serialPort.close();
        return false;
    }
    if (found) {
        m_link.Kind = LinkKind::Serial;
        m_poll.PollFailures = 0;
        m_poll.ConnectionFound();
    }
    return found;
}

bool Connection::dropLink()
{
    const LinkLease lease(m_link, true);
    if (!lease)
        return false;
    m_poll.DropLink();
    return true;
}

void Connection::waitForTick(int limitMs)
{
    QElapsedTimer clock;
    clock.start();
    while (m_link.LinkBusy && clock.elapsed() < limitMs)
        WaitSpinning(TickWaitStepMs);
}

void Connection::close()
{
    m_closed = true;
    m_link.WaitLinkIdle(true);
    m_timer.stop();
    m_link.Kind = LinkKind::None;
    m_serialPort.close();
}

} // namespace kv
