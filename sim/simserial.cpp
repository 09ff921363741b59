#include "sim/simserial.h"

#include <algorithm>

namespace kv {

namespace {
// Unparsed input kept at most (junk without a frame start is dropped anyway).
constexpr int MaxInputBytes = 4096;
} // namespace

SimSerialLink::SimSerialLink(SimMeter &meter, SimSerialPacing pacing) : m_meter(meter), m_pacing(pacing) {}

void SimSerialLink::write(const std::uint8_t *data, int count)
{
    if (!data || count <= 0)
        return;
    m_input.append(reinterpret_cast<const char *>(data), count);
    parseInput();
    if (m_input.size() > MaxInputBytes)
        m_input.remove(0, m_input.size() - MaxInputBytes);
}

void SimSerialLink::write(const QByteArray &bytes)
{
    write(reinterpret_cast<const std::uint8_t *>(bytes.constData()), int(bytes.size()));
}

void SimSerialLink::parseInput()
{
    for (;;) {
        const int start = m_input.indexOf(char(FrameStart));
        if (start < 0) {
            m_input.clear();
            return;
        }
        m_input.remove(0, start);
        if (m_input.size() < FrameLength)
            return;
        if (std::uint8_t(m_input.at(FrameLength - 1)) != FrameEnd) {
            m_input.remove(0, 1); // not a frame after all: look for the next start
            continue;
        }
        std::uint8_t frame[FrameLength];
        std::copy(m_input.constBegin(), m_input.constBegin() + FrameLength, frame);
        m_input.remove(0, FrameLength);

        const auto reply = m_meter.receiveFrame(frame, SimLink::Serial);
        if (!reply)
            continue;
        const bool paced = m_pacing == SimSerialPacing::Baud9600;
        // The frame itself took seven character times to come in.
        std::int64_t t = std::max(reply->dueUs + (paced ? FrameLength * SimSerialCharUs : 0), m_lineFreeUs);
        for (char c : reply->bytes) {
            if (paced)
                t += SimSerialCharUs;
            m_output.push_back({t, std::uint8_t(c)});
        }
        m_lineFreeUs = t;
    }
}

int SimSerialLink::available()
{
    const std::int64_t now = m_meter.clock().nowUs();
    int n = 0;
    for (const OutByte &b : m_output) {
        if (b.dueUs > now)
            break;
        ++n;
    }
    return n;
}

int SimSerialLink::read(std::uint8_t *buffer, int count)
{
    const int n = std::min(available(), count);
    for (int i = 0; i < n; ++i) {
        buffer[i] = m_output.front().value;
        m_output.pop_front();
    }
    return n;
}

QByteArray SimSerialLink::read(int count)
{
    QByteArray out(std::min(available(), count), 0);
    read(reinterpret_cast<std::uint8_t *>(out.data()), int(out.size()));
    return out;
}

void SimSerialLink::discardArrived()
{
    for (int n = available(); n > 0; --n)
        m_output.pop_front();
}

void SimSerialLink::reset()
{
    m_input.clear();
    m_output.clear();
}

std::int64_t SimSerialLink::nextArrivalUs() const
{
    const std::int64_t now = m_meter.clock().nowUs();
    for (const OutByte &b : m_output)
        if (b.dueUs > now)
            return b.dueUs;
    return -1;
}

// ---- SimSerialPort ---------------------------------------------------------

SimSerialPort::SimSerialPort(SimMeter &meter, const QString &portName, SimSerialPacing pacing)
    : m_link(meter, pacing), m_portName(portName)
{
}

bool SimSerialPort::open()
{
    m_open = !m_portName.isEmpty() && m_device.endsWith(m_portName);
    m_link.reset();
    return m_open;
}

void SimSerialPort::close()
{
    m_open = false;
    m_link.reset();
}

int SimSerialPort::write(const std::uint8_t *data, int count)
{
    if (!m_open)
        return -1;
    m_link.write(data, count);
    return count;
}

int SimSerialPort::waitingCount() { return m_open ? m_link.available() : 0; }

int SimSerialPort::read(std::uint8_t *buffer, int count)
{
    if (!m_open || !buffer || count <= 0)
        return 0;
    return m_link.read(buffer, count);
}

void SimSerialPort::clearInput()
{
    if (m_open)
        m_link.discardArrived();
}

void SimSerialPort::waitForInput(int ms)
{
    if (!m_open || ms <= 0)
        return;
    SimClock &clock = m_link.meter().clock();
    const std::int64_t now = clock.nowUs();
    const std::int64_t deadline = now + std::int64_t(ms) * 1000;
    const std::int64_t next = m_link.nextArrivalUs();
    clock.sleepUs((next < 0 || next > deadline ? deadline : next) - now);
}

} // namespace kv
