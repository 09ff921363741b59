#include "sim/simusbtransfer.h"

#include <algorithm>
#include <cstring>

namespace kv {

int SimUsbTransfer::OpenDevice(std::uint16_t vendorId, std::uint16_t productId)
{
    if (vendorId != MeterVendorId || productId != MeterProductId || m_unplugged)
        return SimUsbNoDevice;
    if (m_meter.deviceAbsent()) {
        m_meter.faults().onAbsentAttempt();
        m_open = false;
        m_pending.clear();
        return SimUsbNoDevice;
    }
    if (!m_open) {
        m_open = true;
        m_pending.clear();
    }
    return SimUsbOk;
}

void SimUsbTransfer::setUnplugged(bool unplugged)
{
    m_unplugged = unplugged;
    if (unplugged) {
        m_open = false;
        m_pending.clear();
    }
}

int SimUsbTransfer::SetDeviceTimeouts(int readMs, int /*writeMs*/)
{
    if (!m_open)
        return SimUsbNotOpen;
    if (m_meter.deviceAbsent())
        return SimUsbNoDevice;
    if (readMs > 0)
        m_readTimeoutMs = readMs;
    return SimUsbOk;
}

int SimUsbTransfer::WriteCommand(int length, const std::uint8_t *frame)
{
    if (!m_open)
        return SimUsbNotOpen;
    if (length != FrameLength || !frame)
        return SimUsbBadLength;
    if (m_queueLate) {
        const std::int64_t now = m_meter.clock().nowUs();
        while (!m_pending.empty() && m_pending.front().dueUs <= now)
            m_pending.pop_front();
    } else {
        m_pending.clear();
    }
    if (m_meter.deviceAbsent()) {
        m_meter.noteUndeliveredFrame(frame, SimLink::Usb);
        return SimUsbNoDevice;
    }
    if (auto reply = m_meter.receiveFrame(frame, SimLink::Usb))
        m_pending.push_back(std::move(*reply));
    return SimUsbOk;
}

int SimUsbTransfer::WriteData(int length, const std::uint8_t *data)
{
    if (!m_open)
        return SimUsbNotOpen;
    if (length != ShortReplyLength || !data)
        return SimUsbBadLength;
    if (m_meter.deviceAbsent()) {
        m_meter.receiveData(data, length, SimLink::Usb); // logged as undelivered
        return SimUsbNoDevice;
    }
    if (auto reply = m_meter.receiveData(data, length, SimLink::Usb))
        m_pending.push_back(std::move(*reply));
    return SimUsbOk;
}

int SimUsbTransfer::AfterWrite() { return m_open ? SimUsbOk : SimUsbNotOpen; }

int SimUsbTransfer::ReadReply(int length, std::uint8_t *buffer)
{
    if (!m_open)
        return SimUsbNotOpen;
    if (length <= 0 || !buffer)
        return SimUsbBadLength;
    SimClock &clock = m_meter.clock();
    const std::int64_t now = clock.nowUs();
    const std::int64_t deadline = now + std::int64_t(m_readTimeoutMs) * 1000;
    if (m_pending.empty()) {
        if (m_meter.deviceAbsent())
            return SimUsbNoDevice;
        clock.sleepUs(deadline - now);
        return SimUsbTimeout;
    }
    if (m_pending.front().dueUs > deadline) {
        clock.sleepUs(deadline - now);
        return SimUsbTimeout; // the reply may still come for a later read
    }
    clock.sleepUs(m_pending.front().dueUs - now);
    const QByteArray bytes = std::move(m_pending.front().bytes);
    m_pending.pop_front();
    const int n = std::min(length, int(bytes.size()));
    std::memcpy(buffer, bytes.constData(), std::size_t(n));
    if (n < length) {
        clock.sleepUs(deadline - clock.nowUs());
        return SimUsbTimeout;
    }
    return SimUsbOk;
}

int SimUsbTransfer::ReadSerialText(int /*index*/, std::uint8_t *buffer, int length)
{
    if (!m_open)
        return SimUsbNotOpen;
    if (!buffer || length <= 0)
        return SimUsbBadLength;
    if (m_meter.deviceAbsent())
        return SimUsbNoDevice;
    const QByteArray text = m_meter.serialText().toLatin1();
    const int n = std::min(int(text.size()), length - 1);
    std::memcpy(buffer, text.constData(), std::size_t(n));
    buffer[n] = 0;
    return SimUsbOk;
}

int SimUsbTransfer::CloseDevice()
{
    m_open = false;
    m_pending.clear();
    return SimUsbOk;
}

} // namespace kv
