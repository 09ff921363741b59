#pragma once
// The in-process USB transport over the simulated meter: what the exchange
// routines see when demo mode or a test puts it in place of HidTransfer.
//
// Each WriteCommand starts a new exchange (a reply still waiting from the
// previous one is dropped, unless late replies queue: see
// setLateRepliesQueue).  ReadReply returns 0 only when at least `length`
// reply bytes are ready within the read time-out and copies exactly `length`
// of them; a late reply makes it fail after the time-out (it sleeps on the
// meter's clock, no busy wait) and stays waiting; a short reply is copied as
// far as it goes and fails after the time-out.  OpenDevice succeeds again on
// an open device.  Non-zero results are the SimUsbResult codes.

#include "link/usbtransfer.h"
#include "sim/simmeter.h"

#include <deque>

namespace kv {

enum SimUsbResult {
    SimUsbOk = 0,
    SimUsbNoDevice = 1,  // absent or vanished, or other identifiers asked for
    SimUsbNotOpen = 2,
    SimUsbBadLength = 3,
    SimUsbTimeout = 4,
};

class SimUsbTransfer : public UsbTransfer {
public:
    explicit SimUsbTransfer(SimMeter &meter) : m_meter(meter) {}

    int OpenDevice(std::uint16_t vendorId, std::uint16_t productId) override;
    int SetDeviceTimeouts(int readMs, int writeMs) override;
    int WriteCommand(int length, const std::uint8_t *frame) override;
    int WriteData(int length, const std::uint8_t *data) override;
    int AfterWrite() override;
    int ReadReply(int length, std::uint8_t *buffer) override;
    int ReadSerialText(int index, std::uint8_t *buffer, int length) override;
    int CloseDevice() override;

    SimMeter &meter() { return m_meter; }
    bool isOpen() const { return m_open; }
    // The USB cable alone pulled: this transport finds no device while the
    // meter (and its serial/Bluetooth side) carries on.
    void setUnplugged(bool unplugged);
    bool unplugged() const { return m_unplugged; }
    bool replyWaiting() const { return !m_pending.empty(); }
    // A device that keeps sending what it was asked for: a reply still on
    // its way when the next frame is written is not dropped but arrives in
    // front of the next reply, and each read takes one reply.  Only replies
    // already arrived are dropped by a write, as a HID input queue is
    // drained.  Closing the device drops everything.
    void setLateRepliesQueue(bool queue) { m_queueLate = queue; }

private:
    SimMeter &m_meter;
    bool m_open = false;
    bool m_unplugged = false;
    bool m_queueLate = false;
    int m_readTimeoutMs = LinkReadTimeoutMs;
    std::deque<SimReply> m_pending;
};

} // namespace kv
