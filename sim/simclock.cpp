#include "sim/simclock.h"

#include <chrono>
#include <thread>

namespace kv {

SystemSimClock::SystemSimClock() { m_timer.start(); }

std::int64_t SystemSimClock::nowUs() { return m_timer.nsecsElapsed() / 1000; }

void SystemSimClock::sleepUs(std::int64_t us)
{
    if (us > 0)
        std::this_thread::sleep_for(std::chrono::microseconds(us));
}

} // namespace kv
