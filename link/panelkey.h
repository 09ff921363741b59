#pragma once
// The exchange of a panel key: one command frame to the meter over USB and
// its 32-byte acknowledgement.  UI-free.

#include "link/commandframe.h"
#include "link/usbtransfer.h"

namespace kv {

// Result codes of SendPanelKey.  When several steps fail, the code of the
// last failing step stands.
enum PanelKeyResult {
    KeyAcknowledged = 0,
    KeyOpenFailed = 7002,     // the exchange goes on
    KeyTimeoutsFailed = 7003, // the exchange goes on
    KeyWriteFailed = 7004,    // the exchange goes on
    KeyReadFailed = 7005,
    KeyNotAcknowledged = 7006, // no "OK" at reply bytes 2, 3
    KeyReadError = 7007,       // the transfer raised an error
};

// Pause after a key that failed; the key is not sent again.
constexpr int KeyFailurePauseMs = 300;

// Sends `frame` once and reads the acknowledgement into a buffer of its own.
// The device is left open (the next exchange opens it again).
int SendPanelKey(UsbTransfer &usb, const CommandFrame &frame, std::uint16_t vendorId = MeterVendorId,
                 std::uint16_t productId = MeterProductId);

} // namespace kv
