#pragma once
// The delay before the next connection attempt: doubling from the minimum
// after each failure up to the maximum, each delay drawn at random from its
// upper half (never below the minimum) so that many services restarted
// together do not reconnect in step.  Refused credentials wait the maximum.

#include <cstdint>
#include <random>

namespace kv::service {

class MqttBackoff {
public:
    MqttBackoff(int minMs, int maxMs, std::uint32_t seed);

    // The delay after one more failed attempt.
    int nextDelayMs();
    // The slowest rate, for refused credentials.
    int slowestDelayMs() const { return m_maxMs; }
    // A connection was accepted: the next failure starts from the minimum.
    void reset() { m_failures = 0; }
    int failures() const { return m_failures; }

private:
    int m_minMs;
    int m_maxMs;
    int m_failures = 0;
    std::mt19937 m_random;
};

} // namespace kv::service
