#include "realtime/samplevalues.h"

namespace kv {

SampleValues LiveSampleValues(const LiveReading &reading)
{
    SampleValues v{reading.Rh, reading.T1, reading.T2, reading.WetBulb, reading.DewPoint};
    if (reading.rhFlagged())
        v[ChannelRh] = OverRangeMark;
    if (reading.t1Flagged())
        v[ChannelT1] = OverRangeMark;
    if (reading.t2Flagged()) {
        if (reading.T2 > 0)
            v[ChannelT2] = OverRangeMark;
        else if (reading.T2 < 0)
            v[ChannelT2] = UnderRangeMark;
        else
            v[ChannelT2] = 0.0f;
    }
    if (reading.rhFlagged() || reading.t1Flagged()) {
        v[ChannelWetBulb] = NoValueMark;
        v[ChannelDewPoint] = NoValueMark;
    }
    return v;
}

} // namespace kv
