#pragma once
// The USB transfer interface of the meter link.  Every operation returns 0 on
// success.  The exchange routines take a UsbTransfer by reference and never
// know whether a real HID device (HidTransfer) or the simulated meter
// (SimUsbTransfer) is behind it.

#include <cstdint>

namespace kv {

constexpr std::uint16_t MeterVendorId = 0x04D9;
constexpr std::uint16_t MeterProductId = 0xE000;

// Time-outs every exchange sets before it talks to the meter.
constexpr int LinkReadTimeoutMs = 100;
constexpr int LinkWriteTimeoutMs = 100;

class UsbTransfer {
public:
    virtual ~UsbTransfer() = default;

    // Succeeds again when the device is already open.
    virtual int OpenDevice(std::uint16_t vendorId, std::uint16_t productId) = 0;
    // Binds the transfer to the device at a system path (hidraw:
    // /dev/hidrawN, from an enumeration) and opens it: every later
    // OpenDevice opens that device rather than the first one with the
    // identifiers, so several meters can be told apart.  Transfers without
    // device paths refuse (non-zero).
    virtual int OpenDevicePath(const char *path)
    {
        (void)path;
        return 1;
    }
    virtual int SetDeviceTimeouts(int readMs, int writeMs) = 0;
    // A 7-byte command frame.
    virtual int WriteCommand(int length, const std::uint8_t *frame) = 0;
    // A 32-byte data block following some setup commands.
    virtual int WriteData(int length, const std::uint8_t *data) = 0;
    virtual int AfterWrite() = 0;
    // 0 only when exactly `length` reply bytes arrived within the read time-out.
    virtual int ReadReply(int length, std::uint8_t *buffer) = 0;
    // The device's serial-number text, zero-terminated, at most `length` bytes.
    virtual int ReadSerialText(int index, std::uint8_t *buffer, int length) = 0;
    virtual int CloseDevice() = 0;
};

} // namespace kv

namespace kv {

// No meter attached: every exchange fails at OpenDevice and after it.
class NoDeviceTransfer : public UsbTransfer {
public:
    int OpenDevice(std::uint16_t, std::uint16_t) override { return 1; }
    int SetDeviceTimeouts(int, int) override { return 1; }
    int WriteCommand(int, const std::uint8_t *) override { return 1; }
    int WriteData(int, const std::uint8_t *) override { return 1; }
    int AfterWrite() override { return 0; }
    int ReadReply(int, std::uint8_t *) override { return 1; }
    int ReadSerialText(int, std::uint8_t *, int) override { return 1; }
    int CloseDevice() override { return 0; }
};

} // namespace kv
