// The real-time recorder without a window: samples, extremes, count, the
// unsaved flag and its signals.
#include "realtime/recorder.h"

#include <QSignalSpy>
#include <QtTest>

namespace {

kv::LiveReading Reading(float rh, float t1, float t2, std::uint8_t status = 0)
{
    kv::LiveReading r;
    r.Rh = rh;
    r.T1 = t1;
    r.T2 = t2;
    r.WetBulb = 15;
    r.DewPoint = 10;
    r.StatusByte = status;
    return r;
}

} // namespace

class TestRecorder : public QObject {
    Q_OBJECT
private slots:
    void samplesCountAndFill()
    {
        kv::RealTimeRecorder recorder;
        QVERIFY(!recorder.isRecording());
        QSignalSpy added(&recorder, &kv::RealTimeRecorder::sampleAdded);
        recorder.start(3);
        QVERIFY(recorder.isRecording());
        QVERIFY(!recorder.isUnsaved());
        for (int i = 0; i < 3; ++i) {
            QVERIFY(!recorder.isFull());
            recorder.addSample(Reading(40, 20, 30), 45000 + i);
        }
        QVERIFY(recorder.isFull());
        QCOMPARE(recorder.count(), 3);
        QVERIFY(recorder.isUnsaved());
        QCOMPARE(added.count(), 3);
        QCOMPARE(added.at(2).at(0).toInt(), 2);
        QCOMPARE(added.at(2).at(1).toDouble(), 45002.0);

        QSignalSpy stopped(&recorder, &kv::RealTimeRecorder::stopped);
        recorder.stop();
        QVERIFY(!recorder.isRecording());
        QCOMPARE(recorder.count(), 3); // stopping keeps the samples
        QCOMPARE(stopped.count(), 1);

        QSignalSpy cleared(&recorder, &kv::RealTimeRecorder::cleared);
        recorder.clear();
        QCOMPARE(recorder.count(), 0);
        QVERIFY(!recorder.isUnsaved());
        QCOMPARE(cleared.count(), 1);
    }

    void valuesCarryTheMarkers()
    {
        // The same rules as every other writer of live samples.
        kv::RealTimeRecorder recorder;
        recorder.start(10);
        const kv::LiveReading flagged = Reading(40, 20, -250, 0x20 | 0x40);
        QCOMPARE(recorder.addSample(flagged, 45000), kv::LiveSampleValues(flagged));
        const kv::SampleValues v = recorder.addSample(flagged, 45001);
        QCOMPARE(v[kv::ChannelT1], kv::OverRangeValue);
        QCOMPARE(v[kv::ChannelT2], kv::UnderRangeValue);
        QCOMPARE(v[kv::ChannelWetBulb], kv::NoValue);
    }

    void extremesKeepTheEarliestOwnValue()
    {
        kv::RealTimeRecorder recorder;
        recorder.start(10);
        QCOMPARE(recorder.maximum(kv::ChannelRh).value, kv::ExtremeMaxStart);
        recorder.addSample(Reading(40, 20, 30), 1);
        recorder.addSample(Reading(45, 20, 1500, 0x04), 2); // T2 over range: its own value counts
        recorder.addSample(Reading(45, 18, 30), 3);
        recorder.addSample(Reading(35, 18, 30), 4);
        QCOMPARE(recorder.maximum(kv::ChannelRh).value, 45.0f);
        QCOMPARE(recorder.maximum(kv::ChannelRh).dateTime, 2.0); // the earlier of equal values
        QCOMPARE(recorder.minimum(kv::ChannelRh).dateTime, 4.0);
        QCOMPARE(recorder.minimum(kv::ChannelT1).dateTime, 3.0);
        QCOMPARE(recorder.maximum(kv::ChannelT2).value, 1500.0f);
        QVERIFY(recorder.maximum(kv::ChannelT2).flagged);
        QVERIFY(!recorder.minimum(kv::ChannelT2).flagged);

        // A new recording starts the extremes again.
        recorder.start(10);
        QCOMPARE(recorder.maximum(kv::ChannelT2).value, kv::ExtremeMaxStart);
        QCOMPARE(recorder.minimum(kv::ChannelT2).value, kv::ExtremeMinStart);
    }

    void marginFollowsThePeriod()
    {
        kv::RealTimeRecorder recorder;
        QCOMPARE(qRound(recorder.timeAxisMargin() * kv::SecondsPerDay), 10);
        recorder.setPeriod(5);
        recorder.setMarginFromPeriod();
        QCOMPARE(qRound(recorder.timeAxisMargin() * kv::SecondsPerDay), 500);
    }
};

QTEST_GUILESS_MAIN(TestRecorder)
#include "tst_recorder.moc"
