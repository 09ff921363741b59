#pragma once
// The USB transfer over hidapi (hidraw backend) for the real meter.
//
// Report layout on the wire (the meter uses unnumbered reports, ID 0):
//  - output: reports of HidOutputReportSize (8) bytes.  hid_write() gets a
//    leading report-ID byte 0 followed by the 8 payload bytes.  A 7-byte
//    command frame travels in one report, padded with zeros; a 32-byte data
//    block in four consecutive reports.
//  - input: reports of up to HidMaxInputReportSize (64) bytes, without a
//    report-ID byte.  A reply is the concatenation of the input reports that
//    follow the command, cut at the requested length (padding of the last
//    report is dropped).
// The device keeps sending reports and hidraw queues them, so the queue is
// drained before each command; otherwise a stale report would be taken as
// the start of the reply.
// Reads give up after the read time-out.  hidraw writes have no time-out of
// their own: the kernel ends a report transfer the device does not take, so
// the write time-out is only checked for being valid.

#include "link/devicelock.h"
#include "link/usbtransfer.h"

#include <QList>
#include <QString>

#include <cstddef>
#include <cstdint>

struct hid_device_;

namespace kv {

constexpr int HidOutputReportSize = 8;
constexpr int HidMaxInputReportSize = 64;
constexpr std::uint8_t HidReportId = 0;
// Bound on the stale reports thrown away before one command.
constexpr int HidDrainReportLimit = 256;
// Longest serial-number text asked of the device, in characters.
constexpr int HidSerialTextMax = 128;

// Result codes of HidTransfer (0 is success).
enum HidResult : int {
    HidOk = 0,
    HidInitFailed = 1,   // hid_init() failed
    HidOpenFailed = 2,   // no device with these identifiers, or no access
    HidNotOpen = 3,      // operation on a closed device
    HidBadArgument = 4,  // null buffer or length out of range
    HidWriteFailed = 5,  // the device refused a report (handle closed)
    HidReadFailed = 6,   // reading failed (handle closed)
    HidReadTimeout = 7,  // fewer bytes than asked arrived within the time-out
    HidSerialFailed = 8, // the device gave no serial-number text
    HidDeviceHeld = 9,   // another program holds the device (errorString() names it)
};

// One HID device of an enumeration.
struct HidDeviceEntry {
    QString path;   // what OpenDevicePath takes (hidraw: /dev/hidrawN)
    QString serial; // its serial-number text (printable ASCII; other characters '?')
};

// The HID devices with these identifiers, each once, in the system's order.
QList<HidDeviceEntry> EnumerateHidDevices(std::uint16_t vendorId, std::uint16_t productId);

class HidTransfer final : public UsbTransfer {
public:
    HidTransfer() = default;
    ~HidTransfer() override;
    HidTransfer(const HidTransfer &) = delete;
    HidTransfer &operator=(const HidTransfer &) = delete;

    // Unbound: the device this transfer held before if it is still there,
    // otherwise the first one with the identifiers that no other program
    // holds.  Each device is held through its DeviceLock from the open until
    // an open of it fails or the transfer is destroyed (closing between
    // exchanges keeps it).
    int OpenDevice(std::uint16_t vendorId, std::uint16_t productId) override;
    int OpenDevicePath(const char *path) override;
    int SetDeviceTimeouts(int readMs, int writeMs) override;
    int WriteCommand(int length, const std::uint8_t *frame) override;
    int WriteData(int length, const std::uint8_t *data) override;
    int AfterWrite() override;
    int ReadReply(int length, std::uint8_t *buffer) override;
    int ReadSerialText(int index, std::uint8_t *buffer, int length) override;
    int CloseDevice() override;

    bool isOpen() const { return m_device != nullptr; }
    // The bound path (OpenDevicePath), empty when unbound.
    const QString &devicePath() const { return m_boundPath; }
    // Why the last open failed, e.g. "in use by kv3917d (pid 1234)".
    const QString &errorString() const { return m_error; }

private:
    int openPath(const QString &path);
    int writeReports(int length, const std::uint8_t *payload);
    void drainInput();
    // An I/O error usually means the device is gone: the handle is closed so
    // that the next OpenDevice opens it afresh.
    int fail(int code);

    hid_device_ *m_device = nullptr;
    std::uint16_t m_vendorId = 0;
    std::uint16_t m_productId = 0;
    int m_readTimeoutMs = LinkReadTimeoutMs;
    QString m_boundPath;
    QString m_error;
    DeviceLock m_lock;
};

} // namespace kv
