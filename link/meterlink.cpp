#include "link/meterlink.h"

#include "link/commands.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <algorithm>

namespace kv {

void WaitPumping(int ms)
{
    // A local event loop runs timers and repaints until the time is up.
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() <= ms) {
        const int remaining = static_cast<int>(ms - clock.elapsed()) + 1;
        QEventLoop loop;
        QTimer::singleShot(remaining, Qt::PreciseTimer, &loop, &QEventLoop::quit);
        loop.exec();
    }
}

void WaitSpinning(int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() <= ms)
        QThread::msleep(static_cast<unsigned long>(std::max<qint64>(1, ms - clock.elapsed() + 1)));
}

MeterLink::MeterLink(UsbTransfer &usb, SerialPort *serial) : m_usb(usb), m_serial(serial)
{
    SerialFrame.setCommand(cmd::Identify);
}

bool MeterLink::QueryUsb(char command)
{
    bool ok = false;
    if (m_usb.OpenDevice(MeterVendorId, MeterProductId) == 0
        && m_usb.SetDeviceTimeouts(LinkReadTimeoutMs, LinkWriteTimeoutMs) == 0) {
        UsbFrame.setCommand(command);
        m_usb.WriteCommand(FrameLength, UsbFrame.data()); // the read decides the outcome
        m_usb.AfterWrite();
        ok = m_usb.ReadReply(ShortReplyLength, Reply.data()) == 0;
    }
    m_usb.CloseDevice();
    return ok;
}

bool MeterLink::ReadLiveReply()
{
    if (isUsb())
        return readLiveUsb();
    if (isSerial())
        return readLiveSerial();
    return true;
}

bool MeterLink::readLiveUsb()
{
    if (m_usb.OpenDevice(MeterVendorId, MeterProductId) != 0
        || m_usb.SetDeviceTimeouts(LinkReadTimeoutMs, LinkWriteTimeoutMs) != 0) {
        m_usb.CloseDevice();
        return false;
    }
    UsbFrame.setCommand(cmd::Live);
    ++LiveSequence; // wraps from 255 to 0
    UsbFrame[5] = LiveSequence;
    m_usb.WriteCommand(FrameLength, UsbFrame.data());
    m_usb.AfterWrite();
    // Zeroed first, so a read that delivers nothing leaves no start marker.
    Reply.fill(0);
    const bool ok = m_usb.ReadReply(LiveReplyLength, Reply.data()) == 0;
    m_usb.CloseDevice();
    return ok;
}

bool MeterLink::readLiveSerial()
{
    if (!m_serial)
        return false;
    SerialFrame.setCommand(cmd::Live);
    if (m_serial->isOpen() && m_serial->write(SerialFrame.data(), FrameLength) != FrameLength)
        m_serial->close();
    // The reply is given its time without handling events; the port blocks
    // on the device (or sleeps) rather than spinning.
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < SerialLiveWaitMs)
        m_serial->waitForInput(static_cast<int>(SerialLiveWaitMs - clock.elapsed()));
    const int waiting = m_serial->isOpen() ? m_serial->waitingCount() : 0;
    if (waiting < LiveReplyLength)
        return false; // left queued: read in front of the next reply
    readWaiting(Reply.data(), LiveReplyLength, waiting);
    return HasLiveMarkers(Reply.data()) && LiveChecksum(Reply.data()) == Reply[62];
}

SerialAnswer MeterLink::IdentifySerial()
{
    if (!m_serial)
        return SerialAnswer::Silent;
    SerialFrame.setCommand(cmd::Identify);
    m_serial->write(SerialFrame.data(), FrameLength); // the reply decides
    QElapsedTimer clock;
    clock.start();
    int waiting = m_serial->waitingCount();
    while (waiting < ShortReplyLength && clock.elapsed() < SerialIdentifyWaitMs) {
        m_serial->waitForInput(static_cast<int>(SerialIdentifyWaitMs - clock.elapsed()));
        waiting = m_serial->waitingCount();
    }
    IdentifyReply.fill(0);
    readWaiting(IdentifyReply.data(), ShortReplyLength, waiting);
    if (waiting < ShortReplyLength)
        return SerialAnswer::Silent;
    return IsMeterIdentification(IdentifyReply.data()) ? SerialAnswer::Meter : SerialAnswer::Other;
}

