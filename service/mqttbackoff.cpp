#include "service/mqttbackoff.h"

#include <algorithm>

namespace kv::service {

MqttBackoff::MqttBackoff(int minMs, int maxMs, std::uint32_t seed)
    : m_minMs(std::max(1, minMs)), m_maxMs(std::max(std::max(1, minMs), maxMs)), m_random(seed)
{
}

int MqttBackoff::nextDelayMs()
{
    // Doubling stops well before an int could overflow.
    const int steps = std::min(m_failures, 30);
    const long long ceiling = std::min<long long>(m_maxMs, static_cast<long long>(m_minMs) << steps);
    ++m_failures;
    const long long floor = std::max<long long>(m_minMs, ceiling / 2);
    std::uniform_int_distribution<long long> pick(floor, std::max(floor, ceiling));
    return static_cast<int>(pick(m_random));
}

} // namespace kv::service
