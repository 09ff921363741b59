#pragma once
// The state of a real-time recording, apart from any window: the sampling
// period, how many samples are wanted and taken, whether it runs and whether
// its samples are saved, the time axis margin and the running extremes of
// RH, T1 and T2.  The real-time graph draws what it reports.

#include "live/livereading.h"
#include "realtime/datetime.h"
#include "realtime/samplevalues.h"
#include "realtime/statistics.h"

#include <QObject>

#include <array>

namespace kv {

// Default sampling period, seconds.
constexpr int DefaultRecordingPeriod = 2;
// The time axis reaches this far beyond the newest sample before a recording
// has set its own margin.
constexpr double InitialTimeAxisMargin = static_cast<float>(10.0 * OneSecond);
// Once a recording runs, a sample beyond the axis moves its end this many
// sampling periods on.
constexpr int TimeAxisMarginPerSecond = 100;

// A running extreme: the reading's own value (not the marker) and its time.
struct RecordedExtreme {
    float value = 0;
    double dateTime = 0;
    bool flagged = false;   // the reading was out of range
};

class RealTimeRecorder : public QObject {
    Q_OBJECT
public:
    explicit RealTimeRecorder(QObject *parent = nullptr);

    // Seconds between two samples.
    int period() const { return m_period; }
    void setPeriod(int seconds) { m_period = seconds; }

    bool isRecording() const { return m_recording; }
    // Pauses or resumes without touching the samples (a save in progress).
    void setRecording(bool recording) { m_recording = recording; }
    int count() const { return m_count; }
    int target() const { return m_target; }
    bool isFull() const { return m_count >= m_target; }
    // Samples taken since the last save.
    bool isUnsaved() const { return m_unsaved; }
    void setUnsaved(bool unsaved) { m_unsaved = unsaved; }

    double timeAxisMargin() const { return m_timeAxisMargin; }
    // The margin that follows the period: TimeAxisMarginPerSecond periods.
    void setMarginFromPeriod() { m_timeAxisMargin = double(m_period) * TimeAxisMarginPerSecond * OneSecond; }
    void setTimeAxisMargin(double days) { m_timeAxisMargin = days; }

    // A new recording of `target` samples: nothing taken, extremes reset.
    void start(int target);
    // The next sample, from a reading taken at `dateTime`: its chart values
    // (markers for flagged channels).  Updates the extremes and the count,
    // marks the recording unsaved and emits sampleAdded.
    SampleValues addSample(const LiveReading &reading, double dateTime);
    // Ends the recording; emits stopped.
    void stop();
    // Forgets the samples: count 0, nothing unsaved; emits cleared.
    void clear();

    // The largest and smallest values of RH, T1 and T2 so far; an extreme
    // with no sample yet holds ExtremeMaxStart / ExtremeMinStart.
    const RecordedExtreme &maximum(int channel) const { return m_max[size_t(channel)]; }
    const RecordedExtreme &minimum(int channel) const { return m_min[size_t(channel)]; }

signals:
    void sampleAdded(int index, double dateTime);
    void stopped();
    void cleared();

private:
    void resetExtremes();

    int m_period = DefaultRecordingPeriod;
    bool m_recording = false;
    int m_count = 0;
    int m_target = 0;
    bool m_unsaved = false;
    double m_timeAxisMargin = InitialTimeAxisMargin;
    std::array<RecordedExtreme, StatisticsChannelCount> m_max{};
    std::array<RecordedExtreme, StatisticsChannelCount> m_min{};
};

} // namespace kv
