// Any bytes as the meter's replies to a logger download, over USB or over
// the serial port: the download ends (on a clock of its own), and whatever
// it returns, a success carries exactly the transfer size of whole pages.
//
// Input: byte 0 chooses the link (even: USB, odd: serial); then one chunk
// per request the download writes: a length byte and that many reply bytes.
#include "link/meterlink.h"
#include "logger/download.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// The replies, chunk by chunk.
class Script {
public:
    Script(const std::uint8_t *data, std::size_t size) : m_data(data), m_size(size) {}
    std::vector<std::uint8_t> next()
    {
        if (m_at >= m_size)
            return {};
        const std::size_t wanted = m_data[m_at++];
        const std::size_t length = std::min(wanted, m_size - m_at);
        std::vector<std::uint8_t> chunk(m_data + m_at, m_data + m_at + length);
        m_at += length;
        return chunk;
    }

private:
    const std::uint8_t *m_data;
    std::size_t m_size;
    std::size_t m_at = 0;
};

struct FakeClock : kv::DownloadClock {
    std::int64_t now = 0;
    std::int64_t elapsedMs() override { return now; }
    void pause(int ms) override { now += std::max(ms, 0); }
    void sleep(int ms) override { now += std::max(ms, 1); }
    void letEventsRun() override {}
};

class ScriptedUsb : public kv::UsbTransfer {
public:
    ScriptedUsb(Script &script, FakeClock &clock) : m_script(script), m_clock(clock) {}
    int OpenDevice(std::uint16_t, std::uint16_t) override { return 0; }
    int SetDeviceTimeouts(int, int) override { return 0; }
    int WriteCommand(int, const std::uint8_t *) override
    {
        m_reply = m_script.next();
        return 0;
    }
    int WriteData(int, const std::uint8_t *) override { return 0; }
    int AfterWrite() override { return 0; }
    int ReadReply(int length, std::uint8_t *buffer) override
    {
        m_clock.now += kv::LinkReadTimeoutMs;
        const std::size_t n = std::min<std::size_t>(std::size_t(length), m_reply.size());
        if (n > 0)
            std::memcpy(buffer, m_reply.data(), n);
        const bool ok = m_reply.size() >= std::size_t(length);
        m_reply.clear();
        return ok ? 0 : 1;
    }
    int ReadSerialText(int, std::uint8_t *, int) override { return 1; }
    int CloseDevice() override { return 0; }

private:
    Script &m_script;
    FakeClock &m_clock;
    std::vector<std::uint8_t> m_reply;
};

class ScriptedPort : public kv::SerialPort {
public:
    ScriptedPort(Script &script, FakeClock &clock) : m_script(script), m_clock(clock) {}
    void setDeviceName(const QString &) override {}
    QString deviceName() const override { return {}; }
    bool open() override { return true; }
    void close() override {}
    bool isOpen() const override { return true; }
    int write(const std::uint8_t *, int count) override
    {
        const std::vector<std::uint8_t> chunk = m_script.next();
        m_input.insert(m_input.end(), chunk.begin(), chunk.end());
        return count;
    }
    int waitingCount() override { return int(m_input.size()); }
    int read(std::uint8_t *buffer, int count) override
    {
        const int n = std::min(count, int(m_input.size()));
        std::copy(m_input.begin(), m_input.begin() + n, buffer);
        m_input.erase(m_input.begin(), m_input.begin() + n);
        return n;
    }
    void clearInput() override { m_input.clear(); }
    void waitForInput(int ms) override { m_clock.now += std::max(ms, 1); }

private:
    Script &m_script;
    FakeClock &m_clock;
    std::vector<std::uint8_t> m_input;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 1)
        return 0;
    Script script(data + 1, size - 1);
    FakeClock clock;
    ScriptedUsb usb(script, clock);
    ScriptedPort port(script, clock);
    kv::MeterLink link(usb, &port);
    link.Kind = data[0] & 1 ? kv::LinkKind::Serial : kv::LinkKind::Usb;
    kv::DownloadProgress progress;
    kv::LoggerDownload download(link, progress, clock);
    const int code = download.run();
    if (download.bytesReceived() % kv::LoggerPageSize != 0 || download.bytesReceived() > download.transferSize())
        std::abort();
    if (code == kv::DownloadOk && download.bytesReceived() != download.transferSize())
        std::abort();
    return 0;
}
