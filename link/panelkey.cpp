#include "link/panelkey.h"

#include <array>

namespace kv {

int SendPanelKey(UsbTransfer &usb, const CommandFrame &frame, std::uint16_t vendorId, std::uint16_t productId)
{
    int result = KeyAcknowledged;
    try {
        if (usb.OpenDevice(vendorId, productId) != 0)
            result = KeyOpenFailed;
        if (usb.SetDeviceTimeouts(LinkReadTimeoutMs, LinkWriteTimeoutMs) != 0)
            result = KeyTimeoutsFailed;
        if (usb.WriteCommand(FrameLength, frame.data()) != 0)
            result = KeyWriteFailed;
        usb.AfterWrite();
        std::array<std::uint8_t, ShortReplyLength> reply{};
        if (usb.ReadReply(ShortReplyLength, reply.data()) != 0)
            return KeyReadFailed;
        if (!HasOkAt(reply.data(), 2))
            result = KeyNotAcknowledged;
    } catch (...) {
        // A transfer backend that throws is a failed read, not a crash.
        return KeyReadError;
    }
    return result;
}

} // namespace kv
