#include "realtime/samplevalues.h"

namespace kv {

SampleValues LiveSampleValues(const LiveReading &reading)
{
    SampleValues v{reading.Rh, reading.T1, reading.T2, reading.WetBulb, reading.DewPoint};
    if (reading.rhFlagged())
        v[ChannelRh] = OverRangeValue;
    if (reading.t1Flagged())
        v[ChannelT1] = OverRangeValue;
    if (reading.t2Flagged()) {
        if (reading.T2 > 0)
            v[ChannelT2] = OverRangeValue;
        else if (reading.T2 < 0)
            v[ChannelT2] = UnderRangeValue;
        else
            v[ChannelT2] = 0.0f;
    }
    if (reading.rhFlagged() || reading.t1Flagged()) {
        v[ChannelWetBulb] = NoValue;
        v[ChannelDewPoint] = NoValue;
    }
    return v;
}

} // namespace kv
