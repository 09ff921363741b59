#pragma once
// A USB transfer that records every frame and answers from a script, for
// tests of the exchanges without a meter.

#include "link/usbtransfer.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <stdexcept>
#include <vector>

namespace kvtest {

using Frame = std::array<std::uint8_t, 7>;

class FakeTransfer : public kv::UsbTransfer {
public:
    // Result codes of the calls (0: success).
    int openResult = 0, timeoutResult = 0, writeResult = 0, readResult = 0;
    bool throwOnRead = false;        // a read raises, as a device that went away
    std::vector<std::uint8_t> reply; // copied into every read, zeros after it
    std::vector<Frame> frames;       // every command frame written
    std::vector<int> readLengths;    // the length of every read
    int opens = 0, closes = 0;

    int OpenDevice(std::uint16_t vid, std::uint16_t pid) override
    {
        ++opens;
        return (vid == kv::MeterVendorId && pid == kv::MeterProductId) ? openResult : 1;
    }
    int SetDeviceTimeouts(int, int) override { return timeoutResult; }
    int WriteCommand(int length, const std::uint8_t *frame) override
    {
        Frame f{};
        std::copy(frame, frame + std::min(length, int(f.size())), f.begin());
        frames.push_back(f);
        return writeResult;
    }
    int WriteData(int, const std::uint8_t *) override { return 0; }
    int AfterWrite() override { return 0; }
    int ReadReply(int length, std::uint8_t *buffer) override
    {
        readLengths.push_back(length);
        if (throwOnRead)
            throw std::runtime_error("device gone");
        if (readResult != 0)
            return readResult;
        std::fill(buffer, buffer + length, 0);
        std::copy(reply.begin(), reply.begin() + std::min<std::size_t>(reply.size(), std::size_t(length)), buffer);
        return 0;
    }
    int ReadSerialText(int, std::uint8_t *buffer, int) override
    {
        buffer[0] = 0;
        return 0;
    }
    int CloseDevice() override
    {
        ++closes;
        return 0;
    }
};

} // namespace kvtest
