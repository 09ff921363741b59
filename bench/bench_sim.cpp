// Cost of the simulated meter per exchange (on a manual clock, so only the
// model's own work is measured).

#include "link/commandframe.h"
#include "sim/simmeter.h"
#include "sim/simusbtransfer.h"

#include <benchmark/benchmark.h>

namespace {

kv::SimOptions BenchOptions()
{
    kv::SimOptions o;
    o.meterClock = QDateTime(QDate(2025, 3, 31), QTime(12, 0, 0), Qt::LocalTime);
    return o;
}

int Exchange(kv::SimUsbTransfer &usb, char letter, std::uint8_t p2, std::uint8_t p3, std::uint8_t *reply, int length)
{
    const std::uint8_t frame[kv::FrameLength] = {kv::FrameStart, std::uint8_t(letter), p2, p3, 0, 0, kv::FrameEnd};
    usb.OpenDevice(kv::MeterVendorId, kv::MeterProductId);
    usb.SetDeviceTimeouts(kv::LinkReadTimeoutMs, kv::LinkWriteTimeoutMs);
    usb.WriteCommand(kv::FrameLength, frame);
    usb.AfterWrite();
    return usb.ReadReply(length, reply);
}

// One live exchange with drift on, as the poll tick makes it twice a second.
void BM_SimLiveExchange(benchmark::State &state)
{
    kv::ManualSimClock clock;
    kv::SimMeter meter(&clock, BenchOptions());
    kv::SimUsbTransfer usb(meter);
    kv::ReplyBuffer reply{};
    for (auto _ : state) {
        clock.advanceMs(500);
        benchmark::DoNotOptimize(Exchange(usb, 'A', 0, 0, reply.data(), kv::LiveReplyLength));
    }
}
BENCHMARK(BM_SimLiveExchange);

// The whole 262144-byte memory read page by page over the USB transport.
void BM_SimUsbFullDownload(benchmark::State &state)
{
    kv::ManualSimClock clock;
    kv::SimMeter meter(&clock, BenchOptions());
    kv::SimUsbTransfer usb(meter);
    std::uint8_t page[kv::PageReplyLength];
    for (auto _ : state) {
        meter.clearLog();
        Exchange(usb, 'P', 0, 1, page, kv::PageReplyLength);
        for (int i = 1; i < kv::SimMemorySize / 32; ++i) {
            const std::uint8_t next[kv::FrameLength] = {kv::FrameStart, 'p', 0, 1, 0, 0, kv::FrameEnd};
            usb.WriteCommand(kv::FrameLength, next);
            usb.AfterWrite();
            usb.ReadReply(kv::PageReplyLength, page);
        }
        benchmark::DoNotOptimize(page);
    }
}
BENCHMARK(BM_SimUsbFullDownload)->Unit(benchmark::kMillisecond);

} // namespace
