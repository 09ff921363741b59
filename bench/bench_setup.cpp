// "Setup All" against the simulated meter on real time: the measured time of
// the whole sequence next to the sum of the pauses it is made of.  The pauses
// are WaitPumping waits, so the difference is what the link and the program
// add (simulated USB latency: 2 ms per reply).
#include "link/meterlink.h"
#include "setup/meterservice.h"
#include "sim/simmeter.h"
#include "sim/simusbtransfer.h"

#include <benchmark/benchmark.h>

namespace {

// Pauses as the window's host makes them, summed.
class PumpingHost : public kv::ServiceHost {
public:
    long long pausedMs = 0;
    bool acquireLink() override { return true; }
    void releaseLink() override {}
    void setBusy(bool) override {}
    void pause(int ms) override
    {
        pausedMs += ms;
        kv::WaitPumping(ms);
    }
};

void BM_SetupAll(benchmark::State &state)
{
    kv::SimMeter meter(nullptr, kv::SimOptions{7, false, true, {}});
    kv::SimUsbTransfer usb(meter);
    kv::SetupState setup;
    PumpingHost host;
    kv::MeterService service(usb, setup, host);
    long long runs = 0;
    for (auto _ : state) {
        if (!service.setupAll(kv::IntervalBytes{0x00, 0x02}).ok) {
            state.SkipWithError("Setup All failed against the simulated meter");
            break;
        }
        ++runs;
    }
    if (runs > 0)
        state.counters["pauses_ms"] = double(host.pausedMs) / double(runs);
}
BENCHMARK(BM_SetupAll)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(3);

} // namespace
