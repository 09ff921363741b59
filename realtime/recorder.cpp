#include "realtime/recorder.h"

namespace kv {

RealTimeRecorder::RealTimeRecorder(QObject *parent) : QObject(parent) { resetExtremes(); }

void RealTimeRecorder::resetExtremes()
{
    for (RecordedExtreme &e : m_max)
        e = RecordedExtreme{ExtremeMaxStart, 0, false};
    for (RecordedExtreme &e : m_min)
        e = RecordedExtreme{ExtremeMinStart, 0, false};
}

void RealTimeRecorder::start(int target)
{
    m_target = target;
    m_count = 0;
    m_unsaved = false;
    m_recording = true;
    resetExtremes();
}

SampleValues RealTimeRecorder::addSample(const LiveReading &reading, double dateTime)
{
    const SampleValues values = LiveSampleValues(reading);
    // Extremes from the reading's own values, not the markers; the earliest
    // of equal values stays.
    const std::array<float, StatisticsChannelCount> own = {reading.Rh, reading.T1, reading.T2};
    const std::array<bool, StatisticsChannelCount> flagged = {reading.rhFlagged(), reading.t1Flagged(),
                                                              reading.t2Flagged()};
    for (size_t c = 0; c < own.size(); ++c) {
        if (own[c] > m_max[c].value)
            m_max[c] = RecordedExtreme{own[c], dateTime, flagged[c]};
        if (own[c] < m_min[c].value)
            m_min[c] = RecordedExtreme{own[c], dateTime, flagged[c]};
    }
    const int index = m_count++;
    m_unsaved = true;
    emit sampleAdded(index, dateTime);
    return values;
}

void RealTimeRecorder::stop()
{
    m_recording = false;
    emit stopped();
}

void RealTimeRecorder::clear()
{
    m_count = 0;
    m_unsaved = false;
    emit cleared();
}

} // namespace kv
