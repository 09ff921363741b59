// A whole poll tick over the simulated USB transport: frame, reply, markers,
// decoding and the hand-over to the view.
#include "live/poll.h"
#include "sim/simclock.h"
#include "sim/simmeter.h"
#include "sim/simusbtransfer.h"

#include <benchmark/benchmark.h>

namespace {

struct NullView : kv::PollView {
    int updates = 0;
    void ShowConnectionFound() override {}
    void ShowConnectionLost() override {}
    void ShowLinkDropped() override {}
    void HideLinkPicture() override {}
    void UpdatePanel(const kv::LiveReading &) override { ++updates; }
    bool IsRecordingRealTime() const override { return false; }
    int RealTimeSamplingPeriod() const override { return 2; }
    void AddRealTimeSample(const kv::LiveReading &, const QDateTime &) override {}
};

void BM_PollTick(benchmark::State &state)
{
    // A manual clock: the simulated reply latency costs no real time, so the
    // figure is the program's own work per tick.
    kv::ManualSimClock clock;
    kv::SimMeter meter(&clock, kv::SimOptions{7, true, false, {}});
    kv::SimUsbTransfer usb(meter);
    kv::MeterLink link(usb);
    NullView view;
    kv::PollLoop poll(link, view);
    poll.PollTick(); // identification
    for (auto _ : state) {
        clock.advanceMs(500);
        poll.PollTick();
    }
    if (!link.isConnected() || view.updates == 0)
        state.SkipWithError("the meter was not polled");
}
BENCHMARK(BM_PollTick);

} // namespace
