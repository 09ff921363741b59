#pragma once
// The download's clock on the simulated meter's clock: pauses and elapsed
// time cost nothing on a manual clock, and the serial waits of the simulated
// port sleep on the same clock.

#include "logger/download.h"
#include "sim/simclock.h"

namespace kv {

class SimDownloadClock : public DownloadClock {
public:
    explicit SimDownloadClock(SimClock &clock) : m_clock(clock) {}
    std::int64_t elapsedMs() override { return m_clock.nowMs(); }
    void pause(int ms) override { m_clock.sleepMs(ms); }
    void sleep(int ms) override { m_clock.sleepMs(ms); }
    void letEventsRun() override {}
    void letWindowSystemRun() override {}

private:
    SimClock &m_clock;
};

} // namespace kv
