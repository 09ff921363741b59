#pragma once
// A simulated meter behind the setup service, on a manual clock: pauses of
// the service advance the clock at once and are recorded, and the host
// counts how often the link was taken and given back.

#include "setup/meterservice.h"
#include "sim/simmeter.h"
#include "sim/simusbtransfer.h"

#include <QList>

#include <functional>

namespace kvtest {

class RecordingHost : public kv::ServiceHost {
public:
    explicit RecordingHost(kv::ManualSimClock &clock) : m_clock(clock) {}

    QList<int> pauses;
    int acquired = 0;
    int released = 0;
    bool polling = true;
    bool busy = false;
    std::function<void()> onPause; // runs inside every pause, as events would

    bool refuse = false; // as while another operation holds the link

    bool acquireLink() override
    {
        if (refuse)
            return false;
        ++acquired;
        polling = false;
        return true;
    }
    void releaseLink() override
    {
        ++released;
        polling = true;
    }
    void setBusy(bool on) override { busy = on; }
    void pause(int ms) override
    {
        pauses << ms;
        m_clock.advanceMs(ms);
        if (onPause)
            onPause();
    }
    int pausedMs() const
    {
        int sum = 0;
        for (int ms : pauses)
            sum += ms;
        return sum;
    }

private:
    kv::ManualSimClock &m_clock;
};

struct SetupRig {
    static kv::SimOptions options()
    {
        kv::SimOptions o;
        o.drift = false;
        o.prefillLogger = false;
        o.meterClock = QDateTime(QDate(2025, 3, 31), QTime(12, 0, 0), Qt::LocalTime);
        return o;
    }

    kv::ManualSimClock clock;
    kv::SimMeter meter{&clock, options()};
    kv::SimUsbTransfer usb{meter};
    kv::SetupState state;
    RecordingHost host{clock};
    kv::MeterService service{usb, state, host};

    // Bytes 1..5 of the last frame the meter received.
    QByteArray lastFrame() const { return meter.lastFrame(); }
};

} // namespace kvtest
