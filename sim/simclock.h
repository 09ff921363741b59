#pragma once
// Time source of the simulated meter.  Everything time-dependent in the model
// (drift, logging, the meter clock, reply delays, serial pacing) reads one
// clock, so a test can swap in ManualSimClock and get the same bytes on every
// run, with waits that cost nothing.

#include <QElapsedTimer>

#include <cstdint>

namespace kv {

class SimClock {
public:
    virtual ~SimClock() = default;
    // Monotonic time in microseconds since an arbitrary start.
    virtual std::int64_t nowUs() = 0;
    // Blocks the calling thread for `us` (a manual clock just moves on).
    virtual void sleepUs(std::int64_t us) = 0;

    std::int64_t nowMs() { return nowUs() / 1000; }
    void sleepMs(std::int64_t ms) { sleepUs(ms * 1000); }
};

// Real time: a monotonic timer and a sleeping (not spinning) wait.
class SystemSimClock : public SimClock {
public:
    SystemSimClock();
    std::int64_t nowUs() override;
    void sleepUs(std::int64_t us) override;

private:
    QElapsedTimer m_timer;
};

// Time that moves only when told to; sleepUs() advances it at once.
class ManualSimClock : public SimClock {
public:
    explicit ManualSimClock(std::int64_t startUs = 0) : m_now(startUs) {}
    std::int64_t nowUs() override { return m_now; }
    void sleepUs(std::int64_t us) override { advanceUs(us); }

    void advanceUs(std::int64_t us) { m_now += us > 0 ? us : 0; }
    void advanceMs(std::int64_t ms) { advanceUs(ms * 1000); }

private:
    std::int64_t m_now;
};

} // namespace kv