void MeterLink::readWaiting(std::uint8_t *buffer, int capacity, int waiting)
{
    // Bytes beyond the buffer belong to a reply that is already lost (stray
    // or late bytes in front of it); dropping them lets the next exchange
    // start on an empty queue.
    int got = m_serial->read(buffer, std::min(capacity, waiting));
    std::array<std::uint8_t, ReplyBufferLength> scratch{};
    while (got > 0 && got < waiting) {
        const int n = m_serial->read(scratch.data(), std::min<int>(scratch.size(), waiting - got));
        if (n <= 0)
            break;
        got += n;
    }
}

int MeterLink::ReadMemoryPage(int page)
{
    // A step of the download that holds the link (or the whole operation
    // when called on its own).
    const LinkLease lease(*this, true, LinkLease::Join);
    if (m_usb.OpenDevice(MeterVendorId, MeterProductId) != 0)
        return PageOpenFailed;
    pauseFor(MemoryPageStepPauseMs);
    if (m_usb.SetDeviceTimeouts(LinkReadTimeoutMs, LinkWriteTimeoutMs) != 0)
        return PageTimeoutsFailed;
    pauseFor(MemoryPageStepPauseMs);
    UsbFrame.setCommand(cmd::PageStart);
    UsbFrame[2] = static_cast<std::uint8_t>((page >> 8) & 0xFF);
    UsbFrame[3] = static_cast<std::uint8_t>(page & 0xFF);
    if (m_usb.WriteCommand(FrameLength, UsbFrame.data()) != 0)
        return PageWriteFailed;
    m_usb.AfterWrite();
    pauseFor(MemoryPageStepPauseMs);
    if (m_usb.ReadReply(PageReplyLength, Reply.data()) != 0)
        return PageReadFailed;
    if (Reply[35] != 5)
        return PageBadMarker;
    if (Reply[32] != UsbFrame[2] || Reply[33] != UsbFrame[3])
        return PageBadEcho;
    return PageOk;
}

void MeterLink::pauseFor(int ms)
{
    if (m_pause)
        m_pause(ms);
    else
        WaitPumping(ms);
}

void MeterLink::WaitLinkIdle(bool pumping)
{
    QElapsedTimer clock;
    clock.start();
    while (LinkBusy && clock.elapsed() < LinkBusyWaitLimitMs) {
        if (pumping)
            WaitPumping(10);
        else
            WaitSpinning(10);
    }
}

void MeterLink::StopPolling()
{
    if (m_timer)
        m_timer->stopPolling();
}

void MeterLink::StartPolling()
{
    if (m_timer)
        m_timer->startPolling();
}

bool MeterLink::acquire(bool pumping)
{
    if (isHeld())
        return false;
    takeLink(pumping);
    return true;
}

void MeterLink::join(bool pumping)
{
    if (isHeld())
        ++m_holds;
    else
        takeLink(pumping);
}

void MeterLink::takeLink(bool pumping)
{
    // Counted before the wait: a pumping wait runs events, and every user
    // they start must already find the link held.
    m_holds = 1;
    if (m_timer)
        m_timer->linkHeldChanged(true);
    WaitLinkIdle(pumping);
    StopPolling();
}

void MeterLink::release()
{
    if (m_holds == 0 || --m_holds > 0)
        return;
    StartPolling();
    if (m_timer)
        m_timer->linkHeldChanged(false);
}

void MeterLink::resumePolling()
{
    if (!isHeld())
        StartPolling();
}

LinkLease::LinkLease(MeterLink &link, bool pumping, Kind kind) : m_link(link)
{
    if (kind == Join) {
        m_link.join(pumping);
        m_held = true;
    } else {
        m_held = m_link.acquire(pumping);
    }
}

void LinkLease::release()
{
    if (!m_held)
        return;
    m_held = false;
    m_link.release();
}

} // namespace kv
