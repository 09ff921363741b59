#pragma once
// The poll tick and the connection state machine.  UI-free: what the main
// window shows of it goes through PollView.

#include "link/meterlink.h"
#include "live/livereading.h"

#include <QDateTime>
#include <functional>

namespace kv {

constexpr int PollIntervalMs = 500;
constexpr int PollFailureLimit = 3;

class PollView {
public:
    virtual ~PollView() = default;
    // What ConnectionFound / ConnectionLost / DropLink show.
    virtual void ShowConnectionFound() = 0;
    virtual void ShowConnectionLost() = 0;
    virtual void ShowLinkDropped() = 0;
    // The USB identification succeeded: the panel's link picture is hidden.
    virtual void HideLinkPicture() = 0;
    // A decoded reply carried display memory.
    virtual void UpdatePanel(const LiveReading &reading) = 0;
    // Real-time recording.
    virtual bool IsRecordingRealTime() const = 0;
    virtual int RealTimeSamplingPeriod() const = 0; // seconds
    // Hands over one point (and marks the recording unsaved).
    virtual void AddRealTimeSample(const LiveReading &reading, const QDateTime &stamp) = 0;
};

class PollLoop {
public:
    PollLoop(MeterLink &link, PollView &view);

    void PollTick();
    void ConnectionFound();
    void ConnectionLost();
    void DropLink();

    MeterLink &link() { return m_link; }

    LiveReading Reading;
    int PollFailures = 0;
    int SecondTicks = 0;
    int LastSecond = 0;
    // Local clock; replaced by tests.
    std::function<QDateTime()> Clock = [] { return QDateTime::currentDateTime(); };

private:
    MeterLink &m_link;
    PollView &m_view;
};

} // namespace kv
