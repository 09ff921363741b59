#pragma once
// Fault injection of the simulated meter, counted per exchange so that a test
// gets the same failures on every run.  An exchange is one command frame the
// meter receives; the fault chosen for it changes the reply of that frame.
// The same faults act on the USB transport and on the serial byte stream.

#include <cstdint>
#include <deque>

namespace kv {

enum class SimFault : std::uint8_t {
    None,
    NoReply,       // the meter stays silent
    LateReply,     // the reply comes after lateDelayMs() (past every read time-out)
    ShortReply,    // only the first shortLength() bytes arrive
    WrongMarkers,  // every byte the receiver recognises the reply by is wrong
                   // (live: 0 and 63; 'K': "522"; acknowledgements: "OK";
                   // pages: byte 35 and the page echo; 'W'/'r': the echo)
    WrongChecksum, // a data byte is altered after the check byte was computed
                   // (live reply: byte 62 no longer matches; pages: byte 34)
    StrayBytes,    // strayCount() stray bytes arrive in front of the reply
    Garbage,       // the reply is replaced by junk of the same length
};

class SimFaults {
public:
    // Device absent on demand: OpenDevice fails, frames go unanswered.
    // Clearing it also cancels a pending comeback count.
    void setDeviceAbsent(bool absent);
    bool deviceAbsent() const { return m_absent; }

    // After `exchanges` more exchanges (the last of them still answered) the
    // device vanishes; it comes
    // back after `attemptsAway` failed attempts (USB: OpenDevice calls,
    // serial: frames written), or only on setDeviceAbsent(false) when < 0.
    void vanishAfter(int exchanges, int attemptsAway = -1);

    // The next `count` exchanges with command `letter` (0: any letter) get
    // `fault`, after `skip` matching exchanges have passed untouched.
    // Injections queue up and are used in the order given.
    void inject(SimFault fault, int count = 1, char letter = 0, int skip = 0);

    // Every n-th exchange with `letter` (0: any) gets `fault`; n <= 0 stops it.
    void failEvery(int n, SimFault fault = SimFault::NoReply, char letter = 0);

    // Drops every injection, the periodic fault and the vanish plan, and
    // brings the device back.
    void clear();

    void setLateDelayMs(int ms) { m_lateDelayMs = ms; }
    int lateDelayMs() const { return m_lateDelayMs; }
    void setShortLength(int bytes) { m_shortLength = bytes; }
    int shortLength() const { return m_shortLength; }
    void setStrayCount(int bytes) { m_strayCount = bytes; }
    int strayCount() const { return m_strayCount; }

    // For the meter: the fault of an exchange that reached the device.
    SimFault onExchange(char letter);
    // For the meter: one attempt while the device is away (counts towards
    // its comeback).
    void onAbsentAttempt();

private:
    struct Injection {
        SimFault fault;
        int count;
        char letter;
        int skip;
    };

    std::deque<Injection> m_injections;
    SimFault m_everyFault = SimFault::None;
    int m_everyN = 0;
    char m_everyLetter = 0;
    int m_everyCount = 0;
    bool m_absent = false;
    int m_vanishCountdown = -1; // answered exchanges left before vanishing
    int m_awayPlanned = -1;     // attempts away once vanished
    int m_awayLeft = -1;        // attempts left while away (-1: on demand)
    int m_lateDelayMs = 400;
    int m_shortLength = 40;
    int m_strayCount = 5;
};

} // namespace kv
