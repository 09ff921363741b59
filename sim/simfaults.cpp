#include "sim/simfaults.h"

namespace kv {

void SimFaults::setDeviceAbsent(bool absent)
{
    m_absent = absent;
    m_awayLeft = -1;
    if (!absent)
        m_vanishCountdown = -1;
}

void SimFaults::vanishAfter(int exchanges, int attemptsAway)
{
    m_awayPlanned = attemptsAway;
    if (exchanges <= 0) {
        m_vanishCountdown = -1;
        m_absent = true;
        m_awayLeft = attemptsAway;
    } else {
        m_vanishCountdown = exchanges;
    }
}

void SimFaults::inject(SimFault fault, int count, char letter, int skip)
{
    if (count > 0 && fault != SimFault::None)
        m_injections.push_back({fault, count, letter, skip > 0 ? skip : 0});
}

void SimFaults::failEvery(int n, SimFault fault, char letter)
{
    m_everyN = n > 0 ? n : 0;
    m_everyFault = fault;
    m_everyLetter = letter;
    m_everyCount = 0;
}

void SimFaults::clear()
{
    m_injections.clear();
    m_everyN = 0;
    m_everyFault = SimFault::None;
    m_everyCount = 0;
    m_absent = false;
    m_vanishCountdown = -1;
    m_awayLeft = -1;
}

SimFault SimFaults::onExchange(char letter)
{
    if (m_vanishCountdown > 0 && --m_vanishCountdown == 0) {
        // This exchange is the last one answered.
        m_vanishCountdown = -1;
        m_absent = true;
        m_awayLeft = m_awayPlanned;
    }

    SimFault fault = SimFault::None;
    for (auto it = m_injections.begin(); it != m_injections.end(); ++it) {
        if (it->letter != 0 && it->letter != letter)
            continue;
        if (it->skip > 0) {
            --it->skip;
        } else {
            fault = it->fault;
            if (--it->count == 0)
                m_injections.erase(it);
        }
        break; // only the first matching injection is looked at
    }

    if (m_everyN > 0 && (m_everyLetter == 0 || m_everyLetter == letter)) {
        ++m_everyCount;
        if (fault == SimFault::None && m_everyCount % m_everyN == 0)
            fault = m_everyFault;
    }
    return fault;
}

void SimFaults::onAbsentAttempt()
{
    if (!m_absent || m_awayLeft < 0)
        return;
    if (m_awayLeft > 0)
        --m_awayLeft;
    if (m_awayLeft == 0) {
        m_absent = false;
        m_awayLeft = -1;
    }
}

} // namespace kv
